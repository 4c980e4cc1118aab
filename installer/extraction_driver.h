// The extraction driver: unpacks one cabinet file into one directory through
// the cabinet decoder, creating each output file and restoring its time
// stamp and attributes.
#pragma once

#include "cab/cab.h"
#include "installer/failure_reason.h"
#include "installer/paths.h"

// The longest cabinet path the decoder can open: it joins the cabinet's
// directory and name in a buffer of 256 characters and a NUL.
inline constexpr size_t kMaxCabinetPath = kCabNameBufferSize - 1;

// What stopped an extraction: the file being worked on, the directory it
// lives in or was going to, and why.
struct ExtractionFailure {
    bool inCabinet = false;  // the cabinet could not be read (else an output file failed)
    PathBuffer file{};       // the output file's name, or the cabinet's name
    PathBuffer directory{};  // the target directory, or the cabinet's directory
    FailureReason reason;
};

// Unpacks every file of the cabinet at cabinetPath into targetDirectory,
// which ends in a backslash. Returns 1 on success, 0 on failure, and then
// describes the failure in *failure when one is given. Prints
// "Unable to open '<path>' for input" when the cabinet cannot be opened.
// Files are written under a temporary name beside their target and take the
// target's name only once complete, so a failed extraction never leaves a
// partial file, nor replaces a good one.
int extractCabinet(const char* cabinetPath, const char* targetDirectory,
                   ExtractionFailure* failure = nullptr);

// The decoder's notification callback, for tests of its single answers.
// Uses the destination of the most recent extractCabinet call.
int handleCabinetNotification(int kind, CabNotification* notification);

// Whether a file name from a cabinet may be written below the destination,
// by the rule every client of the decoder applies (cab/client_names.h).
bool isSafeOutputName(const char* name);

// Suffix of the temporary name an output file is written under.
inline constexpr char kPartialSuffix[] = ".partial";
