// MessageBoxA: a modal box with its own message loop.
#include "platform/front_end.h"
#include "platform/hooks.h"
#include "platform/message_box_state.h"
#include "platform/message_loop.h"

namespace platform {

TestHooks& testHooks() {
  static TestHooks hooks;
  return hooks;
}

std::vector<MessageBoxButton> messageBoxButtons(UINT type) {
  switch (type & MB_TYPEMASK) {
    case MB_OKCANCEL: return {{"OK", IDOK}, {"Cancel", IDCANCEL}};
    case MB_ABORTRETRYIGNORE: return {{"Abort", IDABORT}, {"Retry", IDRETRY}, {"Ignore", IDIGNORE}};
    case MB_YESNOCANCEL: return {{"Yes", IDYES}, {"No", IDNO}, {"Cancel", IDCANCEL}};
    case MB_YESNO: return {{"Yes", IDYES}, {"No", IDNO}};
    case MB_RETRYCANCEL: return {{"Retry", IDRETRY}, {"Cancel", IDCANCEL}};
    default: return {{"OK", IDOK}};
  }
}

int messageBoxDismissAnswer(UINT type) {
  const auto buttons = messageBoxButtons(type);
  for (const MessageBoxButton& button : buttons) {
    if (button.answer == IDCANCEL) return IDCANCEL;
  }
  return buttons.back().answer;
}

}  // namespace platform

int MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type) {
  platform::TestHooks& hooks = platform::testHooks();
  const int count = hooks.lastMessageBox.count + 1;
  hooks.lastMessageBox =
      win32test::MessageBoxRecord{owner, text ? text : "", caption ? caption : "Error", type, count};
  if (hooks.messageBoxAnswer != 0) return hooks.messageBoxAnswer;

  // While the box is up its owner takes no input.
  const bool ownerWasEnabled = owner && IsWindowEnabled(owner);
  if (ownerWasEnabled) EnableWindow(owner, FALSE);
  platform::FrontEnd& frontEnd = platform::FrontEnd::instance();
  frontEnd.showMessageBox(platform::MessageBoxState{owner, hooks.lastMessageBox.text,
                                                    hooks.lastMessageBox.caption, type});
  int answer = 0;
  while (answer == 0) {
    MSG msg;
    if (platform::takeNextMessage(msg, nullptr, 0, 0)) {
      if (msg.message == WM_QUIT) {
        // The quit message ends the box and is left for the main loop.
        PostQuitMessage(static_cast<int>(msg.wParam));
        answer = platform::messageBoxDismissAnswer(type);
      } else {
        DispatchMessageA(&msg);
      }
      continue;
    }
    answer = frontEnd.waitForMessageBoxAnswer();
  }
  frontEnd.hideMessageBox();
  if (ownerWasEnabled && IsWindow(owner)) EnableWindow(owner, TRUE);
  return answer;
}
