// The calling thread's last-error value and its mapping from errno.
#pragma once

#include "platform/win32.h"

namespace platform {

// The Win32 error code that best describes a POSIX errno value.
DWORD errorFromErrno(int error);
// SetLastError(errorFromErrno(errno)).
void setLastErrorFromErrno();

}  // namespace platform
