// One Deflate block: header, stored blocks, and the headers of blocks with
// fixed and dynamic codes.
#include "codecs/mszip/bit_reader.h"
#include "codecs/mszip/deflate_tables.h"
#include "codecs/mszip/fixed_tables.h"
#include "codecs/mszip/mszip_decoder.h"

#include <cstring>

namespace mszip {
namespace {

constexpr uint32_t kMaxLiteralLengthCodes = 286;
constexpr uint32_t kMaxDistanceCodes = 30;

bool copyStoredBlock(MszipDecoder* d) {
    dropBits(d, d->bitCount % 8);
    const uint32_t length = readBits(d, 16);
    const uint32_t complement = readBits(d, 16);
    if (complement != (length ^ 0xFFFF)) return false;

    // The stored bytes follow the bytes the reservoir still holds.
    const uint32_t start = alignedInputPosition(d);
    d->bitBuffer = 0;
    d->bitCount = 0;
    const uint32_t available = start < d->inputSize ? d->inputSize - start : 0;
    const uint32_t count = length < d->outLeft ? length : d->outLeft;
    // Only the bytes that are written must be present: when the output
    // limit ends the call inside the input, the rest of LEN is never looked
    // at, as with any block cut by the limit.
    if (count > available) return false;
    d->inputUsed = start + (length < available ? length : available);
    if (count == 0) return true;
    std::memcpy(d->windowStart + d->outPos, d->input + start, count);
    d->outPos += count;
    d->outLeft -= count;
    return true;
}

// The work of readCodeLengths (below), into 16-bit lengths.
bool readCodeLengthsInto(MszipDecoder* d, const HuffmanEntry* table, uint32_t tableBits,
                         uint16_t* lengths, uint32_t total) {
    uint32_t position = 0;
    uint32_t previous = 0;  // a repeat before any length repeats length 0
    while (position < total) {
        needBits(d, tableBits);
        const HuffmanEntry entry = table[lowBits(d->bitBuffer, tableBits)];
        if (entry.kind != kLiteral) return false;  // a pattern of no code
        dropBits(d, entry.codeBits);
        const uint32_t symbol = entry.value;
        if (symbol < 16) {
            lengths[position++] = uint16_t(symbol);
            previous = symbol;
            continue;
        }
        uint32_t repeat;
        uint32_t value = 0;
        if (symbol == 16) {
            repeat = 3 + readBits(d, 2);
            value = previous;
        } else if (symbol == 17) {
            repeat = 3 + readBits(d, 3);
        } else {
            repeat = 11 + readBits(d, 7);
        }
        if (position + repeat > total) return false;
        for (uint32_t i = 0; i < repeat; ++i) lengths[position++] = uint16_t(value);
        previous = value;
    }
    return true;
}

// Reads the literal/length and distance code lengths as one list, through
// the code-length code; repeats may run across the boundary of the two.
bool readCodeLengths(MszipDecoder* d, const HuffmanEntry* table, uint32_t tableBits,
                     uint32_t* lengths, uint32_t total) {
    // Read into 16-bit slots first: stores of 32-bit lengths could alias the
    // decoder's 32-bit reader fields, which the compiler would then have to
    // reload from memory after every length.
    uint16_t read[kMaxLiteralLengthCodes + kMaxDistanceCodes];
    if (!readCodeLengthsInto(d, table, tableBits, read, total)) return false;
    for (uint32_t i = 0; i < total; ++i) lengths[i] = read[i];
    return true;
}

// The lengths most literals of a block have, each code weighted by how
// often a code of its length stands in the data it was built for
// (2^-length). A common length needs four fifths of the weight of all
// literal/length codes, a pair of neighbouring lengths three quarters;
// below that, as in text, where matches and literals of many lengths mix,
// guessing a literal's length would rarely pay.
LiteralShape literalShape(const uint32_t* lengths, uint32_t literalCodes) {
    // Codes of each length among the 256 literals, counted in lanes as the
    // table builder counts, and among all literal/length codes.
    const CodeCounts literals = countLengths(lengths, 256);
    const CodeCounts others = countLengths(lengths + 256, literalCodes - 256);
    uint32_t literalWeight[kMaxCodeLength + 1] = {};
    uint32_t totalWeight = 0;
    for (uint32_t k = 1; k <= kMaxCodeLength; ++k) {
        literalWeight[k] = literals.perLength[k] << (kMaxCodeLength - k);
        totalWeight += literalWeight[k] + (others.perLength[k] << (kMaxCodeLength - k));
    }
    auto atLeast = [totalWeight](uint32_t weight, uint32_t parts, uint32_t of) {
        return uint64_t(weight) * of >= uint64_t(totalWeight) * parts;
    };
    LiteralShape shape;
    uint32_t bestPairWeight = 0;
    for (uint32_t k = 1; k < kMaxCodeLength; ++k) {
        if (atLeast(literalWeight[k], 4, 5)) shape.commonLength = k;
        const uint32_t pairWeight = literalWeight[k] + literalWeight[k + 1];
        if (pairWeight > bestPairWeight && atLeast(pairWeight, 3, 4)) {
            shape.pairLength = k;
            bestPairWeight = pairWeight;
        }
    }
    return shape;
}

bool decodeDynamicBlock(MszipDecoder* d) {
    const uint32_t literalCodes = readBits(d, 5) + 257;
    const uint32_t distanceCodes = readBits(d, 5) + 1;
    const uint32_t codeLengthCodes = readBits(d, 4) + 4;
    if (literalCodes > kMaxLiteralLengthCodes || distanceCodes > kMaxDistanceCodes) return false;

    uint32_t codeLengthLengths[kCodeLengthSymbols] = {};
    for (uint32_t i = 0; i < codeLengthCodes; ++i) {
        codeLengthLengths[kCodeLengthOrder[i]] = readBits(d, 3);
    }
    // The code-length table takes the literal/length store until the
    // lengths are read.
    uint32_t codeLengthBits = kCodeLengthLookupBits;
    if (buildHuffmanTable(codeLengthLengths, kCodeLengthSymbols, kCodeLengthSymbols, nullptr,
                          nullptr, d->literalStore, kLiteralStoreCapacity,
                          &codeLengthBits) != TableComplete) {
        return false;
    }
    if (codeLengthBits == 0) return false;  // no code-length code, yet lengths must follow

    uint32_t lengths[kMaxLiteralLengthCodes + kMaxDistanceCodes];
    if (!readCodeLengths(d, d->literalStore, codeLengthBits, lengths,
                         literalCodes + distanceCodes)) {
        return false;
    }

    uint32_t literalBits = kLiteralLookupBits;
    if (buildHuffmanTable(lengths, literalCodes, kFirstLengthSymbol, kDeflateLengthBase,
                          kDeflateLengthExtra, d->literalStore, kLiteralStoreCapacity,
                          &literalBits) != TableComplete) {
        return false;
    }
    uint32_t distanceBits = kDistanceLookupBits;
    if (buildHuffmanTable(lengths + literalCodes, distanceCodes, 0, kDeflateDistanceBase,
                          kDeflateDistanceExtra, d->distanceStore, kDistanceStoreCapacity,
                          &distanceBits) != TableComplete) {
        return false;
    }
    // Both tables are looked up at their full widths, whatever the longest
    // code; a code with no lengths at all gets a table where whatever is
    // looked up is no code.
    widenFirstLevel(d->literalStore, literalBits, kLiteralLookupBits);
    widenFirstLevel(d->distanceStore, distanceBits, kDistanceLookupBits);
    return decodeCompressedData(d, d->literalStore, kLiteralLookupBits, d->distanceStore,
                                kDistanceLookupBits, literalShape(lengths, literalCodes));
}

}  // namespace

bool decodeDeflateBlock(MszipDecoder* d) {
    d->lastBlock = readBits(d, 1);
    switch (readBits(d, 2)) {
        case 0: return copyStoredBlock(d);
        case 1:
            return decodeCompressedData(d, fixedLiteralTable, kFixedLiteralBits,
                                        fixedDistanceTable, kFixedDistanceBits,
                                        kFixedLiteralShape);
        case 2: return decodeDynamicBlock(d);
        default: return false;
    }
}

}  // namespace mszip
