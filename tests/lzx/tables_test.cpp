// The lookup tables built from path lengths, read back code by code: each
// symbol's canonical code, taken from the table's first bits and the
// overflow nodes after them, gives back the symbol and what its entry
// carries beside it (path length; for the main tree, what the symbol means
// and the length code that follows it where the lookup holds that code).
#include "codecs/lzx/lzx_decoder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <random>
#include <vector>

namespace {

using Lengths = std::vector<uint8_t>;

// A random complete code over `used` of `count` symbols with lengths up to
// `maxLength`: leaves split in two until there are enough of them, then
// handed to random symbols; the others get 0.
Lengths completeCode(uint32_t count, uint32_t used, uint32_t maxLength, std::mt19937& random) {
    std::vector<uint8_t> leaves = {0};
    while (leaves.size() < used) {
        const size_t pick = random() % leaves.size();
        if (leaves[pick] >= maxLength) continue;
        ++leaves[pick];
        leaves.push_back(leaves[pick]);
    }
    std::vector<uint32_t> symbols(count);
    for (uint32_t s = 0; s < count; ++s) symbols[s] = s;
    std::shuffle(symbols.begin(), symbols.end(), random);
    Lengths lengths(count, 0);
    for (size_t k = 0; k < leaves.size(); ++k) lengths[symbols[k]] = leaves[k];
    return lengths;
}

// Canonical codes: by increasing length, then symbol; each the previous
// plus one, shifted left as the length grows.
std::vector<uint32_t> canonicalCodes(const Lengths& lengths) {
    std::vector<uint32_t> codes(lengths.size(), 0);
    uint32_t code = 0;
    for (uint32_t length = 1; length <= 16; ++length) {
        for (size_t s = 0; s < lengths.size(); ++s) {
            if (lengths[s] == length) codes[s] = code++;
        }
        code <<= 1;
    }
    return codes;
}

// Follows the overflow nodes from `entry` (a negated node number) with the
// code's bits after the table's first `lookupBits`.
int32_t walk(int32_t entry, uint32_t code, uint32_t length, int lookupBits,
             const int16_t (*nodes)[2], uint32_t firstNode) {
    for (int bit = int(length) - lookupBits - 1; entry < 0; --bit) {
        EXPECT_GE(bit, 0) << "the walk is longer than the code";
        if (bit < 0) return -1;
        entry = nodes[-entry - int32_t(firstNode)][(code >> bit) & 1];
    }
    return entry;
}

// For each first-level entry of a table looked up `lookupBits` at once, the
// symbol whose code of at most that many bits it starts with, or -1 where a
// longer code starts.
std::vector<int32_t> firstLevelOwners(const Lengths& lengths, int lookupBits) {
    const std::vector<uint32_t> codes = canonicalCodes(lengths);
    std::vector<int32_t> owner(1u << lookupBits, -1);
    for (uint32_t s = 0; s < lengths.size(); ++s) {
        if (lengths[s] == 0 || lengths[s] > lookupBits) continue;
        const uint32_t run = 1u << (lookupBits - lengths[s]);
        for (uint32_t k = 0; k < run; ++k) owner[codes[s] * run + k] = int32_t(s);
    }
    return owner;
}

// The main entry the table should hold for symbol s, whose code has
// `length` bits, where the `room` bits after the code in the lookup are
// `following`: a header-7 match symbol takes in the length code those bits
// begin with, if all of it lies within them and within the length table's
// own lookup. Written from the field layout, not from the decoder's own
// helper.
uint32_t expectedMainEntry(uint32_t s, uint32_t length, uint32_t following, uint32_t room,
                           const Lengths& lengthTree, const std::vector<uint32_t>& lengthCodes) {
    if (s < lzx::kLiteralCount) return s << lzx::kMainEntryValueShift | length;
    const uint32_t slot = (s - lzx::kLiteralCount) / 8, header = (s - lzx::kLiteralCount) % 8;
    const uint32_t entry = lzx::kMainEntryMatch | slot << lzx::kMainEntrySlotShift |
                           uint32_t(lzx::kSlots.extraBits[slot]) << lzx::kMainEntryExtraShift |
                           header << lzx::kMainEntryValueShift | length;
    if (header < 7) return entry;
    if (std::all_of(lengthTree.begin(), lengthTree.end(), [](uint8_t l) { return l == 0; })) {
        return entry;  // no length code: symbol 0, no bits
    }
    for (uint32_t t = 0; t < lengthTree.size(); ++t) {
        const uint32_t l = lengthTree[t];
        if (l != 0 && l <= std::min<uint32_t>(room, lzx::kLengthLookupBits) &&
            following >> (room - l) == lengthCodes[t]) {
            return entry + (t << lzx::kMainEntryValueShift) + l;
        }
    }
    return entry | lzx::kMainEntryLengthCode;
}

TEST(LzxTables, EverySymbolsCodeLooksUpItsSymbolLengthAndOffsetBits) {
    std::mt19937 random(17);
    auto d = std::make_unique<lzx::Decoder>();
    d->mainSymbols = lzx::kLiteralCount + 8 * 50;
    for (int trial = 0; trial < 60; ++trial) {
        SCOPED_TRACE(trial);
        // Length tree (and with it the pretree's table format).
        const Lengths lengthTree =
            completeCode(lzx::kLengthSymbols, 2 + random() % (lzx::kLengthSymbols - 1), 16, random);
        ASSERT_TRUE(lzx::buildTable(lzx::kLengthSymbols, lengthTree.data(), lzx::kLengthLookupBits,
                                    d->lengthTable, d->lengthNodes));
        const std::vector<uint32_t> lengthCodes = canonicalCodes(lengthTree);
        for (uint32_t s = 0; s < lzx::kLengthSymbols; ++s) {
            const uint32_t length = lengthTree[s];
            if (length == 0) continue;
            const uint32_t code = lengthCodes[s];
            if (length <= lzx::kLengthLookupBits) {
                const int32_t entry = d->lengthTable[code << (lzx::kLengthLookupBits - length)];
                ASSERT_GE(entry, 0) << s;
                EXPECT_EQ(uint32_t(entry) & lzx::kTableSymbolMask, s);
                EXPECT_EQ(uint32_t(entry) >> lzx::kTableSymbolBits, length) << s;
            } else {
                const int32_t entry = d->lengthTable[code >> (length - lzx::kLengthLookupBits)];
                ASSERT_LT(entry, 0) << s;
                EXPECT_EQ(walk(entry, code, length, lzx::kLengthLookupBits, d->lengthNodes,
                               lzx::kLengthSymbols),
                          int32_t(s));
            }
        }

        // Main tree, with codes both within and past the table's 11 bits, built
        // after the length tree whose codes its entries take in.
        const uint32_t mainUsed = 2 + random() % (d->mainSymbols - 1);
        const Lengths main = completeCode(d->mainSymbols, mainUsed, 16, random);
        std::copy(main.begin(), main.end(), d->mainLengths);
        ASSERT_TRUE(lzx::buildMainTable(*d));
        const std::vector<uint32_t> mainCodes = canonicalCodes(main);
        for (uint32_t s = 0; s < d->mainSymbols; ++s) {
            const uint32_t length = main[s];
            if (length == 0) continue;
            const uint32_t code = mainCodes[s];
            const uint32_t index = length <= lzx::kMainLookupBits
                                       ? code << (lzx::kMainLookupBits - length)
                                       : code >> (length - lzx::kMainLookupBits);
            const uint32_t entry = d->mainEntries[index];
            if (length <= lzx::kMainLookupBits) {
                ASSERT_EQ(entry & lzx::kMainEntryWalk, 0u) << s;
                EXPECT_EQ(entry, expectedMainEntry(s, length, 0, lzx::kMainLookupBits - length,
                                                   lengthTree, lengthCodes))
                    << s;
            } else {
                ASSERT_NE(entry & lzx::kMainEntryWalk, 0u) << s;
                EXPECT_EQ(walk(int16_t(entry >> 16), code, length, lzx::kMainLookupBits,
                               d->mainNodes, d->mainSymbols),
                          int32_t(s));
            }
        }

        // Aligned-offset tree: every code within the table's 7 bits.
        const Lengths aligned = completeCode(lzx::kAlignedSymbols, 2 + random() % 7, 7, random);
        ASSERT_TRUE(lzx::buildAlignedTable(aligned.data(), d->alignedTable));
        const std::vector<uint32_t> alignedCodes = canonicalCodes(aligned);
        for (uint32_t s = 0; s < lzx::kAlignedSymbols; ++s) {
            if (aligned[s] == 0) continue;
            const uint32_t first = alignedCodes[s] << (lzx::kAlignedLookupBits - aligned[s]);
            for (uint32_t k = 0; k < (1u << (lzx::kAlignedLookupBits - aligned[s])); ++k) {
                const uint32_t entry = d->alignedTable[first + k];
                EXPECT_EQ(entry & (lzx::kAlignedSymbols - 1), s);
                EXPECT_EQ(entry >> lzx::kAlignedSymbolBits, aligned[s]) << s;
            }
        }
    }
}

// Every entry of the direct tables, not only each code's first: a code of
// length l <= lookupBits owns the 2^(lookupBits - l) entries its bits
// prefix, and each must give the same symbol and path length, a header-7
// match symbol's entries each with the length code their remaining bits
// begin with where they hold all of it; the rest are the prefixes of longer
// codes. Lengths 1..lookupBits all occur, so runs of
// every size are written, the short ones entry by entry and the long ones
// in wide stores.
TEST(LzxTables, EveryEntryOfAShortCodesRunHoldsItsSymbol) {
    std::mt19937 random(29);
    auto d = std::make_unique<lzx::Decoder>();
    d->mainSymbols = lzx::kLiteralCount + 8 * 50;
    for (int trial = 0; trial < 80; ++trial) {
        SCOPED_TRACE(trial);
        const uint32_t lengthUsed = 2 + random() % (trial % 2 == 0 ? 6 : lzx::kLengthSymbols - 1);
        // Every fifth trial has no length tree at all: every lookup then
        // gives length symbol 0 and takes no bits.
        const bool noLengthCodes = trial % 5 == 4;
        const Lengths lengthTree = noLengthCodes
                                       ? Lengths(lzx::kLengthSymbols, 0)
                                       : completeCode(lzx::kLengthSymbols, lengthUsed, 16, random);
        const std::vector<uint32_t> lengthCodes = canonicalCodes(lengthTree);
        ASSERT_TRUE(lzx::buildTable(lzx::kLengthSymbols, lengthTree.data(), lzx::kLengthLookupBits,
                                    d->lengthTable, d->lengthNodes));
        const std::vector<int32_t> lengthOwner =
            firstLevelOwners(lengthTree, lzx::kLengthLookupBits);
        for (uint32_t k = 0; k < lengthOwner.size(); ++k) {
            const int32_t entry = d->lengthTable[k];
            if (noLengthCodes) {
                EXPECT_EQ(entry, 0) << "entry " << k;
                continue;
            }
            if (lengthOwner[k] < 0) {
                EXPECT_LT(entry, 0) << "entry " << k;
                continue;
            }
            const uint32_t s = uint32_t(lengthOwner[k]);
            ASSERT_EQ(entry, int32_t(uint32_t(lengthTree[s]) << lzx::kTableSymbolBits | s))
                << "entry " << k << " of symbol " << s;
        }

        // Few symbols give short codes and long runs; many give long codes.
        const uint32_t used = 2 + random() % (trial % 2 == 0 ? 12 : d->mainSymbols - 1);
        const Lengths main = completeCode(d->mainSymbols, used, 16, random);
        std::copy(main.begin(), main.end(), d->mainLengths);
        ASSERT_TRUE(lzx::buildMainTable(*d));
        const std::vector<int32_t> owner = firstLevelOwners(main, lzx::kMainLookupBits);
        for (uint32_t k = 0; k < owner.size(); ++k) {
            const uint32_t entry = d->mainEntries[k];
            if (owner[k] < 0) {
                EXPECT_NE(entry & lzx::kMainEntryWalk, 0u) << "entry " << k;
                continue;
            }
            const uint32_t s = uint32_t(owner[k]);
            const uint32_t room = lzx::kMainLookupBits - main[s];
            ASSERT_EQ(entry, expectedMainEntry(s, main[s], k & ((1u << room) - 1), room,
                                               lengthTree, lengthCodes))
                << "entry " << k << " of symbol " << s;
        }
    }
}

}  // namespace
