// Reading a cabinet's data blocks straight from its bytes, without decoding
// them: to say what is wrong with a block the decoder refused, and to find
// the blocks whose checksum does not match before a salvage.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "archive/embedded/cabinet_header.h"

namespace cabarchive {

enum class BlockFault {
    None,
    ChecksumMismatch,  // the stored csum is not that of the bytes
    CutShort,          // the header or the data runs past the end of the file
};

struct BlockFinding {
    BlockFault fault = BlockFault::None;
    uint16_t folder = 0;
    uint32_t block = 0;         // index within the folder, in this cabinet
    uint32_t csumOffset = 0;    // where the block's csum field lies in the cabinet
    // The block's uncompressed bytes within its folder, as the headers of
    // this cabinet's blocks tell: [dataStart, dataEnd).
    uint32_t dataStart = 0;
    uint32_t dataEnd = 0;
};

// Reads `count` bytes at cabinet position `at` into `buffer`; false when
// they cannot all be read.
using CabinetBytesReader = std::function<bool(uint32_t at, uint8_t* buffer, size_t count)>;

// Every block of every folder, in folder and block order, with its fault;
// a folder's chain is followed up to its first cut-short block.
// `blockReserve` is the cabinet's cbCFData.
std::vector<BlockFinding> surveyBlocks(const CabinetBytesReader& read,
                                       const std::vector<FolderFacts>& folders, uint8_t blockReserve);

// "checksum mismatch in data block 3 of folder 0" or "data block 3 of
// folder 0 is cut short".
std::string describeFinding(const BlockFinding& finding);

}  // namespace cabarchive
