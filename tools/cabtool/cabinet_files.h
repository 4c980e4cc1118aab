// Finding cabinet files on disk.
#pragma once

#include <string>

namespace cabtool {

// The longest path (directory prefix plus name) the decoder accepts for a
// cabinet: its path buffers hold 256 characters and a NUL.
constexpr size_t kMaxCabinetPath = 256;

struct CabinetLocation {
    std::string directory;  // empty, or ends with '/'
    std::string name;       // the file name within it
};

// Splits a cabinet path at its last '/'.
CabinetLocation splitCabinetPath(const std::string& path);

// Cabinet headers name their neighbours as they were written, often in
// another letter case than the files on disk: when `name` does not exist in
// `directory`, a file whose name differs only in ASCII case is taken instead.
// Returns `name` unchanged when nothing matches.
std::string resolveCabinetName(const std::string& directory, const std::string& name);

}  // namespace cabtool
