// Reading and replacing a window's procedure through its window long.
#pragma once

#include "installer/win32_api.h"

inline WNDPROC windowProcedureOf(HWND window) {
    return reinterpret_cast<WNDPROC>(GetWindowLongA(window, GWL_WNDPROC));
}

inline void setWindowProcedure(HWND window, WNDPROC procedure) {
    SetWindowLongA(window, GWL_WNDPROC, reinterpret_cast<LONG>(procedure));
}
