// Messages to the user: errors on standard error, always naming the cabinet.
#pragma once

#include <string>

namespace cabtool {

// Said of the cabinet named on the command line when the walk from the first
// cabinet of its set failed before reaching it, and it is walked on its own.
inline constexpr const char* kRestartingHere =
    "the walk from the first cabinet of its set failed; starting again here";

// "cabtool: CABINET: WHAT"
void reportCabinetError(const std::string& cabinet, const std::string& what);

// "cabtool: CABINET: FILE: WHAT", with '/' between the directories of FILE.
void reportFileError(const std::string& cabinet, const std::string& file, const std::string& what);

// "cabtool: WHAT", for problems that concern no cabinet.
void reportError(const std::string& what);

// The system's description of an errno value.
std::string describeErrno(int error);

}  // namespace cabtool
