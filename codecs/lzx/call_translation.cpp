// Frames leave the window for the caller's buffer, where the E8 call
// translation is undone: an x86 CALL's operand was stored as an absolute
// position within the folder's output, and turns back into the relative
// displacement. The window keeps the bytes as decoded, which later matches
// copy.
//
// Executables hold an 0xE8 byte every 70 bytes or so, so the cost is per
// opcode as much as per byte, and a scan that stops at each opcode pays a
// mispredicted branch for it. Instead the frame is taken 64 bytes at a
// time: all of a chunk's 0xE8 bytes are found at once as a bit mask, the
// opcodes among them are listed without a branch on how many there are,
// and a second pass fixes the listed operands. Machines without SSE2 find
// each opcode with the C library's search for a byte instead.
#include "codecs/lzx/call_scan.h"
#include "codecs/lzx/lzx_decoder.h"

#include <bit>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace lzx {

namespace {

constexpr uint8_t kCallOpcode = 0xE8;
// An opcode in the frame's last kTailBytes bytes is not examined; those
// bytes hold sentinels during the scan.
constexpr uint32_t kTailBytes = 6;
constexpr uint32_t kOperandBytes = 4;
constexpr uint32_t kCallBytes = 1 + kOperandBytes;

// The operand of the opcode at folder position `position`, rewritten in
// place: a target inside the folder (below `size`) goes back to a
// displacement, one before the folder's start (-position .. -1) gets the
// size added, anything else stays. Written back even when unchanged, so
// the choice needs no branch; with `apply` 0 the operand stays whatever it
// holds.
inline void fixOperand(uint8_t* operand, uint32_t position, uint32_t size, uint32_t apply = ~0u) {
    const uint32_t value = uint32_t(operand[0]) | uint32_t(operand[1]) << 8 |
                           uint32_t(operand[2]) << 16 | uint32_t(operand[3]) << 24;
    const uint32_t inside = 0u - uint32_t(value < size);
    // -position .. -1 are the values whose sum with the position carries
    // past 32 bits. 0 counts as inside, and with a size of 0, where it is
    // not, adding the size would leave it as it is anyway.
    const uint32_t before = ~inside & (0u - uint32_t((uint64_t(value) + position) >> 32));
    const uint32_t fixed = value + (apply & ((inside & (0u - position)) + (before & size)));
    operand[0] = uint8_t(fixed);
    operand[1] = uint8_t(fixed >> 8);
    operand[2] = uint8_t(fixed >> 16);
    operand[3] = uint8_t(fixed >> 24);
}

// Fixes every opcode before data[n - kTailBytes], whose last kTailBytes
// bytes are sentinel opcodes, finding each with the C library's search for
// a byte: the portable way, for machines without SSE2.
void fixOperandsSearching(uint32_t offset, uint32_t size, uint8_t* data, uint32_t n) {
    for (uint32_t j = 0;; j += kCallBytes) {  // operand bytes are never scanned themselves
        j = uint32_t(static_cast<uint8_t*>(std::memchr(data + j, kCallOpcode, n - j)) - data);
        if (j >= n - kTailBytes) return;
        fixOperand(data + j + 1, offset + j, size);
    }
}

#if defined(__SSE2__)
// An opcode and its operand in a mask.
constexpr uint64_t kCallBits = (uint64_t(1) << kCallBytes) - 1;
// Bytes whose 0xE8 bytes are found with one mask.
constexpr uint32_t kChunk = 64;
constexpr uint64_t kTopBit = uint64_t(1) << (kChunk - 1);
// Bytes whose opcodes are listed before their operands are fixed.
constexpr uint32_t kSegment = 4096;

// Bit k set when p[k] is 0xE8, for k below kChunk.
uint64_t opcodeMask(const uint8_t* p) {
    const __m128i opcode = _mm_set1_epi8(char(kCallOpcode));
    uint64_t mask = 0;
    for (uint32_t k = 0; k < kChunk / 16; ++k) {
        const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16 * k));
        mask |= uint64_t(uint32_t(_mm_movemask_epi8(_mm_cmpeq_epi8(bytes, opcode)))) << (16 * k);
    }
    return mask;
}

