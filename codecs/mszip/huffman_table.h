// Multi-level Huffman decoding tables for Deflate codes.
//
// A table built with lookup bits L has a first-level table of 2^L slots,
// indexed by the next L bits of the stream (first bit read in bit 0). Codes
// longer than L are reached through links to sub-tables, which may link to
// deeper sub-tables in turn. All tables of one build lie one after another
// in the caller's store: the first-level table, then each sub-table in the
// order it is opened.
#pragma once

#include <cstdint>

// Entry kinds besides 0..13, which mean "length or distance base in `value`,
// followed by `kind` extra bits".
constexpr uint8_t kEndOfBlock = 15;
constexpr uint8_t kLiteral = 16;    // `value` is the symbol itself
constexpr uint8_t kLinkBase = 16;   // 17..32: link; the next kind-16 bits index `value`
constexpr uint8_t kInvalidCode = 99;

struct HuffmanEntry {
    uint8_t kind;
    // Bits to drop when the entry is taken: for a code, its length minus the
    // bits consumed by the levels above; for a link, the bits of its level.
    uint8_t codeBits;
    // Symbol or base for codes; for links, the slot (counted from the start
    // of the first-level table) where the linked sub-table begins.
    uint16_t value;
};
static_assert(sizeof(HuffmanEntry) == 4, "entries are packed into 32 bits");

enum HuffmanResult : int {
    TableComplete = 0,
    TableIncomplete = 1,      // patterns left unused, longest code above 1 bit
    TableOversubscribed = 2,  // more codes of some length than patterns left
    TableNoSpace = 3,         // the tables need more slots than the capacity
};

constexpr uint32_t kMaxCodeLength = 16;
constexpr uint32_t kMaxSymbols = 288;

// Builds the decoding tables for `count` code lengths (0 = unused, at most 16;
// at most 288 symbols). Symbols below `simpleCount` become Literal entries
// (EndOfBlock from 256 up); symbol s >= simpleCount takes kind =
// low byte of extra[s - simpleCount] and value = base[s - simpleCount].
// `lookupBits` is in: the first-level width wanted, out: the width used
// (the wanted width clamped to the shortest and longest code length; 0 when
// every length is 0, in which case nothing is written). `slotsUsed`, when
// not null, receives the number of store slots the tables took.
HuffmanResult buildHuffmanTable(const uint32_t* lengths, uint32_t count, uint32_t simpleCount,
                                const uint16_t* base, const uint16_t* extra, HuffmanEntry* store,
                                uint32_t capacity, uint32_t* lookupBits,
                                uint32_t* slotsUsed = nullptr);
