// One block: the arithmetic decoder over the block's bytes, the adaptive
// models, and the items (literals and matches) they spell out.
#include "codecs/quantum/block_decoder.h"
#include "codecs/quantum/memory_window.h"
#include "codecs/quantum/paged_window.h"

namespace quantum {
namespace {

// Next bit of the block, most significant first; 0 (and the block marked as
// short of input) once the bytes are used up.
inline uint32_t nextBit(Decoder& d) {
    if (d.bitsLeft == 0) {
        if (d.inLeft == 0) {
            d.inputExhausted = true;
            return 0;
        }
        d.bitBuffer = *d.inPos++;
        --d.inLeft;
        d.bitsLeft = 8;
    }
    --d.bitsLeft;
    return (d.bitBuffer >> d.bitsLeft) & 1;
}

inline uint32_t readRawBits(Decoder& d, uint32_t count) {
    uint32_t value = 0;
    while (count-- != 0) value = (value << 1) | nextBit(d);
    return value;
}

void startCoder(Decoder& d) {
    d.bitsLeft = 0;  // unread bits of the previous block are dropped
    d.code = 0;
    for (int i = 0; i < 16; ++i) d.code = ((d.code << 1) | nextBit(d)) & 0xFFFF;
    d.low = 0;
    d.high = 0xFFFF;
}

inline void narrowRange(Decoder& d, uint32_t upper, uint32_t lower, uint32_t total) {
    const uint32_t range = d.high - d.low + 1;
    d.high = (d.low + (upper * range) / total - 1) & 0xFFFF;
    d.low = (d.low + (lower * range) / total) & 0xFFFF;
    for (;;) {
        if ((d.low ^ d.high) & 0x8000) {
            // Top bits differ: shift only while the interval straddles the
            // middle closely (low 01..., high 10...), folding it outwards.
            if ((d.low & 0x4000) == 0 || (d.high & 0x4000) != 0) return;
            d.code ^= 0x4000;
            d.low &= 0x3FFF;
            d.high |= 0x4000;
        }
        d.low = (d.low << 1) & 0xFFFF;
        d.high = ((d.high << 1) | 1) & 0xFFFF;
        d.code = ((d.code << 1) | nextBit(d)) & 0xFFFF;
    }
}

inline uint32_t decodeSymbol(Decoder& d, Model& m) {
    ModelEntry* e = m.entries;
    const uint32_t total = e[0].cumFreq;
    const uint32_t range = d.high - d.low + 1;
    const uint32_t target = ((d.code - d.low + 1) * total - 1) / range;
    // The terminator's 0 ends the search.
    uint32_t i = 0;
    while (e[i + 1].cumFreq > target) ++i;
    const uint32_t symbol = e[i].symbol;
    narrowRange(d, e[i].cumFreq, e[i + 1].cumFreq, total);
    for (uint32_t j = 0; j <= i; ++j) e[j].cumFreq += kFrequencyStep;
    if (e[0].cumFreq > kRescaleThreshold) rescaleModel(m);
    return symbol;
}

template <class Window>
inline void copyMatch(Decoder& d, uint32_t length, Model& positions) {
    const uint32_t slot = decodeSymbol(d, positions);
    const uint32_t extra = readRawBits(d, kPositionExtraBits[slot]);
    Window::copyMatch(d, length, d.positionBase[slot] + extra + 1);
}

template <class Window>
inline void decodeItem(Decoder& d) {
    const uint32_t selector = decodeSymbol(d, d.selectorModel);
    if (selector < kLiteralModels) {
        const uint32_t low6 = decodeSymbol(d, d.literalModels[selector]);
        Window::putLiteral(d, uint8_t((selector << 6) | low6));
        return;
    }
    if (selector == 4) return copyMatch<Window>(d, 3, d.position3Model);
    if (selector == 5) return copyMatch<Window>(d, 4, d.position4Model);
    // A long match: length slot, its extra bits, then the position.
    const uint32_t slot = decodeSymbol(d, d.lengthModel);
    const uint32_t length = d.lengthBase[slot] + readRawBits(d, kLengthExtraBits[slot]) + 5;
    copyMatch<Window>(d, length, d.positionModel);
}

template <class Window>
bool decodeBlockWith(Decoder& d) {
    startCoder(d);
    while (d.outLeft != 0 && !d.inputExhausted) decodeItem<Window>(d);
    return !(d.inputExhausted || d.outputOverrun || d.pageFailure);
}

}  // namespace

BlockDecoderFn memoryBlockDecoder() { return &decodeBlockWith<MemoryWindow>; }
BlockDecoderFn pagedBlockDecoder() { return &decodeBlockWith<PagedWindow>; }

}  // namespace quantum
