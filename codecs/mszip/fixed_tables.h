// The decoding tables of Deflate's fixed codes, computed by the compiler and
// shared read-only by every MSZIP instance: nothing is built at run time, so
// there is no first-use race and no build result left unchecked.
#pragma once

#include "codecs/mszip/deflate_tables.h"
#include "codecs/mszip/huffman_table.h"
#include "codecs/mszip/mszip_decoder.h"

namespace mszip {

// Looked up at the same widths as the tables of dynamic blocks: the 9-bit
// literal/length table and the 5-bit distance table are repeated to fill them.
constexpr uint32_t kFixedLiteralBits = kLiteralLookupBits;
constexpr uint32_t kFixedDistanceBits = kDistanceLookupBits;
// Laid out as a decoder's stores are, the distance table kDistanceTableOffset
// entries after the literal table.
constexpr uint32_t kFixedLiteralCapacity = kDistanceTableOffset;
constexpr uint32_t kFixedDistanceCapacity = 1u << kFixedDistanceBits;
static_assert(kFixedLiteralCapacity >= 1u << kFixedLiteralBits);
// Every fixed literal code has 8 or 9 bits.
constexpr LiteralShape kFixedLiteralShape{0, 8};

struct FixedTables {
    HuffmanEntry literal[kFixedLiteralCapacity];
    HuffmanEntry distance[kFixedDistanceCapacity];
    HuffmanResult literalResult;  // after the tables, which must adjoin
    HuffmanResult distanceResult;
};

constexpr FixedTables buildFixedTables() {
    FixedTables tables{};
    uint32_t lengths[kLiteralLengthSymbols] = {};
    for (uint32_t symbol = 0; symbol < kLiteralLengthSymbols; ++symbol) {
        lengths[symbol] = symbol < 144 ? 8 : symbol < 256 ? 9 : symbol < 280 ? 7 : 8;
    }
    uint32_t bits = kFixedLiteralBits;
    tables.literalResult = buildHuffmanTable(lengths, kLiteralLengthSymbols,
                                             kLiteralLengthEntries, tables.literal,
                                             kFixedLiteralCapacity, &bits);
    widenFirstLevel(tables.literal, bits, kFixedLiteralBits);
    for (uint32_t code = 0; code < kDistanceSymbols; ++code) lengths[code] = 5;
    bits = kFixedDistanceBits;
    tables.distanceResult = buildHuffmanTable(lengths, kDistanceSymbols, kDistanceEntries,
                                              tables.distance, kFixedDistanceCapacity, &bits);
    widenFirstLevel(tables.distance, bits, kFixedDistanceBits);
    return tables;
}

inline constexpr FixedTables kFixedTables = buildFixedTables();
static_assert(kFixedTables.literalResult == TableComplete);
// Distance codes 30 and 31 are left unused; they decode as InvalidCode.
static_assert(kFixedTables.distanceResult == TableIncomplete);

inline constexpr const HuffmanEntry* fixedLiteralTable = kFixedTables.literal;
inline constexpr const HuffmanEntry* fixedDistanceTable = kFixedTables.distance;

}  // namespace mszip
