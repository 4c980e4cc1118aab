// The fast code loop's parts shared by its kinds of round: the loop's state
// held in registers, the lookups and copies every round uses, and the loop
// itself, a template over the kind of round. The rounds of literal runs live
// in literal_runs_round.cpp, the others in decode_codes.cpp with the careful
// loop.
//
// The fast loop runs while at least 16 input bytes are left: it refills a
// 64-bit reservoir with whole unaligned loads, takes literals several at a
// time from bits already held, copies matches in 8-byte chunks where the
// output has room, and cuts a match at the output limit.
#pragma once

#include "codecs/mszip/bit_reader.h"
#include "codecs/mszip/deflate_tables.h"
#include "codecs/mszip/match_copy.h"
#include "codecs/mszip/mszip_decoder.h"

#include <bit>
#include <cstdint>
#include <cstring>

namespace mszip {

enum class Outcome { Continue, EndOfBlock, Failed };

// The fast loop runs while its loads cannot pass the input's end: a round
// loads at most 15 bytes past its start.
constexpr uint32_t kFastInputMargin = 16;
constexpr uint8_t kLastLinkKind = kLinkBase + kMaxCodeLength;
// A code has at most 16 bits and every link of a sound table consumes at
// least one, so a longer chain of links is a fault in the table.
constexpr uint32_t kMaxLinks = kMaxCodeLength;

// The fast loop reads each entry as one 32-bit word: a single load per
// lookup, and the bits to drop sit in the word's low bits (little-endian
// layout of HuffmanEntry), where a variable shift takes its count from
// without a byte to extract first. That count is on the path from one
// lookup to the next, the loop's critical path.
inline uint32_t entryWord(const HuffmanEntry* table, uint64_t index) {
    uint32_t word;
    std::memcpy(&word, table + index, sizeof word);
    return word;
}
inline uint32_t wordCodeBits(uint32_t word) {
    if constexpr (std::endian::native == std::endian::little) return word & 63;
    return word >> 24;
}
inline uint32_t wordKind(uint32_t word) {
    if constexpr (std::endian::native == std::endian::little) return (word >> 8) & 0xFF;
    return (word >> 16) & 0xFF;
}
inline uint32_t wordValue(uint32_t word) {
    if constexpr (std::endian::native == std::endian::little) return word >> 16;
    return word & 0xFFFF;
}

// The fast loop's copy of the decoder's position: the reservoir, the input
// and output pointers and the tables, held in registers while it runs. The
// kinds of round below and the code they end on all work on it.
struct FastState {
    const uint8_t* in;
    const uint8_t* inLimit;  // the last place a round may start loading from
    uint8_t* window;
    uint8_t* out;
    uint8_t* outLimit;  // the last place a round may start writing at
    uint32_t outputMargin;  // the round's kOutputMargin: outLimit + it is the output's end
    uint64_t bits;
    uint32_t count;
    const HuffmanEntry* literalTable;
    uint64_t literalMask;
    // True when the distance table lies kDistanceTableOffset entries after
    // the literal table, as in every real block: one register then reaches
    // both. Else the distance table is where `distanceTable` says.
    bool tablesAdjoin;
    const HuffmanEntry* distanceTable;
    uint64_t distanceMask;
    const MszipDecoder* decoder;  // for the ring, on the rarer path of copies from it
};
// The fields that runFastLoop sets to constants (the masks, the margin,
// tablesAdjoin) stay constants in the code of the rounds, which are inlined
// into it: they take no register.

#define QMORA_HOT [[gnu::always_inline]] inline

// The low n bits of the reservoir (n at most 16), masked by a shift rather
// than the table of masks: the mask then waits for no load.
QMORA_HOT uint32_t peekBits(const FastState& s, uint32_t n) {
    return uint32_t(s.bits) & ((1u << n) - 1);
}
QMORA_HOT void dropBits(FastState& s, uint32_t n) {
    s.bits >>= n;
    s.count -= n;
}
// Drops the code of the entry `word`: the reservoir is shifted by its bits
// and the count lowered by them. Built by clang, the count takes them by a
// mask of its own (the same number: the entry's low byte holds nothing
// else). With one mask for both, clang puts that mask between a lookup and
// the shift the next lookup waits for, though the shift instruction masks
// its count itself: one cycle more on the loop's critical path per code.
// GCC keeps the shift unmasked unasked, and its code is slower with the
// second mask. (Links keep the shared mask: clang's code of the whole loop
// came out slower without it.)
QMORA_HOT void dropCode(FastState& s, uint32_t word) {
    s.bits >>= wordCodeBits(word);
#if defined(__clang__)
    if constexpr (std::endian::native == std::endian::little) {
        s.count -= word & 0xFF;
        return;
    }
#endif
    s.count -= wordCodeBits(word);
}
QMORA_HOT void topUp(FastState& s) { refill(s.bits, s.count, s.in); }
QMORA_HOT uint32_t lookUpLiteral(const FastState& s, uint64_t bits) {
    return entryWord(s.literalTable, bits & s.literalMask);
}
QMORA_HOT const HuffmanEntry* distanceTableOf(const FastState& s) {
    return s.tablesAdjoin ? s.literalTable + kDistanceTableOffset : s.distanceTable;
}
QMORA_HOT uint8_t* outEnd(const FastState& s) { return s.outLimit + s.outputMargin; }
// Writes a literal entry's byte and drops its code.
QMORA_HOT void takeLiteral(FastState& s, uint32_t entry) {
    dropCode(s, entry);
    *s.out++ = uint8_t(wordValue(entry));
}

// Follows links from a first-level entry down to the code's entry, whose
// own bits are left in the reservoir. False for a pattern that is no code.
QMORA_HOT bool followLinks(FastState& s, const HuffmanEntry* table, uint32_t& entry) {
    for (uint32_t links = 0; wordKind(entry) > kLiteral; ++links) {
        if (wordKind(entry) > kLastLinkKind || links == kMaxLinks) return false;
        const uint32_t subBits = wordKind(entry) - kLinkBase;
        dropBits(s, wordCodeBits(entry));
        entry = entryWord(table, wordValue(entry) + peekBits(s, subBits));
    }
    return true;
}

// A length or distance: the entry's base plus the extra bits after its
// code. The entry's bits to drop count both, so the lookup that follows
// waits for one shift by a number read straight from the entry.
QMORA_HOT uint32_t takeBaseAndExtra(FastState& s, uint32_t entry) {
    const uint32_t extraBits = wordKind(entry);
    const uint32_t codeBits = (wordCodeBits(entry) - extraBits) & 63;
    const uint32_t extra = uint32_t(s.bits >> codeBits) & ((1u << extraBits) - 1);
    dropCode(s, entry);
    return wordValue(entry) + extra;
}

// What the code that ends a round turned out to be.
enum class Code { Literal, Match, EndOfBlock, Failed };

// Copies a match of `length` bytes from `distance` back. Near the output
// limit a match is cut there, as in the careful loop. False for a distance
// beyond the history the folder has left in the buffer, or 0, which no code
// gives and whose copy from itself would never end.
QMORA_HOT bool copyMatchFast(FastState& s, uint32_t length, uint32_t distance) {
    const uint32_t room = uint32_t(outEnd(s) - s.out);
    const uint32_t copied = length < room ? length : room;
    const uint32_t written = uint32_t(s.out - s.window);
    const bool roomForChunks = length + kChunkCopyOverrun <= room;
    if (distance - 1 < written) {  // distance 1..written: inside this block
        if (distance >= 16 && roomForChunks) {
            copyChunksWithRoom<16>(s.out, s.out - distance, length);
        } else if (distance >= 8 && roomForChunks) {
            copyChunksWithRoom<8>(s.out, s.out - distance, length);
        } else {
            copyMatch(s.out, copied, distance);
        }
    } else if (distance != 0 && distance <= s.decoder->ringReach) {
        // The source lies ahead, in the previous block's output; chunks
        // may read past it only while they stay inside the ring.
        const uint32_t ringSize = s.decoder->ringSize;
        const uint32_t from = written + ringSize - distance;
        if (roomForChunks && from + length + kChunkCopyOverrun <= ringSize) {
            copyChunksWithRoom<16>(s.out, s.window + from, length);
        } else {
            copyFromRing(s.window, written, copied, distance, ringSize);
        }
    } else {
        return false;
    }
    s.out += copied;
    return true;
}

// Takes the code a round ended on, from its first-level entry: a long
// literal through sub-tables, the end of the block, or a length with its
// distance and the copy. At least 48 bits are held. Once the code is read,
// the round's `next` sets up the next round (the refill and first lookup
// of rounds that start with an entry in hand): before a match's copy, so
// that the lookup runs beside the copy rather than after it.
template <typename Round>
QMORA_HOT Code takeCode(FastState& s, uint32_t& entry) {
    if (!followLinks(s, s.literalTable, entry)) return Code::Failed;
    const uint32_t kind = wordKind(entry);
    if (kind == kLiteral) {
        takeLiteral(s, entry);
        Round::next(s, entry, Code::Literal);
        return Code::Literal;
    }
    if (kind == kEndOfBlock) {
        dropCode(s, entry);
        return Code::EndOfBlock;
    }
    const uint32_t length = takeBaseAndExtra(s, entry);

    const HuffmanEntry* distanceTable = distanceTableOf(s);
    entry = entryWord(distanceTable, s.bits & s.distanceMask);
    if (!followLinks(s, distanceTable, entry)) return Code::Failed;
    const uint32_t distance = takeBaseAndExtra(s, entry);
    Round::next(s, entry, Code::Match);
    return copyMatchFast(s, length, distance) ? Code::Match : Code::Failed;
}

// Three kinds of round, each a structure of three functions: `begin` before
// the first round, `takeLiterals` for the literals at a round's start
// (false when the round ended with literals alone; true with the entry of
// the code that ends it, which takeCode takes, and at least 48 bits held),
// and `next` once that code is read (see takeCode). kOutputMargin is how many
// literals a round may write before it checks the output limit (a long
// literal through a sub-table included): the fast loop runs only while they
// fit.
//
// Loads: no round loads more than 15 bytes past its start, inside the
// input margin (each says where it loads).

// The fast loop runs while its loads cannot pass the input's end and while
// the literals a round may write fit in the output. A match checks the room
// left itself. Round is one of the three kinds above.
//
// kFullWidths: the tables are looked up at kLiteralLookupBits and
// kDistanceLookupBits and lie kDistanceTableOffset entries apart, as every
// real block's tables do; the masks are then constants and one register
// reaches both tables, which leaves three more registers to the loop.
// Otherwise (tables made by hand for tests) the loop follows what it is
// given.
template <typename Round, bool kFullWidths>
Outcome runFastLoop(MszipDecoder* d, const HuffmanEntry* literalTable, uint32_t literalBits,
                    const HuffmanEntry* distanceTable, uint32_t distanceBits) {
    if constexpr (kFullWidths) {
        literalBits = kLiteralLookupBits;
        distanceBits = kDistanceLookupBits;
    }
    if (d->carefulOnly || d->inputUsed + kFastInputMargin > d->inputSize ||
        d->outLeft < Round::kOutputMargin) {
        return Outcome::Continue;
    }
    FastState s;
    s.in = d->input + d->inputUsed;
    s.inLimit = d->input + d->inputSize - kFastInputMargin;
    s.window = d->windowStart;
    s.out = s.window + d->outPos;
    s.outputMargin = Round::kOutputMargin;
    s.outLimit = s.out + d->outLeft - s.outputMargin;
    s.bits = d->bitBuffer;
    s.count = d->bitCount;
    s.literalTable = literalTable;
    s.literalMask = (uint64_t(1) << literalBits) - 1;
    s.tablesAdjoin = kFullWidths;
    s.distanceTable = kFullWidths ? nullptr : distanceTable;
    s.distanceMask = (uint64_t(1) << distanceBits) - 1;
    s.decoder = d;

    Outcome outcome = Outcome::Continue;
    uint32_t entry = Round::begin(s);
    while (s.in <= s.inLimit && s.out <= s.outLimit) {
        if (!Round::takeLiterals(s, entry)) continue;
        const Code code = takeCode<Round>(s, entry);
        if (code == Code::EndOfBlock || code == Code::Failed) {
            outcome = code == Code::EndOfBlock ? Outcome::EndOfBlock : Outcome::Failed;
            break;
        }
    }
    d->bitBuffer = s.bits & ((uint64_t(1) << s.count) - 1);
    d->bitCount = s.count;
    d->inputUsed = uint32_t(s.in - d->input);
    const uint32_t produced = uint32_t(s.out - (s.window + d->outPos));
    d->outPos += produced;
    d->outLeft -= produced;
    return outcome;
}

using FastLoop = Outcome (*)(MszipDecoder*, const HuffmanEntry*, uint32_t, const HuffmanEntry*,
                             uint32_t);

// The fast loop of rounds of literal runs for literals of `length` bits,
// with tables of the full widths on a little-endian machine; nullptr for a
// length without such rounds (only 6, 7 and 8 have them).
FastLoop literalRunsLoop(uint32_t length);

}  // namespace mszip
