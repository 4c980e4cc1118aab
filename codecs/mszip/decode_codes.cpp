// The literal/length and distance code loop of fixed and dynamic blocks.
//
// Two loops share the decoder's state. The fast loop runs while at least 16
// input bytes are left and a whole match fits in the output: it refills a
// 64-bit reservoir with whole unaligned loads, takes up to three literals
// per refill, and copies matches in 8-byte chunks. Near either end the careful loop takes over, one symbol
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

// The fast loop runs while two 8-byte refills cannot pass the input's end
// and while its output cannot pass the limit: a symbol writes at most two
// literals and then a whole match, whose copy may use 8 bytes of room
// beyond its end.
constexpr uint32_t kFastInputMargin = 16;
constexpr uint32_t kFastOutputMargin = 2 + kMaxMatchLength + 8;
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

// Follows links from a first-level entry down to the code's entry and drops
// the code's bits. False for a pattern that is no code.
inline bool resolve(uint64_t& bits, uint32_t& count, const HuffmanEntry* table,
                    HuffmanEntry& entry) {
    for (uint32_t links = 0; entry.kind > kLiteral; ++links) {
        if (entry.kind > kLastLinkKind || links == kMaxLinks) return false;
        const uint32_t subBits = entry.kind - kLinkBase;
        bits >>= entry.codeBits;
        count -= entry.codeBits;
        entry = table[entry.value + lowBits(bits, subBits)];
    }
    bits >>= entry.codeBits;
    count -= entry.codeBits;
    return true;
}

Outcome runFastLoop(MszipDecoder* d, const HuffmanEntry* literalTable, uint32_t literalBits,
                    const HuffmanEntry* distanceTable, uint32_t distanceBits) {
    if (d->carefulOnly || d->inputUsed + kFastInputMargin > d->inputSize ||
        d->outLeft < kFastOutputMargin) {
        return Outcome::Continue;
    }
    const uint8_t* in = d->input + d->inputUsed;
    const uint8_t* const inLimit = d->input + d->inputSize - kFastInputMargin;
    uint8_t* const window = d->windowStart;
    uint8_t* out = window + d->outPos;
    uint8_t* const outLimit = out + (d->outLeft - kFastOutputMargin);
    uint64_t bits = d->bitBuffer;
    uint32_t count = d->bitCount;
    const uint64_t literalMask = (uint64_t(1) << literalBits) - 1;
    const uint64_t distanceMask = (uint64_t(1) << distanceBits) - 1;

    // Tops the reservoir up to 56..63 bits with one 8-byte load; the bytes
    // whose bits all fit are counted as taken. Bits already held stay where
    // they are, so an entry looked up before a refill stays valid.
    auto refill = [&] {
        bits |= load64(in) << count;
        in += (63 - count) >> 3;
        count |= kRefillFloor;
    };
    auto drop = [&](uint32_t n) {
        bits >>= n;
        count -= n;
    };

    Outcome outcome = Outcome::Continue;
    while (in <= inLimit && out <= outLimit) {
        refill();
        HuffmanEntry entry = literalTable[bits & literalMask];
        if (entry.kind == kLiteral) {
            // Literals settled by the first level take at most 9 bits each:
            // up to three come out of one refill. Runs of literals are the
            // bulk of poorly compressible data.
            drop(entry.codeBits);
            *out++ = uint8_t(entry.value);
            entry = literalTable[bits & literalMask];
            if (entry.kind == kLiteral) {
                drop(entry.codeBits);
                *out++ = uint8_t(entry.value);
                entry = literalTable[bits & literalMask];
                if (entry.kind == kLiteral) {
                    drop(entry.codeBits);
                    *out++ = uint8_t(entry.value);
                    continue;
                }
            }
            // A length and its distance may need 48 bits: top up again. The
            // second load reads at most 15 bytes past the first one's start.
            refill();
        }
        if (!resolve(bits, count, literalTable, entry)) {
            outcome = Outcome::Failed;
            break;
        }
        if (entry.kind == kLiteral) {  // a long literal code, from a sub-table
            *out++ = uint8_t(entry.value);
            continue;
        }
        if (entry.kind == kEndOfBlock) {
            outcome = Outcome::EndOfBlock;
            break;
        }
        const uint32_t length = entry.value + lowBits(bits, entry.kind);
        drop(entry.kind);

        entry = distanceTable[bits & distanceMask];
        if (!resolve(bits, count, distanceTable, entry)) {
            outcome = Outcome::Failed;
            break;
        }
        const uint32_t distance = entry.value + lowBits(bits, entry.kind);
        drop(entry.kind);

        const uint32_t written = uint32_t(out - window);
        if (distance - 1 < written) {  // distance 1..written: inside this block
            if (distance >= 8) {
                copyDistantMatchWithRoom(out, length, distance);
            } else {
                copyMatch(out, length, distance);
            }
        } else if (distance != 0 && distance <= d->ringSize) {
            copyFromRing(window, written, length, distance, d->ringSize);
        } else {
            // Beyond the history the buffer holds, or distance 0, which no
            // code gives and whose copy from itself would never end.
            outcome = Outcome::Failed;
            break;
        }
        out += length;
    }
    d->bitBuffer = bits & ((uint64_t(1) << count) - 1);
    d->bitCount = count;
    d->inputUsed = uint32_t(in - d->input);
    const uint32_t produced = uint32_t(out - (window + d->outPos));
    d->outPos += produced;
    d->outLeft -= produced;
    return outcome;
}

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
