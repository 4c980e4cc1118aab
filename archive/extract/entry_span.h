// Where a decoder comes to an entry's data in a set of cabinets, from the
// headers of their data blocks, without decoding.
#pragma once

#include <cstdint>

#include "archive/archive_state.h"

namespace cabarchive {

// The cabinet a decoder is in when its output reaches the first byte of
// entry `index`: the cabinet where the entry's folder begins when the entry
// is the folder's first, else the cabinet whose blocks complete the
// folder's bytes before the entry. A data block split between two cabinets
// completes in the second. Where the block headers stop short, the last
// cabinet whose blocks could be read.
uint32_t cabinetReachingEntry(CabArchive& archive, uint32_t index);

}  // namespace cabarchive
