// A match's run copied into the window and the caller's output at once, by
// whole words where that gives the same bytes as copying one at a time.
#pragma once

#include <cstdint>
#include <cstring>

namespace quantum {

// Whether a run of `length` bytes from offset `source` to offset `target` of
// the same buffer may be copied by words: the source ends before the target
// begins, or lies wholly after it, or begins at least a word before it.
inline bool wordCopyIsSafe(uint32_t source, uint32_t target, uint32_t length) {
    return source + 8 <= target || source + length <= target || target + length <= source;
}

// Copies a match's run to the window and to the output a word at a time,
// exactly `length` bytes and nothing beyond, for a run that wordCopyIsSafe
// allows or whose source is in another buffer. A word is then read only when
// every byte in it already holds its final value: a source at least 8 bytes
// before the target reads bytes written by earlier words, as the
// byte-by-byte copy would.
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

}  // namespace quantum
