// One Deflate block: header, stored blocks, and the headers of blocks with
// fixed and dynamic codes.
#include "codecs/mszip/bit_reader.h"
#include "codecs/mszip/code_lengths.h"
#include "codecs/mszip/deflate_tables.h"
#include "codecs/mszip/fixed_tables.h"
#include "codecs/mszip/mszip_decoder.h"

#include <cstring>

namespace mszip {
namespace {

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

// The lengths most literals of a block have, from the census of its
// literal/length code, each code weighted by how often a code of its length
// stands in the data it was built for (2^-length). A common length needs
// four fifths of the weight of all literal/length codes, a pair of
// neighbouring lengths three quarters; below that, as in text, where
// matches and literals of many lengths mix, guessing a literal's length
// would rarely pay.
LiteralShape literalShape(const CodeCounts& counts) {
    uint32_t literalWeight[kMaxCodeLength + 1] = {};
    uint32_t totalWeight = 0;
    for (uint32_t k = 1; k <= kMaxCodeLength; ++k) {
        literalWeight[k] = counts.literalsPerLength[k] << (kMaxCodeLength - k);
        totalWeight += counts.perLength[k] << (kMaxCodeLength - k);
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
    if (!buildCodeLengthTable(codeLengthLengths, d->literalStore, kLiteralStoreCapacity,
                              &codeLengthBits)) {
        return false;
    }

    uint32_t lengths[kMaxLiteralLengthCodes + kMaxDistanceCodes];
    if (!readCodeLengths(d, d->literalStore, codeLengthBits, lengths,
                         literalCodes + distanceCodes)) {
        return false;
    }

    const CodeCounts literalCounts = countLengths(lengths, literalCodes);
    uint32_t literalBits = kLiteralLookupBits;
    if (buildCountedTable(literalCounts, lengths, literalCodes, kLiteralLengthEntries,
                          d->literalStore, kLiteralStoreCapacity, &literalBits) != TableComplete) {
        return false;
    }
    uint32_t distanceBits = kDistanceLookupBits;
    if (buildHuffmanTable(lengths + literalCodes, distanceCodes, kDistanceEntries,
                          d->distanceStore, kDistanceStoreCapacity, &distanceBits) !=
        TableComplete) {
        return false;
    }
    // Both tables are looked up at their full widths, whatever the longest
    // code; a code with no lengths at all gets a table where whatever is
    // looked up is no code.
    widenFirstLevel(d->literalStore, literalBits, kLiteralLookupBits);
    widenFirstLevel(d->distanceStore, distanceBits, kDistanceLookupBits);
    return decodeCompressedData(d, d->literalStore, kLiteralLookupBits, d->distanceStore,
                                kDistanceLookupBits, literalShape(literalCounts));
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
