#include "archive/walk/block_survey.h"

#include "cab/cab.h"
#include "cab/format.h"

namespace cabarchive {
namespace {

constexpr uint32_t kCsumSize = 4;
constexpr uint32_t kCbDataOffset = 4;
constexpr uint32_t kCbUncompOffset = 6;

uint16_t read16(const uint8_t* p) { return uint16_t(p[0] | p[1] << 8); }
uint32_t read32(const uint8_t* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

// Follows the chain of one folder's blocks, adding each to `found` (with
// BlockFault::None when sound); false when it ended cut short.
bool checkFolder(const CabinetBytesReader& readAt, const FolderFacts& facts, uint8_t blockReserve,
                 uint16_t folder, std::vector<BlockFinding>& found) {
    const uint32_t headerSize = kBlockFixedSize + blockReserve;
    uint8_t blockHeader[kBlockFixedSize + 0xFF];
    std::vector<uint8_t> data(0xFFFF);
    uint32_t at = facts.firstBlockOffset;
    uint32_t produced = 0;  // uncompressed bytes of the blocks before
    for (uint32_t block = 0; block < facts.blockCount; ++block) {
        BlockFinding finding{BlockFault::None, folder, block, at, produced, produced};
        if (!readAt(at, blockHeader, headerSize)) {
            finding.fault = BlockFault::CutShort;
            found.push_back(finding);
            return false;
        }
        const uint16_t size = read16(blockHeader + kCbDataOffset);
        finding.dataEnd = produced + read16(blockHeader + kCbUncompOffset);
        produced = finding.dataEnd;
        if (!readAt(at + headerSize, data.data(), size)) {
            finding.fault = BlockFault::CutShort;
            found.push_back(finding);
            return false;
        }
        const uint32_t csum = read32(blockHeader);
        uint32_t sum = blockChecksum(data.data(), size, 0);
        sum = blockChecksum(blockHeader + kCsumSize, headerSize - kCsumSize, sum);
        if (csum != 0 && sum != csum) finding.fault = BlockFault::ChecksumMismatch;
        found.push_back(finding);
        at += headerSize + size;
    }
    return true;
}

}  // namespace

std::vector<BlockFinding> surveyBlocks(const CabinetBytesReader& read,
                                       const std::vector<FolderFacts>& folders, uint8_t blockReserve) {
    std::vector<BlockFinding> found;
    for (uint16_t folder = 0; folder < folders.size(); ++folder) {
        checkFolder(read, folders[folder], blockReserve, folder, found);
    }
    return found;
}

std::string describeFinding(const BlockFinding& finding) {
    const std::string where = "data block " + std::to_string(finding.block) + " of folder " +
                              std::to_string(finding.folder);
    if (finding.fault == BlockFault::ChecksumMismatch) return "checksum mismatch in " + where;
    return where + " is cut short";
}

}  // namespace cabarchive
