// Serialises one cabinet: CFHEADER with its optional parts, the CFFOLDER and
// CFFILE tables, then every folder's CFDATA blocks.
#include "tools/cabwriter/writer_internal.h"

#include "cab/bytes.h"
#include "cab/format.h"

#include <stdexcept>

namespace cabwriter {
namespace detail {
namespace {

void put16(Bytes& out, uint16_t value) {
    out.resize(out.size() + 2);
    writeLe16(out.data() + out.size() - 2, value);
}

void put32(Bytes& out, uint32_t value) {
    out.resize(out.size() + 4);
    writeLe32(out.data() + out.size() - 4, value);
}

void putName(Bytes& out, const std::string& name) {
    out.insert(out.end(), name.begin(), name.end());
    out.push_back(0);
}

// A reserve area of exactly `size` bytes: the given bytes, then zeros.
void putReserve(Bytes& out, const Bytes& bytes, size_t size) {
    if (bytes.size() > size) throw std::invalid_argument("reserve bytes exceed the declared size");
    out.insert(out.end(), bytes.begin(), bytes.end());
    out.resize(out.size() + (size - bytes.size()));
}

void putBlock(Bytes& out, const PlannedBlock& block, uint8_t cbCFData, bool checksums) {
    const uint32_t start = uint32_t(out.size());
    put32(out, 0);  // csum, filled in below
    put16(out, uint16_t(block.size));
    put16(out, block.cbUncomp);
    putReserve(out, *block.reserve, cbCFData);
    out.insert(out.end(), block.data, block.data + block.size);
    if (checksums) rechecksumBlock(out, start, cbCFData);
}

}  // namespace

PlannedFile planFile(const File& file, uint32_t start, uint16_t iFolder) {
    PlannedFile planned{&file, uint32_t(file.data.size()), start, iFolder};
    if (file.sizeOverride >= 0) planned.cbFile = uint32_t(file.sizeOverride);
    if (file.folderStartOverride >= 0) planned.uoffFolderStart = uint32_t(file.folderStartOverride);
    if (file.folderIndexOverride >= 0) planned.iFolder = uint16_t(file.folderIndexOverride);
    return planned;
}

std::string numberedName(const std::string& pattern, int number) {
    std::string name = pattern;
    const size_t at = name.find("%d");
    if (at != std::string::npos) name.replace(at, 2, std::to_string(number));
    return name;
}

Cabinet buildCabinet(const CabinetPlan& plan, const Options& options) {
    const bool reserve = options.reserveFlag;
    const uint8_t cbCFFolder = reserve ? options.cbCFFolder : 0;
    const uint8_t cbCFData = reserve ? options.cbCFData : 0;
    uint16_t flags = 0;
    if (!plan.previousCabinet.empty()) flags |= kFlagPrevious;
    if (!plan.nextCabinet.empty()) flags |= kFlagNext;
    if (reserve) flags |= kFlagReserve;
    if (options.cabinetReserve.size() > 0xFFFF) {
        throw std::invalid_argument("cabinet reserve larger than 65535 bytes");
    }

    Cabinet cabinet;
    cabinet.name = plan.name;
    Bytes& out = cabinet.image;
    Layout& layout = cabinet.layout;

    put32(out, kSignatureMscf);
    put32(out, 0);  // reserved1
    put32(out, 0);  // cbCabinet, patched at the end
    put32(out, 0);  // reserved2
    put32(out, 0);  // coffFiles, patched once known
    put32(out, 0);  // reserved3
    put16(out, kVersion13);
    put16(out, uint16_t(plan.folders.size()));
    put16(out, uint16_t(plan.files.size()));
    put16(out, flags);
    put16(out, options.setId);
    put16(out, plan.iCabinet);

    if (reserve) {
        put16(out, uint16_t(options.cabinetReserve.size()));
        out.push_back(cbCFFolder);
        out.push_back(cbCFData);
        out.insert(out.end(), options.cabinetReserve.begin(), options.cabinetReserve.end());
    }
    if (flags & kFlagPrevious) {
        putName(out, plan.previousCabinet);
        putName(out, plan.previousDisk);
    }
    if (flags & kFlagNext) {
        putName(out, plan.nextCabinet);
        putName(out, plan.nextDisk);
    }

    layout.folderTableOffset = uint32_t(out.size());
    for (const PlannedFolder& folder : plan.folders) {
        layout.folderOffsets.push_back(uint32_t(out.size()));
        put32(out, 0);  // coffCabStart, patched when the blocks are written
        put16(out, uint16_t(folder.blocks.size()));
        put16(out, folder.typeCompress);
        putReserve(out, reserve ? *folder.reserve : Bytes{}, cbCFFolder);
    }

    layout.coffFiles = uint32_t(out.size());
    writeLe32(out.data() + 16, layout.coffFiles);
    for (const PlannedFile& file : plan.files) {
        layout.fileOffsets.push_back(uint32_t(out.size()));
        put32(out, file.cbFile);
        put32(out, file.uoffFolderStart);
        put16(out, file.iFolder);
        put16(out, file.file->date);
        put16(out, file.file->time);
        put16(out, file.file->attribs);
        putName(out, file.file->name);
    }

    for (size_t i = 0; i < plan.folders.size(); ++i) {
        writeLe32(out.data() + layout.folderOffsets[i], uint32_t(out.size()));
        for (const PlannedBlock& block : plan.folders[i].blocks) {
            layout.blockOffsets.push_back(uint32_t(out.size()));
            putBlock(out, block, cbCFData, options.checksums);
        }
    }

    writeLe32(out.data() + 8, uint32_t(out.size()));
    return cabinet;
}

}  // namespace detail

void rechecksumBlock(Bytes& image, uint32_t blockOffset, uint8_t cbCFData) {
    uint8_t* header = image.data() + blockOffset;
    const uint16_t cbData = readLe16(header + 4);
    const uint32_t dataOffset = blockOffset + kBlockFixedSize + cbCFData;
    if (dataOffset + size_t(cbData) > image.size()) {
        throw std::invalid_argument("block runs past the end of the image");
    }
    uint32_t sum = detail::blockChecksumOf(image.data() + dataOffset, cbData, 0);
    sum = detail::blockChecksumOf(header + 4, 4u + cbCFData, sum);
    writeLe32(header, sum);
}

}  // namespace cabwriter
