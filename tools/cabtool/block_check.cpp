#include "tools/cabtool/block_check.h"

#include <unistd.h>

#include <algorithm>

#include "tools/cabtool/cabinet_offsets.h"

namespace cabtool {
namespace {

// Reads through a handle that sees the cabinet from its registered start.
CabinetBytesReader readerOf(int fd) {
    return [fd](uint32_t at, uint8_t* buffer, size_t count) {
        if (seekInCabinet(fd, at, 0) != int64_t(at)) return false;
        size_t done = 0;
        while (done < count) {
            const ssize_t got = read(fd, buffer + done, count - done);
            if (got <= 0) return false;
            done += size_t(got);
        }
        return true;
    };
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
    const int fd = openAtCabinetStart(path);
    if (fd < 0) return {};
    std::vector<BlockFinding> found = cabarchive::surveyBlocks(readerOf(fd), header.folders, header.blockReserve);
    forgetCabinetHandle(fd);
    close(fd);
    return found;
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
