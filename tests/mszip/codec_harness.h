// An MSZIP instance over malloc/free with its 32,768-byte output buffer, the
// way the cabinet decoder drives it: one buffer for every block of a folder.
#pragma once

#include "codecs/mszip/mszip.h"

#include <cstdint>
#include <cstdlib>
#include <vector>

namespace harness {

using Bytes = std::vector<uint8_t>;

inline void* testAlloc(uint32_t size) { return std::malloc(size); }
inline void testFree(void* block) { std::free(block); }

struct Mszip {
    void* handle = nullptr;
    Bytes window = Bytes(32768, 0);
    uint32_t produced = 0;

    explicit Mszip(uint32_t blockSize = 32768) {
        uint32_t inputSize = 0;
        if (mszipCreate(&blockSize, testAlloc, testFree, &inputSize, &handle) != CodecOk) {
            std::abort();
        }
    }
    ~Mszip() { mszipDestroy(handle); }
    Mszip(const Mszip&) = delete;
    Mszip& operator=(const Mszip&) = delete;

    // Decodes one block from an allocation of exactly its size, so any read
    // past the block's end is caught by the address sanitizer.
    int decode(const Bytes& block, uint32_t outputSize = 32768) {
        uint8_t* exact = static_cast<uint8_t*>(std::malloc(block.size() ? block.size() : 1));
        if (!block.empty()) std::copy(block.begin(), block.end(), exact);
        produced = outputSize;
        int result = mszipDecompress(handle, exact, uint32_t(block.size()), window.data(),
                                     &produced);
        std::free(exact);
        return result;
    }
    Bytes output() const { return Bytes(window.begin(), window.begin() + produced); }

    // Decodes `history` (as long as the output size) as one stored block:
    // the folder's previous block, which the next block may reach back into.
    int primeHistory(const Bytes& history) {
        const uint32_t size = uint32_t(history.size());
        Bytes stored{'C', 'K', 0x01, uint8_t(size), uint8_t(size >> 8), uint8_t(~size),
                     uint8_t(~size >> 8)};
        stored.insert(stored.end(), history.begin(), history.end());
        return decode(stored, size);
    }
};

}  // namespace harness
