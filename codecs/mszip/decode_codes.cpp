// The literal/length and distance code loop of fixed and dynamic blocks.
//
// Two loops share the decoder's state. The fast loop runs while at least 16
// input bytes are left: it refills a 64-bit reservoir with whole unaligned
// loads, takes literals several at a time from bits already held, copies
// matches in 8-byte chunks where the output has room, and cuts a match at
// the output limit. Near the input's end the careful loop takes over, one
// symbol at a time, with the byte-wise reader that supplies zeros past the
// input. Both decode the same stream to the same bytes.
#include "codecs/mszip/bit_reader.h"
#include "codecs/mszip/deflate_tables.h"
#include "codecs/mszip/match_copy.h"
#include "codecs/mszip/mszip_decoder.h"

#include <bit>
#include <cstring>
#include <initializer_list>

namespace mszip {
namespace {

enum class Outcome { Continue, EndOfBlock, Failed };

// The fast loop runs while its loads cannot pass the input's end and while
// the literals a round may write fit in the output: at most three (up to
// three settled by the first level, or two and one through a sub-table), or
// six for a round of literal runs. A match checks the room left itself.
constexpr uint32_t kFastInputMargin = 16;
constexpr uint32_t kFastOutputMargin = 3;
constexpr uint32_t kRunOutputMargin = 6;
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

// ---- fast loop --------------------------------------------------------------


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

// Follows links from a first-level entry down to the code's entry and drops
// the code's bits. False for a pattern that is no code.
inline bool resolve(uint64_t& bits, uint32_t& count, const HuffmanEntry* table, uint32_t& entry) {
    for (uint32_t links = 0; wordKind(entry) > kLiteral; ++links) {
        if (wordKind(entry) > kLastLinkKind || links == kMaxLinks) return false;
        const uint32_t subBits = wordKind(entry) - kLinkBase;
        bits >>= wordCodeBits(entry);
        count -= wordCodeBits(entry);
        entry = entryWord(table, wordValue(entry) + lowBits(bits, subBits));
    }
    bits >>= wordCodeBits(entry);
    count -= wordCodeBits(entry);
    return true;
}

// Where a round of literal runs writes the byte of each of its six entries,
// by the length of the run: entry i at its own place up to the run's end,
// at the run's end after it. Writing them in the order 5, 4, ..., 0 leaves
// every place with the right byte, and no table lookup stands on the path
// from one round to the next. Rows of eight bytes are found by a shift.
inline constexpr uint8_t kRunPlaces[6][8] = {
    {0, 0, 0, 0, 0, 0}, {0, 1, 1, 1, 1, 1}, {0, 1, 2, 2, 2, 2},
    {0, 1, 2, 3, 3, 3}, {0, 1, 2, 3, 4, 4}, {0, 1, 2, 3, 4, 5},
};

// How a round of the fast loop takes literals; see the loop below.
enum class Round { Mixed, LiteralPairs, LiteralRuns };

// A round of literal runs reads entries as little-endian words: code bits
// in the low byte, kind in the next, the value above. The low 16 bits of a
// first-level literal of kLength bits are then runLiteralWord(kLength).
constexpr uint32_t runLiteralWord(uint32_t length) { return (uint32_t(kLiteral) << 8) | length; }
inline bool isRunLiteral(uint32_t word, uint32_t runWord) { return (word & 0xFFFF) == runWord; }
inline bool bothRunLiterals(uint32_t first, uint32_t second, uint32_t runWord) {
    return (((first ^ runWord) | (second ^ runWord)) & 0xFFFF) == 0;
}

// kLength is the literal code length the block's shape gives (see
// literalShape): for LiteralPairs most literals have codes of kLength or
// kLength + 1 bits, for LiteralRuns most have exactly kLength bits. Being a
// constant, it costs no register and no arithmetic in the loop.
template <Round kRound, uint32_t kLength>
Outcome runFastLoop(MszipDecoder* d, const HuffmanEntry* literalTable, uint32_t literalBits,
                    const HuffmanEntry* distanceTable, uint32_t distanceBits) {
    constexpr uint32_t outputMargin =
        kRound == Round::LiteralRuns ? kRunOutputMargin : kFastOutputMargin;
    if (d->carefulOnly || d->inputUsed + kFastInputMargin > d->inputSize ||
        d->outLeft < outputMargin) {
        return Outcome::Continue;
    }
    const uint8_t* in = d->input + d->inputUsed;
    const uint8_t* const inLimit = d->input + d->inputSize - kFastInputMargin;
    uint8_t* const window = d->windowStart;
    uint8_t* out = window + d->outPos;
    uint8_t* const outEnd = out + d->outLeft;
    uint8_t* const outLimit = outEnd - outputMargin;
    uint64_t bits = d->bitBuffer;
    uint32_t count = d->bitCount;
    const uint64_t literalMask = (uint64_t(1) << literalBits) - 1;
    const uint64_t distanceMask = (uint64_t(1) << distanceBits) - 1;
    const uint32_t ringReach = d->ringReach;

    // Three kinds of round. A mixed round (most data: matches and literals
    // mixed) refills, then takes up to three literals settled by the first
    // level, each lookup waiting for the one before. A round of literal
    // pairs (literals of mostly two lengths) takes two literals from the 30
    // bits or more already held, with the code after them in hand, while
    // its refill loads beside them and is merged after: the load stays off
    // the chain of lookups. A round of literal runs (literals of mostly one
    // length, the bulk of barely compressible data) refills, then looks up
    // six codes at once, at the places they stand if the codes before them
    // all have the common length: the run of such literals at the start, up
    // to five, and the code after it are then picked by conditional moves,
    // so one chain of lookups yields about five literals on such data.
    // A mixed round loads at its start (taking at most 7 bytes) and before
    // a length (36 bits held: 3 bytes); a round of pairs at its start (30
    // bits held: 4 bytes), before a length (3 bytes) and after a match; a
    // round of runs at its start and, when a length follows the run, after
    // it. No load ends more than 15 bytes past the round's start, inside the
    // input margin.
    uint32_t entry = 0;
    if constexpr (kRound == Round::LiteralPairs) {
        refill(bits, count, in);
        entry = entryWord(literalTable, bits & literalMask);
    }
    Outcome outcome = Outcome::Continue;
    while (in <= inLimit && out <= outLimit) {
        if constexpr (kRound == Round::LiteralRuns) {
            // Five literals of kLength bits (at most 8) and the lookup after
            // them: at most 50 bits, inside the 56 held.
            static_assert(5 * kLength + kLiteralLookupBits <= kRefillFloor);
            constexpr uint64_t mask = (uint64_t(1) << kLiteralLookupBits) - 1;
            constexpr uint32_t runWord = runLiteralWord(kLength);
            refill(bits, count, in);
            auto lookUp = [&](uint32_t i) {
                return entryWord(literalTable, (bits >> (i * kLength)) & mask);
            };
            const uint32_t e0 = lookUp(0), e1 = lookUp(1), e2 = lookUp(2), e3 = lookUp(3),
                           e4 = lookUp(4), e5 = lookUp(5);
            // counted(ei, i): entry i with the i literals of the run before
            // it counted in: their bits added to its bits to drop, their
            // number in its top byte (0 in a literal's entry, whose value is
            // a byte).
            auto counted = [](uint32_t word, uint32_t i) {
                return word + i * ((1u << 24) + kLength);
            };
            // The first entry that is not a run literal, counted; a tree of
            // picks, three deep.
            const uint32_t low = isRunLiteral(e0, runWord) ? counted(e1, 1) : e0;
            const uint32_t high = isRunLiteral(e2, runWord) ? counted(e3, 3) : counted(e2, 2);
            const uint32_t top = isRunLiteral(e4, runWord) ? counted(e5, 5) : counted(e4, 4);
            const uint32_t upper = bothRunLiterals(e2, e3, runWord) ? top : high;
            const uint32_t after = bothRunLiterals(e0, e1, runWord) ? upper : low;
            if (wordKind(after) == kLiteral) {
                // Each entry's byte is written at its own place up to the
                // end of the run and at the run's end beyond it
                // (kRunPlaces), so that nothing past the run's end changes:
                // those bytes are the previous block's history, still needed
                // through the ring.
                const uint32_t run = after >> 24;
                const uint8_t* place = kRunPlaces[run];
                out[place[5]] = uint8_t(e5 >> 16);
                out[place[4]] = uint8_t(e4 >> 16);
                out[place[3]] = uint8_t(e3 >> 16);
                out[place[2]] = uint8_t(e2 >> 16);
                out[place[1]] = uint8_t(e1 >> 16);
                out[0] = uint8_t(e0 >> 16);
                bits >>= wordCodeBits(after);
                count -= wordCodeBits(after);
                out += run + 1;
                continue;
            }
            // A longer code, a length or the end: its entry's top byte is its
            // own, so the run is counted again as its literals are written,
            // and the code is taken below.
            uint32_t taken = 0;
            bool allRun = true;
            for (uint32_t word : {e0, e1, e2, e3, e4}) {
                allRun = allRun && isRunLiteral(word, runWord);
                if (allRun) out[taken++] = uint8_t(word >> 16);
            }
            out += taken;
            bits >>= taken * kLength;
            count -= taken * kLength;
            refill(bits, count, in);
            entry = after - counted(0, taken);
        } else if constexpr (kRound == Round::Mixed) {
            refill(bits, count, in);
            entry = entryWord(literalTable, bits & literalMask);
            if (wordKind(entry) == kLiteral) {
                // Literals settled by the first level take at most 10 bits
                // each: three and the lookup after them fit in 56 bits.
                bits >>= wordCodeBits(entry);
                count -= wordCodeBits(entry);
                *out++ = uint8_t(wordValue(entry));
                entry = entryWord(literalTable, bits & literalMask);
                if (wordKind(entry) == kLiteral) {
                    bits >>= wordCodeBits(entry);
                    count -= wordCodeBits(entry);
                    *out++ = uint8_t(wordValue(entry));
                    entry = entryWord(literalTable, bits & literalMask);
                    if (wordKind(entry) == kLiteral) {
                        bits >>= wordCodeBits(entry);
                        count -= wordCodeBits(entry);
                        *out++ = uint8_t(wordValue(entry));
                        continue;
                    }
                }
                // A length and its distance may need 48 bits: top up again.
                refill(bits, count, in);
            }
        } else {
            uint64_t fresh = bits;
            uint32_t freshCount = count;
            refill(fresh, freshCount, in);
            if (wordKind(entry) != kLiteral) {
                bits = fresh;
                count = freshCount;
            } else {
                // Two literals settled by the first level (at most 10 bits
                // each) and the lookup of the code after them: 30 bits.
                uint32_t taken = wordCodeBits(entry);
                *out++ = uint8_t(wordValue(entry));
                const uint64_t afterFirst = bits >> taken;
                entry = entryWord(literalTable, afterFirst & literalMask);
                // The code after the second literal is looked up at once for
                // both likely lengths of the second literal's code, beside
                // the second lookup instead of after it; the second literal's
                // length then only picks one.
                const uint64_t afterShort = afterFirst >> kLength;
                const uint32_t nextIfShort = entryWord(literalTable, afterShort & literalMask);
                const uint32_t nextIfLong = entryWord(literalTable, (afterShort >> 1) & literalMask);
                if (wordKind(entry) == kLiteral) {
                    const uint32_t secondBits = wordCodeBits(entry);
                    taken += secondBits;
                    *out++ = uint8_t(wordValue(entry));
                    // A pick rather than a branch, the two lengths being
                    // mixed unpredictably; they differ in their lowest bit,
                    // which a compiler tests in one instruction.
                    entry = ((secondBits ^ kLength) & 1) != 0 ? nextIfLong : nextIfShort;
                    if (secondBits - kLength > 1) {  // neither length: look it up after all
                        entry = entryWord(literalTable, (bits >> taken) & literalMask);
                    }
                }
                bits = fresh >> taken;
                count = freshCount - taken;
                if (wordKind(entry) == kLiteral) continue;  // at least 36 bits held
                // A length and its distance may need 48 bits: top up again.
                refill(bits, count, in);
            }
        }
        if (!resolve(bits, count, literalTable, entry)) {
            outcome = Outcome::Failed;
            break;
        }
        const uint32_t kind = wordKind(entry);
        if (kind == kLiteral) {  // a long literal code, from a sub-table
            *out++ = uint8_t(wordValue(entry));
            if constexpr (kRound == Round::LiteralPairs) {
                entry = entryWord(literalTable, bits & literalMask);  // 40 bits or more held
            }
            continue;
        }
        if (kind == kEndOfBlock) {
            outcome = Outcome::EndOfBlock;
            break;
        }
        const uint32_t length = wordValue(entry) + lowBits(bits, kind);
        bits >>= kind;
        count -= kind;

        entry = entryWord(distanceTable, bits & distanceMask);
        if (!resolve(bits, count, distanceTable, entry)) {
            outcome = Outcome::Failed;
            break;
        }
        const uint32_t distanceExtra = wordKind(entry);
        const uint32_t distance = wordValue(entry) + lowBits(bits, distanceExtra);
        bits >>= distanceExtra;
        count -= distanceExtra;

        // Near the output limit a match is cut there, as in the careful
        // loop, and the round ends the loop.
        const uint32_t room = uint32_t(outEnd - out);
        const uint32_t copied = length < room ? length : room;
        const uint32_t written = uint32_t(out - window);
        const bool roomForChunks = length + kChunkCopyOverrun <= room;
        if (distance - 1 < written) {  // distance 1..written: inside this block
            if (distance >= 8 && roomForChunks) {
                copyChunksWithRoom(out, out - distance, length);
            } else {
                copyMatch(out, copied, distance);
            }
        } else if (distance != 0 && distance <= ringReach) {
            // The source lies ahead, in the previous block's output; chunks
            // may read past it only while they stay inside the ring.
            const uint32_t from = written + d->ringSize - distance;
            if (roomForChunks && from + length + kChunkCopyOverrun <= d->ringSize) {
                copyChunksWithRoom(out, window + from, length);
            } else {
                copyFromRing(window, written, copied, distance, d->ringSize);
            }
        } else {
            // Beyond the history the folder has left in the buffer, or
            // distance 0, which no code gives and whose copy from itself
            // would never end.
            outcome = Outcome::Failed;
            break;
        }
        out += copied;
        if constexpr (kRound == Round::LiteralPairs) {
            refill(bits, count, in);
            entry = entryWord(literalTable, bits & literalMask);
        }
    }
    d->bitBuffer = bits & ((uint64_t(1) << count) - 1);
    d->bitCount = count;
    d->inputUsed = uint32_t(in - d->input);
    const uint32_t produced = uint32_t(out - (window + d->outPos));
    d->outPos += produced;
    d->outLeft -= produced;
    return outcome;
}

using FastLoop = Outcome (*)(MszipDecoder*, const HuffmanEntry*, uint32_t, const HuffmanEntry*,
                             uint32_t);

// The fast loop for a block's tables and shape. A shape's lengths must be
// settled by the first level, and rounds of runs need its full width (and a
// little-endian machine). They are never above 8 (256 literals of 9 bits or
// more carry at most half the weight of a code), and data whose literals
// have shorter codes (a few dozen byte values) is too rare to be worth more
// copies of the loop than those for 6, 7 and 8.
FastLoop chooseFastLoop(uint32_t literalBits, LiteralShape shape) {
    using enum Round;
    if (std::endian::native == std::endian::little && literalBits == kLiteralLookupBits) {
        switch (shape.commonLength) {
            case 6: return runFastLoop<LiteralRuns, 6>;
            case 7: return runFastLoop<LiteralRuns, 7>;
            case 8: return runFastLoop<LiteralRuns, 8>;
            default: break;
        }
    }
    switch (shape.pairLength < literalBits ? shape.pairLength : 0) {
        case 6: return runFastLoop<LiteralPairs, 6>;
        case 7: return runFastLoop<LiteralPairs, 7>;
        case 8: return runFastLoop<LiteralPairs, 8>;
        default: return runFastLoop<Mixed, 0>;
    }
}

}  // namespace

bool decodeCompressedData(MszipDecoder* d, const HuffmanEntry* literalTable, uint32_t literalBits,
                          const HuffmanEntry* distanceTable, uint32_t distanceBits,
                          LiteralShape shape) {
    const FastLoop fastLoop = chooseFastLoop(literalBits, shape);
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
