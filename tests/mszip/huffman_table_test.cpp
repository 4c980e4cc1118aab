// The table builder: its results, slot counts and entries, the fixed tables,
// and the store capacities the dynamic blocks rely on.
#include "codecs/mszip/fixed_tables.h"
#include "codecs/mszip/huffman_table.h"
#include "codecs/mszip/mszip_decoder.h"
#include "tests/mszip/deflate_writer.h"
#include "tests/mszip/rfc1951.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <random>
#include <vector>

namespace {

using namespace mszip;
using Lengths = std::vector<uint32_t>;
constexpr HuffmanEntry kUntouched{0xEE, 0xEE, 0xEEEE};

struct Build {
    HuffmanResult result;
    uint32_t bits;
    uint32_t slots;
    std::vector<HuffmanEntry> store;
};

// The builder's base and extra-bit inputs, from the test's own tables;
// symbols 286 and 287 get 99 extra bits, which marks them as no code.
struct BuilderInputs {
    uint16_t lengthBase[31] = {}, lengthExtra[31] = {}, distanceBase[30] = {},
             distanceExtra[30] = {};
    BuilderInputs() {
        for (uint32_t i = 0; i < 31; ++i) {
            lengthBase[i] = i < 29 ? uint16_t(rfc1951::kLengths[i].base) : 0;
            lengthExtra[i] = i < 29 ? uint16_t(rfc1951::kLengths[i].extraBits) : 99;
        }
        for (uint32_t i = 0; i < 30; ++i) {
            distanceBase[i] = uint16_t(rfc1951::kDistances[i].base);
            distanceExtra[i] = uint16_t(rfc1951::kDistances[i].extraBits);
        }
    }
};
const BuilderInputs kInputs;

// Builds into a store with spare slots beyond the capacity, to see what is
// written. Literal/length symbols by default; simpleCount 0 means distances.
Build build(const Lengths& lengths, uint32_t requestedBits, uint32_t capacity,
            uint32_t simpleCount = 0xFFFF) {
    Build b{TableComplete, requestedBits, 0, std::vector<HuffmanEntry>(capacity + 8, kUntouched)};
    if (simpleCount == 0xFFFF) simpleCount = uint32_t(lengths.size());
    const bool distances = simpleCount == 0;
    const SymbolEntries entries =
        symbolEntries(uint32_t(lengths.size()), simpleCount,
                      distances ? kInputs.distanceBase : kInputs.lengthBase,
                      distances ? kInputs.distanceExtra : kInputs.lengthExtra);
    b.result = buildHuffmanTable(lengths.data(), uint32_t(lengths.size()), entries,
                                 b.store.data(), capacity, &b.bits, &b.slots);
    return b;
}

bool untouched(const HuffmanEntry& e) { return e.kind == 0xEE && e.value == 0xEEEE; }

uint32_t reversed(uint32_t code, uint32_t length) {
    uint32_t r = 0;
    for (uint32_t i = 0; i < length; ++i) r |= ((code >> i) & 1) << (length - 1 - i);
    return r;
}

// Looks a code up the way the decoder does; returns the entry and the bits
// taken, or kind 99 for a pattern of no code.
HuffmanEntry lookUp(const std::vector<HuffmanEntry>& store, uint32_t bits, uint64_t stream,
                    uint32_t* taken) {
    HuffmanEntry e = store[stream & ((1u << bits) - 1)];
    *taken = 0;
    while (e.kind > kLiteral && e.kind != kInvalidCode) {
        *taken += e.codeBits;
        stream >>= e.codeBits;
        e = store[e.value + (stream & ((1u << (e.kind - kLinkBase)) - 1))];
    }
    *taken += e.codeBits - extraBitsOf(e);  // a length's or distance's extra bits are not its code
    return e;
}

// Slots the builder's layout takes for a complete code given by its counts
// per length: a 2^L first level, and for every node at depth D = L, 2L, ...
// with longer codes below it a sub-table of 2^min(L, m - D) slots, m being
// the longest code below that node. Canonical codes put the open nodes of
// each depth at its right end, so the nodes at depth D whose longest code
// reaches depth k are ceil(open[k-1] / 2^(k-1-D)).
uint64_t layoutSlots(const std::vector<uint64_t>& open, uint32_t lookupBits, uint32_t longest) {
    uint64_t slots = uint64_t(1) << lookupBits;
    for (uint32_t depth = lookupBits; depth < longest; depth += lookupBits) {
        for (uint32_t k = depth + 1; k <= longest; ++k) {
            uint32_t shift = k - 1 - depth;
            uint64_t reaching = (open[k - 1] + (uint64_t(1) << shift) - 1) >> shift;
            uint64_t size = uint64_t(1) << std::min(lookupBits, k - depth);
            uint64_t smaller = k - 1 == depth ? 0 : uint64_t(1) << std::min(lookupBits, k - 1 - depth);
            slots += reaching * (size - smaller);
        }
    }
    return slots;
}

std::vector<uint64_t> openNodes(const std::vector<uint32_t>& countPerLength) {
    std::vector<uint64_t> open(countPerLength.size(), 0);
    uint64_t o = 1;
    for (size_t k = 1; k < countPerLength.size(); ++k) {
        o = 2 * o - countPerLength[k];
        open[k] = o;
    }
    return open;
}

// The largest layoutSlots over every complete code of at most `symbols`
// codes up to 15 bits, by dynamic programming over the open nodes of each
// depth; `witness` gets counts per length of a code that reaches it.
uint64_t worstCaseSlots(uint32_t lookupBits, uint32_t symbols, std::vector<uint32_t>* witness) {
    const uint32_t longest = 15;
    const int maxOpen = int(symbols / 2);
    auto index = [&](int open, int used) { return size_t(open) * (symbols + 1) + used; };
    std::vector<std::vector<int64_t>> best(longest + 1,
                                           std::vector<int64_t>((maxOpen + 1) * (symbols + 1), -1));
    std::vector<std::vector<int>> from = std::vector<std::vector<int>>(
        longest + 1, std::vector<int>((maxOpen + 1) * (symbols + 1), -1));
    // Codes up to L bits: the fewest that leave `open` nodes at depth L.
    for (int open = 1; open <= maxOpen; ++open) {
        int used = std::popcount((1u << lookupBits) - uint32_t(open));
        if (used + 2 * open <= int(symbols)) best[lookupBits][index(open, used)] = 0;
    }
    for (uint32_t k = lookupBits + 1; k <= longest; ++k) {
        for (int open = 0; open <= maxOpen; ++open) {
            // The objective only depends on open[k-1]; evaluate its share.
            std::vector<uint64_t> probe(longest + 1, 0);
            probe[k - 1] = uint64_t(open);
            std::vector<uint64_t> none(longest + 1, 0);
            int64_t share =
                int64_t(layoutSlots(probe, lookupBits, k) - layoutSlots(none, lookupBits, k));
            for (int used = 0; used <= int(symbols); ++used) {
                int64_t value = best[k - 1][index(open, used)];
                if (value < 0) continue;
                for (int next = 0; next <= 2 * open && next <= maxOpen; ++next) {
                    if (k == longest && next != 0) break;
                    int codes = 2 * open - next;
                    if (used + codes + 2 * next > int(symbols)) continue;
                    int64_t& slot = best[k][index(next, used + codes)];
                    if (value + share > slot) {
                        slot = value + share;
                        from[k][index(next, used + codes)] = open;
                    }
                }
            }
        }
    }
    int64_t top = -1;
    int topUsed = 0;
    for (int used = 0; used <= int(symbols); ++used) {
        if (best[longest][index(0, used)] > top) {
            top = best[longest][index(0, used)];
            topUsed = used;
        }
    }
    witness->assign(longest + 1, 0);
    int open = 0, used = topUsed;
    for (uint32_t k = longest; k > lookupBits; --k) {
        int previous = from[k][index(open, used)];
        (*witness)[k] = uint32_t(2 * previous - open);
        used -= 2 * previous - open;
        open = previous;
    }
    uint32_t covered = (1u << lookupBits) - uint32_t(open);
    for (uint32_t k = 1; k <= lookupBits; ++k) (*witness)[k] = (covered >> (lookupBits - k)) & 1;
    return (uint64_t(1) << lookupBits) + uint64_t(top);
}

Lengths countsToLengths(const std::vector<uint32_t>& countPerLength) {
    size_t total = 0;
    for (uint32_t c : countPerLength) total += c;
    return deflate_writer::lengthsFromCounts(countPerLength, total);
}

TEST(HuffmanTable, ReportsItsFourResultsAndSlotCounts) {
    Build empty = build(Lengths(19, 0), 7, 16);
    EXPECT_EQ(empty.result, TableComplete);
    EXPECT_EQ(empty.bits, 0u);
    EXPECT_TRUE(std::all_of(empty.store.begin(), empty.store.end(), untouched));

    Build two = build({1, 1}, 9, 16);
    EXPECT_EQ(two.result, TableComplete);
    EXPECT_EQ(two.bits, 1u);
    EXPECT_EQ(two.slots, 2u);

    Build single = build({0, 1}, 9, 16);
    EXPECT_EQ(single.result, TableComplete);  // the one-code code is accepted
    EXPECT_EQ(single.slots, 2u);
    EXPECT_EQ(single.store[0].kind, kLiteral);
    EXPECT_EQ(single.store[0].value, 1);
    EXPECT_EQ(single.store[1].kind, kInvalidCode);
    // Unused symbols at odd places and an odd count of lengths, counted in
    // halves: every one of them is still known as unused, so the pattern
    // left over stays no code instead of becoming a symbol.
    for (const Lengths& lengths : {Lengths{1, 0}, Lengths{0, 0, 0, 1, 0, 0, 0}}) {
        Build one = build(lengths, 9, 16);
        EXPECT_EQ(one.result, TableComplete);
        EXPECT_EQ(one.store[0].kind, kLiteral);
        EXPECT_EQ(one.store[1].kind, kInvalidCode);
    }

    Build over = build({1, 1, 1}, 9, 16);
    EXPECT_EQ(over.result, TableOversubscribed);
    EXPECT_TRUE(std::all_of(over.store.begin(), over.store.end(), untouched));

    Build incomplete = build({1, 2}, 9, 16);
    EXPECT_EQ(incomplete.result, TableIncomplete);
    EXPECT_EQ(incomplete.store[3].kind, kInvalidCode);  // pattern 11 is no code

    Build eight = build(Lengths(8, 3), 9, 16);
    EXPECT_EQ(eight.result, TableComplete);
    EXPECT_EQ(eight.bits, 3u);
    EXPECT_EQ(eight.slots, 8u);
    EXPECT_TRUE(untouched(eight.store[8]));

    // Lookup bits are raised to the shortest code.
    Build raised = build(Lengths(4, 2), 1, 16);
    EXPECT_EQ(raised.bits, 2u);
}

TEST(HuffmanTable, FixedTablesHoldDeflatesFixedCodes) {
    EXPECT_EQ(kFixedTables.literalResult, TableComplete);
    EXPECT_EQ(kFixedTables.distanceResult, TableIncomplete);
    auto fixed = [](uint32_t code, uint32_t length) {
        return fixedLiteralTable[reversed(code, length)];
    };
    HuffmanEntry zero = fixed(0x30, 8);  // 00110000
    EXPECT_EQ(zero.kind, kLiteral);
    EXPECT_EQ(zero.codeBits, 8);
    EXPECT_EQ(zero.value, 0);
    EXPECT_EQ(fixedLiteralTable[reversed(0x30, 8) | 0x100].value, 0);  // both 9-bit slots
    HuffmanEntry end = fixed(0, 7);
    EXPECT_EQ(end.kind, kEndOfBlock);
    EXPECT_EQ(end.codeBits, 7);
    HuffmanEntry longest = fixed(0xC5, 8);  // symbol 285
    EXPECT_EQ(longest.kind, 0);
    EXPECT_EQ(longest.value, 258);
    EXPECT_EQ(fixed(0xC6, 8).kind, kInvalidCode);  // symbol 286
    HuffmanEntry byte255 = fixed(0x1FF, 9);
    EXPECT_EQ(byte255.kind, kLiteral);
    EXPECT_EQ(byte255.value, 255);
    EXPECT_EQ(byte255.codeBits, 9);

    EXPECT_EQ(fixedDistanceTable[reversed(29, 5)].kind, 13);
    EXPECT_EQ(fixedDistanceTable[reversed(29, 5)].value, 24577);
    // A length's or distance's bits to drop count its extra bits too.
    EXPECT_EQ(fixed(0xC4, 8).codeBits, 8 + 5);  // symbol 284
    EXPECT_EQ(fixed(0xC5, 8).codeBits, 8);      // symbol 285, no extra bits
    EXPECT_EQ(fixedDistanceTable[reversed(29, 5)].codeBits, 5 + 13);
    EXPECT_EQ(fixedDistanceTable[reversed(30, 5)].kind, kInvalidCode);
    EXPECT_EQ(fixedDistanceTable[reversed(31, 5)].kind, kInvalidCode);

    Lengths literal(288);
    for (uint32_t s = 0; s < 288; ++s) literal[s] = s < 144 ? 8 : s < 256 ? 9 : s < 280 ? 7 : 8;
    Build literalBuild = build(literal, 9, 520, 257);
    EXPECT_EQ(literalBuild.result, TableComplete);
    EXPECT_EQ(literalBuild.slots, 512u);
    uint32_t bits = 5;
    uint32_t slots = 0;
    HuffmanEntry distance[32];
    Lengths fives(30, 5);
    const SymbolEntries distances =
        symbolEntries(30, 0, kInputs.distanceBase, kInputs.distanceExtra);
    EXPECT_EQ(buildHuffmanTable(fives.data(), 30, distances, distance, 32, &bits, &slots),
              TableIncomplete);
    EXPECT_EQ(slots, 32u);
}

TEST(HuffmanTable, ExtremeCompleteCodesFitTheDynamicStores) {
    // A literal/length code needing 848 slots and a distance code needing
    // 154: both complete and valid, so both must be accepted.
    Lengths literal = countsToLengths({0, 1, 1, 1, 0, 1, 0, 1, 0, 0, 25, 65, 72, 82, 35, 2});
    ASSERT_EQ(literal.size(), 286u);
    Build tooSmall = build(literal, 9, 800, 257);
    EXPECT_EQ(tooSmall.result, TableNoSpace);
    Build fits = build(literal, 9, kLiteralStoreCapacity, 257);
    EXPECT_EQ(fits.result, TableComplete);
    EXPECT_EQ(fits.slots, 848u);

    Lengths distance = countsToLengths({0, 1, 1, 1, 0, 0, 0, 13, 5, 1, 1, 1, 0, 3, 1, 2});
    ASSERT_EQ(distance.size(), 30u);
    EXPECT_EQ(build(distance, 6, 150, 0).result, TableNoSpace);
    Build distanceFits = build(distance, 6, kDistanceStoreCapacity, 0);
    EXPECT_EQ(distanceFits.result, TableComplete);
    EXPECT_EQ(distanceFits.slots, 154u);
    // Tables open in order: 64 first-level slots, six 2-slot sub-tables, a
    // 4-slot one, a 64-slot one, then one level deeper a 2-slot and an 8-slot.
    std::vector<std::pair<uint32_t, uint32_t>> links;  // (start, size)
    for (uint32_t i = 0; i < 154; ++i) {
        const HuffmanEntry& e = distanceFits.store[i];
        if (e.kind > kLiteral && e.kind != kInvalidCode) {
            std::pair<uint32_t, uint32_t> link{e.value, 1u << (e.kind - kLinkBase)};
            if (std::find(links.begin(), links.end(), link) == links.end()) links.push_back(link);
        }
    }
    std::sort(links.begin(), links.end());
    std::vector<std::pair<uint32_t, uint32_t>> expected = {
        {64, 2}, {66, 2}, {68, 2}, {70, 2}, {72, 2}, {74, 2}, {76, 4}, {80, 64}, {144, 2}, {146, 8}};
    EXPECT_EQ(links, expected);
}

TEST(HuffmanTable, StoreCapacitiesCoverEveryCompleteCode) {
    struct Case {
        uint32_t lookupBits, symbols, capacity, simpleCount;
    };
    for (Case c : {Case{kLiteralLookupBits, 286, kLiteralStoreCapacity, 257},
                   Case{kDistanceLookupBits, 30, kDistanceStoreCapacity, 0}}) {
        std::vector<uint32_t> witness;
        uint64_t worst = worstCaseSlots(c.lookupBits, c.symbols, &witness);
        EXPECT_EQ(worst, c.capacity) << "symbols " << c.symbols;
        Lengths lengths = countsToLengths(witness);
        lengths.resize(c.symbols, 0);
        Build fits = build(lengths, c.lookupBits, c.capacity, c.simpleCount);
        EXPECT_EQ(fits.result, TableComplete);
        EXPECT_EQ(fits.slots, worst);
        EXPECT_EQ(build(lengths, c.lookupBits, c.capacity - 1, c.simpleCount).result, TableNoSpace);
    }
}

// The census counts each length over all symbols, and apart over the 256
// literals when the code has them, whatever the number of symbols: the
// lanes it counts in must cover every symbol once.
TEST(HuffmanTable, CensusCountsEveryLengthAndTheLiteralsApart) {
    std::mt19937 random(77);
    for (uint32_t symbols : {19u, 30u, 255u, 256u, 257u, 259u, 286u, 288u}) {
        SCOPED_TRACE(symbols);
        for (int round = 0; round < 20; ++round) {
            Lengths lengths(symbols);
            for (uint32_t& length : lengths) length = random() % 3 == 0 ? 0 : random() % 16;
            uint32_t all[16] = {}, literals[16] = {}, shortest = 0, longest = 0;
            for (uint32_t s = 0; s < symbols; ++s) {
                all[lengths[s]]++;
                if (symbols >= 256 && s < 256) literals[lengths[s]]++;
            }
            for (uint32_t k = 15; k >= 1; --k) {
                if (all[k] != 0 && longest == 0) longest = k;
                if (all[k] != 0) shortest = k;
            }
            const CodeCounts counts = countLengths(lengths.data(), symbols);
            for (uint32_t k = 0; k < 16; ++k) {
                ASSERT_EQ(counts.perLength[k], all[k]) << "length " << k;
                ASSERT_EQ(counts.literalsPerLength[k], literals[k]) << "length " << k;
            }
            ASSERT_EQ(counts.shortest, shortest);
            ASSERT_EQ(counts.longest, longest);
        }
    }
}

TEST(HuffmanTable, RandomCompleteCodesDecodeEverySymbolAndMatchTheLayout) {
    std::mt19937 random(1234);
    for (int round = 0; round < 3000; ++round) {
        const bool distance = round % 2 == 1;
        const uint32_t symbols = distance ? 30 : 286;
        const uint32_t lookupBits = distance ? 6 : 9;
        // Random complete code: split open nodes level by level.
        std::vector<uint32_t> counts(16, 0);
        uint32_t open = 1, used = 0;
        // Keeps used + 2 * open <= symbols: every open node needs two codes.
        for (uint32_t k = 1; k <= 15; ++k) {
            const int room = int(symbols - used);
            const uint32_t least = uint32_t(std::max(0, int(4 * open) - room));
            uint32_t most = 2 * open;
            if (random() % 2 == 0) most = std::min(most, least + 3);  // favour deep codes
            uint32_t codes = k == 15 ? 2 * open : least + random() % (most - least + 1);
            counts[k] = codes;
            used += codes;
            open = 2 * open - codes;
            if (open == 0) break;
        }
        if (open != 0) continue;
        Lengths lengths = countsToLengths(counts);
        std::shuffle(lengths.begin(), lengths.end(), random);
        lengths.resize(symbols, 0);
        Build b = build(lengths, lookupBits, 4096, distance ? 0 : 257);
        ASSERT_EQ(b.result, TableComplete);
        uint32_t longest = 0;
        for (uint32_t l : lengths) longest = std::max(longest, l);
        ASSERT_EQ(b.slots, layoutSlots(openNodes(counts), b.bits, longest));
        ASSERT_LE(b.slots, distance ? kDistanceStoreCapacity : kLiteralStoreCapacity);
        std::vector<uint32_t> codes = deflate_writer::canonicalCodes(lengths);
        for (uint32_t s = 0; s < symbols; ++s) {
            if (lengths[s] == 0) continue;
            uint32_t taken = 0;
            HuffmanEntry e = lookUp(b.store, b.bits, reversed(codes[s], lengths[s]), &taken);
            ASSERT_EQ(taken, lengths[s]) << "symbol " << s;
            if (distance) {
                ASSERT_EQ(e.value, rfc1951::kDistances[s].base);
                ASSERT_EQ(e.kind, rfc1951::kDistances[s].extraBits);
            } else if (s < 256) {
                ASSERT_EQ(e.kind, kLiteral);
                ASSERT_EQ(e.value, s);
            } else if (s == 256) {
                ASSERT_EQ(e.kind, kEndOfBlock);
            } else {
                ASSERT_EQ(e.value, rfc1951::kLengths[s - 257].base);
                ASSERT_EQ(e.kind, rfc1951::kLengths[s - 257].extraBits);
            }
        }
    }
}

}  // namespace
