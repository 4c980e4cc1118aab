#include "archive/extract/block_faults.h"

namespace cabarchive {

std::vector<BlockFinding> surveyCabinetBlocks(ArchiveIo& io, const Cabinet& cabinet) {
    std::vector<FolderFacts> folders;
    for (const CabFolderRecord& record : cabinet.folders) {
        folders.push_back(FolderFacts{record.coffCabStart, record.cCFData, record.typeCompress});
    }
    const CabinetBytesReader read = [&](uint32_t at, uint8_t* buffer, size_t count) {
        return io.readRaw(cabinet.source, at, buffer, count);
    };
    return surveyBlocks(read, folders, cabinet.header.cbCFData);
}

std::string describeRefusedBlock(ArchiveIo& io, const Cabinet& cabinet, uint16_t folder,
                                 uint32_t block) {
    for (const BlockFinding& finding : surveyCabinetBlocks(io, cabinet)) {
        if (finding.folder == folder && finding.block == block && finding.fault != BlockFault::None) {
            return describeFinding(finding);
        }
    }
    return "";
}

std::optional<uint32_t> blockDataStart(ArchiveIo& io, const Cabinet& cabinet, uint16_t folder,
                                       uint32_t block) {
    for (const BlockFinding& finding : surveyCabinetBlocks(io, cabinet)) {
        if (finding.folder == folder && finding.block == block) return finding.dataStart;
    }
    return std::nullopt;
}

}  // namespace cabarchive