// How many of a chunk's first bytes belong to the operand of an opcode
// taken in the chunk before, from that chunk's opcodes.
inline uint32_t operandCarry(uint64_t previousOpcodes) {
    if (previousOpcodes >> (kChunk - kOperandBytes) == 0) return 0;
    return uint32_t(kChunk - 1 - std::countl_zero(previousOpcodes)) + kCallBytes - kChunk;
}

// The 0xE8 bytes of `found` that are opcodes, one by one: each that lies
// past the operand of the one before.
uint64_t opcodesOneByOne(uint64_t found, uint64_t previousOpcodes) {
    uint32_t free = operandCarry(previousOpcodes);
    uint64_t opcodes = 0;
    for (; found != 0; found &= found - 1) {
        const uint32_t bit = uint32_t(std::countr_zero(found));
        if (bit < free) continue;
        opcodes |= uint64_t(1) << bit;
        free = bit + kCallBytes;
    }
    return opcodes;
}

// Fixes every opcode of data[next..last), resuming the scan after each
// operand, one chunk at a time. data[last..last + kTailBytes) are sentinel
// opcodes and data[0..readable) may be read, readable being at least
// kChunk and last + kTailBytes: the sentinels make sure a chunk always
// meets an opcode at or past `last`, which ends the scan.
void fixOperandsToEnd(uint32_t offset, uint32_t size, uint8_t* data, uint32_t next,
                      uint32_t last, uint32_t readable) {
    for (;;) {
        // The final chunk ends where reading must stop and overlaps the one
        // before; its bits below `next` are done already.
        const uint32_t base = next <= readable - kChunk ? next : readable - kChunk;
        uint64_t hits = opcodeMask(data + base) & (~uint64_t(0) << (next - base));
        uint32_t resume = base + kChunk;
        while (hits != 0) {
            const uint32_t bit = uint32_t(std::countr_zero(hits));
            const uint32_t j = base + bit;
            if (j >= last) return;
            fixOperand(data + j + 1, offset + j, size);
            // The opcode and its operand leave the mask: operand bytes are
            // never taken for opcodes.
            hits &= ~(kCallBits << bit);
            resume = j + kCallBytes;
        }
        next = resume > base + kChunk ? resume : base + kChunk;
    }
}

