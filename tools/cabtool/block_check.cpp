#include "tools/cabtool/block_check.h"

#include <unistd.h>

#include <algorithm>

#include "cab/cab.h"
#include "cab/format.h"
#include "tools/cabtool/cabinet_offsets.h"

namespace cabtool {
namespace {

constexpr uint32_t kCsumSize = 4;
constexpr uint32_t kCbDataOffset = 4;
constexpr uint32_t kCbUncompOffset = 6;

uint16_t read16(const uint8_t* p) { return uint16_t(p[0] | p[1] << 8); }
uint32_t read32(const uint8_t* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

bool readAt(int fd, uint32_t at, uint8_t* buffer, size_t count) {
    if (seekInCabinet(fd, at, 0) != int64_t(at)) return false;
    size_t done = 0;
    while (done < count) {
        const ssize_t got = read(fd, buffer + done, count - done);
        if (got <= 0) return false;
        done += size_t(got);
    }
    return true;
}

// Follows the chain of one folder's blocks, adding each to `found` (with
// BlockFault::None when sound); false when it ended cut short.
bool checkFolder(int fd, const CabinetHeader& header, uint16_t folder,
                 std::vector<BlockFinding>& found) {
    const uint32_t headerSize = kBlockFixedSize + header.blockReserve;
    uint8_t blockHeader[kBlockFixedSize + 0xFF];
    std::vector<uint8_t> data(0xFFFF);
    uint32_t at = header.folders[folder].firstBlockOffset;
    uint32_t produced = 0;  // uncompressed bytes of the blocks before
    for (uint32_t block = 0; block < header.folders[folder].blockCount; ++block) {
        BlockFinding finding{BlockFault::None, folder, block, at, produced, produced};
        if (!readAt(fd, at, blockHeader, headerSize)) {
            finding.fault = BlockFault::CutShort;
            found.push_back(finding);
            return false;
        }
        const uint16_t size = read16(blockHeader + kCbDataOffset);
        finding.dataEnd = produced + read16(blockHeader + kCbUncompOffset);
        produced = finding.dataEnd;
        if (!readAt(fd, at + headerSize, data.data(), size)) {
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

std::vector<BlockFinding> findBlockFaults(const std::string& path, const CabinetHeader& header) {
    std::vector<BlockFinding> found = surveyBlocks(path, header);
    found.erase(std::remove_if(found.begin(), found.end(),
                               [](const BlockFinding& b) { return b.fault == BlockFault::None; }),
                found.end());
    return found;
}

std::vector<BlockFinding> surveyBlocks(const std::string& path, const CabinetHeader& header) {
    std::vector<BlockFinding> found;
    const int fd = openAtCabinetStart(path);
    if (fd < 0) return found;
    for (uint16_t folder = 0; folder < header.folders.size(); ++folder) {
        checkFolder(fd, header, folder, found);
    }
    forgetCabinetHandle(fd);
    close(fd);
    return found;
}

std::string describeFinding(const BlockFinding& finding) {
    const std::string where = "data block " + std::to_string(finding.block) + " of folder " +
                              std::to_string(finding.folder);
    if (finding.fault == BlockFault::ChecksumMismatch) return "checksum mismatch in " + where;
    return where + " is cut short";
}

std::optional<uint32_t> blockDataStart(const std::string& path, uint16_t folder, uint32_t block) {
    const std::optional<CabinetHeader> header = readCabinetHeader(path, cabinetStartOf(path));
    if (!header) return std::nullopt;
    for (const BlockFinding& finding : surveyBlocks(path, *header)) {
        if (finding.folder == folder && finding.block == block) return finding.dataStart;
    }
    return std::nullopt;
}

std::string describeDamagedBlock(const std::string& path, uint16_t folder, uint32_t block) {
    const std::optional<CabinetHeader> header = readCabinetHeader(path, cabinetStartOf(path));
    if (!header) return "";
    for (const BlockFinding& finding : findBlockFaults(path, *header)) {
        if (finding.folder == folder && finding.block == block) return describeFinding(finding);
    }
    return "";
}

}  // namespace cabtool
