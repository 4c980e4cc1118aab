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

}  // namespace cabtooltest
