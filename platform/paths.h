// Windows paths on a POSIX file system.
#pragma once

#include <string>
#include <sys/stat.h>

namespace platform {

// The path with every backslash turned into a slash (drive letters are left
// as they are).
std::string posixPath(const char* windowsPath);

// The read-only attribute is held in the write permission bits: a file is
// read-only when none of owner, group and other may write it.
bool isReadOnlyMode(mode_t mode);

// True when `path` names an existing read-only regular file.  Windows
// refuses to open such a file for writing, to delete it or to replace it,
// even for an administrator; the layer refuses too (root would be let
// through by POSIX).
bool isReadOnlyFile(const std::string& path);

// True when the directory that holds `path` exists and none of owner, group
// and other may write it: no entry can be created, removed or renamed
// there.  The layer refuses those even to root, who POSIX would let through,
// so a write-protected directory behaves the same for every user.
bool isInReadOnlyDirectory(const std::string& path);

}  // namespace platform
