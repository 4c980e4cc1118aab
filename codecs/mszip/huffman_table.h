// Multi-level Huffman decoding tables for Deflate codes.
//
// A table built with lookup bits L has a first-level table of 2^L slots,
// indexed by the next L bits of the stream (first bit read in bit 0). Codes
// longer than L are reached through links to sub-tables, which may link to
// deeper sub-tables in turn. All tables of one build lie one after another
// in the caller's store: the first-level table, then each sub-table in the
// order it is opened.
//
// The builder is constexpr so that the tables of Deflate's fixed codes are
// computed by the compiler (fixed_tables.h); dynamic blocks run the same
// code at decoding time.
#pragma once

#include <cstdint>
#include <cstring>
#include <type_traits>

namespace mszip {

// Entry kinds besides 0..13, which mean "length or distance base in `value`,
// followed by `kind` extra bits".
constexpr uint8_t kEndOfBlock = 15;
constexpr uint8_t kLiteral = 16;    // `value` is the symbol itself
constexpr uint8_t kLinkBase = 16;   // 17..32: link; the next kind-16 bits index `value`
constexpr uint8_t kInvalidCode = 99;

struct HuffmanEntry {
    // Bits to drop when the entry is taken: for a code, its length minus the
    // bits consumed by the levels above, and for a length or distance also
    // the extra bits after it, so that one shift passes both; for a link,
    // the bits of its level. First, so that an entry read as one
    // little-endian word has it in the low byte, where a variable shift
    // takes its count from.
    uint8_t codeBits;
    uint8_t kind;
    // Symbol or base for codes; for links, the slot (counted from the start
    // of the first-level table) where the linked sub-table begins.
    uint16_t value;
};
static_assert(sizeof(HuffmanEntry) == 4, "entries are packed into 32 bits");

// The extra bits that follow a code entry's code, counted in its codeBits.
constexpr uint32_t extraBitsOf(HuffmanEntry entry) {
    return entry.kind < kEndOfBlock ? entry.kind : 0;
}

enum HuffmanResult : int {
    TableComplete = 0,
    TableIncomplete = 1,      // patterns left unused, longest code above 1 bit
    TableOversubscribed = 2,  // more codes of some length than patterns left
    TableNoSpace = 3,         // the tables need more slots than the capacity
};

constexpr uint32_t kMaxCodeLength = 16;
constexpr uint32_t kMaxSymbols = 288;

// ---- step 1: how many codes of each length ----------------------------------

// Symbols are counted and ordered in lanes, each a quarter of the symbols
// (of the 256 literals, in a literal/length code): neighbouring symbols
// mostly share a length, and through one array of counts each symbol would
// wait for the store of the one before.
constexpr uint32_t kLanes = 4;
constexpr uint32_t kLiteralSymbols = 256;

// The symbols of one lane. Symbols past the lanes (the lengths and the
// end-of-block of a literal/length code, or the count % kLanes at the end)
// are taken with the last lane, after its own.
constexpr uint32_t laneSize(uint32_t count) {
    return count >= kLiteralSymbols ? kLiteralSymbols / kLanes : count / kLanes;
}
constexpr uint32_t laneStart(uint32_t count, uint32_t lane) { return lane * laneSize(count); }

struct CodeCounts {
    uint32_t perLength[kMaxCodeLength + 1] = {};
    uint32_t perLane[kLanes][kMaxCodeLength + 1] = {};  // real codes only
    // Of the literal/length code, the codes of each length among the 256
    // literals, which tell the decoding loop what kind of data to expect;
    // all 0 for codes of fewer symbols.
    uint32_t literalsPerLength[kMaxCodeLength + 1] = {};
    uint32_t shortest = 0;  // 0 when every length is 0
    uint32_t longest = 0;
};

constexpr CodeCounts countLengths(const uint32_t* lengths, uint32_t count) {
    CodeCounts counts;
    const uint32_t size = laneSize(count);
    for (uint32_t i = 0; i < size; ++i) {
        for (uint32_t lane = 0; lane < kLanes; ++lane) {
            counts.perLane[lane][lengths[laneStart(count, lane) + i]]++;
        }
    }
    if (count >= kLiteralSymbols) {
        for (uint32_t k = 0; k <= kMaxCodeLength; ++k) {
            for (uint32_t lane = 0; lane < kLanes; ++lane) {
                counts.literalsPerLength[k] += counts.perLane[lane][k];
            }
        }
    }
    for (uint32_t symbol = kLanes * size; symbol < count; ++symbol) {
        counts.perLane[kLanes - 1][lengths[symbol]]++;
    }
    for (uint32_t k = 0; k <= kMaxCodeLength; ++k) {
        for (uint32_t lane = 0; lane < kLanes; ++lane) counts.perLength[k] += counts.perLane[lane][k];
    }
    for (uint32_t k = 1; k <= kMaxCodeLength; ++k) {
        if (counts.perLength[k] == 0) continue;
        if (counts.shortest == 0) counts.shortest = k;
        counts.longest = k;
    }
    return counts;
}

// Patterns left unused once every code is placed, or -1 when some length has
// more codes than patterns left for it.
constexpr int64_t unusedPatterns(const CodeCounts& counts) {
    int64_t unused = int64_t(1) << counts.shortest;
    for (uint32_t k = counts.shortest; k < counts.longest; ++k) {
        unused -= counts.perLength[k];
        if (unused < 0) return -1;
        unused *= 2;
    }
    unused -= counts.perLength[counts.longest];
    return unused < 0 ? -1 : unused;
}

// ---- step 2: symbols in canonical order ---------------------------------------

// Fills `ordered` with the symbols that have a code, by length and then by
// symbol: the order in which canonical codes are handed out. Each lane's
// symbols of one length follow those of the lanes before it.
constexpr void canonicalOrder(const uint32_t* lengths, uint32_t count, const CodeCounts& counts,
                              uint16_t* ordered) {
    uint32_t next[kLanes][kMaxCodeLength + 1] = {};
    uint32_t position = 0;
    for (uint32_t k = 1; k <= counts.longest; ++k) {
        for (uint32_t lane = 0; lane < kLanes; ++lane) {
            next[lane][k] = position;
            position += counts.perLane[lane][k];
        }
    }
    auto place = [&](uint32_t lane, uint32_t symbol) {
        const uint32_t length = lengths[symbol];
        if (length != 0) ordered[next[lane][length]++] = uint16_t(symbol);
    };
    const uint32_t size = laneSize(count);
    for (uint32_t i = 0; i < size; ++i) {
        for (uint32_t lane = 0; lane < kLanes; ++lane) place(lane, laneStart(count, lane) + i);
    }
    for (uint32_t symbol = kLanes * size; symbol < count; ++symbol) place(kLanes - 1, symbol);
}

// ---- step 3: fill the tables --------------------------------------------------

// The entry each symbol's code decodes to, with `codeBits` holding only the
// extra bits that follow the code; the builder adds the code's own bits.
// Looked up rather than worked out per code, so that placing a code takes
// no branch on what kind of symbol it is.
struct SymbolEntries {
    HuffmanEntry of[kMaxSymbols];
};

// The entries of `count` symbols: those below `simpleCount` are literals
// (end-of-block from 256); symbol s >= simpleCount takes kind = low byte of
// extra[s - simpleCount] and value = base[s - simpleCount].
constexpr SymbolEntries symbolEntries(uint32_t count, uint32_t simpleCount, const uint16_t* base,
                                      const uint16_t* extra) {
    SymbolEntries entries{};
    for (uint32_t symbol = 0; symbol < count; ++symbol) {
        HuffmanEntry& entry = entries.of[symbol];
        if (symbol < simpleCount) {
            entry.kind = symbol < 256 ? kLiteral : kEndOfBlock;
            entry.value = uint16_t(symbol);
        } else {
            entry.kind = uint8_t(extra[symbol - simpleCount]);
            entry.value = base[symbol - simpleCount];
            entry.codeBits = uint8_t(extraBitsOf(entry));
        }
    }
    return entries;
}

// What the fill step needs to know about the symbols and the store.
struct TableTarget {
    const SymbolEntries& entries;
    HuffmanEntry* store;
    uint32_t capacity;
};

// Width of a table opened at `w` bits for a code of length k, with `later`
// more codes of that length still to place: grow from k - w bits while the
// codes of the next lengths cannot fill the patterns left, never beyond
// `limit` bits.
constexpr uint32_t subTableBits(const CodeCounts& counts, uint32_t k, uint32_t w, uint32_t later,
                                uint32_t limit) {
    uint32_t bits = k - w;
    // Never wider than `limit`, so a link always stands in a table of the
    // lookup width and every index stays inside its table.
    if (bits >= limit) return limit;
    uint32_t patternsLeft = 1u << bits;
    if (patternsLeft <= later + 1) return bits;
    patternsLeft -= later + 1;
    uint32_t length = k;
    while (++bits < limit) {
        patternsLeft <<= 1;
        ++length;
        if (patternsLeft <= counts.perLength[length]) break;
        patternsLeft -= counts.perLength[length];
    }
    return bits;
}

// Bytes with their bits in reverse order.
inline constexpr auto kReversedBytes = [] {
    struct Table {
        uint8_t of[256];
    } table{};
    for (uint32_t byte = 0; byte < 256; ++byte) {
        for (uint32_t bit = 0; bit < 8; ++bit) {
            if ((byte >> bit) & 1) table.of[byte] |= uint8_t(0x80u >> bit);
        }
    }
    return table;
}();

// The k-bit canonical code `canonical` (k at most 16) in reading order, its
// first bit in bit 0. The one past the last code of its length (2^k) gives 0.
constexpr uint32_t readingOrder(uint32_t canonical, uint32_t k) {
    const uint32_t reversed = uint32_t(kReversedBytes.of[canonical & 0xFF]) << 8 |
                              kReversedBytes.of[(canonical >> 8) & 0xFF];
    return reversed >> (16 - k);
}

constexpr HuffmanEntry entryFor(uint32_t symbol, const TableTarget& target, uint32_t codeBits) {
    HuffmanEntry entry = target.entries.of[symbol];
    entry.codeBits = uint8_t(entry.codeBits + codeBits);
    return entry;
}

// Walks the codes in canonical order and writes their entries, opening
// sub-tables as longer codes need them. `counts` already includes the
// unused patterns as codes of the longest length (they become InvalidCode
// entries once the `realCodes` symbols are placed). Returns false when the
// store runs out; `used` receives the slots taken.
constexpr bool fillTables(const CodeCounts& counts, const uint16_t* ordered, uint32_t realCodes,
                          uint32_t bits, const TableTarget& target, uint32_t* used) {
    uint32_t tableStart[kMaxCodeLength + 1] = {};
    uint32_t tableBits[kMaxCodeLength + 1] = {};
    uint32_t prefix[kMaxCodeLength + 1] = {};
    // `canonical` is the current code as RFC 1951 counts codes, `code` the
    // same code in reading order (first bit in bit 0); `w` the bits consumed
    // by the levels above the current table.
    uint32_t canonical = 0;
    uint32_t code = 0;
    int level = 0;
    int w = 0;
    uint32_t placed = 0;
    *used = 0;
    // The first-level table fills as it widens: a code of length k up to
    // `bits` is written once, among the table's first 2^k slots, and each
    // time the length grows the table doubles, its upper half a copy of its
    // lower half. That repeats every short code across the whole table as
    // writing it at each of its 2^(bits - k) slots would, in a few long
    // copies. Slots not yet settled are copied too; longer codes and links
    // overwrite all of them.
    uint32_t rootWidth = 0;
    auto widenRoot = [&](uint32_t width) {
        for (; rootWidth < width; ++rootWidth) {
            const uint32_t half = 1u << rootWidth;
            if (std::is_constant_evaluated()) {
                for (uint32_t i = 0; i < half; ++i) target.store[half + i] = target.store[i];
            } else {
                std::memcpy(target.store + half, target.store, half * sizeof(HuffmanEntry));
            }
        }
    };
    // The code's entry, or InvalidCode once every real symbol is placed.
    auto nextEntry = [&](uint32_t codeBits) {
        if (placed == realCodes) return HuffmanEntry{uint8_t(codeBits), kInvalidCode, 0};
        return entryFor(ordered[placed++], target, codeBits);
    };

    // The codes the first level settles, in a loop of their own: most codes
    // of a block are among them, and each is one write.
    uint32_t k = counts.shortest;
    tableBits[0] = bits;
    *used = 1u << bits;
    if (*used > target.capacity) return false;
    rootWidth = k;
    for (uint32_t i = 0; i < (1u << k); ++i) {
        target.store[i] = HuffmanEntry{uint8_t(k), kInvalidCode, 0};
    }
    for (; k <= counts.longest && k <= bits; ++k) {
        if (k > counts.shortest) canonical <<= 1;  // the first code one bit longer
        widenRoot(k);
        const uint32_t codes = counts.perLength[k];
        const uint32_t real = codes < realCodes - placed ? codes : realCodes - placed;
        for (uint32_t i = 0; i < real; ++i) {
            target.store[readingOrder(canonical++, k)] = entryFor(ordered[placed++], target, k);
        }
        for (uint32_t i = real; i < codes; ++i) {
            target.store[readingOrder(canonical++, k)] = HuffmanEntry{uint8_t(k), kInvalidCode, 0};
        }
    }
    // The next code, as the loop below expects it (one bit longer in
    // canonical counting is the same code in reading order).
    code = readingOrder(canonical, k - 1);

    // Longer codes, through sub-tables.
    for (; k <= counts.longest; ++k) {
        canonical <<= 1;  // the first code one bit longer
        for (uint32_t left = counts.perLength[k]; left > 0; --left) {
            while (int(k) > w + int(bits)) {
                ++level;
                w += int(bits);
                uint32_t limit = counts.longest - uint32_t(w);
                if (limit > bits) limit = bits;
                const uint32_t width = subTableBits(counts, k, uint32_t(w), left - 1, limit);
                tableStart[level] = *used;
                tableBits[level] = width;
                *used += 1u << width;
                if (*used > target.capacity || tableStart[level] > 0xFFFF) return false;
                widenRoot(bits);
                prefix[level] = code;
                uint32_t parentMask = (1u << tableBits[level - 1]) - 1;
                uint32_t index = (code >> (uint32_t(w) - bits)) & parentMask;
                target.store[tableStart[level - 1] + index] = HuffmanEntry{
                    uint8_t(bits), uint8_t(kLinkBase + width), uint16_t(tableStart[level])};
            }

            const uint32_t codeBits = k - uint32_t(w);
            const HuffmanEntry entry = nextEntry(codeBits);
            const uint32_t size = 1u << tableBits[level];
            HuffmanEntry* table = target.store + tableStart[level];
            for (uint32_t index = code >> w; index < size; index += 1u << codeBits) {
                table[index] = entry;
            }

            // Next code of length k: counted canonically and reversed by
            // table, since a bit-reversed increment would loop a varying,
            // unpredictable number of times.
            code = readingOrder(++canonical, k);

            // Back out of the tables whose prefix the new code no longer has.
            while (level > 0 && ((code ^ prefix[level]) & ((1u << w) - 1)) != 0) {
                --level;
                w -= int(bits);
            }
        }
    }
    if (rootWidth != 0) widenRoot(bits);
    return true;
}

// ---- the whole build ----------------------------------------------------------

// Builds the decoding tables for `count` code lengths (0 = unused, at most 16;
// at most 288 symbols) whose census `counts` is countLengths(lengths, count).
// The code of symbol s decodes to entries.of[s], with the code's bits added
// to its codeBits. `lookupBits` is in: the first-level width wanted, out: the
// width used (the wanted width clamped to the shortest and longest code
// length; 0 when every length is 0, in which case nothing is written).
// `slotsUsed`, when not null, receives the number of store slots the tables
// took.
constexpr HuffmanResult buildCountedTable(CodeCounts counts, const uint32_t* lengths,
                                          uint32_t count, const SymbolEntries& entries,
                                          HuffmanEntry* store, uint32_t capacity,
                                          uint32_t* lookupBits, uint32_t* slotsUsed = nullptr) {
    if (slotsUsed) *slotsUsed = 0;
    if (counts.longest == 0) {
        *lookupBits = 0;
        return TableComplete;
    }
    uint32_t bits = *lookupBits;
    if (bits < counts.shortest) bits = counts.shortest;
    if (bits > counts.longest) bits = counts.longest;
    *lookupBits = bits;

    const int64_t unused = unusedPatterns(counts);
    if (unused < 0) return TableOversubscribed;
    const uint32_t realCodes = count - counts.perLength[0];
    // The unused patterns are filled as codes of the longest length that
    // decode as InvalidCode.
    counts.perLength[counts.longest] += uint32_t(unused);

    uint16_t ordered[kMaxSymbols];  // filled for the realCodes symbols, only those read
    canonicalOrder(lengths, count, counts, ordered);

    uint32_t used = 0;
    const bool fits =
        fillTables(counts, ordered, realCodes, bits, TableTarget{entries, store, capacity}, &used);
    if (slotsUsed) *slotsUsed = used;
    if (!fits) return TableNoSpace;
    return (unused != 0 && counts.longest != 1) ? TableIncomplete : TableComplete;
}

// buildCountedTable with the lengths counted here.
constexpr HuffmanResult buildHuffmanTable(const uint32_t* lengths, uint32_t count,
                                          const SymbolEntries& entries, HuffmanEntry* store,
                                          uint32_t capacity, uint32_t* lookupBits,
                                          uint32_t* slotsUsed = nullptr) {
    return buildCountedTable(countLengths(lengths, count), lengths, count, entries, store,
                             capacity, lookupBits, slotsUsed);
}

// Repeats a first-level table built `bits` wide across `wanted` bits, so
// that every table of one kind is looked up at the same width and the code
// loop masks with a constant. Only for tables without sub-tables, which is
// every table the builder narrowed below the width asked for (all its codes
// are shorter). A code of k bits fills every slot whose low k bits are its
// code, at any width, so the lookups give the same entries. A table of no
// codes (bits 0) is first given one InvalidCode slot.
constexpr void widenFirstLevel(HuffmanEntry* store, uint32_t bits, uint32_t wanted) {
    if (bits == 0) store[0] = HuffmanEntry{0, kInvalidCode, 0};
    for (; bits < wanted; ++bits) {
        const uint32_t half = 1u << bits;
        if (std::is_constant_evaluated()) {
            for (uint32_t i = 0; i < half; ++i) store[half + i] = store[i];
        } else {
            std::memcpy(store + half, store, half * sizeof(HuffmanEntry));
        }
    }
}

}  // namespace mszip
