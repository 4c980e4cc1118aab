// The fast decoding loop of verbatim and aligned-offset blocks. It decodes
// the same symbols as the careful loop in expand.cpp, from the same lookup
// entries, but reads the stream through a 64-bit look-ahead refilled
// several words at a time. It only runs where no
// symbol can meet the input limit, so it needs no input test of its own
// beyond staying that far from the end, and it hands the bit reader back in
// exactly the state the careful loop would have reached.
#include "codecs/lzx/lzx_decoder.h"
#include "codecs/lzx/matches.h"

#include <bit>
#include <cstddef>
#include <cstring>

namespace lzx {
namespace {

// A symbol reads at most 16 + 16 + 17 bits (main, length, verbatim offset)
// or 16 + 16 + 14 + 7 (aligned offset), with two refills that each read 8
// bytes and advance at most 6; every read of a symbol that starts this far
// before the end of the data stays inside the data.
constexpr std::ptrdiff_t kInputMargin = 32;

// The most offset bits a match reads: 17 verbatim bits, or 14 and a 7-bit
// aligned-offset code.
constexpr uint32_t kMaxOffsetBits = 21;

// 64-bit look-ahead: the next bit in bit 63, `avail` bits counted in whole
// words (48..63 after a refill). A refill ORs in 64 bits of input, so right
// after it all 64 bits are the stream's, the part of the word that did not
// fit included; each bit consumed shifts in a zero. Below the counted bits
// are therefore the stream's own next bits and then zeros, and OR-ing a word
// in again at its place changes nothing.
struct WideBits {
    uint64_t buf;
    uint32_t avail;
    const uint8_t* in;  // the first word not counted in `avail`
};

// Two 16-bit little-endian words at p, the first in the top half: on a
// little-endian machine one load and a rotation.
inline uint32_t twoWords(const uint8_t* p) {
    if constexpr (std::endian::native == std::endian::little) {
        uint32_t x;
        std::memcpy(&x, p, 4);
        return std::rotl(x, 16);
    } else {
        return uint32_t(p[0]) << 16 | uint32_t(p[1]) << 24 | uint32_t(p[2]) | uint32_t(p[3]) << 8;
    }
}

// The four words at p, the first in the top bits.
inline uint64_t fourWords(const uint8_t* p) {
    return uint64_t(twoWords(p)) << 32 | twoWords(p + 4);
}

// Adds as many whole words as fit below the valid bits: 48..63 valid after.
// Adding 16 bits per word until 48..63 are counted is setting bits 4 and 5
// of the count; the bits added, over 8, are the bytes taken.
inline void refill(WideBits& b) {
    b.buf |= fourWords(b.in) >> b.avail;
    const uint32_t before = b.avail;
    b.avail = before | 48;
    b.in += (b.avail - before) >> 3;
}

inline uint32_t peek(const WideBits& b, int n) { return uint32_t(b.buf >> (64 - n)); }

inline void consume(WideBits& b, uint32_t n) {
    b.buf <<= n;
    b.avail -= n;
}

// Walks the overflow nodes from the bit after the first `lookupBits`.
inline int32_t walkNodes(const WideBits& b, int32_t entry, const int16_t (*nodes)[2],
                         int32_t firstNode, int lookupBits) {
    for (uint64_t bit = uint64_t(1) << (63 - lookupBits); entry < 0; bit >>= 1) {
        entry = nodes[-entry - firstNode][(b.buf & bit) ? 1 : 0];
    }
    return entry;
}


// kFilled: the folder has produced a whole window, so no distance can reach
// before its first byte and the loop need not test it.
template <bool kAligned, bool kFilled>
bool expandFastLoop(Decoder& d, uint32_t& pos, uint32_t end) {
    // Only from the reader's settled state (1..16 spare bits), and only where
    // the input is not near its end.
    if (d.spareBits < 1 || d.spareBits > 16 || d.dataEnd - d.inPos < kInputMargin) return true;

    uint8_t* const window = d.window;
    // The window mask, the main tree's path lengths and its symbol count
    // are read from the decoder where they are used (long codes, matches
    // after the window has filled) rather than held in registers: the loop
    // has few to spare.
    // Valid: the test above put the data end at least that far past inPos.
    const uint8_t* const inStop = d.dataEnd - kInputMargin;
    uint32_t i = pos;
    uint32_t r0 = d.repeatedOffsets[0], r1 = d.repeatedOffsets[1], r2 = d.repeatedOffsets[2];
    // The careful reader's 16 + spareBits valid bits, zeros below them.
    WideBits b{uint64_t(d.bitBuffer) << 32, uint32_t(16 + d.spareBits), d.inPos};

    bool ok = true;
    // Far from the input's end the careful loop's input test (the word
    // position its reader would have reached, against data end + 4) always
    // passes, so staying this far from the end is the symbol's only test.
    while (i < end && b.in <= inStop) {
        // At least kMainLookupBits of the stream's bits are held here (see
        // the offset below), enough for the first-level lookup; a longer
        // code walks its nodes after the refill. So the lookup does not wait
        // for the refill, whose load in turn depends only on the previous
        // symbol.
        uint32_t entry = d.mainEntries[peek(b, kMainLookupBits)];
        refill(b);
        if ((entry & kMainEntryWalk) != 0) {
            const int32_t symbol = walkNodes(b, int16_t(entry >> 16), d.mainNodes,
                                             int32_t(d.mainSymbols), kMainLookupBits);
            entry = mainEntry(uint32_t(symbol), d.mainLengths[symbol]);
        }
        consume(b, entry & kMainEntryBitsMask);
        if (entry < kMainEntryMatch) {
            window[i++] = uint8_t(entry >> kMainEntryValueShift);
            continue;
        }

        const uint32_t extra = (entry >> kMainEntryExtraShift) & kMainEntryExtraMask;
        const uint32_t slot = (entry >> kMainEntrySlotShift) & kMainEntrySlotMask;
        uint32_t length = (entry >> kMainEntryValueShift) & kMainEntryValueMask;
        if ((entry & kMainEntryLengthCode) != 0) {
            const int32_t lengthEntry = d.lengthTable[peek(b, kLengthLookupBits)];
            uint32_t lengthSymbol, codeBits;
            if (lengthEntry >= 0) {
                lengthSymbol = uint32_t(lengthEntry) & kTableSymbolMask;
                codeBits = uint32_t(lengthEntry) >> kTableSymbolBits;
            } else {
                lengthSymbol = uint32_t(walkNodes(b, lengthEntry, d.lengthNodes, kLengthSymbols,
                                                  kLengthLookupBits));
                codeBits = d.lengthLengths[lengthSymbol];
            }
            consume(b, codeBits);
            length += lengthSymbol;
            // Two codes of up to 16 bits may leave fewer counted bits than
            // the offset can take; mostly enough are left.
            if (b.avail < kMaxOffsetBits) refill(b);
        }
        // At least kMaxOffsetBits stay counted in `avail`, so the offset
        // leaves it at 0 or more. Since the last refill, which held 64 of the
        // stream's bits, at most 16 + 16 + 21 are gone: 11 or more stay held,
        // enough for the next first-level lookup.
        static_assert(64 - (16 + 16 + kMaxOffsetBits) >= kMainLookupBits);
        length += kMinMatch;

        // Slots 4 and above, and only they, take offset bits; the count came
        // with the main entry rather than from a load that waits for it.
        uint32_t distance;
        if (extra != 0) {
            uint32_t offsetBits;
            if (kAligned && extra >= 3) {
                // 0..14 verbatim bits, then the aligned symbol after them,
                // both taken with one consume.
                const uint32_t verbatim = extra - 3;
                const uint32_t high = uint32_t((b.buf >> 1) >> (63 - verbatim));
                const uint32_t a =
                    d.alignedTable[uint32_t((b.buf << verbatim) >> (64 - kAlignedLookupBits))];
                consume(b, verbatim + (a >> kAlignedSymbolBits));
                offsetBits = high << kAlignedSymbolBits | (a & (kAlignedSymbols - 1));
            } else {
                offsetBits = peek(b, int(extra));
                consume(b, extra);
            }
            distance =
                pushDistance(uint32_t(kSlots.distanceBase[slot]) + offsetBits, r0, r1, r2);
        } else {
            distance = shortSlotDistance(slot, r0, r1, r2);
        }
        if (length > end - i || !sourceInFolder(kFilled, i, distance)) {
            ok = false;
            break;
        }
        if (kFilled) {
            copyMatch(window, d.windowMask, i, distance, length);
        } else {
            copyMatchFirstPass(window, i, distance, length);
        }
        i += length;
    }

    // Back to the careful reader's form. It holds 32 - used bits, where
    // `used` bits of the current word are consumed, and its word position is
    // two words past the one holding the next bit.
    const uint32_t used = (16 - b.avail % 16) % 16;
    if (b.avail < 32 - used) refill(b);  // adds whole words: `used` stays
    d.bitBuffer = uint32_t(b.buf >> 32) & (~uint32_t(0) << used);
    d.spareBits = int32_t(16 - used);
    d.inPos = b.in + 4 - 2 * ((b.avail + 15) / 16);
    d.repeatedOffsets[0] = r0;
    d.repeatedOffsets[1] = r1;
    d.repeatedOffsets[2] = r2;
    pos = i;
    return ok;
}

}  // namespace

template <bool kAligned>
bool expandFast(Decoder& d, uint32_t& pos, uint32_t end) {
    return d.windowFilled ? expandFastLoop<kAligned, true>(d, pos, end)
                          : expandFastLoop<kAligned, false>(d, pos, end);
}

template bool expandFast<false>(Decoder& d, uint32_t& i, uint32_t end);
template bool expandFast<true>(Decoder& d, uint32_t& i, uint32_t end);

}  // namespace lzx
