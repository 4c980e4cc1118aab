// Turns a static text control into a link: coloured text, a hand cursor and
// a click that opens the maker's web site. Works by subclassing the control
// and its parent; the replaced procedures and the colour live in window
// properties until the windows are destroyed.
#pragma once

#include "installer/win32_api.h"

// Text colour of a link: RGB(12, 48, 192).
inline constexpr COLORREF kLinkColour = 0x00C0300C;

// Makes the static control a link; call once per control, when its dialog
// is initialised. The parent is subclassed only once however many links it has.
void makeLink(HWND control);

// Asks the shell to open the link target, maximised, owned by the dialog.
void openLink(HWND dialog);

// The subclass procedures, for tests that check what was installed.
LRESULT CALLBACK linkProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT CALLBACK linkParentProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
