// Finding cabinet files on disk.
#pragma once

#include <string>

#include "archive/io/local_files.h"

namespace cabtool {

using cabarchive::CabinetLocation;
using cabarchive::openRegularFile;
using cabarchive::resolveCabinetName;
using cabarchive::splitCabinetPath;

// The longest path (directory prefix plus name) the decoder accepts for a
// cabinet: its path buffers hold 256 characters and a NUL.
constexpr size_t kMaxCabinetPath = 256;


// Why the next cabinet a header names cannot be opened from `directory`;
// empty when it can.
std::string nextCabinetProblem(const std::string& directory, const std::string& name);

}  // namespace cabtool
