// The frame, the dialog and the link control on the stand-in layer.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "installer/link_control.h"
#include "installer/link_texts.h"
#include "installer/resources/resource_ids.h"
#include "installer/setup_state.h"
#include "installer/setup_window.h"
#include "installer/window_procedure.h"
#include "platform/testing.h"
#include "sandbox.h"

namespace {

class SetupWindows : public ::testing::Test {
protected:
    void SetUp() override { resetWindowsRecordingShell(shell); }
    void TearDown() override { win32test::reset(); }

    void create() {
        ASSERT_TRUE(createSetupWindows(GetModuleHandleA(nullptr)));
        link = GetDlgItem(setupDialog, IDC_LINK);
        ASSERT_NE(link, nullptr);
    }
    static RECT windowRect(HWND window) {
        RECT r{};
        GetWindowRect(window, &r);
        return r;
    }

    Sandbox box;
    HWND link = nullptr;
    std::vector<ShellCall> shell;
};

TEST_F(SetupWindows, DialogStaysCentredOverTheFrameAfterEveryMove) {
    create();
    RECT frame = windowRect(setupFrame);
    EXPECT_EQ(frame.right - frame.left, 200);
    EXPECT_EQ(frame.bottom - frame.top, 230);
    RECT client{};
    GetClientRect(setupDialog, &client);
    for (auto [x, y] : {std::pair{40, 50}, std::pair{301, 7}, std::pair{-33, 120}}) {
        SetWindowPos(setupFrame, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
        frame = windowRect(setupFrame);
        RECT dialog = windowRect(setupDialog);
        EXPECT_EQ(dialog.left, frame.left + ((frame.right - frame.left - client.right) >> 1));
        EXPECT_EQ(dialog.top, frame.top + 32);
        EXPECT_EQ(dialog.right - dialog.left, client.right);  // size kept
        EXPECT_EQ(dialog.bottom - dialog.top, client.bottom);
    }
}

TEST_F(SetupWindows, OnlyTheLinkIsDrawnInTheLinkColour) {
    create();
    win32test::paintWindow(setupDialog);
    EXPECT_EQ(win32test::lastTextColor(link), kLinkColour);
    for (int id : {IDC_INSTALL, IDC_RUN, IDC_DISPLAY_PROPERTIES, -1}) {
        HWND control = GetDlgItem(setupDialog, id);
        ASSERT_NE(control, nullptr) << id;
        EXPECT_NE(win32test::lastTextColor(control), kLinkColour) << id;
    }
    // The link shows the address it opens.
    char text[64] = {};
    GetWindowTextA(link, text, sizeof text);
    EXPECT_STREQ(text, linkTarget());
}

TEST_F(SetupWindows, PointerOverTheLinkIsAHandOrElseAnArrow) {
    create();
    win32test::hoverControl(link);
    EXPECT_EQ(win32test::systemCursorId(win32test::currentCursor()), 32649);
    win32test::setHandCursorAvailable(false);
    win32test::hoverControl(link);
    EXPECT_EQ(win32test::systemCursorId(win32test::currentCursor()), 32512);
}

TEST_F(SetupWindows, ClickingTheLinkOpensTheTargetMaximised) {
    create();
    ASSERT_TRUE(win32test::clickControl(link));  // needs the notify style makeLink adds
    ASSERT_EQ(shell.size(), 1u);
    EXPECT_EQ(shell[0].owner, setupDialog);
    EXPECT_EQ(shell[0].verb, "open");
    EXPECT_EQ(shell[0].file, "http://www.qmora-saver.example");
    EXPECT_EQ(shell[0].parameters, "");
    EXPECT_EQ(shell[0].directory, "");
    EXPECT_EQ(shell[0].show, SW_SHOWMAXIMIZED);
}

TEST_F(SetupWindows, DestroyingTheDialogRestoresProceduresAndRemovesProperties) {
    create();
    // A second link on the same dialog must not subclass the dialog twice.
    HWND second = CreateWindowExA(0, "Static", "second", WS_CHILD | WS_VISIBLE, 0, 0, 10, 10,
                                  setupDialog, nullptr, GetModuleHandleA(nullptr), nullptr);
    makeLink(second);
    EXPECT_EQ(windowProcedureOf(setupDialog), linkParentProcedure);
    EXPECT_NE(reinterpret_cast<WNDPROC>(GetPropA(setupDialog, previousProcedureProperty())),
              linkParentProcedure);
    EXPECT_EQ(windowProcedureOf(link), linkProcedure);
    EXPECT_EQ(win32test::propertyCount(link), 2u);
    EXPECT_EQ(win32test::propertyCount(setupDialog), 1u);

    HWND dialog = setupDialog;
    DestroyWindow(dialog);
    for (HWND window : {dialog, link, second}) {
        win32test::DestroyedWindow gone;
        ASSERT_TRUE(win32test::destroyedWindow(window, gone));
        EXPECT_EQ(gone.propertyCount, 0u);
        EXPECT_EQ(gone.procedure, gone.classProcedure);
        EXPECT_EQ(gone.destroyMessages, 1);
    }
}

TEST_F(SetupWindows, ClosingTheFrameEndsTheLoopWithCodeZero) {
    win32test::setScriptInput("q");
    EXPECT_EQ(start(GetModuleHandleA(nullptr), SW_HIDE), 0);
    EXPECT_FALSE(IsWindow(setupFrame));

    // The frame's exit command destroys it, the dialog with it, and quits.
    win32test::reset();
    create();
    SendMessageA(setupFrame, WM_COMMAND, IDM_EXIT, 0);
    EXPECT_FALSE(IsWindow(setupDialog));
    MSG message{};
    message.wParam = 99;
    EXPECT_EQ(GetMessageA(&message, nullptr, 0, 0), 0);
    EXPECT_EQ(message.wParam, 0u);
}

TEST_F(SetupWindows, RunIsEnabledAtStartUpOnlyWhenTheScreensaverIsThere) {
    win32test::setScriptInput("r");  // Run: ignored while the button is disabled
    EXPECT_EQ(start(GetModuleHandleA(nullptr), SW_SHOWNORMAL), 0);
    EXPECT_TRUE(shell.empty());

    resetWindowsRecordingShell(shell);
    writeFile(box.system32 + "/Q-Mora.scr", Bytes{1});
    win32test::setScriptInput("r");
    EXPECT_EQ(start(GetModuleHandleA(nullptr), SW_SHOWNORMAL), 0);
    ASSERT_EQ(shell.size(), 1u);
    EXPECT_EQ(shell[0].file, "Q-Mora.scr");
}

}  // namespace
