// The codec's contract: window sizes, block size clamp, handle checks, and
// whole example blocks decoded bit for bit.
#include "tests/quantum/quantum_harness.h"

#include <gtest/gtest.h>

namespace {

using namespace qharness;

class QuantumCodec : public ::testing::Test {
protected:
    void SetUp() override { resetEnvironment(); }
};

int sizeQuery(uint32_t windowBits, uint32_t* blockSize, uint32_t* inputSize) {
    CodecParams params{};
    params.windowBits = windowBits;
    return quantumCreate(blockSize, &params, nullptr, nullptr, inputSize, nullptr, nullptr);
}

TEST_F(QuantumCodec, WindowBitsOutsideTenToTwentyOneAreRefusedUntouched) {
    for (uint32_t bits : {0u, 9u, 22u, 31u}) {
        uint32_t block = 40000, input = 7;
        EXPECT_EQ(sizeQuery(bits, &block, &input), CodecBadParameter) << bits;
        EXPECT_EQ(block, 40000u);
        EXPECT_EQ(input, 7u);
        Instance instance(bits);
        EXPECT_EQ(instance.createResult, CodecBadParameter);
        EXPECT_EQ(instance.handle, nullptr);
    }
    for (uint32_t bits : {10u, 21u}) {
        Instance instance(bits);
        EXPECT_EQ(instance.createResult, CodecOk) << bits;
    }
}

TEST_F(QuantumCodec, SizeQueryClampsTheBlockSizeAndAddsTheInputOverhead) {
    struct Case {
        uint32_t asked, block, input;
    } cases[] = {{0, 32768, 43008}, {40000, 32768, 43008}, {1000, 1000, 11240},
                 {32768, 32768, 43008}};
    for (const Case& c : cases) {
        uint32_t block = c.asked, input = 0;
        EXPECT_EQ(sizeQuery(16, &block, &input), CodecOk);
        EXPECT_EQ(block, c.block) << c.asked;
        EXPECT_EQ(input, c.input) << c.asked;
    }
}

TEST_F(QuantumCodec, AskingForMoreThanTheBlockSizeDecodesNothing) {
    Instance large(16);
    EXPECT_EQ(large.decode({0xFF, 0xFF, 0xFF, 0xFF}, 32769), CodecBadSize);
    EXPECT_EQ(large.output[0], 0xEE);
    Instance small(16, -1, 1000);
    EXPECT_EQ(small.decode({0xFF, 0xFF, 0xFF, 0xFF}, 1001), CodecBadSize);
}

TEST_F(QuantumCodec, ForeignOrDestroyedHandlesAreRefused) {
    uint32_t notAHandle[64] = {0x4349444D};
    uint32_t size = 1;
    uint8_t out[1];
    const uint8_t in[2] = {0, 0};
    EXPECT_EQ(quantumDecompress(notAHandle, in, 2, out, &size), CodecBadHandle);
    EXPECT_EQ(quantumReset(notAHandle), CodecBadHandle);
    EXPECT_EQ(quantumDestroy(notAHandle), CodecBadHandle);
    EXPECT_EQ(quantumReset(nullptr), CodecBadHandle);
}

TEST_F(QuantumCodec, CreationWithoutMemoryReleasesEverything) {
    CodecParams params{};
    params.windowBits = 16;
    uint32_t block = 0, input = 0;
    void* handle = reinterpret_cast<void*>(1);
    allocPolicy.refuseAll = true;
    EXPECT_EQ(quantumCreate(&block, &params, testAlloc, testFree, &input, &handle,
                            &spillCallbacks),
              CodecNoMemory);
    EXPECT_EQ(handle, nullptr);
}

struct ExampleBlock {
    Bytes input;
    Bytes output;
};

const ExampleBlock kExamples[] = {
    {{0xa1, 0x66, 0x3d, 0x95, 0x20, 0xa9, 0xbe}, {0xa5, 0xa9, 0xe8, 0xa9, 0xe8, 0xa9, 0xe8}},
    {{0x73, 0xc8, 0xc9, 0x47, 0x30, 0xd8, 0x0f, 0x54},
     {0xf5, 0xd4, 0xeb, 0xeb, 0xeb, 0xeb, 0xeb, 0xeb, 0xc5, 0xc9}},
    {{0xd1, 0xd9, 0x83, 0x86, 0x90, 0x43, 0x38, 0xa9},
     {0x50, 0xd7, 0x62, 0x52, 0x52, 0x52, 0x52, 0x52, 0x52, 0x52, 0x52}},
};

TEST_F(QuantumCodec, ExampleBlocksDecodeExactlyInBothWindows) {
    for (int pages : {-1, 0}) {
        for (const ExampleBlock& example : kExamples) {
            Instance instance(10, pages);
            ASSERT_EQ(instance.createResult, CodecOk);
            EXPECT_EQ(instance.decode(example.input, uint32_t(example.output.size())), CodecOk);
            EXPECT_EQ(instance.output, example.output);
        }
    }
}

TEST_F(QuantumCodec, ExampleBlockAskedForOneMoreByteRunsOutOfInput) {
    Instance instance(10);
    const ExampleBlock& first = kExamples[0];
    EXPECT_EQ(instance.decode(first.input, uint32_t(first.output.size() + 1)), CodecBadData);
    // The items that fit are still output before the block fails.
    EXPECT_EQ(Bytes(instance.output.begin(), instance.output.begin() + 7), first.output);
}

TEST_F(QuantumCodec, AnEmptyBlockStillNeedsTheCodersTwoStartBytes) {
    Instance instance(12);
    EXPECT_EQ(instance.decode({0x12, 0x34}, 0), CodecOk);
    EXPECT_EQ(instance.decode({0x12}, 0), CodecBadData);
    EXPECT_EQ(instance.decode({}, 0), CodecBadData);
}

TEST_F(QuantumCodec, FirstSelectorFollowsTheCodeAgainstFreshModels) {
    // All ones selects the first selector entry (a literal 0-63), all zeros
    // the last (a long match, which cannot fit in one byte of output).
    Instance ones(10);
    EXPECT_EQ(ones.decode(Bytes(8, 0xFF), 1), CodecOk);
    EXPECT_LT(ones.output[0], 64);
    Instance zeros(10);
    EXPECT_EQ(zeros.decode(Bytes(8, 0x00), 1), CodecBadData);
}

}  // namespace
