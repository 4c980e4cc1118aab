// Deflate streams made by zlib, the independent reference encoder, decoded
// block by block through one codec instance and one output buffer, with
// references across block boundaries.
#include "tests/mszip/codec_harness.h"
#include "tests/mszip/test_data.h"

#include <gtest/gtest.h>

namespace {

using test_data::Bytes;
using test_data::Kind;

constexpr int kStrategies[] = {Z_DEFAULT_STRATEGY, Z_FILTERED, Z_HUFFMAN_ONLY, Z_RLE, Z_FIXED};

// Decodes the folder's blocks in order and compares each block's output.
void expectFolderDecodes(const Bytes& data, const std::vector<Bytes>& blocks) {
    harness::Mszip codec;
    size_t offset = 0;
    for (size_t i = 0; i < blocks.size(); ++i) {
        ASSERT_LE(blocks[i].size(), 32780u) << "block " << i;
        ASSERT_EQ(codec.decode(blocks[i]), CodecOk) << "block " << i;
        size_t size = std::min<size_t>(32768, data.size() - offset);
        ASSERT_EQ(codec.produced, size) << "block " << i;
        ASSERT_TRUE(std::equal(data.begin() + offset, data.begin() + offset + size,
                               codec.window.begin()))
            << "block " << i;
        offset += size;
    }
}

TEST(ZlibReference, EveryLevelAndStrategyDecodesByteExactly) {
    for (Kind kind : {Kind::Text, Kind::Binary, Kind::Random, Kind::Skewed, Kind::Runs}) {
        const Bytes data = test_data::make(kind, 2 * 32768 + 9000, uint32_t(kind) + 1);
        for (int level = 0; level <= 9; ++level) {
            for (int strategy : kStrategies) {
                SCOPED_TRACE(std::string(test_data::name(kind)) + " level " +
                             std::to_string(level) + " strategy " + std::to_string(strategy));
                expectFolderDecodes(data, test_data::zlibFolder(data, level, strategy));
            }
        }
    }
}

TEST(ZlibReference, EmptyAndOneByteBlocks) {
    const uint8_t byte = 0xA7;
    for (int level = 0; level <= 9; ++level) {
        for (int strategy : kStrategies) {
            harness::Mszip codec;
            ASSERT_EQ(codec.decode(test_data::zlibMszipBlock(&byte, 0, nullptr, 0, level, strategy)),
                      CodecOk);
            EXPECT_EQ(codec.produced, 0u);
            ASSERT_EQ(codec.decode(test_data::zlibMszipBlock(&byte, 1, nullptr, 0, level, strategy)),
                      CodecOk);
            EXPECT_EQ(codec.output(), Bytes{byte});
        }
    }
}

TEST(ZlibReference, LongFoldersAndLongCodes) {
    // Many blocks of mixed content, each leaning on the one before.
    Bytes data;
    for (uint32_t part = 0; part < 24; ++part) {
        Bytes piece = test_data::make(Kind(part % 5), 20000 + part * 1111, part);
        data.insert(data.end(), piece.begin(), piece.end());
    }
    expectFolderDecodes(data, test_data::zlibFolder(data, 6, Z_DEFAULT_STRATEGY));
    expectFolderDecodes(data, test_data::zlibFolder(data, 9, Z_FILTERED));

    // Skewed symbol frequencies at several sizes push the literal code to
    // its 15-bit limit.
    for (size_t size : {300u, 4000u, 32768u}) {
        Bytes skewed = test_data::make(Kind::Skewed, size, uint32_t(size));
        expectFolderDecodes(skewed, test_data::zlibFolder(skewed, 9, Z_HUFFMAN_ONLY));
    }
}

}  // namespace
