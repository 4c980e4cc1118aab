// Deflate's fixed literal/length and distance codes as decoding tables.
#include "codecs/mszip/fixed_tables.h"

#include "codecs/mszip/deflate_tables.h"

HuffmanEntry fixedLiteralTable[kFixedLiteralCapacity];
HuffmanEntry fixedDistanceTable[kFixedDistanceCapacity];
uint32_t fixedTablesBuilt = 0;

HuffmanResult buildFixedTables() {
    uint32_t lengths[kLiteralLengthSymbols];
    for (uint32_t symbol = 0; symbol < kLiteralLengthSymbols; ++symbol) {
        lengths[symbol] = symbol < 144 ? 8 : symbol < 256 ? 9 : symbol < 280 ? 7 : 8;
    }
    uint32_t bits = kFixedLiteralBits;
    HuffmanResult result =
        buildHuffmanTable(lengths, kLiteralLengthSymbols, kFirstLengthSymbol, kDeflateLengthBase,
                          kDeflateLengthExtra, fixedLiteralTable, kFixedLiteralCapacity, &bits);
    if (result != TableComplete) return result;

    for (uint32_t code = 0; code < kDistanceSymbols; ++code) lengths[code] = 5;
    bits = kFixedDistanceBits;
    result = buildHuffmanTable(lengths, kDistanceSymbols, 0, kDeflateDistanceBase,
                               kDeflateDistanceExtra, fixedDistanceTable, kFixedDistanceCapacity,
                               &bits);
    return result == TableIncomplete ? TableComplete : result;
}
