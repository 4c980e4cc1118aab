// Decoding tables for canonical Huffman codes given by their path lengths:
// codes are handed out by increasing length and, within a length, by
// increasing symbol. A direct table covers the first lookupBits bits; longer
// codes continue through overflow nodes, one bit per node.
#include "codecs/lzx/lzx_decoder.h"

#include <cstring>

namespace lzx {
namespace {

constexpr uint32_t kCompleteCode = 0x10000;

// start[l]: the first code of length l, left-aligned in 16 bits, for
// l = 1..16, from the count of codes of each length; start[17] is the code
// space the lengths take: kCompleteCode for a complete code, 0 for none,
// anything else when incomplete or over-subscribed. 32-bit sums, so no
// over-subscribed set wraps round to look complete.
void startsFromCounts(const uint32_t (&count)[17], uint32_t (&start)[18]) {
    start[1] = 0;
    for (int l = 1; l <= 16; ++l) start[l + 1] = start[l] + (count[l] << (16 - l));
}

void firstCodes(const uint8_t* lengths, uint32_t symbolCount, uint32_t (&start)[18]) {
    uint32_t count[17] = {};
    for (uint32_t s = 0; s < symbolCount; ++s) ++count[lengths[s]];
    startsFromCounts(count, start);
}

// Writes `value` to `count` entries from `at`, where count is a power of
// two (a code's share of a lookup table): in 16-byte stores once the run
// fills one, an 8-byte store for a run of 8 bytes, else entry by entry.
template <typename Entry>
inline void fillRun(Entry* at, uint32_t count, Entry value) {
    constexpr uint32_t kPerWord = 8 / sizeof(Entry);
    if (count < kPerWord) {
        for (uint32_t e = 0; e < count; ++e) at[e] = value;
        return;
    }
    Entry pattern[2 * kPerWord];
    for (Entry& e : pattern) e = value;
    if (count == kPerWord) {
        std::memcpy(at, pattern, 8);
        return;
    }
    for (uint32_t e = 0; e < count; e += 2 * kPerWord) std::memcpy(at + e, pattern, 16);
}

// Lookup entries of the 16-bit tables: the symbol with its path length, or
// the negated number of the overflow node a longer code continues in.
struct SymbolEntries {
    using Entry = int16_t;
    static Entry node(uint32_t n) { return Entry(-int32_t(n)); }
    static int32_t nodeOf(Entry e) { return -int32_t(e); }
    void fill(Entry* at, uint32_t count, uint32_t s, uint32_t length) const {
        fillRun(at, count, Entry(length << kTableSymbolBits | s));
    }
};

// Lookup entries of the main tree (kMainEntryWalk), with the length code
// that follows a header-7 symbol taken in where the lookup holds all of it.
struct MainEntries {
    using Entry = uint32_t;
    const int16_t* lengthTable;

    static Entry node(uint32_t n) { return uint32_t(uint16_t(-int32_t(n))) << 16 | kMainEntryWalk; }
    static int32_t nodeOf(Entry e) { return -int32_t(int16_t(e >> 16)); }

