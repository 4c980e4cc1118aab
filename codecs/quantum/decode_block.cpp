// One block: the arithmetic decoder over the block's bytes, the adaptive
// models, and the items (literals and matches) they spell out.
#include "codecs/quantum/block_decoder.h"
#include "codecs/quantum/divide_by_total.h"
#include "codecs/quantum/memory_window.h"
#include "codecs/quantum/paged_window.h"

#include <bit>

namespace quantum {
namespace {

// The arithmetic decoder and its bit input, restarted in every block. Kept
// apart from the instance so that, living on the stack, its registers are
// not reloaded after every byte stored into the output.
struct Coder {
    uint32_t low;   // 16-bit registers kept in 32-bit words
    uint32_t high;  // inclusive
    uint32_t code;
    uint64_t bits;      // unread input bits from the top down; zeros below them
                        // once the input is used up
    uint32_t bitCount;  // how many of the top bits are unread input
    const uint8_t* inPos;
    const uint8_t* inEnd;
    bool inputExhausted;  // a bit was wanted after the block's last byte
};

// Tops the bit buffer up to at least 56 bits, or to whatever input is left.
inline void refill(Coder& c) {
    if (c.inEnd - c.inPos >= 8) {
        // Eight bytes at once, without a branch on how many fit: the bytes
        // that do not fit whole land below the counted bits and are loaded
        // again, to the same places, by the next refill. Reads only within
        // the block.
        uint64_t word = 0;
        for (int k = 0; k < 8; ++k) word = word << 8 | c.inPos[k];
        c.bits |= word >> c.bitCount;
        c.inPos += (63 - c.bitCount) >> 3;
        c.bitCount |= 56;
        return;
    }
    // Near the block's end, byte by byte, so nothing past it is read.
    while (c.bitCount <= 56 && c.inPos != c.inEnd) {
        c.bits |= uint64_t(*c.inPos++) << (56 - c.bitCount);
        c.bitCount += 8;
    }
}

// The next `count` bits of the block (at most 32), the first taken the most
// significant; bits wanted past the block's last byte read as 0 and mark
// the block as short of input.
inline uint32_t readBits(Coder& c, uint32_t count) {
    refill(c);
    // Shifted in two steps so that a count of 0 gives 0.
    const uint32_t value = uint32_t((c.bits >> 1) >> (63 - count));
    if (count > c.bitCount) {
        c.inputExhausted = true;
        c.bits = 0;
        c.bitCount = 0;
        return value;
    }
    c.bits <<= count;
    c.bitCount -= count;
    return value;
}

// The code register starts with the block's first 16 bits.
void startCoder(Coder& c, const uint8_t* input, uint32_t inputSize) {
    c.bits = 0;
    c.bitCount = 0;
    c.inPos = input;
    c.inEnd = input + inputSize;
    c.inputExhausted = false;
    c.code = readBits(c, 16);
    c.low = 0;
    c.high = 0xFFFF;
}

// Leading zero bits of a 16-bit value (16 for 0).
inline uint32_t leadingZeros16(uint32_t value) {
    return uint32_t(std::countl_zero(value << 16 | 0x8000));
}

inline void narrowRange(Coder& c, uint32_t upper, uint32_t lower, uint32_t total) {
    const uint32_t range = c.high - c.low + 1;
    const uint32_t high = (c.low + divideByTotal(upper * range, total) - 1) & 0xFFFF;
    const uint32_t low = (c.low + divideByTotal(lower * range, total)) & 0xFFFF;
    // Renormalise. One shift at a time, this shifts out a leading bit on
    // which low and high agree, again and again; once the top bits differ
    // (low 0..., high 1...), it goes on only while the interval straddles the
    // middle closely (low 01..., high 10...), folding bit 14 away (low's
    // cleared, high's set, code's flipped) before each shift. The folds
    // cannot make the top bits agree again. So it makes one shift per
    // agreeing bit and one per straddling bit (the bits after the first
    // differing one, as long as low has 1 there and high 0): counted here
    // at once, up to the first bit below the differing one that does not
    // straddle, and done without a branch per bit. Of the flipped code bits
    // only the last stays in the register, as its top bit. Low and high
    // always differ somewhere: after renormalising, the range is above 2^14,
    // and a symbol's share of it, over a total of at most 3,800, is at
    // least 4.
    const uint32_t agree = leadingZeros16(low ^ high);
    const uint32_t notStraddling = ~(low & ~high) & (0x7FFFu >> agree);
    const uint32_t shift = leadingZeros16(notStraddling) - 1;
    const uint32_t foldFlip = shift != agree ? 0x8000 : 0;
    c.low = ((low << shift) & 0xFFFF) & ~foldFlip;
    c.high = ((high << shift) | ((1u << shift) - 1) | foldFlip) & 0xFFFF;
    c.code = (((c.code << shift) | readBits(c, shift)) & 0xFFFF) ^ foldFlip;
}

inline uint32_t decodeSymbol(Coder& c, Model& m) {
    ModelEntry* e = m.entries;
    const uint32_t total = e[0].cumFreq;
    const uint32_t range = c.high - c.low + 1;
    // The entry sought is the first whose next count is not above the
    // target ((code - low + 1) * total - 1) / range. Since the count is an
    // integer, "count > target" is "count * range >= scaled" below: the
    // search compares products and need not wait for a division. Neither
    // product passes 2^28. The terminator's 0 ends the search: scaled is at
    // least the total, as code never falls below low.
    const uint32_t scaled = (c.code - c.low + 1) * total;
    // Every entry passed and the one found gain the step (their cumulative
    // counts include the found symbol's frequency), done on the way rather
    // than in a second pass.
    uint32_t i = 0;
    while (e[i + 1].cumFreq * range >= scaled) {
        e[i].cumFreq += kFrequencyStep;
        ++i;
    }
    const uint32_t symbol = e[i].symbol;
    const uint32_t upper = e[i].cumFreq;
    e[i].cumFreq = upper + kFrequencyStep;
    narrowRange(c, upper, e[i + 1].cumFreq, total);
    // Rescaling may reorder the entries: the symbol was taken before.
    if (total + kFrequencyStep > kRescaleThreshold) rescaleModel(m);
    return symbol;
}

template <class Window>
inline void decodeMatch(const Decoder& d, Coder& c, Window& w, uint32_t length, Model& positions) {
    const uint32_t slot = decodeSymbol(c, positions);
    const uint32_t extra = readBits(c, kPositionExtraBits[slot]);
    w.copyMatch(length, d.positionBase[slot] + extra + 1);
}

template <class Window>
inline void decodeItem(Decoder& d, Coder& c, Window& w) {
    const uint32_t selector = decodeSymbol(c, d.selectorModel);
    if (selector < kLiteralModels) {
        const uint32_t low6 = decodeSymbol(c, d.literalModels[selector]);
        w.putLiteral(uint8_t((selector << 6) | low6));
        return;
    }
    if (selector == 4) return decodeMatch(d, c, w, 3, d.position3Model);
    if (selector == 5) return decodeMatch(d, c, w, 4, d.position4Model);
    // A long match: length slot, its extra bits, then the position.
    const uint32_t slot = decodeSymbol(c, d.lengthModel);
    const uint32_t length = d.lengthBase[slot] + readBits(c, kLengthExtraBits[slot]) + 5;
    decodeMatch(d, c, w, length, d.positionModel);
}

// The block's items until its output is complete or its input runs out; an
// item that runs out of input midway is finished with zero bits first.
template <class Window>
bool decodeBlockWith(Decoder& d, const uint8_t* input, uint32_t inputSize) {
    Coder c;
    startCoder(c, input, inputSize);
    Window w(d);
    while (w.owed() != 0 && !c.inputExhausted) decodeItem(d, c, w);
    w.finish();
    return !(c.inputExhausted || d.badMatch || d.pageFailure);
}

}  // namespace

BlockDecoderFn memoryBlockDecoder() { return &decodeBlockWith<MemoryWindow>; }
BlockDecoderFn pagedBlockDecoder() { return &decodeBlockWith<PagedWindow>; }

}  // namespace quantum
