// The front end in script mode: keys drive the message loop, the picture
// and the message boxes are printed as plain text.
#include <string>

#include "window_test_support.h"

namespace {

constexpr int kGo = 11, kLink = 13;
constexpr int kExitCode = 3;

std::vector<WPARAM> commands;
int boxAnswer = 0;
bool dialogEnabledAfterBox = false;

LRESULT CALLBACK quittingFrame(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  windowtest::received().push_back({hwnd, message, wParam, lParam});
  if (message == WM_DESTROY) PostQuitMessage(kExitCode);
  return DefWindowProcA(hwnd, message, wParam, lParam);
}

INT_PTR CALLBACK scriptDialog(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
  if (message != WM_COMMAND) return message == WM_INITDIALOG;
  commands.push_back(wParam);
  if (LOWORD(wParam) == kGo) {
    boxAnswer = MessageBoxA(dialog, "Done.", "Setup", MB_OK);
    dialogEnabledAfterBox = IsWindowEnabled(dialog);
  }
  return TRUE;
}

class ScriptMode : public windowtest::WindowTest {
 protected:
  void SetUp() override {
    WindowTest::SetUp();
    commands.clear();
    boxAnswer = 0;
    WNDCLASSEXA wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = quittingFrame;
    wc.lpszClassName = "QuittingFrame";
    ASSERT_NE(RegisterClassExA(&wc), 0);
    frame = CreateWindowExA(0, "QuittingFrame", "Script", WS_CAPTION | WS_SYSMENU, CW_USEDEFAULT,
                            0, 200, 230, nullptr, nullptr, nullptr, nullptr);
    dialog = CreateDialogParamA(nullptr, MAKEINTRESOURCEA(300), frame, scriptDialog, 0);
    ASSERT_NE(dialog, nullptr);
    HWND link = GetDlgItem(dialog, kLink);
    SetWindowLongA(link, GWL_STYLE, GetWindowLongA(link, GWL_STYLE) | SS_NOTIFY);
    ShowWindow(frame, SW_SHOWNORMAL);
    ShowWindow(dialog, SW_SHOWNORMAL);
    win32test::takeOutput();
  }

  int run(const std::string& keys) {
    win32test::setScriptInput(keys);
    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0)) {
      TranslateMessage(&msg);
      DispatchMessageA(&msg);
    }
    return static_cast<int>(msg.wParam);
  }

  int commandCount(WORD id) const {
    int count = 0;
    for (WPARAM wParam : commands) count += LOWORD(wParam) == id;
    return count;
  }

  HWND frame = nullptr;
  HWND dialog = nullptr;
};

TEST_F(ScriptMode, KeysPressTheirControlsAndDisabledOnesDoNothing) {
  EXPECT_EQ(run("sg\nlq"), kExitCode);  // Enter answers the box Go opens
  EXPECT_EQ(commands, (std::vector<WPARAM>{MAKEWPARAM(kGo, BN_CLICKED), MAKEWPARAM(kLink, STN_CLICKED)}));
  const std::string output = win32test::takeOutput();
  EXPECT_NE(output.find("Stop is disabled"), std::string::npos) << output;
  EXPECT_NE(output.find("(Stop)"), std::string::npos) << output;  // drawn disabled
  EXPECT_NE(output.find("+- Script -"), std::string::npos) << output;
  EXPECT_EQ(output.find('\x1b'), std::string::npos);  // plain text only
  // 'q' is the system menu's Close.
  EXPECT_EQ(windowtest::countOf(frame, WM_SYSCOMMAND), 1);
  EXPECT_EQ(windowtest::countOf(frame, WM_CLOSE), 1);
  EXPECT_FALSE(IsWindow(frame));
  EXPECT_FALSE(IsWindow(dialog));
}

TEST_F(ScriptMode, MessageBoxWaitsForEnterAndEndOfInputCloses) {
  EXPECT_EQ(run("gx\n"), kExitCode);
  EXPECT_EQ(boxAnswer, IDOK);
  EXPECT_TRUE(dialogEnabledAfterBox);
  const win32test::MessageBoxRecord box = win32test::lastMessageBox();
  EXPECT_EQ(box.owner, dialog);
  EXPECT_EQ(box.text, "Done.");
  EXPECT_EQ(box.count, 1);
  const std::string output = win32test::takeOutput();
  EXPECT_NE(output.find("| Done."), std::string::npos) << output;
  EXPECT_NE(output.find("a message box is open"), std::string::npos) << output;
  EXPECT_NE(output.find("end of input: closing"), std::string::npos) << output;
  EXPECT_EQ(windowtest::countOf(frame, WM_CLOSE), 1);
}

TEST_F(ScriptMode, TheCloseKeysAnswerAMessageBoxAndCloseTheWindow) {
  for (const char* close : {"q", "\x04"}) {
    if (!IsWindow(frame)) SetUp();
    // The keys after the close key are never read: the window is gone.
    EXPECT_EQ(run(std::string("g") + close + "g"), kExitCode) << close;
    EXPECT_EQ(commandCount(kGo), 1);
    EXPECT_EQ(boxAnswer, IDOK);
    EXPECT_EQ(windowtest::countOf(frame, WM_SYSCOMMAND), 1);
    EXPECT_FALSE(IsWindow(frame));
    const std::string output = win32test::takeOutput();
    EXPECT_NE(output.find("> q: close"), std::string::npos) << output;
    EXPECT_EQ(output.find("a message box is open"), std::string::npos) << output;
    EXPECT_EQ(output.find("end of input"), std::string::npos) << output;
    // The box's text, once more as a plain line a script can look for.
    EXPECT_NE(output.find("\nSetup: Done.\n"), std::string::npos) << output;
  }
}

TEST_F(ScriptMode, EnterPressesOnlyAButtonGivenFocusWithTab) {
  EXPECT_EQ(run("\n \t\n"), kExitCode);
  ASSERT_EQ(commandCount(kGo), 1);  // the newline before Tab pressed nothing
  EXPECT_EQ(boxAnswer, IDOK);       // ended by the end of input
  EXPECT_NE(win32test::takeOutput().find("focus: Go"), std::string::npos);
}

TEST_F(ScriptMode, AnsweredMessageBoxesDoNotWait) {
  win32test::setMessageBoxAnswer(IDCANCEL);
  EXPECT_EQ(MessageBoxA(frame, "Sure?", "Q", MB_OKCANCEL), IDCANCEL);
  EXPECT_EQ(win32test::lastMessageBox().caption, "Q");
  EXPECT_EQ(win32test::takeOutput(), "");
}

}  // namespace
