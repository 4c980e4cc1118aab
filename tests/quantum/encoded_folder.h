// Folders of Quantum blocks made by the test encoder, cut at given sizes.
#pragma once

#include "tools/cabwriter/quantum_encoder.h"

#include <algorithm>
#include <cstdint>
#include <vector>

namespace qharness {

struct Block {
    std::vector<uint8_t> data;
    uint32_t size;  // bytes the block decodes to
};

// The data cut into blocks of the given sizes (cycled), each encoded.
inline std::vector<Block> encodeFolder(cabwriter::QuantumEncoder& encoder,
                                       const std::vector<uint8_t>& data,
                                       const std::vector<uint32_t>& sizes) {
    std::vector<Block> blocks;
    size_t start = 0;
    for (size_t k = 0; start < data.size(); ++k) {
        const size_t size = std::min<size_t>(sizes[k % sizes.size()], data.size() - start);
        blocks.push_back({encoder.encodeBlock(data.data() + start, size), uint32_t(size)});
        start += size;
    }
    return blocks;
}

}  // namespace qharness
