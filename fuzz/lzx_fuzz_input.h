// The input format shared by fuzz_lzx, fuzz_lzx_cabinet and their seeds:
//   byte 0     window bits (15 + value % 7)
//   byte 1     not interpreted
//   then blocks, each: uncompressed size (2 bytes, little-endian, taken
//   modulo 32,769; 0xFFFF marks a reset, a new folder, instead of a block),
//   data length (2 bytes), the data.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace lzxfuzz {

struct Block {
    uint32_t uncompressedSize;
    bool reset;  // a folder boundary, not a block
    const uint8_t* data;
    uint32_t size;
};

struct Input {
    int windowBits = 15;
    std::vector<Block> blocks;
};

inline Input parse(const uint8_t* data, size_t size) {
    Input in;
    if (size < 2) return in;
    in.windowBits = 15 + data[0] % 7;
    size_t pos = 2;
    while (pos + 4 <= size) {
        uint32_t sizeField = uint32_t(data[pos]) | uint32_t(data[pos + 1]) << 8;
        uint32_t length = uint32_t(data[pos + 2]) | uint32_t(data[pos + 3]) << 8;
        pos += 4;
        if (length > size - pos) length = uint32_t(size - pos);
        in.blocks.push_back({sizeField % 32769, sizeField == 0xFFFF, data + pos, length});
        pos += length;
    }
    return in;
}

inline void appendBlock(std::vector<uint8_t>& out, uint32_t uncompressedSize,
                        const std::vector<uint8_t>& data) {
    out.push_back(uint8_t(uncompressedSize));
    out.push_back(uint8_t(uncompressedSize >> 8));
    out.push_back(uint8_t(data.size()));
    out.push_back(uint8_t(data.size() >> 8));
    out.insert(out.end(), data.begin(), data.end());
}

}  // namespace lzxfuzz
