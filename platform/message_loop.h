// The thread's message queue, as the message loop and modal loops see it.
#pragma once

#include "platform/win32.h"

namespace platform {

// The next message without waiting: a posted message (those for destroyed
// windows are dropped), then the quit message, then WM_PAINT for a visible
// window that needs painting.  False when there is none.
bool takeNextMessage(MSG& msg, HWND filter, UINT filterMin, UINT filterMax);

}  // namespace platform
