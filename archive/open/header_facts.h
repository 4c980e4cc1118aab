// The fixed part of a cabinet header, read on its own (any version).
#pragma once

#include <cstdint>
#include <string>

#include "archive/cab_archive.h"

namespace cabarchive {

// Reads the header at `offset` of the open file `fd` into the members of
// `facts` after its size. False when there is no cabinet signature there or
// the header is cut short, with why in `problem`.
bool readHeaderFacts(int fd, uint64_t offset, CabArchiveHeaderFacts& facts, std::string& problem);

}  // namespace cabarchive
