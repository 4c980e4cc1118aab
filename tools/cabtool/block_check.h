// Reading a cabinet's data blocks straight from its bytes, without decoding
// them: to say what is wrong with a block the decoder refused, and to find
// the blocks whose checksum does not match before a salvage.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "archive/walk/block_survey.h"
#include "tools/cabtool/cabinet_header.h"

namespace cabtool {

using cabarchive::BlockFault;
using cabarchive::BlockFinding;
using cabarchive::CabinetBytesReader;
using cabarchive::describeFinding;

// Every checksum mismatch and cut-short block of every folder of the cabinet
// at `path` (read as its registered cabinet start says), in folder and block
// order; a folder's chain is followed up to its first cut-short block.
std::vector<BlockFinding> findBlockFaults(const std::string& path, const CabinetHeader& header);

// The same walk, keeping every block read (sound ones with BlockFault::None).
std::vector<BlockFinding> surveyBlocks(const std::string& path, const CabinetHeader& header);

// Where block `block` of folder `folder` of the cabinet at `path` starts in
// the folder's uncompressed data; nothing when its header cannot be read.
std::optional<uint32_t> blockDataStart(const std::string& path, uint16_t folder, uint32_t block);

// What the decoder met in block `block` of folder `folder` of the cabinet at
// `path`, which it refused as damaged: "checksum mismatch in data block 3 of
// folder 0" or "data block 3 of folder 0 is cut short"; empty when the
// bytes show neither.
std::string describeDamagedBlock(const std::string& path, uint16_t folder, uint32_t block);

}  // namespace cabtool