// The same for a whole frame, data[0..last) with readable as above. The
// chunks that end before `last` hold no sentinel, so every 0xE8 in them
// before which no other 0xE8 stands within an operand's length is an
// opcode; only a chunk with 0xE8 bytes that close is worked through one by
// one. That needs no chunk's opcodes for the next chunk's mask, and the
// opcodes are listed a segment at a time, then their operands fixed.
void fixOperands(uint32_t offset, uint32_t size, uint8_t* data, uint32_t last, uint32_t readable) {
    const uint32_t chunksEnd = (last / kChunk) * kChunk;
    uint32_t base = 0;
    uint64_t previousFound = 0, previousOpcodes = 0;
    uint32_t listedBases[kSegment / kChunk];
    uint64_t listedOpcodes[kSegment / kChunk];
    while (base < chunksEnd) {
        uint32_t count = 0;
        const uint32_t segmentEnd = chunksEnd - base > kSegment ? base + kSegment : chunksEnd;
        for (; base < segmentEnd; base += kChunk) {
            const uint64_t found = opcodeMask(data + base);
            // Bit k set when an 0xE8 lies 1 to 4 bytes before byte k.
            const uint64_t pairs = found | found << 1;
            const uint64_t previousPairs = previousFound | previousFound >> 1;
            const uint64_t crowded = pairs << 1 | pairs << 3 | previousPairs >> (kChunk - 2) |
                                     previousPairs >> (kChunk - 4);
            uint64_t opcodes = found;
            if ((found & crowded) != 0) opcodes = opcodesOneByOne(found, previousOpcodes);
            previousFound = found;
            previousOpcodes = opcodes;
            // Only chunks with opcodes are kept: the entry is written
            // whatever the chunk holds.
            listedBases[count] = base;
            listedOpcodes[count] = opcodes;
            count += uint32_t(opcodes != 0);
        }
        for (uint32_t k = 0; k < count; ++k) {
            const uint32_t at = listedBases[k];
            uint64_t opcodes = listedOpcodes[k];
            const uint32_t first = uint32_t(std::countr_zero(opcodes));
            fixOperand(data + at + first + 1, offset + at + first, size);
            opcodes &= opcodes - 1;
            // A second opcode is fixed without asking whether there is
            // one; without it the bytes past the chunk are written back as
            // they are.
            const uint32_t second = uint32_t(std::countr_zero(opcodes | kTopBit));
            fixOperand(data + at + second + 1, offset + at + second, size,
                       0u - uint32_t(opcodes != 0));
            opcodes &= opcodes - 1;
            for (; opcodes != 0; opcodes &= opcodes - 1) {
                const uint32_t more = uint32_t(std::countr_zero(opcodes));
                fixOperand(data + at + more + 1, offset + at + more, size);
            }
        }
    }
    fixOperandsToEnd(offset, size, data, base + operandCarry(previousOpcodes), last, readable);
}

// The same for any frame of n bytes, last kTailBytes sentinels as above.
void fixOperandsSse2(uint32_t offset, uint32_t size, uint8_t* data, uint32_t n) {
    if (n >= kChunk) {
        fixOperands(offset, size, data, n - kTailBytes, n);
        return;
    }
    // A short frame is scanned in a chunk-sized copy; the bytes past its end
    // lie behind the sentinels.
    uint8_t chunk[kChunk] = {};
    std::memcpy(chunk, data, n);
    fixOperandsToEnd(offset, size, chunk, 0, n - kTailBytes, kChunk);
    std::memcpy(data, chunk, n);
}
#endif

template <void (*fixAll)(uint32_t, uint32_t, uint8_t*, uint32_t)>
uint32_t translateWith(uint32_t offset, uint32_t size, uint8_t* data, uint32_t n) {
    if (n < kTailBytes) return offset + n;
    // Six 0xE8 bytes at the frame's end stop the scan without a bound test;
    // an operand reaching into them reads the sentinels, and whatever is
    // written there is undone when the saved bytes go back.
    uint8_t saved[kTailBytes];
    std::memcpy(saved, data + n - kTailBytes, kTailBytes);
    std::memset(data + n - kTailBytes, kCallOpcode, kTailBytes);
    fixAll(offset, size, data, n);
    std::memcpy(data + n - kTailBytes, saved, kTailBytes);
    return offset + n;
}

}  // namespace

void emitFrame(Decoder& d, uint32_t count) {
    const uint32_t end = d.writePos == 0 ? d.windowSize : d.writePos;
    std::memcpy(d.outBuffer, d.window + (end - count), count);
    if (d.translationSize != 0 && d.frameCount < kTranslatedFrames) {
        d.translationOffset =
            translateCalls(d.translationOffset, d.translationSize, d.outBuffer, count);
    }
}

uint32_t translateCalls(uint32_t offset, uint32_t size, uint8_t* data, uint32_t n) {
#if defined(__SSE2__)
    return translateWith<fixOperandsSse2>(offset, size, data, n);
#else
    return translateWith<fixOperandsSearching>(offset, size, data, n);
#endif
}

uint32_t translateCallsPortable(uint32_t offset, uint32_t size, uint8_t* data, uint32_t n) {
    return translateWith<fixOperandsSearching>(offset, size, data, n);
}

}  // namespace lzx
