// Messages to the user: errors on standard error, always naming the cabinet.
#pragma once

#include <string>

namespace cabtool {

// "cabtool: CABINET: WHAT"
void reportCabinetError(const std::string& cabinet, const std::string& what);

// "cabtool: CABINET: FILE: WHAT", with '/' between the directories of FILE.
void reportFileError(const std::string& cabinet, const std::string& file, const std::string& what);

// "cabtool: WHAT", for problems that concern no cabinet.
void reportError(const std::string& what);

// The system's description of an errno value.
std::string describeErrno(int error);

}  // namespace cabtool
