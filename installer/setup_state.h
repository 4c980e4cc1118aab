// Process-wide values of the setup program, set once at start-up.
#pragma once

#include "installer/win32_api.h"

// Caption of the frame and of the completion message.
inline constexpr char kSetupCaption[] = "Setup - Q-Mora";

extern HINSTANCE setupInstance;  // module the icon, dialog and picture are loaded from
extern HWND setupFrame;          // the top-level frame window
extern HWND setupDialog;         // the modeless dialog with the buttons and the link
