#include "installer/failure_reason.h"

#include <cerrno>
#include <cstring>

#include "cab/cab.h"
#include "installer/win32_api.h"

namespace {

const char* runtimeErrorText(int code) {
    switch (code) {
        case EACCES:
        case EPERM:
        case EROFS: return "access was denied";
        case ENOSPC: return "the disk is full";
        case ENOENT: return "the directory does not exist";
        case ENOTDIR: return "a file stands where a directory should be";
        case ENAMETOOLONG: return "the path is too long";
        default: return std::strerror(code);
    }
}

const char* systemErrorText(int code) {
    switch (code) {
        case ERROR_ACCESS_DENIED: return "access was denied";
        case ERROR_DISK_FULL:
        case ERROR_HANDLE_DISK_FULL: return "the disk is full";
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND: return "the directory does not exist";
        default: return "the system reported an error";
    }
}

}  // namespace

FailureReason runtimeFailure() {
    return FailureReason{FailureReason::Source::RuntimeError, errno};
}

FailureReason systemFailure() {
    return FailureReason{FailureReason::Source::SystemError, static_cast<int32_t>(GetLastError())};
}

const char* reasonText(const FailureReason& reason) {
    using Source = FailureReason::Source;
    switch (reason.source) {
        case Source::None: return "no error";
        case Source::RuntimeError: return runtimeErrorText(reason.code);
        case Source::SystemError: return systemErrorText(reason.code);
        case Source::CabinetError: return cabErrorText(reason.code);
        case Source::PathTooLong: return "the path is too long";
        case Source::NotACabinet: return "it is not a cabinet file";
        case Source::FileMissing: return "the file does not exist";
        case Source::ExistingReadOnly: return "the existing file is read-only";
    }
    return "unknown error";
}
