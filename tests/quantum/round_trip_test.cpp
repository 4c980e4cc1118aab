// Folders made by the test encoder decode back to their bytes: every window
// size, both window stores, folders several windows long, irregular blocks,
// resets between folders and instances used side by side.
#include "tests/mszip/test_data.h"
#include "tests/quantum/encoded_folder.h"
#include "tests/quantum/quantum_harness.h"
#include "tools/cabwriter/quantum_encoder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>

namespace {

using namespace qharness;
using cabwriter::QuantumEncoder;
using test_data::Kind;

// Decodes every block; the first failing block's index in `failedAt`.
Bytes decodeFolder(Instance& instance, const std::vector<Block>& blocks, int* failedAt) {
    Bytes out;
    *failedAt = -1;
    for (size_t k = 0; k < blocks.size(); ++k) {
        if (instance.decode(blocks[k].data, blocks[k].size) != CodecOk) {
            *failedAt = int(k);
            break;
        }
        out.insert(out.end(), instance.output.begin(), instance.output.end());
    }
    return out;
}

Bytes mixedData(size_t size, uint32_t seed) {
    Bytes data;
    const Kind kinds[] = {Kind::Text, Kind::Binary, Kind::Random, Kind::Runs, Kind::Skewed};
    for (uint32_t k = 0; data.size() < size; ++k) {
        const Bytes part = test_data::make(kinds[k % 5], 3000 + (k * 7919) % 20000, seed + k);
        data.insert(data.end(), part.begin(), part.end());
    }
    data.resize(size);
    return data;
}

class QuantumRoundTrip : public ::testing::Test {
protected:
    void SetUp() override { resetEnvironment(); }
};

// Storage: -1 one-piece window, 0 a paged window with every buffer it asks
// for, n > 0 a paged window of n buffers.
void expectRoundTrip(uint32_t windowBits, int storage, const Bytes& data,
                     const std::vector<uint32_t>& sizes) {
    QuantumEncoder encoder(windowBits);
    const std::vector<Block> blocks = encodeFolder(encoder, data, sizes);
    Instance instance(windowBits, storage);
    ASSERT_EQ(instance.createResult, CodecOk);
    int failedAt = 0;
    const Bytes out = decodeFolder(instance, blocks, &failedAt);
    EXPECT_EQ(failedAt, -1) << "window bits " << windowBits << ", storage " << storage;
    EXPECT_TRUE(out == data) << "window bits " << windowBits << ", storage " << storage;
}

TEST_F(QuantumRoundTrip, EveryWindowSizeInMemoryAndPaged) {
    for (uint32_t bits = 10; bits <= 21; ++bits) {
        const uint32_t window = 1u << bits;
        // Several windows long for the small ones; past the window's end for
        // the large ones.
        const size_t size = std::max<size_t>(std::min<size_t>(4 * size_t(window), 600000),
                                             window + window / 4);
        const Bytes data = mixedData(size, bits);
        expectRoundTrip(bits, -1, data, {32768});
        expectRoundTrip(bits, 0, data, {32768});
        // Four buffers: three may legitimately fail a match whose source
        // spans two pages while its output moves on.
        expectRoundTrip(bits, 4, data, {32768});
    }
}

TEST_F(QuantumRoundTrip, SmallWindowsPagedGiveTheInMemoryBytes) {
    // Windows of 1 to 8 KB are smaller than three pages: the output must wrap
    // at the window's end, where the matches' sources do.
    for (uint32_t bits = 10; bits <= 13; ++bits) {
        const Bytes data = test_data::make(Kind::Text, 20 * (1u << bits), bits);
        expectRoundTrip(bits, 3, data, {4000, 32768, 777});
    }
}

TEST_F(QuantumRoundTrip, IrregularBlockSizes) {
    const Bytes data = mixedData(300000, 7);
    const std::vector<uint32_t> sizes = {1, 2, 3, 100, 32768, 7, 5000, 32768, 12345, 4096, 4097};
    for (uint32_t bits : {10u, 15u, 20u}) {
        expectRoundTrip(bits, -1, data, sizes);
        expectRoundTrip(bits, 4, data, sizes);
    }
}

TEST_F(QuantumRoundTrip, EveryKindOfDataAlone) {
    for (Kind kind : {Kind::Text, Kind::Binary, Kind::Random, Kind::Runs, Kind::Skewed}) {
        const Bytes data = test_data::make(kind, 150000, 3);
        SCOPED_TRACE(test_data::name(kind));
        expectRoundTrip(16, -1, data, {32768});
        expectRoundTrip(16, 5, data, {32768});
    }
}

TEST_F(QuantumRoundTrip, ShortMatchesRepeatTheirLastBytes) {
    QuantumEncoder encoder(10);
    encoder.literal('A');
    encoder.match(10, 1);
    encoder.literal('B');
    encoder.literal('C');
    encoder.match(5, 2);
    const Bytes block = encoder.finishBlock();
    for (int storage : {-1, 0}) {
        Instance instance(10, storage);
        ASSERT_EQ(instance.decode(block, 18), CodecOk);
        const std::string text(instance.output.begin(), instance.output.end());
        EXPECT_EQ(text, "AAAAAAAAAAABCBCBCB");
    }
}

TEST_F(QuantumRoundTrip, AMatchLongerThanTheBlockStillOwesFailsIt) {
    QuantumEncoder encoder(12);
    for (char c : std::string("abcdef")) encoder.literal(uint8_t(c));
    encoder.match(20, 6);
    const Bytes block = encoder.finishBlock();
    for (int storage : {-1, 0}) {
        Instance instance(12, storage);
        EXPECT_EQ(instance.decode(block, 26), CodecOk);
        Instance shorter(12, storage);
        EXPECT_EQ(shorter.decode(block, 25), CodecBadData);
        // The literals before the match were output; the match was not.
        EXPECT_EQ(std::string(shorter.output.begin(), shorter.output.begin() + 7),
                  std::string("abcdef\xEE"));
    }
}

TEST_F(QuantumRoundTrip, ResetStartsEachFolderAfresh) {
    const Bytes first = mixedData(90000, 1), second = mixedData(70000, 2);
    for (int storage : {-1, 0, 4}) {
        QuantumEncoder encoder(15);
        const std::vector<Block> a = encodeFolder(encoder, first, {32768});
        encoder.reset();
        const std::vector<Block> b = encodeFolder(encoder, second, {10000});
        Instance instance(15, storage);
        int failedAt = 0;
        EXPECT_EQ(decodeFolder(instance, a, &failedAt), first);
        ASSERT_EQ(instance.reset(), CodecOk);
        EXPECT_EQ(decodeFolder(instance, b, &failedAt), second) << storage;
        EXPECT_EQ(failedAt, -1);
    }
}

// One block of `items`: a byte is a literal, a pair {length, distance} a match.
struct Item {
    uint32_t length;  // 0 for a literal
    uint32_t value;   // the literal, or the match's distance
};
Bytes encodeItems(uint32_t bits, const std::vector<Item>& items) {
    QuantumEncoder encoder(bits);
    for (const Item& item : items) {
        if (item.length == 0) {
            encoder.literal(uint8_t(item.value));
        } else {
            encoder.match(item.length, item.value);
        }
    }
    return encoder.finishBlock();
}

TEST_F(QuantumRoundTrip, AMatchBeforeTheFolderStartFailsInEveryWindowStore) {
    // What lies before a folder's first byte depends on memory and on what
    // was decoded before: the previous folder in a one-piece window, bytes a
    // reused page buffer held, or nothing at all when the folder is the
    // first one decoded. So a match reaching there fails the block in every
    // store, after an earlier folder or without one, while one reaching
    // back exactly to the folder's first byte decodes everywhere.
    const Bytes earlier = mixedData(30000, 9);  // fills 8 pages, spilling with few buffers
    for (uint32_t bits : {10u, 12u, 14u, 16u, 21u}) {
        const uint32_t window = 1u << bits;
        struct Case {
            std::vector<Item> items;
            uint32_t size;
            bool sound;
        };
        const Case cases[] = {
            {{{0, 'A'}, {0, 'B'}, {4, 2}}, 6, true},        // back to the first byte
            {{{0, 'A'}, {0, 'B'}, {4, 3}}, 6, false},       // one byte before it
            {{{5, 5}, {0, 'z'}}, 6, false},                 // a folder opening with a match
            {{{0, 'A'}, {5, window}, {0, 'z'}}, 7, false},  // the whole window back
        };
        QuantumEncoder earlierEncoder(bits);
        const std::vector<Block> earlierBlocks =
            encodeFolder(earlierEncoder, earlier, {32768, 1000});
        for (int storage : {-1, 3, 4, 0}) {
            for (bool earlierFirst : {false, true}) {
                SCOPED_TRACE("window bits " + std::to_string(bits) + ", storage " +
                             std::to_string(storage) + (earlierFirst ? ", after a folder" : ""));
                for (const Case& c : cases) {
                    Instance instance(bits, storage);
                    ASSERT_EQ(instance.createResult, CodecOk);
                    if (earlierFirst) {
                        int failedAt = 0;
                        ASSERT_EQ(decodeFolder(instance, earlierBlocks, &failedAt), earlier);
                        ASSERT_EQ(instance.reset(), CodecOk);
                    }
                    const int result = instance.decode(encodeItems(bits, c.items), c.size);
                    if (c.sound) {
                        ASSERT_EQ(result, CodecOk);
                        EXPECT_EQ(instance.output, (Bytes{'A', 'B', 'A', 'B', 'A', 'B'}));
                    } else {
                        EXPECT_EQ(result, CodecBadData) << "case " << (&c - cases);
                    }
                }
            }
        }
    }
}

TEST_F(QuantumRoundTrip, InstancesUsedSideBySideKeepTheirOwnState) {
    const Bytes textData = test_data::make(Kind::Text, 200000, 11);
    const Bytes binaryData = test_data::make(Kind::Binary, 200000, 12);
    QuantumEncoder textEncoder(16), binaryEncoder(12);
    const std::vector<Block> textBlocks = encodeFolder(textEncoder, textData, {32768});
    const std::vector<Block> binaryBlocks = encodeFolder(binaryEncoder, binaryData, {30000});
    Instance textInstance(16), binaryInstance(12, 3);
    Bytes textOut, binaryOut;
    for (size_t k = 0; k < std::max(textBlocks.size(), binaryBlocks.size()); ++k) {
        if (k < textBlocks.size()) {
            ASSERT_EQ(textInstance.decode(textBlocks[k].data, textBlocks[k].size), CodecOk) << k;
            textOut.insert(textOut.end(), textInstance.output.begin(), textInstance.output.end());
        }
        if (k < binaryBlocks.size()) {
            ASSERT_EQ(binaryInstance.decode(binaryBlocks[k].data, binaryBlocks[k].size), CodecOk);
            binaryOut.insert(binaryOut.end(), binaryInstance.output.begin(),
                             binaryInstance.output.end());
        }
    }
    EXPECT_TRUE(textOut == textData);
    EXPECT_TRUE(binaryOut == binaryData);
}

TEST_F(QuantumRoundTrip, DamagedBlocksFailOrDecodeWithinBounds) {
    // Flipped and cut blocks must never read or write outside their buffers
    // (the sanitizers watch); whatever they give, the instance is then reset
    // and decodes a sound folder again.
    const Bytes data = mixedData(100000, 5);
    std::mt19937 random(99);
    for (int storage : {-1, 3}) {
        QuantumEncoder encoder(13);
        const std::vector<Block> blocks = encodeFolder(encoder, data, {32768});
        Instance instance(13, storage);
        int failures = 0;
        for (int round = 0; round < 40; ++round) {
            Bytes damaged = blocks[round % blocks.size()].data;
            if (round % 2 == 0) {
                damaged[random() % damaged.size()] ^= uint8_t(1 + random() % 255);
            } else {
                damaged.resize(random() % damaged.size());
            }
            if (instance.decode(damaged, blocks[round % blocks.size()].size) != CodecOk) {
                ++failures;
            }
            ASSERT_EQ(instance.reset(), CodecOk);
        }
        EXPECT_GT(failures, 0);
        int failedAt = 0;
        EXPECT_EQ(decodeFolder(instance, blocks, &failedAt), data);
    }
}

}  // namespace
