// A message box while it is shown, and the buttons its type gives it.
#pragma once

#include <string>
#include <vector>

#include "platform/win32.h"

namespace platform {

struct MessageBoxState {
  HWND owner = nullptr;
  std::string text;
  std::string caption;
  UINT type = MB_OK;
};

struct MessageBoxButton {
  const char* label;
  int answer;  // IDOK, IDCANCEL, ...
};

// The buttons in display order; the first is the default (Enter).
std::vector<MessageBoxButton> messageBoxButtons(UINT type);
// The answer when the box is dismissed without choosing (Escape, end of
// input, a quit message): Cancel when there is one, else OK for an OK-only
// box, else the last button.
int messageBoxDismissAnswer(UINT type);

}  // namespace platform
