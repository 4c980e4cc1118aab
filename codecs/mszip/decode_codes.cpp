// The literal/length and distance code loop of fixed and dynamic blocks.
//
// Two loops share the decoder's state. The fast loop runs while at least 8
// input bytes are left and a whole match fits in the output: it refills a
// 64-bit reservoir with one unaligned load per symbol, and copies matches
// in 8-byte chunks. Near either end the careful loop takes over, one symbol
// at a time, with the byte-wise reader that supplies zeros past the input
// and with the copy stopping exactly at the output limit. Both decode the
// same stream to the same bytes.
#include "codecs/mszip/bit_reader.h"
#include "codecs/mszip/deflate_tables.h"
#include "codecs/mszip/match_copy.h"
#include "codecs/mszip/mszip_decoder.h"

#include <bit>
#include <cstring>

namespace mszip {
namespace {

enum class Outcome { Continue, EndOfBlock, Failed };

constexpr uint32_t kFastInputMargin = 8;  // one 64-bit load
// After a refill the reservoir holds at least 56 bits; one symbol takes at
// most 15 + 5 bits (length) and 15 + 13 bits (distance).
constexpr uint32_t kRefillFloor = 56;
constexpr uint8_t kLastLinkKind = kLinkBase + kMaxCodeLength;
// A code has at most 16 bits and every link of a sound table consumes at
// least one, so a longer chain of links is a fault in the table.
constexpr uint32_t kMaxLinks = kMaxCodeLength;
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
    dropBits(d, entry.codeBits);
    *found = entry;
    return true;
}

// Copies a match through the history ring: a reference that reaches before
// the start of this block's output reads the end of the ring, which still
// holds the previous block. Stops at the output limit.
bool copyThroughRing(MszipDecoder* d, uint32_t length, uint32_t distance) {
    // More history than the buffer holds, or a distance no code can give.
    if (distance > d->ringSize || distance == 0) return false;
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

// ---- fast loop --------------------------------------------------------------

inline uint64_t load64(const uint8_t* p) {
    uint64_t value;
    std::memcpy(&value, p, sizeof value);
    if constexpr (std::endian::native == std::endian::big) value = __builtin_bswap64(value);
    return value;
}

struct FastState {
    uint64_t bits;
    uint32_t count;
    uint32_t inPos;
    uint32_t outPos;
    uint32_t outLeft;
};

#define QMORA_DROP(n)        \
    do {                     \
        state.bits >>= (n);  \
        state.count -= (n);  \
    } while (0)

// Follows links from a first-level entry down to the code's entry and drops
// the code's bits. False for a pattern that is no code.
inline bool resolve(FastState& state, const HuffmanEntry* table, HuffmanEntry& entry) {
    for (uint32_t links = 0; entry.kind > kLiteral; ++links) {
        if (entry.kind > kLastLinkKind || links == kMaxLinks) return false;
        const uint32_t subBits = entry.kind - kLinkBase;
        QMORA_DROP(entry.codeBits);
        entry = table[entry.value + lowBits(state.bits, subBits)];
    }
    QMORA_DROP(entry.codeBits);
    return true;
}

Outcome runFastLoop(MszipDecoder* d, const HuffmanEntry* literalTable, uint32_t literalBits,
                    const HuffmanEntry* distanceTable, uint32_t distanceBits) {
    if (d->carefulOnly || d->inputUsed + kFastInputMargin > d->inputSize ||
        d->outLeft < kMaxMatchLength) {
        return Outcome::Continue;
    }
    FastState state{d->bitBuffer, d->bitCount, d->inputUsed, d->outPos, d->outLeft};
    const uint8_t* input = d->input;
    const uint32_t inputLimit = d->inputSize - kFastInputMargin;
    uint8_t* window = d->windowStart;
    const uint64_t literalMask = (uint64_t(1) << literalBits) - 1;
    const uint64_t distanceMask = (uint64_t(1) << distanceBits) - 1;
    Outcome outcome = Outcome::Continue;

    while (state.inPos <= inputLimit && state.outLeft >= kMaxMatchLength) {
        state.bits |= load64(input + state.inPos) << state.count;
        state.inPos += (63 - state.count) >> 3;
        state.count |= kRefillFloor;

        HuffmanEntry entry = literalTable[state.bits & literalMask];
        if (!resolve(state, literalTable, entry)) {
            outcome = Outcome::Failed;
            break;
        }
        if (entry.kind == kLiteral) {
            window[state.outPos++] = uint8_t(entry.value);
            state.outLeft--;
            // A second literal fits in the bits left when its code is
            // settled by the first level.
            HuffmanEntry next = literalTable[state.bits & literalMask];
            if (next.kind == kLiteral) {
                QMORA_DROP(next.codeBits);
                window[state.outPos++] = uint8_t(next.value);
                state.outLeft--;
            }
            continue;
        }
        if (entry.kind == kEndOfBlock) {
            outcome = Outcome::EndOfBlock;
            break;
        }
        const uint32_t length = entry.value + lowBits(state.bits, entry.kind);
        QMORA_DROP(entry.kind);

        entry = distanceTable[state.bits & distanceMask];
        if (!resolve(state, distanceTable, entry)) {
            outcome = Outcome::Failed;
            break;
        }
        const uint32_t distance = entry.value + lowBits(state.bits, entry.kind);
        QMORA_DROP(entry.kind);

        if (distance == 0) {  // no code gives it; copying from itself would never end
            outcome = Outcome::Failed;
            break;
        }
        if (distance <= state.outPos) {
            copyMatch(window + state.outPos, length, distance);
            state.outPos += length;
            state.outLeft -= length;
        } else {
            d->outPos = state.outPos;
            d->outLeft = state.outLeft;
            if (!copyThroughRing(d, length, distance)) {
                outcome = Outcome::Failed;
                break;
            }
            state.outPos = d->outPos;
            state.outLeft = d->outLeft;
        }
    }
    d->bitBuffer = state.bits & ((uint64_t(1) << state.count) - 1);
    d->bitCount = state.count;
    d->inputUsed = state.inPos;
    d->outPos = state.outPos;
    d->outLeft = state.outLeft;
    return outcome;
}

#undef QMORA_DROP

}  // namespace

bool decodeCompressedData(MszipDecoder* d, const HuffmanEntry* literalTable, uint32_t literalBits,
                          const HuffmanEntry* distanceTable, uint32_t distanceBits) {
    for (;;) {
        Outcome outcome = runFastLoop(d, literalTable, literalBits, distanceTable, distanceBits);
        if (outcome == Outcome::Continue && d->outLeft != 0) {
            outcome = decodeOneSymbol(d, literalTable, literalBits, distanceTable, distanceBits);
        }
        if (outcome == Outcome::Failed) return false;
        if (outcome == Outcome::EndOfBlock || d->outLeft == 0) return true;
    }
}

}  // namespace mszip
