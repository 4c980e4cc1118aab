// Frames leave the window for the caller's buffer, where the E8 call
// translation is undone: an x86 CALL's operand was stored as an absolute
// position within the folder's output, and turns back into the relative
// displacement. The window keeps the bytes as decoded, which later matches
// copy.
#include "codecs/lzx/lzx_decoder.h"

#include <cstring>

namespace lzx {

void emitFrame(Decoder& d, uint32_t count) {
    const uint32_t end = d.writePos == 0 ? d.windowSize : d.writePos;
    std::memcpy(d.outBuffer, d.window + (end - count), count);
    if (d.translationSize != 0 && d.frameCount < kTranslatedFrames) {
        d.translationOffset =
            translateCalls(d.translationOffset, d.translationSize, d.outBuffer, count);
    }
}

uint32_t translateCalls(uint32_t offset, uint32_t size, uint8_t* data, uint32_t n) {
    if (n < 6) return offset + n;
    // Six 0xE8 bytes at the frame's end stop the scan without a bound test;
    // an operand reaching into them reads the sentinels, and whatever is
    // written there is undone when the saved bytes go back.
    uint8_t saved[6];
    std::memcpy(saved, data + n - 6, 6);
    std::memset(data + n - 6, 0xE8, 6);
    uint32_t j = 0;
    for (;;) {
        j = uint32_t(static_cast<uint8_t*>(std::memchr(data + j, 0xE8, n - j)) - data);
        if (j >= n - 6) break;
        uint8_t* operand = data + j + 1;
        uint32_t value = uint32_t(operand[0]) | uint32_t(operand[1]) << 8 |
                         uint32_t(operand[2]) << 16 | uint32_t(operand[3]) << 24;
        const uint32_t position = offset + j;
        bool changed = true;
        if (value < size) {
            value -= position;  // absolute target back to a displacement
        } else if (0u - value <= position) {
            value += size;  // a target before the folder's start
        } else {
            changed = false;
        }
        if (changed) {
            operand[0] = uint8_t(value);
            operand[1] = uint8_t(value >> 8);
            operand[2] = uint8_t(value >> 16);
            operand[3] = uint8_t(value >> 24);
        }
        j += 5;  // the operand bytes are never scanned themselves
    }
    std::memcpy(data + n - 6, saved, 6);
    return offset + n;
}

}  // namespace lzx
