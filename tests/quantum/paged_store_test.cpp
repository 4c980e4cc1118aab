// The paged window: set-up with few or many buffers, the spill-file request,
// pages spilled and read back, the output page that may not be given up,
// and spill-file failures that fail the block cleanly.
#include "tests/mszip/test_data.h"
#include "tests/quantum/quantum_harness.h"
#include "tools/cabwriter/quantum_encoder.h"

#include <gtest/gtest.h>

namespace {

using namespace qharness;
using cabwriter::QuantumEncoder;

class QuantumPagedStore : public ::testing::Test {
protected:
    void SetUp() override { resetEnvironment(); }
    void TearDown() override { resetEnvironment(); }
};

struct Folder {
    std::vector<Bytes> blocks;
    std::vector<uint32_t> sizes;
    Bytes data;
};

Folder encode(uint32_t bits, const Bytes& data, uint32_t blockSize = 32768) {
    QuantumEncoder encoder(bits);
    Folder folder;
    folder.data = data;
    for (size_t start = 0; start < data.size(); start += blockSize) {
        const size_t size = std::min<size_t>(blockSize, data.size() - start);
        folder.blocks.push_back(encoder.encodeBlock(data.data() + start, size));
        folder.sizes.push_back(uint32_t(size));
    }
    return folder;
}

// Decodes the folder; the index of the first failing block, or -1.
int decodeAll(Instance& instance, const Folder& folder, Bytes* out = nullptr) {
    for (size_t k = 0; k < folder.blocks.size(); ++k) {
        if (instance.decode(folder.blocks[k], folder.sizes[k]) != CodecOk) return int(k);
        if (out) out->insert(out->end(), instance.output.begin(), instance.output.end());
    }
    return -1;
}

// A 64 KB window over 300 KB of text with long-range repeats: the output
// wraps round the window several times and matches reach far back.
Bytes farReachingText() {
    Bytes data = test_data::make(test_data::Kind::Text, 100000, 21);
    const Bytes again(data.begin(), data.begin() + 60000);
    for (int k = 0; k < 3; ++k) {
        data.insert(data.end(), again.begin(), again.end());
        const Bytes noise = test_data::make(test_data::Kind::Random, 7000, 30 + k);
        data.insert(data.end(), noise.begin(), noise.end());
    }
    return data;
}

TEST_F(QuantumPagedStore, SpillFileIsRequestedAsStarWithTheWindowSize) {
    Instance instance(21, 0);
    ASSERT_EQ(instance.createResult, CodecOk);
    EXPECT_EQ(spill.opens, 1);
    EXPECT_EQ(spill.requestedSize, 2097152u);
    EXPECT_EQ(spill.flags, 0x8102);
    EXPECT_EQ(spill.mode, 0x180);
}

TEST_F(QuantumPagedStore, AWholeWindowOfBuffersNeverTouchesTheSpillFile) {
    const Folder folder = encode(21, test_data::make(test_data::Kind::Binary, 2300000, 4));
    Instance instance(21, 0);
    Bytes out;
    EXPECT_EQ(decodeAll(instance, folder, &out), -1);
    EXPECT_TRUE(out == folder.data);
    EXPECT_EQ(spill.reads, 0);
    EXPECT_EQ(spill.writes, 0);
}

TEST_F(QuantumPagedStore, FewBuffersSpillAndReadBackPagesAtTheirOffsets) {
    const Folder folder = encode(16, farReachingText());
    for (int buffers : {3, 4, 9}) {
        spill = {};
        Instance instance(16, buffers);
        ASSERT_EQ(instance.createResult, CodecOk);
        Bytes out;
        EXPECT_EQ(decodeAll(instance, folder, &out), -1) << buffers;
        EXPECT_TRUE(out == folder.data) << buffers;
        EXPECT_GT(spill.writes, 0) << buffers;
        EXPECT_GT(spill.reads, 0) << buffers;
        // Pages live at their own offsets: the file never exceeds the window.
        EXPECT_LE(spill.files.begin()->second.data.size(), 65536u);
    }
}

TEST_F(QuantumPagedStore, BufferAllocationFailingAtTheThirdFailsCreationAtTheFourthWorks) {
    Instance two(16, 2);
    EXPECT_EQ(two.createResult, CodecNoMemory);
    EXPECT_EQ(two.handle, nullptr);
    ASSERT_EQ(spill.files.size(), 1u);
    EXPECT_TRUE(spill.files.begin()->second.closed);

    spill = {};
    Instance three(16, 3);
    ASSERT_EQ(three.createResult, CodecOk);
    const Folder folder = encode(16, test_data::make(test_data::Kind::Text, 150000, 2));
    Bytes out;
    EXPECT_EQ(decodeAll(three, folder, &out), -1);
    EXPECT_TRUE(out == folder.data);
}

TEST_F(QuantumPagedStore, WithoutASpillFileTheWindowCannotBePaged) {
    spill.refuseOpen = true;
    Instance refused(16, 0);
    EXPECT_EQ(refused.createResult, CodecNoMemory);

    CodecParams params{};
    params.windowBits = 16;
    uint32_t block = 0, input = 0;
    void* handle = nullptr;
    allocPolicy.refuseWindow = true;
    EXPECT_EQ(quantumCreate(&block, &params, testAlloc, testFree, &input, &handle, nullptr),
              CodecNoMemory);
    EXPECT_EQ(handle, nullptr);
}

// 12,192 literals, then a match of 200 bytes at distance 8,102: its source
// covers pages 0 and 1, its output crosses from page 2 into page 3.
Bytes threeBufferExample(Bytes* expected) {
    QuantumEncoder encoder(14);
    const Bytes text = test_data::make(test_data::Kind::Random, 12192, 8);
    for (uint8_t byte : text) encoder.literal(byte);
    encoder.match(200, 8102);
    *expected = encoder.history();
    return encoder.finishBlock();
}

TEST_F(QuantumPagedStore, ThreeBuffersCannotGiveUpTheOutputPageFourCan) {
    Bytes expected;
    const Bytes block = threeBufferExample(&expected);
    Instance three(14, 3);
    EXPECT_EQ(three.decode(block, 12392), CodecBadData);
    Instance four(14, 4);
    EXPECT_EQ(four.decode(block, 12392), CodecOk);
    EXPECT_EQ(four.output, expected);
    Instance memory(14);
    EXPECT_EQ(memory.decode(block, 12392), CodecOk);
    EXPECT_EQ(memory.output, expected);
}

TEST_F(QuantumPagedStore, SpillFileFailuresFailTheBlockAndAResetRecovers) {
    const Folder folder = encode(16, farReachingText());
    struct Fault {
        const char* name;
        bool SpillFiles::*flag;
    } faults[] = {{"seek", &SpillFiles::failSeek},       {"read", &SpillFiles::failRead},
                  {"write", &SpillFiles::failWrite},     {"short read", &SpillFiles::shortRead},
                  {"short write", &SpillFiles::shortWrite}};
    for (const Fault& fault : faults) {
        spill = {};
        Instance instance(16, 4);
        ASSERT_EQ(instance.createResult, CodecOk);
        spill.*fault.flag = true;
        const int failedAt = decodeAll(instance, folder);
        EXPECT_NE(failedAt, -1) << fault.name;
        if (fault.flag == &SpillFiles::failWrite) {
            // The block fails as the first page cannot be saved, before any
            // page would have to be read back.
            EXPECT_EQ(spill.reads, 0);
        }
        // The store is not used again before a reset, even if asked.
        EXPECT_EQ(instance.decode(folder.blocks[0], folder.sizes[0]), CodecBadData)
            << fault.name;
        spill.*fault.flag = false;
        ASSERT_EQ(instance.reset(), CodecOk);
        Bytes out;
        EXPECT_EQ(decodeAll(instance, folder, &out), -1) << fault.name;
        EXPECT_TRUE(out == folder.data) << fault.name;
    }
}

TEST_F(QuantumPagedStore, AfterAPageFailureNothingMoreIsWrittenUntilReset) {
    // Three buffers over a 16 KB window: the output reaching page 3 must
    // push page 0 out, and that write fails. The output page is then full;
    // a further block must not write past it.
    QuantumEncoder encoder(14);
    for (int k = 0; k < 12300; ++k) encoder.literal(uint8_t(k * 7));
    const Bytes first = encoder.finishBlock();
    for (int k = 0; k < 50; ++k) encoder.literal(uint8_t(k));
    const Bytes second = encoder.finishBlock();
    Instance instance(14, 3);
    spill.failWrite = true;
    EXPECT_EQ(instance.decode(first, 12300), CodecBadData);
    EXPECT_EQ(instance.decode(second, 50), CodecBadData);
    EXPECT_EQ(instance.output[0], 0xEE);  // nothing decoded
}

TEST_F(QuantumPagedStore, AfterResetNothingIsReadFromTheSpillFile) {
    const Folder folder = encode(16, farReachingText());
    Instance instance(16, 4);
    EXPECT_EQ(decodeAll(instance, folder), -1);
    ASSERT_GT(spill.writes, 0);
    ASSERT_EQ(instance.reset(), CodecOk);
    const int readsBefore = spill.reads;
    // A short folder that stays within the first pages.
    const Folder small = encode(16, test_data::make(test_data::Kind::Text, 9000, 3));
    Bytes out;
    EXPECT_EQ(decodeAll(instance, small, &out), -1);
    EXPECT_TRUE(out == small.data);
    EXPECT_EQ(spill.reads, readsBefore);
}

}  // namespace