    // The `count` entries of a code of `length` bits: each entry's low
    // log2(count) bits are the bits that follow the code.
    void fill(Entry* at, uint32_t count, uint32_t s, uint32_t length) const {
        const Entry entry = mainEntry(s, length);
        if ((entry & kMainEntryLengthCode) == 0) {
            fillRun(at, count, entry);
            return;
        }
        const uint32_t room = uint32_t(kMainLookupBits) - length;
        const Entry joined = entry & ~(kMainEntryLengthCode | kMainEntryBitsMask);
        for (uint32_t k = 0; k < count; ++k) {
            // The length table's index: the bits after the code, cut or
            // padded with zeros to its width. A walk's entry is negative, so
            // its bits taken, read unsigned, exceed any room.
            const uint32_t next = room >= uint32_t(kLengthLookupBits)
                                      ? k >> (room - kLengthLookupBits)
                                      : k << (kLengthLookupBits - room);
            const uint32_t lengthEntry = uint32_t(int32_t(lengthTable[next]));
            const uint32_t lengthBits = lengthEntry >> kTableSymbolBits;
            const Entry withLength = joined +
                                     ((lengthEntry & kTableSymbolMask) << kMainEntryValueShift) +
                                     length + lengthBits;
            // Without the length code where it runs past the lookup.
            at[k] = lengthBits <= room ? withLength : entry;
        }
    }
};

template <typename Entries>
bool buildLookup(const Entries& entries, uint32_t symbolCount, const uint8_t* lengths,
                 int lookupBits, typename Entries::Entry* table, int16_t (*nodes)[2]) {
    // One pass counts the codes of each length and gathers the symbols that
    // have codes, in order, without a branch: in a main tree the unused
    // match symbols lie scattered among the used.
    uint32_t count[17] = {};
    uint16_t coded[kMainLengthsSize];
    uint32_t codedCount = 0;
    for (uint32_t s = 0; s < symbolCount; ++s) {
        const uint8_t l = lengths[s];
        ++count[l];
        coded[codedCount] = uint16_t(s);
        codedCount += l != 0;
    }
    uint32_t start[18];
    startsFromCounts(count, start);
    const uint32_t tableSize = uint32_t(1) << lookupBits;
    if (start[17] == 0) {
        // No symbol at all: every lookup gives symbol 0 and consumes nothing.
        std::memset(table, 0, tableSize * sizeof(*table));
        return true;
    }
    if (start[17] != kCompleteCode) return false;  // incomplete or over-subscribed

    // The coded symbols in the order of their codes: by length, and by
    // symbol within a length.
    uint16_t sorted[kMainLengthsSize];
    uint32_t next[17];
    next[1] = 0;
    for (int l = 1; l < 16; ++l) next[l + 1] = next[l] + count[l];
    for (uint32_t c = 0; c < codedCount; ++c) sorted[next[lengths[coded[c]]]++] = coded[c];

    // The codes that fit the lookup take runs of entries one after the
    // other from entry 0; the code is complete, so they end inside the
    // table. All the codes of one length take runs of one size, which keeps
    // the filling's branches predictable.
    uint32_t c = 0, at = 0;
    for (int l = 1; l <= lookupBits; ++l) {
        const uint32_t run = tableSize >> l;
        for (const uint32_t end = c + count[l]; c < end; ++c, at += run) {
            entries.fill(table + at, run, sorted[c], uint32_t(l));
        }
    }
    // Entries that prefix longer codes start empty (0) and get nodes below.
    for (uint32_t k = at; k < tableSize; ++k) table[k] = 0;

    // Longer codes: the first lookupBits bits pick the table entry, each bit
    // after them a child of a node. `code` is the code left-aligned in 16
    // bits.
    const int shift = 16 - lookupBits;
    uint32_t nextNode = symbolCount;
    const auto newNode = [&] {
        nodes[nextNode - symbolCount][0] = 0;
        nodes[nextNode - symbolCount][1] = 0;
        return nextNode++;
    };
    uint32_t code = at << shift;
    for (int l = lookupBits + 1; l <= 16; ++l) {
        for (const uint32_t end = c + count[l]; c < end; ++c, code += uint32_t(1) << (16 - l)) {
            typename Entries::Entry& first = table[code >> shift];
            if (first == 0) first = Entries::node(newNode());
            int16_t* entry = nullptr;
            int32_t node = Entries::nodeOf(first);
            for (int bit = 15 - lookupBits; bit > 15 - l; --bit) {
                if (entry != nullptr) {
                    if (*entry == 0) *entry = int16_t(-int32_t(newNode()));
                    node = -*entry;
                }
                entry = &nodes[node - int32_t(symbolCount)][(code >> bit) & 1];
            }
            *entry = int16_t(sorted[c]);
        }
    }
    return true;
}

}  // namespace

bool buildTable(uint32_t symbolCount, const uint8_t* lengths, int lookupBits, int16_t* table,
                int16_t (*nodes)[2]) {
    return buildLookup(SymbolEntries{}, symbolCount, lengths, lookupBits, table, nodes);
}

bool buildMainTable(Decoder& d) {
    return buildLookup(MainEntries{d.lengthTable}, d.mainSymbols, d.mainLengths, kMainLookupBits,
                       d.mainEntries, d.mainNodes);
}

bool buildAlignedTable(const uint8_t* lengths, uint8_t* table) {
    // As for the other trees: a complete code, or no code at all. An
    // over-subscribed set such as 1, 1, 2, 2, 2, 2, 0, 0 is refused: some of
    // its symbols could never be decoded.
    uint32_t start[18];
    firstCodes(lengths, kAlignedSymbols, start);
    if (start[17] != 0 && start[17] != kCompleteCode) return false;

    uint32_t weight[8];
    for (int l = 1; l <= kAlignedLookupBits; ++l) {
        start[l] >>= 16 - kAlignedLookupBits;
        weight[l] = uint32_t(1) << (kAlignedLookupBits - l);
    }
    std::memset(table, 0, 1 << kAlignedLookupBits);
    for (int s = 0; s < kAlignedSymbols; ++s) {
        int l = lengths[s];
        if (l == 0) continue;
        uint32_t next = start[l] + weight[l];
        if (next > (1u << kAlignedLookupBits)) return false;
        for (uint32_t e = start[l]; e < next; ++e) table[e] = uint8_t(l << kAlignedSymbolBits | s);
        start[l] = next;
    }
    return true;
}

}  // namespace lzx
