// The codec against the plain reference decoder, block by block: the same
// verdict and the same bytes for sound folders, for matches of every length
// near the window's end and at short distances, and for damaged and random
// input, where every failure must strike at the same item.
#include "tests/mszip/test_data.h"
#include "tests/quantum/encoded_folder.h"
#include "tests/quantum/quantum_harness.h"
#include "tests/quantum/reference_decoder.h"
#include "tools/cabwriter/quantum_encoder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

namespace {

using namespace qharness;
using cabwriter::QuantumEncoder;
using test_data::Kind;

class QuantumAgainstReference : public ::testing::Test {
protected:
    void SetUp() override { resetEnvironment(); }
};

// Decodes the blocks with both decoders and counts the blocks on which they
// disagree (verdict or any byte of the output buffer). After a failed block
// both are reset, as the cabinet decoder restarts a folder.
int disagreements(uint32_t windowBits, int storage, const std::vector<Block>& blocks,
                  int* failures = nullptr) {
    Instance codec(windowBits, storage);
    EXPECT_EQ(codec.createResult, CodecOk);
    qreference::Decoder reference(windowBits);
    int differ = 0;
    for (size_t k = 0; k < blocks.size(); ++k) {
        const Block& block = blocks[k];
        const int result = codec.decode(block.data, block.size);
        Bytes expected(block.size, 0xEE);
        const bool good =
            reference.decodeBlock(block.data.data(), uint32_t(block.data.size()), expected.data(),
                                  block.size);
        if ((result == CodecOk) != good || codec.output != expected) {
            ++differ;
            ADD_FAILURE() << "block " << k << ": codec " << result << ", reference "
                          << (good ? "good" : "failed");
        }
        if (!good) {
            if (failures != nullptr) ++*failures;
            codec.reset();
            reference.reset();
        }
    }
    return differ;
}

std::vector<Block> encodeFolder(uint32_t windowBits, const Bytes& data,
                                const std::vector<uint32_t>& sizes) {
    QuantumEncoder encoder(windowBits);
    return qharness::encodeFolder(encoder, data, sizes);
}

TEST_F(QuantumAgainstReference, SoundFoldersOfEveryKindInBothWindows) {
    for (uint32_t bits : {10u, 13u, 17u, 21u}) {
        for (Kind kind : {Kind::Text, Kind::Binary, Kind::X86, Kind::Skewed, Kind::Runs}) {
            SCOPED_TRACE(test_data::name(kind));
            const Bytes data = test_data::make(kind, 120000, bits);
            const std::vector<Block> blocks = encodeFolder(bits, data, {32768, 999, 20000});
            EXPECT_EQ(disagreements(bits, -1, blocks), 0) << bits;
            EXPECT_EQ(disagreements(bits, 4, blocks), 0) << bits;
        }
    }
}

TEST_F(QuantumAgainstReference, MatchesOfEveryLengthAtShortAndWindowLongDistances) {
    // Distances 1 to 17 put the source just behind the target, where a word
    // copy would read bytes not yet written; distances near the window size
    // put it just ahead, or across the window's end, as the output nears it.
    const uint32_t bits = 10, window = 1u << bits;
    QuantumEncoder encoder(bits);
    std::mt19937 random(5);
    uint32_t owed = 0;
    for (uint32_t k = 0; k < window; ++k, ++owed) encoder.literal(uint8_t(random()));
    std::vector<Block> blocks;
    for (uint32_t length = 3; length <= 259; ++length) {
        for (uint32_t distance : {1u, 2u, 3u, 5u, 7u, 8u, 9u, 16u, 17u, length, length + 1,
                                  window - length, window - 9, window - 1, window}) {
            if (owed + length > 30000) {
                blocks.push_back({encoder.finishBlock(), owed});
                owed = 0;
            }
            encoder.match(length, std::min(distance, encoder.maxDistance(length)));
            encoder.literal(uint8_t(random()));
            owed += length + 1;
        }
    }
    blocks.push_back({encoder.finishBlock(), owed});
    EXPECT_EQ(disagreements(bits, -1, blocks), 0);
    EXPECT_EQ(disagreements(bits, 3, blocks), 0);
}

TEST_F(QuantumAgainstReference, DamagedAndCutBlocksFailAlikeAndOutputAlike) {
    const Bytes data = test_data::make(Kind::Binary, 200000, 9);
    std::mt19937 random(77);
    for (uint32_t bits : {10u, 15u, 21u}) {
        const std::vector<Block> sound = encodeFolder(bits, data, {32768, 5000});
        std::vector<Block> damaged;
        for (const Block& block : sound) {
            Block copy = block;
            switch (random() % 4) {
                case 0: copy.data[random() % copy.data.size()] ^= uint8_t(1u << (random() % 8)); break;
                case 1: copy.data.resize(random() % copy.data.size()); break;
                case 2: copy.size = std::min<uint32_t>(32768, copy.size + 1 + random() % 50); break;
                default: break;
            }
            damaged.push_back(copy);
        }
        int failures = 0;
        EXPECT_EQ(disagreements(bits, -1, damaged, &failures), 0) << bits;
        EXPECT_GT(failures, 0);
    }
}

TEST_F(QuantumAgainstReference, RandomBytesDecodeAlike) {
    // Random input reaches every symbol, frequent rescales and rebuilds,
    // distances before the folder's start and long runs of raw bits; short
    // blocks run out of input at every possible point.
    std::mt19937 random(2024);
    for (uint32_t bits : {10u, 11u, 16u, 21u}) {
        std::vector<Block> blocks;
        for (int k = 0; k < 60; ++k) {
            Block block;
            block.data.resize(k % 3 == 0 ? random() % 40 : 200 + random() % 6000);
            for (uint8_t& byte : block.data) byte = uint8_t(random());
            block.size = random() % (k % 2 == 0 ? 300 : 32769);
            blocks.push_back(block);
        }
        int failures = 0;
        EXPECT_EQ(disagreements(bits, -1, blocks, &failures), 0) << bits;
        EXPECT_GT(failures, 0);
    }
}

}  // namespace
