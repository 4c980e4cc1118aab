// The call translation's fast opcode scans against a plain byte-by-byte
// translation, on random frames made to hit the scan's edges: opcodes dense
// and sparse, in runs, inside operands, near the frame's end; operands on
// the edges of the translated ranges; short and odd-sized frames; positions
// near 2^31.
#include "codecs/lzx/call_scan.h"
#include "codecs/lzx/lzx_decoder.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

uint32_t readLe32(const uint8_t* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

// One byte at a time: an 0xE8 before the frame's last 6 bytes is an opcode
// at folder position offset + j; its operand is read with the last 6 bytes
// taken as 0xE8, and only the bytes before them take the rewritten value.
Bytes referenceTranslation(uint32_t offset, uint32_t size, const Bytes& frame) {
    const size_t n = frame.size();
    if (n < 6) return frame;
    Bytes view = frame;
    for (size_t k = n - 6; k < n; ++k) view[k] = 0xE8;
    for (size_t j = 0; j + 6 < n; ++j) {
        if (view[j] != 0xE8) continue;
        const uint64_t value = readLe32(&view[j + 1]);
        const uint64_t position = uint32_t(offset + uint32_t(j));
        uint64_t result = value;
        if (value < size) {
            result = value + (uint64_t(1) << 32) - position;
        } else if (((uint64_t(1) << 32) - value) % (uint64_t(1) << 32) <= position) {
            result = value + size;
        }
        for (int k = 0; k < 4; ++k) view[j + 1 + k] = uint8_t(result >> (8 * k));
        j += 4;
    }
    Bytes out = view;
    for (size_t k = n - 6; k < n; ++k) out[k] = frame[k];
    return out;
}

using TranslateFn = uint32_t (*)(uint32_t, uint32_t, uint8_t*, uint32_t);

struct Scan {
    const char* name;
    TranslateFn translate;
};

const Scan kScans[] = {{"translateCalls", lzx::translateCalls},
                       {"translateCallsPortable", lzx::translateCallsPortable}};

// A frame of n bytes in which about one byte in `spacing` is an opcode,
// some in runs, many with operands on the edges of the ranges that change.
Bytes randomFrame(std::mt19937& random, uint32_t n, uint32_t spacing, uint32_t offset,
                  uint32_t size) {
    Bytes frame(n);
    for (auto& b : frame) b = uint8_t(random());
    for (uint32_t j = 0; j < n; ++j) {
        if (frame[j] == 0xE8 && random() % 2 == 0) frame[j] = 0x90;  // keep the density as asked
        if (random() % spacing != 0) continue;
        const uint32_t run = random() % 8 == 0 ? 1 + random() % 12 : 1;
        for (uint32_t k = j; k < j + run && k < n; ++k) frame[k] = 0xE8;
        if (random() % 2 != 0 || j + 5 > n) continue;
        const uint32_t position = offset + j;
        const uint32_t edges[] = {0, size - 1, size, 0u - position, 0u - position - 1,
                                  0x7FFFFFFF, 0x80000000, 0xFFFFFFFF};
        const uint32_t operand = edges[random() % std::size(edges)];
        for (int k = 0; k < 4; ++k) frame[j + 1 + k] = uint8_t(operand >> (8 * k));
    }
    return frame;
}

// Half of the time a position from 2^28.6 on, where an operand reading the
// 0xE8 sentinels at a frame's end (about -2^28.5) counts as a target
// before the folder's start and changes.
uint32_t randomOffset(std::mt19937& random) {
    return random() % 2 == 0 ? random() % 200000 : 0x18000000 + random() % 0x10000000;
}

void expectScansMatchReference(const Bytes& frame, uint32_t offset, uint32_t size,
                               const std::string& what) {
    const Bytes expected = referenceTranslation(offset, size, frame);
    for (const Scan& scan : kScans) {
        Bytes actual = frame;
        const uint32_t next = scan.translate(offset, size, actual.data(), uint32_t(actual.size()));
        ASSERT_EQ(next, offset + uint32_t(frame.size())) << scan.name << " " << what;
        if (actual != expected) {
            size_t k = 0;
            while (actual[k] == expected[k]) ++k;
            FAIL() << scan.name << " " << what << ": first difference at byte " << k << " of "
                   << frame.size() << ", got " << int(actual[k]) << " expected "
                   << int(expected[k]);
        }
    }
}

TEST(LzxCallScan, ShortAndOddFramesOfEveryDensityMatchTheReference) {
    std::mt19937 random(11);
    for (uint32_t n = 1; n <= 80; ++n) {
        for (uint32_t spacing : {1u, 2u, 5u, 40u}) {
            for (int trial = 0; trial < 60; ++trial) {
                const uint32_t offset = randomOffset(random), size = 1 + random() % 300000;
                const Bytes frame = randomFrame(random, n, spacing, offset, size);
                ASSERT_NO_FATAL_FAILURE(expectScansMatchReference(
                    frame, offset, size,
                    "n " + std::to_string(n) + " spacing " + std::to_string(spacing)));
            }
        }
    }
}

TEST(LzxCallScan, WholeFramesMatchTheReferenceAtPositionsNearTwoToThe31) {
    std::mt19937 random(12);
    const uint32_t lengths[] = {32768, 32767, 32765, 4097, 1000, 96, 95, 63, 33};
    for (uint32_t n : lengths) {
        for (uint32_t spacing : {1u, 3u, 70u, 5000u}) {
            for (uint32_t base : {0u, 0x80000000u - 40000, 0x7FFFFFF0u, 0xFFFF8000u}) {
                const uint32_t offset = base + random() % 50000;
                for (uint32_t size : {12000000u, uint32_t(1 + random() % 0x7FFFFFFF), 0xFFFFFFFFu}) {
                    const Bytes frame = randomFrame(random, n, spacing, offset, size);
                    ASSERT_NO_FATAL_FAILURE(expectScansMatchReference(
                        frame, offset, size,
                        "n " + std::to_string(n) + " spacing " + std::to_string(spacing) +
                            " offset " + std::to_string(offset)));
                }
            }
        }
    }
}

TEST(LzxCallScan, PairsOfOpcodesAtChunkEdgesAndInTheLastTenBytes) {
    // Two opcodes at every pair of places near the edges of the scan's
    // chunks (every 32 and 64 bytes) and in a frame's last 12 bytes, over
    // a background of opcodes every 9 bytes: operands that run across a
    // chunk edge and hide an opcode there, operands that reach the
    // sentinels, the overlapping last chunk.
    std::mt19937 random(13);
    for (uint32_t n : {40u, 64u, 70u, 71u, 100u, 133u, 134u, 140u, 200u, 262u}) {
        std::vector<uint32_t> places;
        for (uint32_t edge = 32; edge < n; edge += 32) {
            for (uint32_t j = edge - 6; j < edge + 6 && j < n; ++j) places.push_back(j);
        }
        for (uint32_t j = n - 12; j < n; ++j) places.push_back(j);
        for (size_t a = 0; a < places.size(); ++a) {
            for (size_t b = a; b < places.size(); ++b) {
                Bytes frame(n);
                for (uint32_t j = 0; j < n; ++j) frame[j] = j % 9 == 0 ? 0xE8 : uint8_t(random() % 8);
                frame[places[a]] = 0xE8;
                frame[places[b]] = 0xE8;
                const uint32_t offset = randomOffset(random);
                ASSERT_NO_FATAL_FAILURE(expectScansMatchReference(
                    frame, offset, 0x100035,
                    "n " + std::to_string(n) + " at " + std::to_string(places[a]) + "," +
                        std::to_string(places[b])));
            }
        }
    }
}

}  // namespace
