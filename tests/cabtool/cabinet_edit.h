// Rewriting a written cabinet's directory, for sets the writer does not make.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "tools/cabwriter/cab_writer.h"

namespace cabtooltest {

// Rewrites the file records of `cabinet` so that the directory lists them in
// `order` (indices into the records as written).
inline void reorderDirectory(cabwriter::Cabinet& cabinet, const std::vector<size_t>& order) {
    auto& image = cabinet.image;
    auto& offsets = cabinet.layout.fileOffsets;
    const size_t end = cabinet.layout.blockOffsets.empty() ? image.size()
                                                           : cabinet.layout.blockOffsets.front();
    std::vector<cabwriter::Bytes> records;
    for (size_t i = 0; i < offsets.size(); ++i) {
        const size_t stop = i + 1 < offsets.size() ? offsets[i + 1] : end;
        records.emplace_back(image.begin() + long(offsets[i]), image.begin() + long(stop));
    }
    size_t at = offsets.front();
    std::vector<uint32_t> moved;
    for (const size_t i : order) {
        moved.push_back(uint32_t(at));
        std::copy(records[i].begin(), records[i].end(), image.begin() + long(at));
        at += records[i].size();
    }
    offsets = moved;
}

// Little-endian fields of a cabinet image.
inline void put16(cabwriter::Bytes& image, size_t at, uint16_t value) {
    image[at] = uint8_t(value);
    image[at + 1] = uint8_t(value >> 8);
}
inline void put32(cabwriter::Bytes& image, size_t at, uint32_t value) {
    put16(image, at, uint16_t(value));
    put16(image, at + 2, uint16_t(value >> 16));
}

// Offsets of the fields of a cabinet header and of a CFFILE record.
constexpr size_t kHeaderFilesOffset = 16;  // coffFiles
constexpr size_t kHeaderFileCount = 28;    // cFiles
constexpr size_t kFileFolderStart = 4;     // uoffFolderStart
constexpr size_t kFileFolderIndex = 8;     // iFolder
constexpr size_t kFileName = 16;

// Moves the file list behind the data blocks, to the end of the image, so
// that cutting the image short cuts the list and nothing else.
inline void moveFileListToEnd(cabwriter::Cabinet& cabinet) {
    auto& image = cabinet.image;
    auto& layout = cabinet.layout;
    const size_t listEnd = layout.blockOffsets.empty() ? image.size() : layout.blockOffsets.front();
    const cabwriter::Bytes list(image.begin() + long(layout.coffFiles), image.begin() + long(listEnd));
    const auto moved = uint32_t(image.size());
    image.insert(image.end(), list.begin(), list.end());
    for (uint32_t& offset : layout.fileOffsets) offset = offset - layout.coffFiles + moved;
    layout.coffFiles = moved;
    put32(image, kHeaderFilesOffset, moved);
}

}  // namespace cabtooltest
