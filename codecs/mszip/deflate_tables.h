// Constant tables of the Deflate format (RFC 1951).
#pragma once

#include "codecs/mszip/huffman_table.h"

#include <cstdint>

namespace mszip {

// Base lengths of literal/length symbols 257..287; 286 and 287 have no length.
inline constexpr uint16_t kDeflateLengthBase[31] = {
    3,  4,  5,  6,  7,  8,  9,  10, 11,  13,  15,  17,  19,  23, 27, 31,
    35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258, 0,  0};

// Extra bits of symbols 257..287. The 99 makes symbols 286 and 287 decode as
// InvalidCode wherever they have a code.
inline constexpr uint16_t kDeflateLengthExtra[31] = {
    0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2, 2,
    3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0, 99, 99};

// Base distances of distance codes 0..29.
inline constexpr uint16_t kDeflateDistanceBase[30] = {
    1,   2,   3,   4,   5,   7,    9,    13,   17,   25,   33,   49,   65,    97,    129,
    193, 257, 385, 513, 769, 1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};

// Extra bits of distance codes 0..29.
inline constexpr uint16_t kDeflateDistanceExtra[30] = {
    0, 0, 0, 0, 1, 1, 2, 2, 3, 3, 4, 4, 5, 5, 6, 6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};

// Order in which a dynamic block header lists the code-length code's lengths.
inline constexpr uint8_t kCodeLengthOrder[19] = {16, 17, 18, 0, 8,  7, 9,  6, 10, 5,
                                                 11, 4,  12, 3, 13, 2, 14, 1, 15};

constexpr uint32_t kLiteralLengthSymbols = 288;  // 0..255 bytes, 256 end, 257..287 lengths
constexpr uint32_t kFirstLengthSymbol = 257;
constexpr uint32_t kDistanceSymbols = 30;        // codes 30 and 31 are not defined
constexpr uint32_t kCodeLengthSymbols = 19;
// The most codes a dynamic block header may give lengths for.
constexpr uint32_t kMaxLiteralLengthCodes = 286;
constexpr uint32_t kMaxDistanceCodes = 30;
constexpr uint32_t kMaxMatchLength = 258;
constexpr uint32_t kMaxDistance = 32768;

// What the codes of the literal/length and distance symbols decode to.
inline constexpr SymbolEntries kLiteralLengthEntries =
    symbolEntries(kLiteralLengthSymbols, kFirstLengthSymbol, kDeflateLengthBase,
                  kDeflateLengthExtra);
inline constexpr SymbolEntries kDistanceEntries =
    symbolEntries(kDistanceSymbols, 0, kDeflateDistanceBase, kDeflateDistanceExtra);

}  // namespace mszip
