#include "platform/errors.h"

#include <cerrno>

namespace {
thread_local DWORD lastError = ERROR_SUCCESS;
}

DWORD GetLastError(void) { return lastError; }

void SetLastError(DWORD error) { lastError = error; }

namespace platform {

DWORD errorFromErrno(int error) {
  switch (error) {
    case 0: return ERROR_SUCCESS;
    case ENOENT: return ERROR_FILE_NOT_FOUND;
    case ENOTDIR:
    case ENAMETOOLONG: return ERROR_PATH_NOT_FOUND;
    case EMFILE:
    case ENFILE: return ERROR_TOO_MANY_OPEN_FILES;
    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR:
    case ETXTBSY: return ERROR_ACCESS_DENIED;
    case EBADF: return ERROR_INVALID_HANDLE;
    case ENOMEM: return ERROR_NOT_ENOUGH_MEMORY;
    case EXDEV: return ERROR_NOT_SAME_DEVICE;
    case EEXIST: return ERROR_FILE_EXISTS;
    case EINVAL: return ERROR_INVALID_PARAMETER;
    case ENOSPC:
    case EDQUOT: return ERROR_DISK_FULL;
    default: return ERROR_GEN_FAILURE;
  }
}

void setLastErrorFromErrno() { SetLastError(errorFromErrno(errno)); }

}  // namespace platform
