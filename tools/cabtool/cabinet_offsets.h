// Cabinets stored inside other files are read through the same file
// callbacks as cabinet files of their own: the file's path is registered with
// the offset at which the cabinet begins, and every handle opened on that
// path reads and seeks as if the file began there.
#pragma once

#include <cstdint>
#include <string>

namespace cabtool {

// From now on, opening `path` gives a handle whose position 0 is `offset`
// bytes into the file. An offset of 0 removes the registration.
void setCabinetStart(const std::string& path, uint64_t offset);

// The offset registered for `path`, or 0.
uint64_t cabinetStartOf(const std::string& path);

// Moves `fd`, just opened on `path`, to the registered start of its cabinet
// (leaving it where it is when none) and remembers that start for the
// handle. False when the seek fails.
bool moveToCabinetStart(int fd, const std::string& path);

// Opens `path` read-only and moves it to its cabinet's start. -1 on failure.
int openAtCabinetStart(const std::string& path);

// Seeks within the cabinet a handle from openAtCabinetStart reads:
// origin 0 from the cabinet's start, 1 from the current position. Returns
// the position relative to the cabinet's start, or -1.
int64_t seekInCabinet(int fd, int64_t offset, int origin);

// Forgets the handle's start; call before closing it.
void forgetCabinetHandle(int fd);

}  // namespace cabtool
