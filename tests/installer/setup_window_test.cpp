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
    void SetUp() override {
        win32test::reset();
        win32test::setMessageBoxAnswer(IDOK);
        win32test::setShellRecorder([this](HWND owner, const std::string& verb,
                                           const std::string& file, const std::string& parameters,
                                           const std::string& directory, int show) {
            shellOwner = owner;
            shellVerb = verb;
            shellFile = file;
            shellParameters = parameters;
            shellDirectory = directory;
            shellShow = show;
            ++shellCalls;
        });
    }
    void TearDown() override {
        win32test::reset();
        setupFrame = setupDialog = nullptr;
    }

    void create() {
        ASSERT_TRUE(createSetupWindows(GetModuleHandleA(nullptr)));
        ASSERT_NE(setupDialog, nullptr);
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
    HWND shellOwner = nullptr;
    std::string shellVerb, shellFile, shellParameters, shellDirectory;
    int shellShow = -1;
    int shellCalls = 0;
};

TEST_F(SetupWindows, FrameAndDialogAreCreatedAsDesigned) {
    create();
    char text[64] = {};
    GetWindowTextA(setupFrame, text, sizeof text);
    EXPECT_STREQ(text, "Setup - Q-Mora");
    EXPECT_EQ(static_cast<DWORD>(GetWindowLongA(setupFrame, GWL_STYLE)) & 0x00CF0000u, 0x00C80000u);
    RECT frame = windowRect(setupFrame);
    EXPECT_EQ(frame.right - frame.left, 200);
    EXPECT_EQ(frame.bottom - frame.top, 230);
    EXPECT_TRUE(IsWindowVisible(setupDialog));
    // The link shows the address it opens.
    GetWindowTextA(link, text, sizeof text);
    EXPECT_STREQ(text, linkTarget());
}

TEST_F(SetupWindows, DialogStaysCentredOverTheFrameAfterEveryMove) {
    create();
    RECT client{};
    GetClientRect(setupDialog, &client);
    for (auto [x, y] : {std::pair{40, 50}, std::pair{301, 7}, std::pair{-33, 120}}) {
        SetWindowPos(setupFrame, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
        RECT frame = windowRect(setupFrame);
        RECT dialog = windowRect(setupDialog);
        EXPECT_EQ(dialog.left, frame.left + ((frame.right - frame.left - client.right) >> 1));
        EXPECT_EQ(dialog.top, frame.top + 32);
        EXPECT_EQ(dialog.right - dialog.left, client.right);   // size kept
        EXPECT_EQ(dialog.bottom - dialog.top, client.bottom);
    }
    // Missing handles: nothing moves.
    RECT before = windowRect(setupDialog);
    placeDialog(setupDialog, nullptr, 0, 32);
    placeDialog(nullptr, setupFrame, 0, 32);
    RECT after = windowRect(setupDialog);
    EXPECT_EQ(before.left, after.left);
    EXPECT_EQ(before.top, after.top);
}

TEST_F(SetupWindows, OnlyTheLinkIsDrawnInTheLinkColour) {
    create();
    win32test::paintWindow(setupDialog);
    EXPECT_EQ(win32test::lastTextColor(link), kLinkColour);
    int others = 0;
    for (int id : {IDC_INSTALL, IDC_RUN, IDC_DISPLAY_PROPERTIES, -1}) {
        HWND control = GetDlgItem(setupDialog, id);
        if (control == nullptr) continue;
        ++others;
        EXPECT_NE(win32test::lastTextColor(control), kLinkColour) << "control " << id;
    }
    EXPECT_GE(others, 3);
    EXPECT_NE(static_cast<DWORD>(GetWindowLongA(link, GWL_STYLE)) & SS_NOTIFY, 0u);
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
    ASSERT_TRUE(win32test::clickControl(link));
    EXPECT_EQ(shellCalls, 1);
    EXPECT_EQ(shellOwner, setupDialog);
    EXPECT_EQ(shellVerb, "open");
    EXPECT_EQ(shellFile, "http://www.qmora-saver.example");
    EXPECT_EQ(shellParameters, "");
    EXPECT_EQ(shellDirectory, "");
    EXPECT_EQ(shellShow, SW_SHOWMAXIMIZED);
}

TEST_F(SetupWindows, DestroyingTheDialogRestoresProceduresAndRemovesProperties) {
    create();
    // A second link on the same dialog must not subclass the dialog twice.
    HWND second = CreateWindowExA(0, "Static", "second", WS_CHILD | WS_VISIBLE, 0, 0, 10, 10,
                                  setupDialog, nullptr, GetModuleHandleA(nullptr), nullptr);
    ASSERT_NE(second, nullptr);
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
    win32test::DestroyedWindow gone;
    ASSERT_TRUE(win32test::destroyedWindow(setupFrame, gone));
    EXPECT_EQ(gone.destroyMessages, 1);
    ASSERT_TRUE(win32test::destroyedWindow(setupDialog, gone));

    // The frame's exit command destroys it and posts the quit message.
    win32test::reset();
    create();
    SendMessageA(setupFrame, WM_COMMAND, IDM_EXIT, 0);
    EXPECT_FALSE(IsWindow(setupFrame));
    EXPECT_FALSE(IsWindow(setupDialog));
    MSG message{};
    message.wParam = 99;
    EXPECT_EQ(GetMessageA(&message, nullptr, 0, 0), 0);
    EXPECT_EQ(message.message, static_cast<UINT>(WM_QUIT));
    EXPECT_EQ(message.wParam, 0u);
}

TEST_F(SetupWindows, StartUpDisablesRunWithoutTheScreensaver) {
    // 'r' presses Run, which does nothing while the button is disabled.
    win32test::setScriptInput("r");
    EXPECT_EQ(start(GetModuleHandleA(nullptr), SW_SHOWNORMAL), 0);
    EXPECT_EQ(shellCalls, 0);  // Run was disabled

    win32test::reset();
    writeFile(box.system32 + "/Q-Mora.scr", Bytes{1});
    win32test::setShellRecorder([this](HWND, const std::string&, const std::string& file,
                                       const std::string&, const std::string&, int) {
        shellFile = file;
        ++shellCalls;
    });
    win32test::setScriptInput("r");
    EXPECT_EQ(start(GetModuleHandleA(nullptr), SW_SHOWNORMAL), 0);
    EXPECT_EQ(shellCalls, 1);
    EXPECT_EQ(shellFile, "Q-Mora.scr");
}

}  // namespace
