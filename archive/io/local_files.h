// Cabinet files on disk: opening them safely and finding a set's neighbours.
#pragma once

#include <string>

namespace cabarchive {

struct CabinetLocation {
    std::string directory;  // empty, or ends with '/'
    std::string name;       // the file name within it
};

// Opens `path` for reading when it is a regular file; anything else (a FIFO,
// a device, a directory) is refused without blocking. -1 on failure, with the
// reason in `problem`.
int openRegularFile(const std::string& path, std::string& problem);

// Splits a cabinet path at its last '/'.
CabinetLocation splitCabinetPath(const std::string& path);

// Cabinet headers name their neighbours as they were written, often in
// another letter case than the files on disk: when `name` does not exist in
// `directory`, a file whose name differs only in ASCII case is taken instead.
// Returns `name` unchanged when nothing matches.
std::string resolveCabinetName(const std::string& directory, const std::string& name);

}  // namespace cabarchive
