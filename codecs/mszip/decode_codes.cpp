// The literal/length and distance code loop of fixed and dynamic blocks.
//
// Two loops share the decoder's state: the fast loop (fast_loop.h) while at
// least 16 input bytes are left, and near the input's end the careful loop
// here, one symbol at a time, with the byte-wise reader that supplies zeros
// past the input. Both decode the same stream to the same bytes. This file
// also holds the fast loop's mixed rounds and rounds of literal pairs, and
// picks the loop for each block.
#include "codecs/mszip/fast_loop.h"

#include <cstdint>

namespace mszip {
namespace {

// Past the end of the input the reader supplies zero bits. The all-zero
// code is the first of the shortest length: at most 8 bits for literals and
// lengths (fewer than 512 symbols), at most 4 for a complete distance code
// (fewer than 32). So a symbol decoded from zeros writes a literal for 8
// bits, or a match of at least 3 bytes for at most 8 + 5 + 4 + 13 bits:
// less than two zero bytes per output byte, plus the reservoir's
// look-ahead. Reading further means the tables never end the block.
constexpr uint32_t kMaxZeroTail = 2 * kMszipMaxBlockSize + 8;

// ---- careful loop -----------------------------------------------------------

bool lookUpCarefully(MszipDecoder* d, const HuffmanEntry* table, uint32_t bits,
                     HuffmanEntry* found) {
    needBits(d, bits);
    HuffmanEntry entry = table[lowBits(d->bitBuffer, bits)];
    for (uint32_t links = 0; entry.kind > kLiteral; ++links) {
        if (entry.kind > kLastLinkKind || links == kMaxLinks) return false;
        const uint32_t subBits = entry.kind - kLinkBase;
        dropBits(d, entry.codeBits);
        needBits(d, subBits);
        entry = table[entry.value + lowBits(d->bitBuffer, subBits)];
    }
    dropBits(d, entry.codeBits - extraBitsOf(entry));  // the extra bits are read after
    *found = entry;
    return true;
}

// Copies a match through the history ring: a reference that reaches before
// the start of this block's output reads the end of the ring, which still
// holds the folder's previous block. Stops at the output limit.
bool copyThroughRing(MszipDecoder* d, uint32_t length, uint32_t distance) {
    // More history than the folder has left in the buffer, or a distance no
    // code can give.
    if (distance == 0 || (distance > d->outPos && distance > d->ringReach)) return false;
    const uint32_t count = length < d->outLeft ? length : d->outLeft;
    if (distance <= d->outPos) {
        copyMatch(d->windowStart + d->outPos, count, distance);
    } else {
        copyFromRing(d->windowStart, d->outPos, count, distance, d->ringSize);
    }
    d->outPos += count;
    d->outLeft -= count;
    return true;
}

Outcome decodeOneSymbol(MszipDecoder* d, const HuffmanEntry* literalTable, uint32_t literalBits,
                        const HuffmanEntry* distanceTable, uint32_t distanceBits) {
    if (d->inputUsed > d->inputSize + kMaxZeroTail) return Outcome::Failed;
    HuffmanEntry entry;
    if (!lookUpCarefully(d, literalTable, literalBits, &entry)) return Outcome::Failed;
    if (entry.kind == kLiteral) {
        d->windowStart[d->outPos++] = uint8_t(entry.value);
        d->outLeft--;
        return Outcome::Continue;
    }
    if (entry.kind == kEndOfBlock) return Outcome::EndOfBlock;
    const uint32_t length = entry.value + readBits(d, entry.kind);
    if (!lookUpCarefully(d, distanceTable, distanceBits, &entry)) return Outcome::Failed;
    const uint32_t distance = entry.value + readBits(d, entry.kind);
    return copyThroughRing(d, length, distance) ? Outcome::Continue : Outcome::Failed;
}
// ---- kinds of fast round ----------------------------------------------------

// Mixed rounds, for most data, matches and literals mixed: the round starts
// with the entry of its first code in hand and at least 56 bits held, takes
// up to three literals settled by the first level, each lookup waiting for
// the one before, and looks up the code after them before its refill (4
// bytes at most), which the lookup does not wait for. A refill before a
// length (34 bits held: 3 bytes); after a code, `next` refills.
struct MixedRound {
    static constexpr uint32_t kOutputMargin = 3;
    QMORA_HOT static uint32_t begin(FastState& s) {
        topUp(s);
        return lookUpLiteral(s, s.bits);
    }
    QMORA_HOT static bool takeLiterals(FastState& s, uint32_t& entry) {
        if (wordKind(entry) != kLiteral) return true;
        // Literals settled by the first level take at most 11 bits each:
        // three and the lookup after them fit in 56 bits.
        takeLiteral(s, entry);
        entry = lookUpLiteral(s, s.bits);
        if (wordKind(entry) == kLiteral) {
            takeLiteral(s, entry);
            entry = lookUpLiteral(s, s.bits);
            if (wordKind(entry) == kLiteral) {
                takeLiteral(s, entry);
                entry = lookUpLiteral(s, s.bits);
                topUp(s);
                return false;
            }
        }
        topUp(s);  // a length and its distance may need 48 bits
        return true;
    }
    QMORA_HOT static void next(FastState& s, uint32_t& entry, Code) {
        topUp(s);
        entry = lookUpLiteral(s, s.bits);
    }
};

// Rounds of literal pairs, for literals of mostly two lengths, kLength and
// kLength + 1 bits: two literals from the 33 bits or more already held, with
// the code after them in hand, while the round's refill (4 bytes) loads
// beside them and is merged after, off the chain of lookups. Refills also
// before a length (3 bytes) and after a match.
template <uint32_t kLength>
struct LiteralPairsRound {
    static constexpr uint32_t kOutputMargin = 3;
    QMORA_HOT static uint32_t begin(FastState& s) {
        topUp(s);
        return lookUpLiteral(s, s.bits);
    }
    QMORA_HOT static bool takeLiterals(FastState& s, uint32_t& entry) {
        uint64_t fresh = s.bits;
        uint32_t freshCount = s.count;
        refill(fresh, freshCount, s.in);
        if (wordKind(entry) != kLiteral) {
            s.bits = fresh;
            s.count = freshCount;
            return true;
        }
        // Two literals settled by the first level (at most 11 bits each)
        // and the lookup of the code after them: 33 bits, of the 34 or more
        // a round of two such literals leaves held.
        static_assert(3 * kLiteralLookupBits <= kRefillFloor - 2 * kLiteralLookupBits);
        uint32_t taken = wordCodeBits(entry);
        *s.out++ = uint8_t(wordValue(entry));
        const uint64_t afterFirst = s.bits >> taken;
        entry = lookUpLiteral(s, afterFirst);
        // The code after the second literal is looked up at once for both
        // likely lengths of the second literal's code, beside the second
        // lookup instead of after it; the second literal's length then only
        // picks one.
        const uint64_t afterShort = afterFirst >> kLength;
        const uint32_t nextIfShort = lookUpLiteral(s, afterShort);
        const uint32_t nextIfLong = lookUpLiteral(s, afterShort >> 1);
        if (wordKind(entry) == kLiteral) {
            const uint32_t secondBits = wordCodeBits(entry);
            taken += secondBits;
            *s.out++ = uint8_t(wordValue(entry));
            // A pick rather than a branch, the two lengths being mixed
            // unpredictably; they differ in their lowest bit, which a
            // compiler tests in one instruction.
            entry = ((secondBits ^ kLength) & 1) != 0 ? nextIfLong : nextIfShort;
            if (secondBits - kLength > 1) {  // neither length: look it up after all
                entry = lookUpLiteral(s, s.bits >> taken);
            }
        }
        s.bits = fresh >> taken;
        s.count = freshCount - taken;
        if (wordKind(entry) == kLiteral) return false;  // at least 34 bits held
        topUp(s);  // a length and its distance may need 48 bits
        return true;
    }
    // The next round starts with its first entry in hand: after a long
    // literal 40 bits or more are held, after a match a refill tops up.
    QMORA_HOT static void next(FastState& s, uint32_t& entry, Code code) {
        if (code == Code::Match) topUp(s);
        entry = lookUpLiteral(s, s.bits);
    }
};

#undef QMORA_HOT

// The fast loop for a block's tables and shape. A shape's lengths must be
// settled by the first level, and rounds of runs need the full widths (and a
// little-endian machine); tables of other widths get the loop with masks
// that follow them. They are never above 8 (256 literals of 9 bits or
// more carry at most half the weight of a code), and data whose literals
// have shorter codes (a few dozen byte values) is too rare to be worth more
// copies of the loop than those for 6, 7 and 8.
FastLoop chooseFastLoop(const HuffmanEntry* literalTable, uint32_t literalBits,
                        const HuffmanEntry* distanceTable, uint32_t distanceBits,
                        LiteralShape shape) {
    const bool adjoin = reinterpret_cast<uintptr_t>(distanceTable) ==
                        reinterpret_cast<uintptr_t>(literalTable) +
                            kDistanceTableOffset * sizeof(HuffmanEntry);
    if (literalBits != kLiteralLookupBits || distanceBits != kDistanceLookupBits || !adjoin) {
        switch (shape.pairLength < literalBits ? shape.pairLength : 0) {
            case 6: return runFastLoop<LiteralPairsRound<6>, false>;
            case 7: return runFastLoop<LiteralPairsRound<7>, false>;
            case 8: return runFastLoop<LiteralPairsRound<8>, false>;
            default: return runFastLoop<MixedRound, false>;
        }
    }
    if (const FastLoop runs = literalRunsLoop(shape.commonLength)) return runs;
    switch (shape.pairLength) {
        case 6: return runFastLoop<LiteralPairsRound<6>, true>;
        case 7: return runFastLoop<LiteralPairsRound<7>, true>;
        case 8: return runFastLoop<LiteralPairsRound<8>, true>;
        default: return runFastLoop<MixedRound, true>;
    }
}

}  // namespace

bool decodeCompressedData(MszipDecoder* d, const HuffmanEntry* literalTable, uint32_t literalBits,
                          const HuffmanEntry* distanceTable, uint32_t distanceBits,
                          LiteralShape shape) {
    const FastLoop fastLoop =
        chooseFastLoop(literalTable, literalBits, distanceTable, distanceBits, shape);
    for (;;) {
        Outcome outcome = fastLoop(d, literalTable, literalBits, distanceTable, distanceBits);
        if (outcome == Outcome::Continue && d->outLeft != 0) {
            outcome = decodeOneSymbol(d, literalTable, literalBits, distanceTable, distanceBits);
        }
        if (outcome == Outcome::Failed) return false;
        if (outcome == Outcome::EndOfBlock || d->outLeft == 0) return true;
    }
}

}  // namespace mszip
