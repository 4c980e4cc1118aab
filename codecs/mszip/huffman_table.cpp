// Builds canonical Huffman decoding tables (multi-level lookup tables).
#include "codecs/mszip/huffman_table.h"

namespace {

struct CodeCounts {
    uint32_t perLength[kMaxCodeLength + 1] = {};
    uint32_t shortest = 0;
    uint32_t longest = 0;
};

CodeCounts countLengths(const uint32_t* lengths, uint32_t count) {
    CodeCounts counts;
    for (uint32_t symbol = 0; symbol < count; ++symbol) counts.perLength[lengths[symbol]]++;
    for (uint32_t k = 1; k <= kMaxCodeLength; ++k) {
        if (counts.perLength[k] == 0) continue;
        if (counts.shortest == 0) counts.shortest = k;
        counts.longest = k;
    }
    return counts;
}

// Width of a table opened at `w` bits for a code of length k, with `later`
// more codes of that length still to place: grow from k - w bits while the
// codes of the next lengths cannot fill the patterns left, never beyond
// `limit` bits.
uint32_t subTableBits(const CodeCounts& counts, uint32_t k, uint32_t w, uint32_t later,
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

HuffmanEntry entryFor(uint32_t symbol, uint32_t simpleCount, const uint16_t* base,
                      const uint16_t* extra, uint32_t codeBits) {
    HuffmanEntry entry;
    entry.codeBits = uint8_t(codeBits);
    if (symbol < simpleCount) {
        entry.kind = symbol < 256 ? kLiteral : kEndOfBlock;
        entry.value = uint16_t(symbol);
    } else {
        entry.kind = uint8_t(extra[symbol - simpleCount]);
        entry.value = base[symbol - simpleCount];
    }
    return entry;
}

}  // namespace

HuffmanResult buildHuffmanTable(const uint32_t* lengths, uint32_t count, uint32_t simpleCount,
                                const uint16_t* base, const uint16_t* extra, HuffmanEntry* store,
                                uint32_t capacity, uint32_t* lookupBits, uint32_t* slotsUsed) {
    if (slotsUsed) *slotsUsed = 0;
    CodeCounts counts = countLengths(lengths, count);
    if (counts.longest == 0) {
        *lookupBits = 0;
        return TableComplete;
    }
    const uint32_t shortest = counts.shortest;
    const uint32_t longest = counts.longest;
    uint32_t bits = *lookupBits;
    if (bits < shortest) bits = shortest;
    if (bits > longest) bits = longest;
    *lookupBits = bits;

    // Patterns left unused after every real code is placed; they are filled
    // with codes of the longest length that decode as InvalidCode.
    int64_t unused = int64_t(1) << shortest;
    for (uint32_t k = shortest; k < longest; ++k) {
        unused -= counts.perLength[k];
        if (unused < 0) return TableOversubscribed;
        unused *= 2;
    }
    unused -= counts.perLength[longest];
    if (unused < 0) return TableOversubscribed;
    const uint32_t realCodes = count - counts.perLength[0];
    counts.perLength[longest] += uint32_t(unused);

    // Symbols in canonical order: by length, then by symbol.
    uint16_t ordered[kMaxSymbols];
    uint32_t next[kMaxCodeLength + 1] = {};
    for (uint32_t k = 1; k < longest; ++k) next[k + 1] = next[k] + counts.perLength[k];
    for (uint32_t symbol = 0; symbol < count; ++symbol) {
        if (lengths[symbol] != 0) ordered[next[lengths[symbol]]++] = uint16_t(symbol);
    }

    // Walk the codes in canonical order. `code` holds the current code in
    // reading order (first bit in bit 0); `w` the bits consumed by the levels
    // above the current table.
    uint32_t tableStart[kMaxCodeLength + 1];
    uint32_t tableBits[kMaxCodeLength + 1];
    uint32_t prefix[kMaxCodeLength + 1];
    uint32_t code = 0;
    int level = -1;
    int w = -int(bits);
    uint32_t placed = 0;
    uint32_t used = 0;
    for (uint32_t k = shortest; k <= longest; ++k) {
        for (uint32_t left = counts.perLength[k]; left > 0; --left) {
            while (int(k) > w + int(bits)) {
                ++level;
                w += int(bits);
                uint32_t width;
                if (level == 0) {
                    width = bits;  // the first level is always indexed by all lookup bits
                } else {
                    uint32_t limit = longest - uint32_t(w);
                    if (limit > bits) limit = bits;
                    width = subTableBits(counts, k, uint32_t(w), left - 1, limit);
                }
                tableStart[level] = used;
                tableBits[level] = width;
                used += 1u << width;
                if (used > capacity || tableStart[level] > 0xFFFF) {
                    if (slotsUsed) *slotsUsed = used;
                    return TableNoSpace;
                }
                if (level > 0) {
                    prefix[level] = code;
                    uint32_t parentMask = (1u << tableBits[level - 1]) - 1;
                    uint32_t index = (code >> (uint32_t(w) - bits)) & parentMask;
                    store[tableStart[level - 1] + index] =
                        HuffmanEntry{uint8_t(kLinkBase + width), uint8_t(bits),
                                     uint16_t(tableStart[level])};
                }
            }

            const uint32_t codeBits = k - uint32_t(w);
            HuffmanEntry entry{kInvalidCode, uint8_t(codeBits), 0};
            if (placed < realCodes) {
                entry = entryFor(ordered[placed], simpleCount, base, extra, codeBits);
                ++placed;
            }
            const uint32_t size = 1u << tableBits[level];
            HuffmanEntry* table = store + tableStart[level];
            for (uint32_t index = code >> w; index < size; index += 1u << codeBits) {
                table[index] = entry;
            }

            // Next code of length k in reading order: a bit-reversed increment.
            uint32_t bit = 1u << (k - 1);
            while (code & bit) {
                code ^= bit;
                bit >>= 1;
            }
            code ^= bit;

            // Back out of the tables whose prefix the new code no longer has.
            while (level > 0 && ((code ^ prefix[level]) & ((1u << w) - 1)) != 0) {
                --level;
                w -= int(bits);
            }
        }
    }
    if (slotsUsed) *slotsUsed = used;
    return (unused != 0 && longest != 1) ? TableIncomplete : TableComplete;
}
