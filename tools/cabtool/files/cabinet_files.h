// Finding cabinet files on disk, through the archive library.
#pragma once

#include <cstddef>
#include <string>

namespace cabtool {

// The longest path (directory prefix plus name) the decoder accepts for a
// cabinet: its path buffers hold 256 characters and a NUL.
constexpr size_t kMaxCabinetPath = 256;

// Opens `path` for reading when it is a regular file; -1 with the reason in
// `problem` otherwise.
int openRegularFile(const std::string& path, std::string& problem);

// The path of the neighbour `name` of the cabinet at `cabinetPath`, as the
// library looks for it: beside it, in the letter case found on disk.
std::string neighbourPath(const std::string& cabinetPath, const std::string& name);

// Why the next cabinet named `name` by the cabinet at `cabinetPath` cannot be
// opened; empty when it can.
std::string nextCabinetProblem(const std::string& cabinetPath, const std::string& name);

}  // namespace cabtool
