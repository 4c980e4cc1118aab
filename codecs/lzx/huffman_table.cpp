// Decoding tables for canonical Huffman codes given by their path lengths:
// codes are handed out by increasing length and, within a length, by
// increasing symbol. A direct table covers the first lookupBits bits; longer
// codes continue through overflow nodes, one bit per node.
#include "codecs/lzx/lzx_decoder.h"

#include <cstring>

namespace lzx {
namespace {

constexpr uint32_t kCompleteCode = 0x10000;

// start[l]: the first code of length l, left-aligned in 16 bits, for
// l = 1..16; start[17] is the code space the lengths take: kCompleteCode
// for a complete code, 0 for none, anything else when incomplete or
// over-subscribed. 32-bit sums, so no over-subscribed set wraps round to
// look complete.
void firstCodes(const uint8_t* lengths, uint32_t symbolCount, uint32_t (&start)[18]) {
    uint32_t count[17] = {};
    for (uint32_t s = 0; s < symbolCount; ++s) ++count[lengths[s]];
    start[1] = 0;
    for (int l = 1; l <= 16; ++l) start[l + 1] = start[l] + (count[l] << (16 - l));
}

// Writes `value` to `count` entries from `at`, where count is a power of
// two (a code's share of a lookup table): four entries to an 8-byte store
// once the run is that long, else entry by entry.
inline void fillRun(int16_t* at, uint32_t count, int16_t value) {
    if (count < 4) {
        for (uint32_t e = 0; e < count; ++e) at[e] = value;
        return;
    }
    const uint64_t four = uint64_t(uint16_t(value)) * 0x0001000100010001u;
    for (uint32_t e = 0; e < count; e += 4) std::memcpy(at + e, &four, 8);
}

}  // namespace

bool buildTable(uint32_t symbolCount, const uint8_t* lengths, int lookupBits, int16_t* table,
                int16_t (*nodes)[2]) {
    uint32_t start[18];
    firstCodes(lengths, symbolCount, start);
    const uint32_t tableSize = uint32_t(1) << lookupBits;
    if (start[17] == 0) {
        // No symbol at all: every lookup gives symbol 0 and consumes nothing.
        std::memset(table, 0, tableSize * sizeof(int16_t));
        return true;
    }
    if (start[17] != kCompleteCode) return false;  // incomplete or over-subscribed

    const int shift = 16 - lookupBits;
    uint32_t weight[17];
    for (int l = 1; l <= 16; ++l) {
        if (l <= lookupBits) {
            start[l] >>= shift;
            weight[l] = uint32_t(1) << (lookupBits - l);
        } else {
            weight[l] = uint32_t(1) << (16 - l);
        }
    }
    // Entries that prefix longer codes start empty and get nodes below.
    uint32_t firstLong = start[lookupBits + 1] >> shift;
    for (uint32_t k = firstLong; k < tableSize; ++k) table[k] = 0;

    uint32_t nextNode = symbolCount;
    for (uint32_t s = 0; s < symbolCount; ++s) {
        int l = lengths[s];
        if (l == 0) continue;
        uint32_t k = start[l];
        uint32_t next = k + weight[l];
        if (l <= lookupBits) {
            if (next > tableSize) return false;
            fillRun(table + k, weight[l], int16_t(s));
            start[l] = next;
            continue;
        }
        start[l] = next;
        int16_t* entry = &table[k >> shift];
        for (int bit = 15 - lookupBits; bit > 15 - l; --bit) {
            if (*entry == 0) {
                nodes[nextNode - symbolCount][0] = 0;
                nodes[nextNode - symbolCount][1] = 0;
                *entry = int16_t(-int32_t(nextNode));
                ++nextNode;
            }
            entry = &nodes[-*entry - int32_t(symbolCount)][(k >> bit) & 1];
        }
        *entry = int16_t(s);
    }
    return true;
}

bool buildAlignedTable(const uint8_t* lengths, uint8_t* table) {
    // As for the other trees: a complete code, or no code at all. An
    // over-subscribed set such as 1, 1, 2, 2, 2, 2, 0, 0 is refused: some of
    // its symbols could never be decoded.
    uint32_t start[18];
    firstCodes(lengths, kAlignedSymbols, start);
    if (start[17] != 0 && start[17] != kCompleteCode) return false;

    uint32_t weight[8];
    for (int l = 1; l <= kAlignedLookupBits; ++l) {
        start[l] >>= 16 - kAlignedLookupBits;
        weight[l] = uint32_t(1) << (kAlignedLookupBits - l);
    }
    std::memset(table, 0, 1 << kAlignedLookupBits);
    for (int s = 0; s < kAlignedSymbols; ++s) {
        int l = lengths[s];
        if (l == 0) continue;
        uint32_t next = start[l] + weight[l];
        if (next > (1u << kAlignedLookupBits)) return false;
        for (uint32_t e = start[l]; e < next; ++e) table[e] = uint8_t(s);
        start[l] = next;
    }
    return true;
}

}  // namespace lzx
