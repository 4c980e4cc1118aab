// Block headers: the stream's call-translation header, the block type and
// size, the trees of verbatim and aligned-offset blocks sent as pretree-coded
// deltas against the previous block's path lengths, and the realignment and
// stored repeated offsets of uncompressed blocks.
#include "codecs/lzx/bit_reader.h"
#include "codecs/lzx/lzx_decoder.h"

#include <array>
#include <cstring>

namespace lzx {
namespace {

// k mod 17 for k = 0..33, so that entry 17 + prior - code is the new path
// length for a prior length and a delta code in 0..16: a lookup rather than
// a division.
constexpr auto kDeltaTable = [] {
    std::array<uint8_t, 34> table{};
    for (uint32_t k = 0; k < table.size(); ++k) table[k] = uint8_t(k % 17);
    return table;
}();

// (prior - code) mod 17 for prior and code in 0..16.
inline uint8_t deltaLength(uint8_t prior, uint32_t code) { return kDeltaTable[17 + prior - code]; }

uint32_t readPretreeSymbol(Decoder& d, const int16_t* table, const int16_t (*nodes)[2],
                           const uint8_t* lengths) {
    const int32_t entry = table[d.bitBuffer >> (32 - kPretreeLookupBits)];
    if (entry >= 0) {
        dropBits(d, int(uint32_t(entry) >> kTableSymbolBits));
        return uint32_t(entry) & kTableSymbolMask;
    }
    int32_t symbol = entry;
    for (uint32_t bit = uint32_t(1) << (31 - kPretreeLookupBits); symbol < 0; bit >>= 1) {
        symbol = nodes[-symbol - kPretreeSymbols][(d.bitBuffer & bit) ? 1 : 0];
    }
    dropBits(d, lengths[symbol]);
    return uint32_t(symbol);
}

// One pretree section: `count` path lengths written over `lengths` as
// deltas against `prior`. A run never reaches past the section's end.
bool readLengths(Decoder& d, uint32_t count, const uint8_t* prior, uint8_t* lengths) {
    uint8_t pretreeLengths[kPretreeSymbols];
    int16_t pretreeTable[1 << kPretreeLookupBits];
    int16_t pretreeNodes[2 * kPretreeSymbols][2];
    for (int s = 0; s < kPretreeSymbols; ++s) pretreeLengths[s] = uint8_t(getBits(d, 4));
    if (d.inputExhausted) return false;
    if (!buildTable(kPretreeSymbols, pretreeLengths, kPretreeLookupBits, pretreeTable,
                    pretreeNodes)) {
        return false;
    }
    uint32_t i = 0;
    while (i < count) {
        uint32_t code = readPretreeSymbol(d, pretreeTable, pretreeNodes, pretreeLengths);
        if (d.inputExhausted) return false;
        if (code <= 16) {
            lengths[i] = deltaLength(prior[i], code);
            ++i;
            continue;
        }
        uint32_t run;
        uint8_t value = 0;
        if (code == 17) {
            run = getBits(d, 4) + 4;
        } else if (code == 18) {
            run = getBits(d, 5) + 20;
        } else {
            run = getBits(d, 1) + 4;
            uint32_t valueCode = readPretreeSymbol(d, pretreeTable, pretreeNodes, pretreeLengths);
            // A run of a run code has no meaning; a valid stream never sends it.
            if (valueCode > 16) return false;
            value = deltaLength(prior[i], valueCode);
        }
        if (run > count - i) run = count - i;
        std::memset(lengths + i, value, run);
        i += run;
    }
    return !d.inputExhausted;
}

bool readTrees(Decoder& d) {
    if (!readLengths(d, kLiteralCount, d.priorMainLengths, d.mainLengths)) return false;
    if (!readLengths(d, d.mainSymbols - kLiteralCount, d.priorMainLengths + kLiteralCount,
                     d.mainLengths + kLiteralCount)) {
        return false;
    }
    if (!readLengths(d, kLengthSymbols, d.priorLengthLengths, d.lengthLengths)) return false;
    // The main table takes in length codes from the length table.
    return buildTable(kLengthSymbols, d.lengthLengths, kLengthLookupBits, d.lengthTable,
                      d.lengthNodes) &&
           buildMainTable(d);
}

bool readAlignedTree(Decoder& d) {
    for (int s = 0; s < kAlignedSymbols; ++s) d.alignedLengths[s] = uint8_t(getBits(d, 3));
    if (d.inputExhausted) return false;
    return buildAlignedTable(d.alignedLengths, d.alignedTable);
}

inline uint32_t readLong(const uint8_t* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

bool readStoredHeader(Decoder& d) {
    // The look-ahead holds the whole word before inPos and 1..16 bits of the
    // one before that; dropping those bits pads to the word boundary, so the
    // block's bytes start at the last word read.
    d.inPos -= 2;
    // The block's bytes must begin inside this call's data.
    if (d.inPos >= d.dataEnd) return false;
    for (int r = 0; r < 3; ++r) d.repeatedOffsets[r] = readLong(d.inPos + 4 * r);
    d.inPos += 12;
    return true;
}

}  // namespace

void primeBits(Decoder& d) {
    if (d.blockType == Uncompressed) return;
    d.bitBuffer = readWord(d.inPos) << 16 | readWord(d.inPos + 2);
    d.inPos += 4;
    d.spareBits = 16;
}

bool readBlockHeader(Decoder& d) {
    if (d.translationPending) {
        d.translationPending = false;
        if (getBits(d, 1) == 1) {
            uint32_t high = getBits(d, 16);
            d.translationSize = high << 16 | getBits(d, 16);
        } else {
            d.translationSize = 0;
        }
    }
    if (d.blockType == Uncompressed) {
        // The bit stream resumes after the stored bytes and their pad byte.
        if ((d.blockSize & 1) != 0 && d.inPos < d.inLimit) ++d.inPos;
        d.blockType = NoBlock;
        primeBits(d);
    }
    d.blockType = getBits(d, 3);
    uint32_t high = getBits(d, 8);
    uint32_t middle = getBits(d, 8);
    d.blockSize = high << 16 | middle << 8 | getBits(d, 8);
    d.blockLeft = int32_t(d.blockSize);

    switch (d.blockType) {
        case AlignedOffset:
            if (!readAlignedTree(d)) return false;
            [[fallthrough]];
        case Verbatim:
            std::memcpy(d.priorMainLengths, d.mainLengths, d.mainSymbols);
            std::memcpy(d.priorLengthLengths, d.lengthLengths, kLengthSymbols);
            return readTrees(d);
        case Uncompressed: return readStoredHeader(d);
        default: return false;
    }
}

}  // namespace lzx
