// The codec's entry points: size query, creation, handle and signature
// checks, input size limits, reset and destroy.
#include "codecs/mszip/mszip.h"
#include "tests/mszip/codec_harness.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

namespace {

using harness::Bytes;

int allocations = 0;
int frees = 0;
int failAllocationNumber = -1;  // 0 = the next allocation fails

void* countingAlloc(uint32_t size) {
    if (failAllocationNumber == 0) {
        failAllocationNumber = -1;
        return nullptr;
    }
    if (failAllocationNumber > 0) failAllocationNumber--;
    allocations++;
    return std::malloc(size);
}
void countingFree(void* block) {
    frees++;
    std::free(block);
}

TEST(MszipCodec, SizeQuerySettlesTheBlockSizeWithoutAllocating) {
    allocations = 0;
    struct Case {
        uint32_t requested, settled, input;
    };
    for (Case c : {Case{0, 32768, 32780}, Case{40000, 32768, 32780}, Case{4096, 4096, 4108},
                   Case{32768, 32768, 32780}}) {
        uint32_t blockSize = c.requested;
        uint32_t inputSize = 0;
        EXPECT_EQ(mszipCreate(&blockSize, nullptr, nullptr, &inputSize, nullptr), CodecOk);
        EXPECT_EQ(blockSize, c.settled);
        EXPECT_EQ(inputSize, c.input);
    }
    EXPECT_EQ(allocations, 0);

    // Through the uniform table: parameters and file callbacks are ignored.
    uint32_t blockSize = 0x8000, inputSize = 0;
    CodecParams params{};
    params.windowBits = 99;
    EXPECT_EQ(mszipCodec.create(&blockSize, &params, nullptr, nullptr, &inputSize, nullptr, nullptr),
              CodecOk);
    EXPECT_EQ(inputSize, 32780u);
    EXPECT_FALSE(mszipCodec.wantsExactSize);
}

TEST(MszipCodec, CreationAndDestructionGoThroughTheCallbacks) {
    allocations = frees = 0;
    uint32_t blockSize = 0, inputSize = 0;
    void* handle = nullptr;
    ASSERT_EQ(mszipCodec.create(&blockSize, nullptr, countingAlloc, countingFree, &inputSize,
                                &handle, nullptr),
              CodecOk);
    ASSERT_NE(handle, nullptr);
    EXPECT_EQ(allocations, 2);  // the handle and its decoder
    EXPECT_EQ(*static_cast<uint32_t*>(handle), kMszipSignature);
    EXPECT_EQ(mszipReset(handle), CodecOk);
    EXPECT_EQ(mszipCodec.destroy(handle), CodecOk);
    EXPECT_EQ(frees, 2);

    for (int failing : {0, 1}) {
        allocations = frees = 0;
        failAllocationNumber = failing;
        handle = reinterpret_cast<void*>(1);
        EXPECT_EQ(mszipCreate(&blockSize, countingAlloc, countingFree, &inputSize, &handle),
                  CodecNoMemory);
        EXPECT_EQ(handle, nullptr);
        EXPECT_EQ(allocations, frees);  // nothing left behind
    }
}

TEST(MszipCodec, OperationsRefuseAHandleWithoutTheSignature) {
    struct {
        uint32_t signature = 0;
        uint8_t rest[64] = {};
    } notAHandle;
    Bytes block{'C', 'K', 0x03, 0x00};
    uint8_t output[16];
    uint32_t outputSize = 16;
    EXPECT_EQ(mszipDecompress(&notAHandle, block.data(), 4, output, &outputSize), CodecBadHandle);
    EXPECT_EQ(mszipReset(&notAHandle), CodecBadHandle);
    EXPECT_EQ(mszipDestroy(&notAHandle), CodecBadHandle);
    EXPECT_EQ(mszipReset(nullptr), CodecBadHandle);
    notAHandle.signature = 0x43494451;  // another codec's
    EXPECT_EQ(mszipReset(&notAHandle), CodecBadHandle);
}

TEST(MszipCodec, ChecksTheInputSizeAndTheSignatureBytes) {
    harness::Mszip codec;
    // "CK", a stored last block of 32,773 bytes: 32,780 bytes in all. Only
    // 32,768 bytes fit in the output; the rest is ignored.
    Bytes largest{'C', 'K', 0x01, 0x05, 0x80, 0xFA, 0x7F};
    for (uint32_t i = 0; i < 32773; ++i) largest.push_back(uint8_t(i * 7));
    ASSERT_EQ(largest.size(), 32780u);
    ASSERT_EQ(codec.decode(largest), CodecOk);
    EXPECT_EQ(codec.produced, 32768u);
    EXPECT_EQ(codec.window[32767], uint8_t(32767 * 7));
    largest.push_back(0);
    EXPECT_EQ(codec.decode(largest), CodecBadSize);

    harness::Mszip small(4096);
    EXPECT_EQ(small.decode(Bytes(4109, 0)), CodecBadSize);

    codec.window.assign(32768, 0x5A);
    for (Bytes bad : {Bytes{0x43, 0x4A, 0x03, 0x00}, Bytes{0x4B, 0x43, 0x03, 0x00}, Bytes{'C'},
                      Bytes{}}) {
        EXPECT_EQ(codec.decode(bad), CodecBadData) << bad.size();
    }
    EXPECT_EQ(codec.window[0], 0x5A);  // untouched

    // Output size 0: nothing is decoded, not even the invalid data after "CK".
    EXPECT_EQ(codec.decode(Bytes{'C', 'K', 0xFF, 0xFF}, 0), CodecOk);
    EXPECT_EQ(codec.produced, 0u);
}

}  // namespace
