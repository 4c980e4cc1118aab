// Folders made by the test encoder decode byte for byte: every window size,
// every block type forced or chosen per block, blocks spanning frames and
// frames holding several blocks, the call translation, folders several
// windows long, several folders on one instance with a reset between, and
// the encoder's lazy parse.
#include "tests/lzx/codec_harness.h"
#include "tests/support/sample_data.h"

#include <gtest/gtest.h>

namespace {

using sample_data::Kind;
using lzxenc::BlockKind;
using lzxtest::Bytes;

Bytes mixed(size_t size, uint32_t seed) {
    Bytes data;
    const Kind kinds[] = {Kind::Text, Kind::X86, Kind::Random, Kind::Runs, Kind::Binary};
    for (size_t part = 0; data.size() < size; ++part) {
        Bytes piece = sample_data::make(kinds[part % 5], 20000 + 7919 * (part % 3), seed + uint32_t(part));
        data.insert(data.end(), piece.begin(), piece.end());
    }
    data.resize(size);
    return data;
}

void expectRoundTrip(const Bytes& data, const lzxenc::Options& options, const std::string& what) {
    auto frames = lzxenc::encode(data.data(), data.size(), options);
    lzxtest::Instance codec(options.windowBits);
    ASSERT_EQ(codec.createResult(), CodecOk);
    Bytes out;
    size_t failed = 0;
    ASSERT_TRUE(lzxtest::decodeFolder(codec, frames, out, &failed)) << what << ": frame " << failed;
    ASSERT_EQ(out.size(), data.size()) << what;
    size_t firstDiff = 0;
    while (firstDiff < out.size() && out[firstDiff] == data[firstDiff]) ++firstDiff;
    EXPECT_EQ(firstDiff, data.size()) << what << ": first difference";
}

TEST(LzxRoundTrip, EveryWindowSizeWithEveryKindOfData) {
    for (int bits = 15; bits <= 21; ++bits) {
        for (Kind kind : {Kind::Text, Kind::X86, Kind::Random, Kind::Runs, Kind::Binary}) {
            lzxenc::Options options;
            options.windowBits = bits;
            options.translationSize = kind == Kind::X86 ? 12000000 : 0;
            expectRoundTrip(sample_data::make(kind, 100000 + 333 * bits, uint32_t(bits)), options,
                            std::string(sample_data::name(kind)) + " window " + std::to_string(bits));
        }
    }
}

TEST(LzxRoundTrip, ForcedBlockTypesWithBlocksSpanningAndSharingFrames) {
    const Bytes data = mixed(300000, 5);
    const std::vector<std::vector<BlockKind>> cycles = {
        {BlockKind::Verbatim}, {BlockKind::Aligned}, {BlockKind::Uncompressed},
        {BlockKind::Verbatim, BlockKind::Uncompressed, BlockKind::Aligned}};
    // Block sizes below, at and above a frame; odd sizes put the pad byte of
    // uncompressed blocks anywhere, including the start of the next frame.
    for (uint32_t blockSize : {777u, 32768u, 32767u, 50001u, 131071u}) {
        for (size_t c = 0; c < cycles.size(); ++c) {
            lzxenc::Options options;
            options.windowBits = 17;
            options.blockKinds = cycles[c];
            options.blockSize = blockSize;
            expectRoundTrip(data, options,
                            "block size " + std::to_string(blockSize) + " cycle " + std::to_string(c));
        }
    }
}

TEST(LzxRoundTrip, FoldersSeveralWindowsLongWrapTheWindow) {
    // Repeats far back in the window and across its end.
    Bytes data = mixed(200000, 9);
    Bytes again(data.begin(), data.begin() + 150000);
    data.insert(data.end(), again.begin(), again.end());
    for (int bits : {15, 16}) {
        lzxenc::Options options;
        options.windowBits = bits;
        options.maxChain = 64;
        expectRoundTrip(data, options, "window " + std::to_string(bits));
    }
}

TEST(LzxRoundTrip, CallTranslationOnAndOffWithEveryFrameSizeNearTheEnd) {
    for (size_t size : {5u, 6u, 7u, 11u, 32768u + 7u, 3u * 32768u - 1u}) {
        Bytes data(size, 0xE8);  // an opcode at every position
        for (size_t i = 0; i < size; i += 3) data[i] = uint8_t(i);
        for (uint32_t translation : {0u, 1u, 65536u, 0x7FFFFFFFu}) {
            lzxenc::Options options;
            options.translationSize = translation;
            options.sendTranslationSize = true;
            options.maxChain = 0;
            expectRoundTrip(data, options,
                            "size " + std::to_string(size) + " translation " + std::to_string(translation));
        }
    }
    lzxenc::Options options;
    options.translationSize = 12000000;
    expectRoundTrip(sample_data::make(Kind::X86, 400000, 3), options, "x86 code");
}

TEST(LzxRoundTrip, TreesSentWithoutRunsOrWithOnlySomeRunSymbols) {
    const Bytes data = mixed(120000, 11);
    for (bool zeroRuns : {false, true}) {
        for (bool sameRuns : {false, true}) {
            lzxenc::Options options;
            options.lengthCoding = {zeroRuns, sameRuns};
            options.blockSize = 20000;
            expectRoundTrip(data, options,
                            "zero runs " + std::to_string(zeroRuns) + " same runs " + std::to_string(sameRuns));
        }
    }
}

TEST(LzxRoundTrip, LazyParseDecodesAndDiffersFromTheGreedyOne) {
    // At the second "abc" greedy matching takes the 3 bytes; one byte on,
    // "bcdefghijk" repeats 10 bytes, so a lazy parse sends "a" as a literal
    // and then that longer match.
    const std::string crafted = "abc.bcdefghijk.abcdefghijk";
    const Bytes pair(crafted.begin(), crafted.end());
    Bytes wrapping = mixed(150000, 31);
    wrapping.insert(wrapping.end(), wrapping.begin(), wrapping.begin() + 60000);
    struct Case {
        const char* what;
        Bytes data;
        int windowBits;
        uint32_t translationSize;
        int maxChain;
        std::vector<BlockKind> blockKinds;  // the crafted bytes are too few to be worth trees
    };
    const Case cases[] = {
        {"crafted", pair, 15, 0, 128, {BlockKind::Verbatim}},
        {"text", sample_data::make(Kind::Text, 200000, 4), 16, 0, 128, {}},
        {"x86 code", sample_data::make(Kind::X86, 200000, 4), 21, 12000000, 128, {}},
        {"mixed, short chain, aligned blocks", mixed(150000, 8), 17, 0, 3, {BlockKind::Aligned}},
        {"mixed past the window's end", wrapping, 15, 0, 128, {}},
    };
    for (const Case& c : cases) {
        lzxenc::Options options;
        options.windowBits = c.windowBits;
        options.translationSize = c.translationSize;
        options.maxChain = c.maxChain;
        options.blockKinds = c.blockKinds;
        lzxenc::ParseCounts greedyCounts, lazyCounts;
        const auto greedy = lzxenc::encode(c.data.data(), c.data.size(), options, &greedyCounts);
        options.lazy = true;
        const auto lazy = lzxenc::encode(c.data.data(), c.data.size(), options, &lazyCounts);
        expectRoundTrip(c.data, options, c.what);
        // Both parses code every byte; the lazy one puts off some matches.
        bool framesDiffer = greedy.size() != lazy.size();
        for (size_t f = 0; !framesDiffer && f < greedy.size(); ++f) {
            framesDiffer = greedy[f].data != lazy[f].data;
        }
        EXPECT_TRUE(framesDiffer) << c.what;
        EXPECT_NE(lazyCounts.matches, greedyCounts.matches) << c.what;
    }
}

TEST(LzxRoundTrip, ResetStartsEachFolderAfreshOnOneInstance) {
    lzxtest::Instance codec(16);
    ASSERT_EQ(codec.createResult(), CodecOk);
    for (uint32_t folder = 0; folder < 4; ++folder) {
        Bytes data = mixed(70000 + 1000 * folder, 20 + folder);
        lzxenc::Options options;
        options.translationSize = folder % 2 ? 5000000 : 0;
        auto frames = lzxenc::encode(data.data(), data.size(), options);
        ASSERT_EQ(codec.reset(), CodecOk);
        Bytes out;
        ASSERT_TRUE(lzxtest::decodeFolder(codec, frames, out)) << "folder " << folder;
        EXPECT_TRUE(out == data) << "folder " << folder;
    }
}

}  // namespace
