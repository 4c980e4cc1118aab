// Rounds of literal runs: the fast loop for blocks whose literals have
// mostly one code length, the bulk of barely compressible data. Its own
// file, so that its build options (see CMakeLists.txt) touch no other round.
#include "codecs/mszip/fast_loop.h"

#include <bit>
#include <cstdint>

namespace mszip {
namespace {

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

}  // namespace

FastLoop literalRunsLoop(uint32_t length) {
    if constexpr (std::endian::native != std::endian::little) return nullptr;
    switch (length) {
        case 6: return runFastLoop<LiteralRunsRound<6>, true>;
        case 7: return runFastLoop<LiteralRunsRound<7>, true>;
        case 8: return runFastLoop<LiteralRunsRound<8>, true>;
        default: return nullptr;
    }
}

#undef QMORA_HOT

}  // namespace mszip
