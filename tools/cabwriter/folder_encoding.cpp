// Turns a folder's files into the data blocks that carry them.
#include "tools/cabwriter/quantum_encoder.h"
#include "tools/cabwriter/writer_internal.h"

#include <algorithm>
#include <stdexcept>

namespace cabwriter::detail {
namespace {

constexpr uint32_t kMaxBlockUncompressed = 32768;
constexpr size_t kMaxBlockData = 0xFFFF;  // cbData is 16 bits
constexpr size_t kHistorySize = 32768;

uint16_t typeWordFor(const Folder& folder) {
    if (folder.typeCompress >= 0) return uint16_t(folder.typeCompress);
    switch (folder.method) {
        case Method::Stored: return 0;
        case Method::Mszip: return 1;
        case Method::Quantum: return uint16_t(2 | (folder.quantumWindowBits << 8));
        case Method::Lzx: return uint16_t(3 | folder.lzx.windowBits << 8);
        case Method::Raw: break;
    }
    throw std::invalid_argument("a Raw folder needs an explicit typeCompress");
}

Bytes concatenatedData(const Folder& folder) {
    Bytes all;
    for (const File& file : folder.files) all.insert(all.end(), file.data.begin(), file.data.end());
    return all;
}

// Stored and MSZIP folders: the folder's bytes cut into blockSize pieces.
std::vector<EncodedBlock> makeBlocks(const Folder& folder) {
    if (folder.blockSize == 0 || folder.blockSize > kMaxBlockUncompressed) {
        throw std::invalid_argument("blockSize must be 1 to 32768");
    }
    const Bytes all = concatenatedData(folder);
    std::vector<EncodedBlock> blocks;
    if (folder.method == Method::Quantum) {
        QuantumEncoder encoder(folder.quantumWindowBits);
        for (size_t start = 0; start < all.size(); start += folder.blockSize) {
            const size_t size = std::min<size_t>(folder.blockSize, all.size() - start);
            blocks.push_back({encoder.encodeBlock(all.data() + start, size), uint16_t(size)});
        }
        return blocks;
    }
    for (size_t start = 0; start < all.size(); start += folder.blockSize) {
        const size_t size = std::min<size_t>(folder.blockSize, all.size() - start);
        const uint8_t* data = all.data() + start;
        EncodedBlock block{{}, uint16_t(size)};
        if (folder.method == Method::Stored) {
            block.data.assign(data, data + size);
        } else {
            const size_t history = folder.presetDictionary ? std::min(start, kHistorySize) : 0;
            block.data = mszipBlock(data, size, data - history, history, folder.zlibLevel,
                                    folder.zlibStrategy);
        }
        blocks.push_back(std::move(block));
    }
    return blocks;
}

std::vector<EncodedBlock> makeLzxBlocks(const Folder& folder) {
    const Bytes all = concatenatedData(folder);
    std::vector<EncodedBlock> blocks;
    for (lzxenc::Frame& frame : lzxenc::encode(all.data(), all.size(), folder.lzx)) {
        if (frame.data.size() > kMaxBlockData) {
            throw std::invalid_argument("an LZX frame needs more than 65535 bytes");
        }
        blocks.push_back({std::move(frame.data), uint16_t(frame.size)});
    }
    return blocks;
}

std::vector<EncodedBlock> copyRawBlocks(const Folder& folder) {
    std::vector<EncodedBlock> blocks;
    for (const RawBlock& raw : folder.rawBlocks) {
        if (raw.data.size() > kMaxBlockData) {
            throw std::invalid_argument("a raw block holds more than 65535 bytes");
        }
        blocks.push_back({raw.data, raw.uncompressedSize});
    }
    return blocks;
}

}  // namespace

EncodedFolder encodeFolder(const Folder& folder) {
    EncodedFolder encoded;
    encoded.typeCompress = typeWordFor(folder);
    switch (folder.method) {
        case Method::Raw: encoded.blocks = copyRawBlocks(folder); break;
        case Method::Lzx: encoded.blocks = makeLzxBlocks(folder); break;
        default: encoded.blocks = makeBlocks(folder); break;
    }

    uint32_t offset = 0;
    for (const File& file : folder.files) {
        encoded.fileStarts.push_back(offset);
        offset += uint32_t(file.data.size());
    }
    for (const EncodedBlock& block : encoded.blocks) {
        encoded.blockStarts.push_back(encoded.uncompressedSize);
        encoded.uncompressedSize += block.uncompressedSize;
    }
    return encoded;
}

}  // namespace cabwriter::detail
