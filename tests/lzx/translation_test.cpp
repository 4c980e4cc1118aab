// The E8 call translation as the decoder undoes it, on single frames.
#include "codecs/lzx/lzx_decoder.h"
#include "tests/lzx/codec_harness.h"
#include "tests/lzx/stream_builder.h"
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

TEST(LzxCallTranslation, StopsAfterTheFirst32768FramesOfAFolder) {
    // 32,770 frames of 16 bytes, each an E8 with operand 1, from one
    // uncompressed block whose bytes run on from call to call. The operand
    // of frame k (from 0) at position 16k becomes 1 - 16k while frames are
    // translated; frames 32,768 and 32,769 come out as stored.
    constexpr uint32_t kFrames = 32770, kFrameSize = 16;
    const Bytes frame = {0xE8, 1, 0, 0, 0, 0x90, 0x90, 0x90, 0x90, 0x90, 0x90, 0x90,
                         0x90, 0x90, 0x90, 0x90};
    lzxtest::StreamBuilder s(15);
    s.translation(true, 1u << 24);
    s.header(lzx::Uncompressed, kFrames * kFrameSize);
    s.bits().alignToWord(true);
    for (int r = 0; r < 3; ++r) s.bits().putLong(1);
    s.bits().putBytes(frame.data(), frame.size());
    const Bytes first = s.finish();

    lzxtest::Instance codec(15);
    Bytes out;
    std::vector<uint32_t> operands;
    for (uint32_t k = 0; k < kFrames; ++k) {
        ASSERT_EQ(codec.decompress(k == 0 ? first : frame, kFrameSize, out), CodecOk) << k;
        operands.push_back(uint32_t(out[1]) | uint32_t(out[2]) << 8 | uint32_t(out[3]) << 16 |
                           uint32_t(out[4]) << 24);
    }
    EXPECT_EQ(operands[1], 1u - 16);
    EXPECT_EQ(operands[32767], 1u - 16 * 32767);
    EXPECT_EQ(operands[32768], 1u);
    EXPECT_EQ(operands[32769], 1u);
    // A reset starts the count again.
    ASSERT_EQ(codec.reset(), CodecOk);
    ASSERT_EQ(codec.decompress(first, kFrameSize, out), CodecOk);
    ASSERT_EQ(codec.decompress(frame, kFrameSize, out), CodecOk);
    EXPECT_EQ(out[1], uint8_t(1 - 16));
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
