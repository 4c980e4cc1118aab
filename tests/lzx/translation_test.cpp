// The E8 call translation as the decoder undoes it, on single frames.
#include "codecs/lzx/lzx_decoder.h"
#include "tools/cabwriter/lzx_encoder.h"

#include <gtest/gtest.h>

#include <random>

namespace {

using Bytes = std::vector<uint8_t>;

// An E8 at index j of a frame of n bytes at `offset`, with `operand`.
uint32_t translatedOperand(uint32_t operand, uint32_t offset, uint32_t size, uint32_t j = 0,
                           uint32_t n = 16) {
    Bytes frame(n, 0);
    frame[j] = 0xE8;
    for (int k = 0; k < 4; ++k) frame[j + 1 + k] = uint8_t(operand >> (8 * k));
    EXPECT_EQ(lzx::translateCalls(offset, size, frame.data(), n), offset + n);
    uint32_t v = 0;
    for (int k = 0; k < 4; ++k) v |= uint32_t(frame[j + 1 + k]) << (8 * k);
    return v;
}

TEST(LzxCallTranslation, OperandsInsideAndJustOutsideTheTranslatedRanges) {
    const uint32_t S = 1000000, P = 5000;
    EXPECT_EQ(translatedOperand(S - 1, P, S), S - 1 - P);
    EXPECT_EQ(translatedOperand(0, P, S), 0u - P);
    EXPECT_EQ(translatedOperand(0u - P, P, S), S - P);
    EXPECT_EQ(translatedOperand(0u - P - 1, P, S), 0u - P - 1);  // left alone
    EXPECT_EQ(translatedOperand(S, P, S), S);                    // left alone
    EXPECT_EQ(translatedOperand(0x80000000u, P, S), 0x80000000u);
    // The position counts the frame's offset and the index within it.
    EXPECT_EQ(translatedOperand(100, P, S, 7, 20), 100 - (P + 7));
}

TEST(LzxCallTranslation, OnlyOpcodesBeforeTheFramesLastSixBytesAreExamined) {
    // A 6-byte frame is never translated; its offset still advances.
    Bytes six = {0xE8, 1, 0, 0, 0, 0};
    EXPECT_EQ(lzx::translateCalls(10, 1000, six.data(), 6), 16u);
    EXPECT_EQ(six, (Bytes{0xE8, 1, 0, 0, 0, 0}));
    // 8 bytes: an E8 at 0 is examined. Its operand reaches into the last
    // six bytes, read as 0xE8 sentinels: 0xE8E8E850 at position 2^29 is a
    // target before the folder's start and gains the size; only the byte
    // before the last six keeps the change.
    Bytes eight = {0xE8, 0x50, 1, 2, 3, 4, 5, 6};
    lzx::translateCalls(0x20000000, 0x10, eight.data(), 8);
    EXPECT_EQ(eight, (Bytes{0xE8, 0x60, 1, 2, 3, 4, 5, 6}));
    // An E8 at index n - 6 is not examined, though its operand is plain.
    Bytes late = {0x90, 0x90, 0xE8, 0x05, 0x00, 0x00, 0x00, 0x90};
    lzx::translateCalls(0, 0x100, late.data(), 8);
    EXPECT_EQ(late, (Bytes{0x90, 0x90, 0xE8, 0x05, 0x00, 0x00, 0x00, 0x90}));
}

TEST(LzxCallTranslation, OperandBytesAreSkippedNotScanned) {
    // E8 00 E8 00 00 | ...: the second E8 is inside the first operand.
    Bytes frame = {0xE8, 0x10, 0xE8, 0x00, 0x00, 0x90, 0x90, 0x90, 0x90, 0x90, 0x90, 0x90};
    lzx::translateCalls(0, 0x100000, frame.data(), uint32_t(frame.size()));
    // Operand 0x0000E810 at position 0 is below the size: minus 0.
    EXPECT_EQ(frame, (Bytes{0xE8, 0x10, 0xE8, 0x00, 0x00, 0x90, 0x90, 0x90, 0x90, 0x90, 0x90, 0x90}));
    Bytes shifted = frame;
    lzx::translateCalls(3, 0x100000, shifted.data(), uint32_t(shifted.size()));
    EXPECT_EQ(shifted[1], 0x0D);  // 0xE810 - 3
    EXPECT_EQ(shifted[2], 0xE8);  // not taken for an opcode
}

TEST(LzxCallTranslation, EncoderSideInvertsItAtEveryPositionNearTheFrameEnd) {
    // Every E8 position and every frame length near the end, with operands
    // in all three ranges: translating then undoing gives the frame back.
    std::mt19937 random(3);
    for (uint32_t n = 1; n < 40; ++n) {
        for (int trial = 0; trial < 200; ++trial) {
            Bytes frame(n);
            for (auto& b : frame) b = random() % 3 == 0 ? 0xE8 : uint8_t(random() % 4 == 0 ? 0xFF : random());
            const uint32_t offset = random() % 70000, size = 1 + random() % 200000;
            Bytes encoded = frame;
            lzxenc::translateFrame(encoded.data(), n, offset, size);
            lzx::translateCalls(offset, size, encoded.data(), n);
            ASSERT_EQ(encoded, frame) << "n " << n << " trial " << trial;
        }
    }
}

}  // namespace
