// Kernel file handles: each HANDLE stands for one POSIX descriptor.
#pragma once

#include "platform/win32.h"

namespace platform {

struct FileHandle {
  int fd = -1;
  DWORD access = 0;  // GENERIC_READ / GENERIC_WRITE as opened
};

// The open file behind `handle`, or nullptr (last error set) for a handle
// that is not an open file.
FileHandle* findFileHandle(HANDLE handle);

}  // namespace platform
