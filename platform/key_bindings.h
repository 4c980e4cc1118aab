// Which key presses which control.  A push button's key is its mnemonic
// (the letter after '&') or else the first letter or digit of its text, in
// lower case: 'i' for "Install".  The static control with SS_NOTIFY (a link)
// is 'l'.  'q' closes the main window and is never a control's key; 'l'
// belongs to the link.  When two controls would share a key, the first one
// created keeps it.
#pragma once

#include <string>
#include <vector>

#include "platform/win32.h"

namespace platform {

constexpr char kCloseKey = 'q';
constexpr char kLinkKey = 'l';

struct KeyBinding {
  char key = 0;
  HWND control = nullptr;
  std::string label;  // the text without '&'
  bool isLink = false;
};

// Bindings for the controls of every visible top-level window.
std::vector<KeyBinding> keyBindings();
// The binding of `key`, or nullptr.
const KeyBinding* findBinding(const std::vector<KeyBinding>& bindings, char key);
// The push buttons Tab moves between: visible, enabled, with WS_TABSTOP.
std::vector<HWND> tabOrder();
// The text of a control without its mnemonic marks.
std::string labelOf(const std::string& text);
// The main window: the first visible top-level window without an owner, or
// failing that any top-level window.
HWND mainWindow();

}  // namespace platform
