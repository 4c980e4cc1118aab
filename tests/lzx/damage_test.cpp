// Damaged streams fail the call with CodecBadData and never succeed with
// made-up bytes: bad block types, trees that are not complete codes,
// truncated frames, stored data and headers, and input already used up.
#include "tests/lzx/codec_harness.h"
#include "tests/support/sample_data.h"
#include "tests/lzx/stream_builder.h"

#include <gtest/gtest.h>

namespace {

using lzxtest::Bytes;
using lzxtest::Instance;
using lzxtest::StreamBuilder;

const std::vector<uint8_t> kNoLengths(lzx::kLengthSymbols, 0);

int decodeOnce(const Bytes& stream, uint32_t size, int windowBits = 15) {
    Instance codec(windowBits);
    Bytes out;
    return codec.decompress(stream, size, out);
}

// A 4-byte verbatim block with the given main and length trees, decoded.
int verbatimWith(const std::vector<uint8_t>& main, const std::vector<uint8_t>& length) {
    StreamBuilder s(15);
    s.translation(false);
    s.header(lzx::Verbatim, 4);
    s.trees(main, length);
    s.bits().put(0, 32);
    return decodeOnce(s.finish(), 4);
}

TEST(LzxDamage, BlockTypesOutsideOneToThreeFail) {
    for (uint32_t type : {0u, 4u, 5u, 6u, 7u}) {
        StreamBuilder s(15);
        s.translation(false);
        s.header(type, 10);
        s.bits().put(0, 16);
        EXPECT_EQ(decodeOnce(s.finish(), 10), CodecBadData) << type;
    }
}

TEST(LzxDamage, TreesThatAreNotCompleteCodesFail) {
    std::vector<uint8_t> main(256 + 8 * 30, 0);
    main['a'] = 1;  // one code of length 1: half the code space unused
    EXPECT_EQ(verbatimWith(main, kNoLengths), CodecBadData);
    main['b'] = 1;
    main['c'] = 1;  // three codes of length 1: over-subscribed
    EXPECT_EQ(verbatimWith(main, kNoLengths), CodecBadData);
    main['c'] = 0;
    std::vector<uint8_t> length(lzx::kLengthSymbols, 0);
    length[5] = 2;  // incomplete length tree
    EXPECT_EQ(verbatimWith(main, length), CodecBadData);
    length[6] = 2;
    length[7] = 1;
    // Complete trees decode.
    EXPECT_EQ(verbatimWith(main, length), CodecOk);

    // Aligned tree: two codes of length 3 cover a quarter of the space.
    StreamBuilder s(15);
    s.translation(false);
    s.header(lzx::AlignedOffset, 4);
    s.alignedTree({3, 3, 0, 0, 0, 0, 0, 0});
    s.trees(main, kNoLengths);
    s.bits().put(0, 32);
    EXPECT_EQ(decodeOnce(s.finish(), 4), CodecBadData);

    // A pretree of twenty codes of length 1.
    StreamBuilder p(15);
    p.translation(false);
    p.header(lzx::Verbatim, 4);
    for (int k = 0; k < 20; ++k) p.bits().put(1, 4);
    p.bits().put(0, 32);
    EXPECT_EQ(decodeOnce(p.finish(), 4), CodecBadData);
}

// Aligned-offset blocks over `aligned` lengths, each with a match whose
// offset takes an aligned symbol: 16 literals, then 4 bytes from
// 14 + `alignedSymbol` back.
int alignedMatch(const std::vector<uint8_t>& aligned, uint32_t alignedSymbol, Bytes* out) {
    StreamBuilder s(15);
    s.translation(false);
    s.header(lzx::AlignedOffset, 20);
    s.alignedTree(aligned);
    std::vector<uint32_t> used{256 + 8 * 8 + 2};  // slot 8: three offset bits, all aligned
    for (uint32_t c = 'a'; c < 'a' + 16; ++c) used.push_back(c);
    s.trees(lzxtest::lengthsFor(s.mainSymbols(), used), kNoLengths);
    for (uint32_t c = 'a'; c < 'a' + 16; ++c) s.literal(uint8_t(c));
    s.match(4, 8, alignedSymbol, true);
    Instance codec(15);
    return codec.decompress(s.finish(), 20, *out);
}

TEST(LzxDamage, OverSubscribedTreesFailEvenWhenTheirCodeSpaceWrapsIn16Bits) {
    // Two codes of 1 bit and four of 2 take twice the code space: in 16-bit
    // sums that is 0, like an empty tree. Symbols 0 and 1 could then never
    // be decoded.
    Bytes out;
    const std::vector<std::vector<uint8_t>> overSubscribed = {
        {1, 1, 2, 2, 2, 2, 0, 0}, {1, 1, 1, 1, 0, 0, 0, 0}, {2, 2, 2, 2, 2, 2, 2, 2}};
    for (const std::vector<uint8_t>& lengths : overSubscribed) {
        EXPECT_EQ(alignedMatch(lengths, 2, &out), CodecBadData);
    }
    // Sound aligned trees decode: 16 back from the 17th byte is the first.
    ASSERT_EQ(alignedMatch(std::vector<uint8_t>(8, 3), 2, &out), CodecOk);
    EXPECT_EQ(Bytes(out.end() - 4, out.end()), (Bytes{'a', 'b', 'c', 'd'}));
    ASSERT_EQ(alignedMatch({1, 2, 3, 4, 5, 6, 7, 7}, 2, &out), CodecOk);

    // The same double code space in the main, length and pretree trees.
    const std::vector<uint8_t> soundMain = lzxtest::lengthsFor(256 + 8 * 30, {'a', 'b'});
    std::vector<uint8_t> doubled(256 + 8 * 30, 0);
    for (uint32_t c : {'a', 'b', 'c', 'd'}) doubled[c] = 1;
    EXPECT_EQ(verbatimWith(doubled, kNoLengths), CodecBadData);
    std::vector<uint8_t> length(lzx::kLengthSymbols, 0);
    for (int k = 0; k < 4; ++k) length[k] = 1;
    EXPECT_EQ(verbatimWith(soundMain, length), CodecBadData);
    StreamBuilder p(15);
    p.translation(false);
    p.header(lzx::Verbatim, 4);
    for (int k = 0; k < 20; ++k) p.bits().put(k < 4 ? 1 : 0, 4);
    p.bits().put(0, 32);
    EXPECT_EQ(decodeOnce(p.finish(), 4), CodecBadData);
}

TEST(LzxDamage, TruncatedFramesFail) {
    const Bytes data = sample_data::make(sample_data::Kind::Text, 32768, 1);
    for (auto kind : {lzxenc::BlockKind::Verbatim, lzxenc::BlockKind::Aligned,
                      lzxenc::BlockKind::Uncompressed}) {
        lzxenc::Options options;
        options.blockKinds = {kind};
        auto frames = lzxenc::encode(data.data(), data.size(), options);
        ASSERT_EQ(frames.size(), 1u);
        const Bytes& whole = frames[0].data;
        for (size_t keep : {size_t(0), whole.size() / 4, whole.size() / 2, whole.size() - 64}) {
            EXPECT_EQ(decodeOnce(Bytes(whole.begin(), whole.begin() + long(keep)), 32768, 16),
                      CodecBadData)
                << "kept " << keep << " of " << whole.size();
        }
    }
}

TEST(LzxDamage, StoredBytesAndOffsetsMustAllBeInTheCallsData) {
    // The reader's zero slack behind the data is not part of a block: a
    // stored block short of even one byte fails instead of ending in zeros.
    StreamBuilder s(15);
    s.translation(false);
    Bytes bytes(1000, 'k');
    s.stored(bytes);
    const Bytes stream = s.finish();
    EXPECT_EQ(decodeOnce(stream, 1000), CodecOk);
    EXPECT_EQ(decodeOnce(Bytes(stream.begin(), stream.end() - 1), 1000), CodecBadData);
    // Header, padding and only 8 of the 12 bytes of R0..R2.
    EXPECT_EQ(decodeOnce(Bytes(stream.begin(), stream.begin() + 4 + 8), 0 + 1), CodecBadData);
}

TEST(LzxDamage, InputUsedUpStaysUsedUpUntilReset) {
    // A header whose trees run out of input fails, and so does every later
    // header of the stream, even a sound one: nothing decodes from stale
    // tables. A reset clears it.
    StreamBuilder cut(15);
    cut.translation(false);
    cut.header(lzx::Verbatim, 100);
    Bytes truncated = cut.finish();  // no trees at all
    StreamBuilder good(15);
    good.translation(false);
    good.stored({'o', 'k'});
    const Bytes sound = good.finish();

    Instance codec(15);
    Bytes out;
    EXPECT_EQ(codec.decompress(truncated, 100, out), CodecBadData);
    StreamBuilder next(15);
    next.header(lzx::Verbatim, 2);
    next.trees(lzxtest::lengthsFor(256 + 8 * 30, {'o', 'k'}), kNoLengths);
    next.literal('o');
    next.literal('k');
    EXPECT_EQ(codec.decompress(next.finish(), 2, out), CodecBadData);
    ASSERT_EQ(codec.reset(), CodecOk);
    ASSERT_EQ(codec.decompress(sound, 2, out), CodecOk);
    EXPECT_EQ(out, (Bytes{'o', 'k'}));
}

TEST(LzxDamage, RandomBytesNeverReadOrWriteOutOfBounds) {
    // Under the sanitizers this is the memory check; everywhere it checks
    // that garbage ends in one of the two outcomes a call may have.
    std::mt19937 random(17);
    for (int trial = 0; trial < 300; ++trial) {
        Instance codec(15 + trial % 7);
        for (int frame = 0; frame < 3; ++frame) {
            Bytes in(random() % 3000);
            for (auto& b : in) b = uint8_t(random() >> (trial % 3 == 0 ? 28 : 0));
            Bytes out;
            uint32_t size = random() % 32769;
            int result = codec.decompress(in, size, out);
            ASSERT_TRUE(result == CodecOk || result == CodecBadData);
            if (result == CodecOk) {
                ASSERT_EQ(out.size(), size);
            }
        }
    }
}

}  // namespace
