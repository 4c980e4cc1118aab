// Why a file or cabinet operation failed, kept in the terms of the call that
// failed, and put into a few plain words for the user.
#pragma once

#include <cstdint>

struct FailureReason {
    enum class Source : uint8_t {
        None,
        RuntimeError,      // code is an errno value from the C runtime
        SystemError,       // code is a GetLastError value
        CabinetError,      // code is a CabErrorCode from the decoder
        PathTooLong,       // a path did not fit its buffer
        NotACabinet,       // the file is not a cabinet
        FileMissing,       // the file to read does not exist
        ExistingReadOnly,  // a read-only file of the same name is in the way
    };
    Source source = Source::None;
    int32_t code = 0;

    bool failed() const { return source != Source::None; }
};

// The reason the C runtime's errno or the system's last error gives now.
FailureReason runtimeFailure();
FailureReason systemFailure();

// A few words, lower case, no full stop: "access was denied".
const char* reasonText(const FailureReason& reason);
