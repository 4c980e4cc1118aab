// Match distances and copies inside the window, shared by the careful and
// the fast decoding loops.
#pragma once

#include "codecs/lzx/lzx_decoder.h"

#include <bit>
#include <cstdint>
#include <cstring>

namespace lzx {

// A new distance goes in front of the repeated offsets: R2 = R1, R1 = R0,
// R0 = distance.
inline uint32_t pushDistance(uint32_t distance, uint32_t& r0, uint32_t& r1, uint32_t& r2) {
    r2 = r1;
    r1 = r0;
    r0 = distance;
    return distance;
}

// The distance of position slots 0..3, which take no offset bits: slots
// 0..2 reuse R0..R2 (1 and 2 swap theirs to the front), slot 3 is a new
// distance of 1.
inline uint32_t shortSlotDistance(uint32_t slot, uint32_t& r0, uint32_t& r1, uint32_t& r2) {
    uint32_t distance;
    if (slot == 0) {
        return r0;
    } else if (slot == 1) {
        distance = r1;
        r1 = r0;
    } else if (slot == 2) {
        distance = r2;
        r2 = r0;
    } else {
        return pushDistance(1, r0, r1, r2);
    }
    r0 = distance;
    return distance;
}

// A match's distance by its position slot, with the repeated offsets R0, R1,
// R2 updated: slots 0..3 as above, slots 4 and above the slot's base plus
// the offset bits already read, pushed in front.
inline uint32_t matchDistance(uint32_t slot, uint32_t offsetBits, uint32_t& r0, uint32_t& r1,
                              uint32_t& r2) {
    if (slot >= 4) return pushDistance(uint32_t(kSlots.distanceBase[slot]) + offsetBits, r0, r1, r2);
    return shortSlotDistance(slot, r0, r1, r2);
}

inline uint64_t load64(const uint8_t* p) {
    uint64_t v;
    std::memcpy(&v, p, 8);
    return v;
}
inline void store64(uint8_t* p, uint64_t v) { std::memcpy(p, &v, 8); }

// Copies `length` bytes to window position i from `distance` bytes back, as
// if byte by byte in increasing order (so a distance shorter than the length
// repeats the bytes just written), with source positions taken modulo the
// window. Writes exactly the `length` destination bytes: every other window
// byte may still be the source of a later match. The destination never
// passes the window's end, and the window has spare bytes past its end, so
// an 8-byte access starting at a destination or at a source that does not
// wrap stays inside the allocation.
inline void copyMatch(uint8_t* window, uint32_t mask, uint32_t i, uint32_t distance,
                      uint32_t length) {
    const uint32_t d = distance & mask;
    const uint32_t src = (i - d) & mask;
    uint8_t* out = window + i;
    if (src + length > mask + 1) {
        // The source runs past the window's end: wrap byte by byte.
        for (uint32_t k = 0; k < length; ++k) out[k] = window[(src + k) & mask];
        return;
    }
    const uint8_t* from = window + src;
    if (d >= length || src > i) {
        // Source and destination do not interleave (or the source lies ahead,
        // where a forward copy reads every byte before it is overwritten).
        if (length <= 8) {
            if constexpr (std::endian::native == std::endian::little) {
                // One 8-byte store whose bytes past `length` are the
                // destination's own, read before anything is written.
                const uint64_t keep = ~uint64_t(0) << (8 * length - 1) << 1;
                store64(out, (load64(from) & ~keep) | (load64(out) & keep));
                return;
            } else if (length < 8) {
                // The steps below would write before the destination.
                std::memmove(out, from, length);
                return;
            }
        }
        if (length <= 16 && length >= 8) {
            const uint64_t head = load64(from), tail = load64(from + length - 8);
            store64(out, head);
            store64(out + length - 8, tail);
            return;
        }
        if (src < i) {
            // The source ends before the destination begins: 16-byte steps,
            // the last one ending at the match's end.
            uint32_t k = 0;
            for (; k + 16 < length; k += 16) std::memcpy(out + k, from + k, 16);
            std::memcpy(out + length - 16, from + length - 16, 16);
            return;
        }
        std::memmove(out, from, length);
        return;
    }
    if (d == 0) return;  // the bytes copied onto themselves
    if (d == 1) {
        std::memset(out, *from, length);
        return;
    }
    if (d >= 8) {
        // Each 8-byte step reads only bytes already final.
        uint32_t k = 0;
        for (; k + 8 <= length; k += 8) store64(out + k, load64(from + k));
        for (; k < length; ++k) out[k] = from[k];
        return;
    }
    for (uint32_t k = 0; k < length; ++k) out[k] = from[k];
}

// The widest step of copyMatchFirstPass writes 31 bytes past a match that
// ends at the window's end.
static_assert(kWindowSpare >= 31, "the window's spare bytes take a first-pass copy's overrun");

// copyMatch while the folder has not yet filled the window once. Then every
// source lies before the destination without wrapping (the distance is 1..i),
// and no window byte past the destination is read before it is written in
// turn, so the copy may write up to 31 bytes beyond `length`: into the
// window, or into its spare bytes at its end. Most matches are then one
// 32-byte, 16-byte or two 8-byte copies.
inline void copyMatchFirstPass(uint8_t* window, uint32_t i, uint32_t distance, uint32_t length) {
    uint8_t* const out = window + i;
    const uint8_t* const from = out - distance;
    // Each step reads only bytes already final: its source ends before its
    // destination begins.
    if (distance >= 32) {
        std::memcpy(out, from, 32);
        for (uint32_t k = 32; k < length; k += 32) std::memcpy(out + k, from + k, 32);
        return;
    }
    if (distance >= 16) {
        std::memcpy(out, from, 16);
        for (uint32_t k = 16; k < length; k += 16) std::memcpy(out + k, from + k, 16);
        return;
    }
    if (distance >= 8) {
        store64(out, load64(from));
        store64(out + 8, load64(from + 8));
        for (uint32_t k = 16; k < length; k += 8) store64(out + k, load64(from + k));
        return;
    }
    if (distance == 1) {
        const uint64_t run = *from * 0x0101010101010101u;
        for (uint32_t k = 0; k < length; k += 8) store64(out + k, run);
        return;
    }
    for (uint32_t k = 0; k < length; ++k) out[k] = from[k];
}

}  // namespace lzx
