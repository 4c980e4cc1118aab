// The codec contract: the size query, window limits, creation failures,
// handle and size checks, the frame count, and what reset puts back.
#include "codecs/lzx/lzx_decoder.h"
#include "tests/lzx/codec_harness.h"
#include "tests/lzx/stream_builder.h"

#include <gtest/gtest.h>

namespace {

using lzxtest::Bytes;
using lzxtest::Instance;

// Counting allocator; can refuse the n-th allocation.
int allocations = 0;
int frees = 0;
int failAt = -1;
void* countingAlloc(uint32_t size) {
    if (allocations++ == failAt) return nullptr;
    return std::malloc(size);
}
void countingFree(void* block) {
    ++frees;
    std::free(block);
}

int create(uint32_t windowSize, void** handle, uint32_t* inputSize, uint32_t maxBlock = 32768) {
    CodecParams params{};
    params.windowSize = windowSize;
    return lzxCreate(&maxBlock, &params, countingAlloc, countingFree, inputSize, handle, nullptr);
}

lzx::Decoder& decoderOf(void* handle) { return *static_cast<lzx::Handle*>(handle)->decoder; }

TEST(LzxCodec, SizeQueryReportsInputBufferAndAllocatesNothing) {
    allocations = frees = 0;
    failAt = -1;
    uint32_t inputSize = 0;
    EXPECT_EQ(create(1u << 16, nullptr, &inputSize), CodecOk);
    EXPECT_EQ(inputSize, 38912u);
    EXPECT_EQ(allocations, 0);
    // The same through the codec table the decoder uses.
    EXPECT_TRUE(lzxCodec.wantsExactSize);
    EXPECT_EQ(codecForMethod(MethodLzx), &lzxCodec);
}

TEST(LzxCodec, WindowsOutsideFifteenToTwentyOneBitsAreRefused) {
    for (uint32_t bad : {0u, 1u << 14, 1u << 22, 40000u, (1u << 16) + 1}) {
        uint32_t inputSize = 0;
        void* handle = nullptr;
        allocations = 0;
        EXPECT_EQ(create(bad, nullptr, &inputSize), CodecBadParameter) << bad;
        EXPECT_EQ(create(bad, &handle, &inputSize), CodecBadParameter) << bad;
        EXPECT_EQ(handle, nullptr);
        EXPECT_EQ(allocations, 0);
    }
    const uint32_t slots[] = {30, 32, 34, 36, 38, 42, 50};
    for (uint32_t bits = 15; bits <= 21; ++bits) {
        void* handle = nullptr;
        uint32_t inputSize = 0;
        ASSERT_EQ(create(1u << bits, &handle, &inputSize), CodecOk) << bits;
        EXPECT_EQ(decoderOf(handle).slotCount, slots[bits - 15]) << bits;
        EXPECT_EQ(decoderOf(handle).mainSymbols, 256 + 8 * slots[bits - 15]) << bits;
        EXPECT_EQ(lzxDestroy(handle), CodecOk);
    }
}

TEST(LzxCodec, EveryFailedAllocationReleasesWhatWasTaken) {
    for (int n = 0; n < 3; ++n) {
        allocations = frees = 0;
        failAt = n;
        void* handle = reinterpret_cast<void*>(1);
        uint32_t inputSize = 0;
        EXPECT_EQ(create(1u << 21, &handle, &inputSize), CodecNoMemory) << n;
        EXPECT_EQ(handle, nullptr);
        EXPECT_EQ(frees, n) << "allocation " << n;
    }
    failAt = -1;
    // A live instance: three allocations, all released by destroy.
    allocations = frees = 0;
    void* handle = nullptr;
    uint32_t inputSize = 0;
    ASSERT_EQ(create(1u << 21, &handle, &inputSize), CodecOk);
    EXPECT_EQ(allocations, 3);
    EXPECT_EQ(lzxDestroy(handle), CodecOk);
    EXPECT_EQ(frees, 3);
}

TEST(LzxCodec, DecodingAllocatesNothing) {
    Bytes data(200000);
    for (size_t i = 0; i < data.size(); ++i) data[i] = uint8_t(i * i >> 7);
    auto frames = lzxenc::encode(data.data(), data.size(), {});
    allocations = frees = 0;
    failAt = -1;
    void* handle = nullptr;
    uint32_t inputSize = 0;
    ASSERT_EQ(create(1u << 16, &handle, &inputSize), CodecOk);
    const int afterCreate = allocations;
    std::vector<uint8_t> in, out(32768);
    for (const auto& frame : frames) {
        in = frame.data;
        in.resize(in.size() + kCodecInputSlack, 0);
        uint32_t size = frame.size;
        ASSERT_EQ(lzxDecompress(handle, in.data(), uint32_t(frame.data.size()), out.data(), &size),
                  CodecOk);
    }
    EXPECT_EQ(lzxReset(handle), CodecOk);
    EXPECT_EQ(allocations, afterCreate);
    lzxDestroy(handle);
}

void* garbageAlloc(uint32_t size) {
    void* block = std::malloc(size);
    if (block) std::memset(block, 0xCD, size);
    return block;
}

TEST(LzxCodec, FreshWindowsHoldingAnythingNeverShowInTheOutput) {
    // A fresh window comes from the allocator holding anything, and is not
    // cleared: a match reaching before the first byte decoded is refused
    // rather than copying those bytes.
    CodecParams params{};
    params.windowSize = 1u << 15;
    uint32_t maxBlock = 32768, inputSize = 0;
    void* handle = nullptr;
    ASSERT_EQ(lzxCreate(&maxBlock, &params, garbageAlloc, std::free, &inputSize, &handle, nullptr),
              CodecOk);
    lzxtest::StreamBuilder s(15);
    uint32_t slot, bits;
    lzxtest::slotFor(1000, slot, bits);
    s.translation(false);
    s.header(lzx::Verbatim, 8);
    s.trees(lzxtest::lengthsFor(s.mainSymbols(), {'x', 256 + 8 * slot + 5}),
            std::vector<uint8_t>(lzx::kLengthSymbols, 0));
    s.literal('x');
    s.match(7, slot, bits);
    Bytes in = s.finish();
    in.resize(in.size() + kCodecInputSlack, 0);
    std::vector<uint8_t> out(8, 0xAA);
    uint32_t size = 8;
    EXPECT_EQ(lzxDecompress(handle, in.data(), uint32_t(in.size() - kCodecInputSlack), out.data(),
                            &size),
              CodecBadData);
    EXPECT_EQ(size, 0u);
    lzxDestroy(handle);
}

TEST(LzxCodec, ForeignHandlesAreRefusedUntouched) {
    lzx::Handle fake{};
    fake.signature = 0x4349444D;  // another codec's signature
    uint8_t out[8] = {};
    uint32_t size = 8;
    EXPECT_EQ(lzxDecompress(&fake, out, 0, out, &size), CodecBadHandle);
    EXPECT_EQ(size, 8u);
    EXPECT_EQ(lzxReset(&fake), CodecBadHandle);
    EXPECT_EQ(lzxDestroy(&fake), CodecBadHandle);
    EXPECT_EQ(lzxDestroy(nullptr), CodecBadHandle);
    EXPECT_EQ(fake.signature, 0x4349444Du);
}

TEST(LzxCodec, OversizedRequestsAreRefused) {
    Instance codec(15);
    lzx::Decoder& d = decoderOf(codec.handle());
    uint8_t in[32] = {};
    std::vector<uint8_t> out(40000, 0xAA);
    // Above the instance's largest output block: size left as it was,
    // frame count unchanged.
    uint32_t size = 32769;
    EXPECT_EQ(lzxDecompress(codec.handle(), in, 0, out.data(), &size), CodecBadSize);
    EXPECT_EQ(size, 32769u);
    EXPECT_EQ(d.frameCount, 0u);
    // A zero-byte request succeeds, produces nothing and counts as a frame.
    size = 0;
    EXPECT_EQ(lzxDecompress(codec.handle(), in, 0, out.data(), &size), CodecOk);
    EXPECT_EQ(size, 0u);
    EXPECT_EQ(d.frameCount, 1u);
}

TEST(LzxCodec, FrameLargerThanTheRoomLeftInTheWindowIsRefusedUnwritten) {
    // A first frame of 100 bytes leaves 32,668 bytes of a 32 KB window: a
    // full frame would run past its end.
    lzxtest::StreamBuilder s(15);
    s.translation(false);
    std::vector<uint8_t> bytes(100 + 32768, 'z');
    s.stored(bytes);
    Bytes stream = s.finish();
    Instance codec(15);
    Bytes out;
    ASSERT_EQ(codec.decompress(stream, 100, out), CodecOk);
    std::vector<uint8_t> in(stream.begin() + 116, stream.end());
    in.resize(in.size() + kCodecInputSlack);
    std::vector<uint8_t> buffer(32768, 0xAA);
    uint32_t size = 32768;
    EXPECT_EQ(lzxDecompress(codec.handle(), in.data(), uint32_t(in.size() - kCodecInputSlack),
                            buffer.data(), &size),
              CodecBadData);
    EXPECT_EQ(size, 0u);
    EXPECT_EQ(buffer, std::vector<uint8_t>(32768, 0xAA));
    EXPECT_EQ(decoderOf(codec.handle()).writePos, 100u);
}

TEST(LzxCodec, ResetPutsBackTheFolderStartAndCreationLeavesIt) {
    Instance codec(16);
    lzx::Decoder& d = decoderOf(codec.handle());
    auto expectResetState = [&](const char* when) {
        EXPECT_EQ(d.repeatedOffsets[0], 1u) << when;
        EXPECT_EQ(d.repeatedOffsets[1], 1u) << when;
        EXPECT_EQ(d.repeatedOffsets[2], 1u) << when;
        EXPECT_EQ(d.writePos, 0u) << when;
        EXPECT_EQ(d.blockState, uint32_t(lzx::HeaderDue)) << when;
        EXPECT_TRUE(d.translationPending) << when;
        EXPECT_EQ(d.translationSize, 0u) << when;
        EXPECT_EQ(d.translationOffset, 0u) << when;
        EXPECT_FALSE(d.inputExhausted) << when;
        EXPECT_EQ(d.frameCount, 0u) << when;
        for (uint32_t s = 0; s < d.mainSymbols; ++s) {
            ASSERT_EQ(d.mainLengths[s] | d.priorMainLengths[s], 0) << when << " main " << s;
        }
        for (int s = 0; s < lzx::kLengthSymbols; ++s) {
            ASSERT_EQ(d.lengthLengths[s] | d.priorLengthLengths[s], 0) << when << " length " << s;
        }
    };
    expectResetState("after creation");
    // A folder that leaves trees, offsets, a translation and a block half done.
    std::vector<uint8_t> data(50000);
    for (size_t i = 0; i < data.size(); ++i) data[i] = uint8_t(i % 7 == 0 ? 0xE8 : i * 13 >> 3);
    lzxenc::Options options;
    options.windowBits = 16;
    options.translationSize = 777777;
    auto frames = lzxenc::encode(data.data(), data.size(), options);
    Bytes out;
    ASSERT_EQ(codec.decompress(frames[0].data, frames[0].size, out), CodecOk);
    ASSERT_EQ(d.translationSize, 777777u);
    EXPECT_EQ(codec.reset(), CodecOk);
    expectResetState("after reset");
    // The same folder decodes again from its start.
    Bytes all;
    ASSERT_TRUE(lzxtest::decodeFolder(codec, frames, all));
    EXPECT_EQ(all, data);
}

}  // namespace
