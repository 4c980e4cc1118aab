// Literals and matches into a window held in one block of memory. Each byte
// goes to the caller's output and to the window at once.
#pragma once

#include "codecs/quantum/quantum_state.h"

#include <cstring>

namespace quantum {

// Copies a match's run to the window and to the output a word at a time,
// exactly `length` (at least 3) bytes and nothing beyond. A word is read only
// when every byte in it already holds its final value: true when the run's
// source ends before its target begins, or lies wholly after it, and also
// when the source begins at least 8 bytes before the target (each word then
// reads bytes written by earlier words, as the byte-by-byte copy would).
inline void copyRunByWords(uint8_t* to, uint8_t* out, const uint8_t* from, uint32_t length) {
    if (length >= 8) {
        uint32_t k = 0;
        for (; k + 8 <= length; k += 8) {
            uint64_t word;
            std::memcpy(&word, from + k, 8);
            std::memcpy(to + k, &word, 8);
            std::memcpy(out + k, &word, 8);
        }
        if (k != length) {
            // The last word ends where the run ends; it stores again some
            // bytes just stored, with the same values.
            uint64_t word;
            std::memcpy(&word, from + length - 8, 8);
            std::memcpy(to + length - 8, &word, 8);
            std::memcpy(out + length - 8, &word, 8);
        }
        return;
    }
    if (length >= 4) {
        uint32_t head, tail;
        std::memcpy(&head, from, 4);
        std::memcpy(&tail, from + length - 4, 4);
        std::memcpy(to, &head, 4);
        std::memcpy(to + length - 4, &tail, 4);
        std::memcpy(out, &head, 4);
        std::memcpy(out + length - 4, &tail, 4);
        return;
    }
    for (uint32_t k = 0; k < length; ++k) {
        const uint8_t byte = from[k];
        to[k] = byte;
        out[k] = byte;
    }
}

struct MemoryWindow {
    static void putLiteral(Decoder& d, uint8_t byte) {
        --d.outLeft;
        *d.outPos++ = byte;
        d.window[d.position & d.windowMask] = byte;
        ++d.position;
    }

    static void copyMatch(Decoder& d, uint32_t length, uint32_t distance) {
        if (d.outLeft < length) {
            // Matches never run across blocks: the block is damaged.
            d.outputOverrun = true;
            d.outLeft = 0;
            return;
        }
        d.outLeft -= length;
        uint8_t* const window = d.window;
        const uint32_t mask = d.windowMask;
        uint32_t source = (d.position - distance) & mask;
        uint32_t target = d.position & mask;
        d.position += length;
        uint8_t* out = d.outPos;
        d.outPos += length;
        if (source + length <= mask + 1 && target + length <= mask + 1) {
            // Neither run wraps: the common case, without index masking.
            const uint8_t* from = window + source;
            uint8_t* to = window + target;
            if (source + 8 <= target || source + length <= target || target + length <= source) {
                copyRunByWords(to, out, from, length);
                return;
            }
            // A source close behind the target: byte by byte, so a distance
            // below the length repeats its last bytes.
            for (uint32_t k = 0; k < length; ++k) {
                const uint8_t byte = from[k];
                to[k] = byte;
                out[k] = byte;
            }
            return;
        }
        for (uint32_t k = 0; k < length; ++k) {
            const uint8_t byte = window[source];
            window[target] = byte;
            out[k] = byte;
            source = (source + 1) & mask;
            target = (target + 1) & mask;
        }
    }
};

}  // namespace quantum
