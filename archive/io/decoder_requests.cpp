#include "archive/io/decoder_requests.h"

#include <algorithm>

#include "codecs/quantum/quantum.h"

namespace cabarchive {

bool isQuantumWindowRequest(uint32_t size) {
    for (uint32_t bits = kQuantumMinWindowBits; bits <= kQuantumMaxWindowBits; ++bits) {
        if (size == quantumWindowAllocationSize(bits)) return true;
    }
    return false;
}

void clearIgnoredChecksums(const std::vector<uint32_t>& csumOffsets, uint64_t at, uint8_t* buffer,
                           uint32_t count) {
    constexpr uint64_t kCsumSize = 4;
    for (const uint32_t csum : csumOffsets) {
        const uint64_t from = std::max<uint64_t>(csum, at);
        const uint64_t to = std::min<uint64_t>(uint64_t(csum) + kCsumSize, at + count);
        for (uint64_t i = from; i < to; ++i) buffer[i - at] = 0;
    }
}

}  // namespace cabarchive
