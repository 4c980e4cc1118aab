// A dynamic block's code lengths, read through the code-length code.
#pragma once

#include "codecs/mszip/huffman_table.h"
#include "codecs/mszip/mszip_decoder.h"

#include <cstdint>

namespace mszip {

// Code-length symbols 0..15 are lengths; 16, 17 and 18 are repeats, which
// their tables' entries carry as a base count and the extra bits after the
// code: 16 repeats the previous length 3..6 times (2 bits), 17 writes 3..10
// zeros (3 bits), 18 writes 11..138 zeros (7 bits). The bits an entry drops
// count its extra bits too, so one lookup and one shift take a whole
// symbol, as for lengths and distances.
constexpr uint32_t kFirstRepeatSymbol = 16;
inline constexpr uint16_t kRepeatBase[3] = {3, 3, 11};
inline constexpr uint16_t kRepeatExtra[3] = {2, 3, 7};
// The extra bits of symbol 16 alone, which tell its entry from a run of
// zeros.
constexpr uint32_t kRepeatPreviousExtra = 2;

// Builds the code-length code's table from the 19 code-length code lengths
// (in symbol order) into `store`. `lookupBits` is in: the width wanted, out:
// the width used. False unless the code is complete and has codes.
bool buildCodeLengthTable(const uint32_t* codeLengthLengths, HuffmanEntry* store,
                          uint32_t capacity, uint32_t* lookupBits);

// Reads `total` literal/length and distance code lengths as one list
// through the table built by buildCodeLengthTable; repeats may run across
// the boundary of the two. False for a pattern of no code or a repeat that
// runs past `total`.
bool readCodeLengths(MszipDecoder* d, const HuffmanEntry* table, uint32_t tableBits,
                     uint32_t* lengths, uint32_t total);

}  // namespace mszip
