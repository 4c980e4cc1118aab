// Start-up, the frame window, the setup dialog and the message loop.
#pragma once

#include "installer/win32_api.h"

// Runs the installer: registers the frame's class, creates the frame and the
// dialog, and dispatches messages until one of them is destroyed. Returns the
// process exit code (0).
int start(HINSTANCE instance, int showCommand);

// Registers the frame's class, creates the frame and the dialog (shown
// whether or not the frame was created) and remembers them. True when the
// frame exists.
bool createSetupWindows(HINSTANCE instance);

// Keeps the dialog centred horizontally over the frame and dy pixels below
// its top edge, offset by dx; does nothing while either window is missing.
void placeDialog(HWND dialog, HWND frame, int dx, int dy);

LRESULT CALLBACK frameProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK dialogProcedure(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// Where the dialog sits below the frame's top edge.
inline constexpr int kDialogOffsetY = 32;
