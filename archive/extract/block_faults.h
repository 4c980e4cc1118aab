// The data blocks of one cabinet of an archive read straight from its
// source, without decoding: which checksums do not match and which blocks
// are cut short.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "archive/archive_state.h"
#include "archive/walk/block_survey.h"

namespace cabarchive {

// Every block of every folder of `cabinet`, read through `io` (the I/O
// state of the thread asking), in folder and block order.
std::vector<BlockFinding> surveyCabinetBlocks(ArchiveIo& io, const Cabinet& cabinet);

// What is wrong with block `block` of folder `folder` of `cabinet`, which
// the decoder refused: "checksum mismatch in data block 3 of folder 0" or
// "data block 3 of folder 0 is cut short"; empty when the bytes show
// neither.
std::string describeRefusedBlock(ArchiveIo& io, const Cabinet& cabinet, uint16_t folder,
                                 uint32_t block);

// Where the bytes of block `block` of folder `folder` of `cabinet` begin
// within the folder's data, as the block headers tell; nothing when the
// chain of blocks does not reach it.
std::optional<uint32_t> blockDataStart(ArchiveIo& io, const Cabinet& cabinet, uint16_t folder,
                                       uint32_t block);

}  // namespace cabarchive
