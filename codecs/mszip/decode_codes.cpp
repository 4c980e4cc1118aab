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
#include <cstdint>
#include <cstring>
#include <initializer_list>

namespace mszip {
namespace {

enum class Outcome { Continue, EndOfBlock, Failed };

// The fast loop runs while its loads cannot pass the input's end: a round
// loads at most 15 bytes past its start.
constexpr uint32_t kFastInputMargin = 16;
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
    dropBits(s, wordCodeBits(entry));
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
    dropBits(s, wordCodeBits(entry));
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
        dropBits(s, wordCodeBits(entry));
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

// Where a round of literal runs writes the byte of each of its six entries,
// by the length of the run: entry i at its own place up to the run's end,
// at the run's end after it. Writing them in the order 5, 4, ..., 0 leaves
// every place with the right byte, and no table lookup stands on the path
// from one round to the next. Rows of eight bytes are found by a shift.
inline constexpr uint8_t kRunPlaces[6][8] = {
    {0, 0, 0, 0, 0, 0}, {0, 1, 1, 1, 1, 1}, {0, 1, 2, 2, 2, 2},
    {0, 1, 2, 3, 3, 3}, {0, 1, 2, 3, 4, 4}, {0, 1, 2, 3, 4, 5},
};

// A round of literal runs reads entries as little-endian words: code bits
// in the low byte, kind in the next, the value above. The low 16 bits of a
// first-level literal of kLength bits are then runLiteralWord(kLength).
constexpr uint32_t runLiteralWord(uint32_t length) { return (uint32_t(kLiteral) << 8) | length; }
inline bool isRunLiteral(uint32_t word, uint32_t runWord) { return (word & 0xFFFF) == runWord; }
inline bool bothRunLiterals(uint32_t first, uint32_t second, uint32_t runWord) {
    return (((first ^ runWord) | (second ^ runWord)) & 0xFFFF) == 0;
}

// Rounds of literal runs, for literals of mostly one length, kLength bits
// (the bulk of barely compressible data): a refill, then six codes looked up
// at once, at the places they stand if the codes before them all have the
// common length. The run of such literals at the start, up to five, and the
// code after it are then picked by conditional moves, so one chain of
// lookups yields about five literals on such data. Refills at the start and,
// when a length follows the run, after it.
template <uint32_t kLength>
struct LiteralRunsRound {
    static constexpr uint32_t kOutputMargin = 6;
    QMORA_HOT static uint32_t begin(FastState&) { return 0; }
    QMORA_HOT static bool takeLiterals(FastState& s, uint32_t& entry) {
        // Five literals of kLength bits (at most 8) and the lookup after
        // them: at most 51 bits, inside the 56 held.
        static_assert(5 * kLength + kLiteralLookupBits <= kRefillFloor);
        constexpr uint64_t mask = (uint64_t(1) << kLiteralLookupBits) - 1;
        constexpr uint32_t runWord = runLiteralWord(kLength);
        topUp(s);
        auto lookUp = [&](uint32_t i) {
            return entryWord(s.literalTable, (s.bits >> (i * kLength)) & mask);
        };
        const uint32_t e0 = lookUp(0), e1 = lookUp(1), e2 = lookUp(2), e3 = lookUp(3),
                       e4 = lookUp(4), e5 = lookUp(5);
        // counted(ei, i): entry i with the i literals of the run before it
        // counted in: their bits added to its bits to drop, their number in
        // its top byte (0 in a literal's entry, whose value is a byte).
        auto counted = [](uint32_t word, uint32_t i) { return word + i * ((1u << 24) + kLength); };
        // The first entry that is not a run literal, counted; a tree of
        // picks, three deep.
        const uint32_t low = isRunLiteral(e0, runWord) ? counted(e1, 1) : e0;
        const uint32_t high = isRunLiteral(e2, runWord) ? counted(e3, 3) : counted(e2, 2);
        const uint32_t top = isRunLiteral(e4, runWord) ? counted(e5, 5) : counted(e4, 4);
        const uint32_t upper = bothRunLiterals(e2, e3, runWord) ? top : high;
        const uint32_t after = bothRunLiterals(e0, e1, runWord) ? upper : low;
        if (wordKind(after) == kLiteral) {
            // Each entry's byte is written at its own place up to the end of
            // the run and at the run's end beyond it (kRunPlaces), so that
            // nothing past the run's end changes: those bytes are the
            // previous block's history, still needed through the ring.
            const uint32_t run = after >> 24;
            const uint8_t* place = kRunPlaces[run];
            s.out[place[5]] = uint8_t(e5 >> 16);
            s.out[place[4]] = uint8_t(e4 >> 16);
            s.out[place[3]] = uint8_t(e3 >> 16);
            s.out[place[2]] = uint8_t(e2 >> 16);
            s.out[place[1]] = uint8_t(e1 >> 16);
            s.out[0] = uint8_t(e0 >> 16);
            dropBits(s, wordCodeBits(after));
            s.out += run + 1;
            return false;
        }
        // A longer code, a length or the end: its entry's top byte is its
        // own, so the run is counted again, from the same tests as the picks
        // and without a branch per literal (whose exit would be mispredicted
        // on most such rounds). The run's literals are written as above,
        // entry i at min(i, run - 1), those past the run first; with no run
        // at all they go to a scratch byte, since the place at the run's end
        // belongs to the code and may still be read through the ring.
        const uint32_t r1 = isRunLiteral(e0, runWord);
        const uint32_t r2 = r1 & uint32_t(isRunLiteral(e1, runWord));
        const uint32_t r3 = r2 & uint32_t(isRunLiteral(e2, runWord));
        const uint32_t r4 = r3 & uint32_t(isRunLiteral(e3, runWord));
        const uint32_t r5 = r4 & uint32_t(isRunLiteral(e4, runWord));
        const uint32_t taken = r1 + r2 + r3 + r4 + r5;
        uint8_t scratch;
        uint8_t* const to = taken != 0 ? s.out : &scratch;
        const uint8_t* place = kRunPlaces[taken != 0 ? taken - 1 : 0];
        to[place[4]] = uint8_t(e4 >> 16);
        to[place[3]] = uint8_t(e3 >> 16);
        to[place[2]] = uint8_t(e2 >> 16);
        to[place[1]] = uint8_t(e1 >> 16);
        to[0] = uint8_t(e0 >> 16);
        s.out += taken;
        dropBits(s, taken * kLength);
        topUp(s);
        entry = after - counted(0, taken);
        return true;
    }
    QMORA_HOT static void next(FastState&, uint32_t&, Code) {}
};

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

#undef QMORA_HOT

using FastLoop = Outcome (*)(MszipDecoder*, const HuffmanEntry*, uint32_t, const HuffmanEntry*,
                             uint32_t);

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
    if (std::endian::native == std::endian::little) {
        switch (shape.commonLength) {
            case 6: return runFastLoop<LiteralRunsRound<6>, true>;
            case 7: return runFastLoop<LiteralRunsRound<7>, true>;
            case 8: return runFastLoop<LiteralRunsRound<8>, true>;
            default: break;
        }
    }
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
