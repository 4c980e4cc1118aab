// Literals and matches into a window held in one block of memory. Each byte
// goes to the caller's output and to the window at once.
#pragma once

#include "codecs/quantum/copy_run.h"
#include "codecs/quantum/quantum_state.h"

namespace quantum {

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
            if (wordCopyIsSafe(source, target, length)) {
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
