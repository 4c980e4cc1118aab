// Back-reference copies into the output buffer, which is also the history
// ring. No copy here changes a byte beyond the match (the chunked copy may
// write past it, but puts back what it overwrote): the bytes after the
// current position still hold the previous block's output, which later
// references may read through the ring.
#pragma once

#include <cstdint>
#include <cstring>

namespace mszip {

// Forward copy with the source at least 8 bytes back: each 8-byte chunk
// reads only bytes already final.
inline void copyDistantMatch(uint8_t* dst, uint32_t length, uint32_t distance) {
    const uint8_t* src = dst - distance;
    if (length >= 8) {
        uint32_t done = 0;
        do {
            std::memcpy(dst + done, src + done, 8);
            done += 8;
        } while (done + 8 <= length);
        // The last chunk ends exactly at the match end; it may rewrite bytes
        // just copied, with the same values.
        if (done < length) std::memcpy(dst + length - 8, src + length - 8, 8);
    } else if (length >= 4) {
        std::memcpy(dst, src, 4);
        std::memcpy(dst + length - 4, src + length - 4, 4);
    } else {
        for (uint32_t i = 0; i < length; ++i) dst[i] = src[i];
    }
}

// A match inside this block's output (distance 1 up to the bytes written),
// with byte-by-byte semantics: a distance shorter than the length repeats
// the bytes just written.
inline void copyMatch(uint8_t* dst, uint32_t length, uint32_t distance) {
    if (distance >= 8) {
        copyDistantMatch(dst, length, distance);
    } else if (distance == 1) {
        std::memset(dst, dst[-1], length);
    } else {
        // The match repeats with the period `distance`, and so with any
        // multiple of it: write one period of 8 bytes or more byte by byte,
        // then copy from that far back in chunks.
        uint32_t period = distance;
        while (period < 8) period *= 2;
        const uint32_t head = length < period ? length : period;
        const uint8_t* src = dst - distance;
        for (uint32_t i = 0; i < head; ++i) dst[i] = src[i];
        if (length > period) copyDistantMatch(dst + period, length - period, period);
    }
}

// How far the fast loop's chunked copies may write past a match's end.
constexpr uint32_t kChunkCopyOverrun = 16;

// The bytes a chunked copy saves past a match's end and puts back. Where
// the compiler has vector types, one vector value, which it keeps in a
// register rather than in a stack array.
#if defined(__GNUC__)
using ChunkOverrun = uint8_t __attribute__((vector_size(kChunkCopyOverrun)));
#else
struct ChunkOverrun {
    uint8_t bytes[kChunkCopyOverrun];
};
#endif

// The fast loop's copy of `length` bytes from `src` to `dst`, with the
// source at least kChunk bytes behind the destination or anywhere ahead of
// it, and kChunkCopyOverrun bytes of room after the match: whole chunks of
// kChunk bytes (8 or 16), 16 bytes of them unconditionally (most matches are
// at most 16 bytes, and a loop's exit would be mispredicted for many of
// them), that may run up to 15 bytes past the match end. Those bytes are
// saved before and put back after, so no byte of history beyond the match
// changes. Each chunk reads only bytes that are final: behind the
// destination they are at least a chunk back; ahead of it they are not yet
// overwritten.
template <uint32_t kChunk>
inline void copyChunksWithRoom(uint8_t* dst, const uint8_t* src, uint32_t length) {
    static_assert(kChunk == 8 || kChunk == 16);
    // Each chunk is read whole before it is written: a source just ahead
    // may overlap the chunk it is copied to.
    auto copyChunk = [](uint8_t* to, const uint8_t* from) {
        uint8_t chunk[kChunk];
        std::memcpy(chunk, from, kChunk);
        std::memcpy(to, chunk, kChunk);
    };
    ChunkOverrun beyond;
    std::memcpy(&beyond, dst + length, kChunkCopyOverrun);
    copyChunk(dst, src);
    if constexpr (kChunk == 8) copyChunk(dst + 8, src + 8);
    for (uint32_t done = 16; done < length; done += kChunk) copyChunk(dst + done, src + done);
    std::memcpy(dst + length, &beyond, kChunkCopyOverrun);
}

// A match whose source starts before this block's output, at ring offset
// out + ringSize - distance, that is at or after the current position.
// `distance` is above `out` and at most `ringSize`.
inline void copyFromRing(uint8_t* window, uint32_t out, uint32_t length, uint32_t distance,
                         uint32_t ringSize) {
    const uint32_t from = out + ringSize - distance;
    const uint32_t beforeWrap = ringSize - from;
    const uint32_t head = length < beforeWrap ? length : beforeWrap;
    // The source lies at or ahead of the destination, so a forward byte
    // copy never reads a byte it wrote: memmove gives the same result.
    std::memmove(window + out, window + from, head);
    // Past the wrap the source is this block's first byte, `distance`
    // back from where the copy has got to.
    if (head < length) copyMatch(window + out + head, length - head, distance);
}

}  // namespace mszip
