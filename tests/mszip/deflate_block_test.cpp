// Deflate blocks decoded through the codec: stored, fixed and dynamic
// blocks, their failure conditions, matches, output limits and the history
// ring.
#include "tests/mszip/codec_harness.h"
#include "tests/mszip/deflate_writer.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using deflate_writer::BitWriter;
using deflate_writer::DynamicBlock;
using deflate_writer::LengthItem;
using deflate_writer::Token;
using harness::Bytes;

Bytes bytesOf(const std::string& s) { return Bytes(s.begin(), s.end()); }

Bytes fixedBlock(const std::vector<Token>& tokens) {
    BitWriter out;
    deflate_writer::fixedBlock(out, true, tokens);
    return out.mszipBlock();
}

TEST(DeflateBlocks, SmallFixedAndStoredBlocks) {
    harness::Mszip codec;
    const Bytes abc = bytesOf("abc");
    ASSERT_EQ(codec.decode({0x43, 0x4B, 0x4B, 0x4C, 0x4A, 0x06, 0x00}), CodecOk);
    EXPECT_EQ(codec.output(), abc);
    // The end-of-block code is all zeros: the missing byte reads as zeros.
    ASSERT_EQ(codec.decode({0x43, 0x4B, 0x4B, 0x4C, 0x4A, 0x06}), CodecOk);
    EXPECT_EQ(codec.output(), abc);
    // Input after the last block is ignored.
    ASSERT_EQ(codec.decode({0x43, 0x4B, 0x4B, 0x4C, 0x4A, 0x06, 0x00, 0xFF, 0xFF, 0xFF}), CodecOk);
    EXPECT_EQ(codec.output(), abc);
    ASSERT_EQ(codec.decode({0x43, 0x4B, 0x01, 0x03, 0x00, 0xFC, 0xFF, 0x61, 0x62, 0x63}), CodecOk);
    EXPECT_EQ(codec.output(), abc);
    // Nothing after "CK" reads as a stored block whose length check fails.
    EXPECT_EQ(codec.decode({0x43, 0x4B}), CodecBadData);
}

TEST(DeflateBlocks, StoredBlockRules) {
    harness::Mszip codec;
    // Not last, with the header byte's other five bits set (they are
    // skipped); LEN 5; then an empty stored block and a stored last block.
    Bytes block{'C', 'K', 0xF8, 0x05, 0x00, 0xFA, 0xFF, 'h', 'e', 'l', 'l', 'o',
                0x00, 0x00, 0x00, 0xFF, 0xFF,
                0x01, 0x02, 0x00, 0xFD, 0xFF, '!', '?'};
    ASSERT_EQ(codec.decode(block), CodecOk);
    EXPECT_EQ(codec.output(), bytesOf("hello!?"));

    block[5] = 0xFB;  // NLEN is not the complement of LEN
    EXPECT_EQ(codec.decode(block), CodecBadData);

    // A LEN beyond the bytes left is damaged data when the output needs the
    // missing bytes; when the output limit is reached inside the input, the
    // call succeeds with the limit, as for any block the limit cuts.
    Bytes truncated{'C', 'K', 0x01, 0x0A, 0x00, 0xF5, 0xFF, 'a', 'b', 'c', 'd'};
    EXPECT_EQ(codec.decode(truncated), CodecBadData);
    EXPECT_EQ(codec.decode(truncated, 5), CodecBadData);
    ASSERT_EQ(codec.decode(truncated, 2), CodecOk);
    EXPECT_EQ(codec.output(), bytesOf("ab"));
    ASSERT_EQ(codec.decode(truncated, 4), CodecOk);
    EXPECT_EQ(codec.output(), bytesOf("abcd"));
    truncated[2] = 0x00;  // not last
    EXPECT_EQ(codec.decode(truncated), CodecBadData);
    truncated[3] = 0x04;  // LEN 4 fits exactly
    truncated[5] = 0xFB;
    truncated[2] = 0x01;
    ASSERT_EQ(codec.decode(truncated), CodecOk);
    EXPECT_EQ(codec.output(), bytesOf("abcd"));
}

TEST(DeflateBlocks, FixedCodesWithoutMeaningFailTheBlock) {
    harness::Mszip codec;
    BitWriter symbol286;
    symbol286.bits(1, 1);
    symbol286.bits(1, 2);
    deflate_writer::fixedSymbol(symbol286, 'a');
    deflate_writer::fixedSymbol(symbol286, 286);
    EXPECT_EQ(codec.decode(symbol286.mszipBlock()), CodecBadData);

    BitWriter distance30;
    distance30.bits(1, 1);
    distance30.bits(1, 2);
    deflate_writer::fixedSymbol(distance30, 'a');
    deflate_writer::fixedSymbol(distance30, 257);
    distance30.code(30, 5);
    EXPECT_EQ(codec.decode(distance30.mszipBlock()), CodecBadData);

    BitWriter type3;
    type3.bits(1, 1);
    type3.bits(3, 2);
    EXPECT_EQ(codec.decode(type3.mszipBlock()), CodecBadData);
}

TEST(DeflateBlocks, MatchesAndTheOutputLimit) {
    harness::Mszip codec;
    ASSERT_EQ(codec.decode(fixedBlock({{'a'}, {258, 1}})), CodecOk);
    EXPECT_EQ(codec.output(), Bytes(259, 'a'));

    // Overlapping copies at every short distance, and chunked ones.
    std::vector<Token> tokens;
    std::string expected;
    for (uint32_t distance = 1; distance <= 20; ++distance) {
        for (uint32_t i = 0; i < distance; ++i) {
            tokens.push_back({uint32_t('a' + (i + distance) % 26)});
            expected += char('a' + (i + distance) % 26);
        }
        for (uint32_t length : {3u, 7u, 8u, 9u, 17u, 100u}) {
            tokens.push_back({length, distance});
            for (uint32_t i = 0; i < length; ++i) expected += expected[expected.size() - distance];
        }
    }
    ASSERT_EQ(codec.decode(fixedBlock(tokens)), CodecOk);
    EXPECT_EQ(codec.output(), bytesOf(expected));

    // A copy that would pass the limit stops exactly there.
    ASSERT_EQ(codec.decode(fixedBlock({{'a'}, {'b'}, {'c'}, {'d'}, {10, 4}}), 7), CodecOk);
    EXPECT_EQ(codec.output(), bytesOf("abcdabc"));
    ASSERT_EQ(codec.decode(fixedBlock({{'x'}, {258, 1}, {258, 1}}), 300), CodecOk);
    EXPECT_EQ(codec.output(), Bytes(300, 'x'));
}

TEST(DeflateBlocks, ReferencesReachThePreviousBlockThroughTheRing) {
    harness::Mszip codec;
    Bytes previous(32768);
    for (size_t i = 0; i < previous.size(); ++i) previous[i] = uint8_t(i * 31 + i / 256);
    Bytes stored{'C', 'K', 0x01, 0x00, 0x80, 0xFF, 0x7F};
    stored.insert(stored.end(), previous.begin(), previous.end());
    ASSERT_EQ(codec.decode(stored), CodecOk);

    // Distance 100 at the start reads offsets 32,668..32,670; distance 10
    // after 5 bytes reads 32,763..32,767 and wraps to this block's start.
    ASSERT_EQ(codec.decode(fixedBlock({{3, 100}, {'p'}, {'q'}, {20, 10}, {4, 32768}})), CodecOk);
    Bytes expected(previous.begin() + 32668, previous.begin() + 32671);
    expected.push_back('p');
    expected.push_back('q');
    for (size_t i = 0; i < 20; ++i) {
        size_t from = expected.size() + 32768 - 10;
        expected.push_back(from >= 32768 ? expected[from - 32768] : previous[from]);
    }
    for (size_t i = 0; i < 4; ++i) expected.push_back(previous[expected.size()]);
    EXPECT_EQ(codec.output(), expected);

    // A caller that hands over a smaller buffer bounds the ring to it.
    harness::Mszip small(4096);
    Bytes smallPrevious(4096, 0);
    smallPrevious[4000] = 'r';
    ASSERT_EQ(small.primeHistory(smallPrevious), CodecOk);
    ASSERT_EQ(small.decode(fixedBlock({{3, 96}}), 4096), CodecOk);
    EXPECT_EQ(small.output(), bytesOf(std::string("r\0\0", 3)));
    EXPECT_EQ(small.decode(fixedBlock({{3, 5000}}), 4096), CodecBadData);
}

// Literal/length code where only `used` symbols have length 1 or more.
std::vector<uint32_t> lengthsFor(std::initializer_list<std::pair<uint32_t, uint32_t>> symbols,
                                 size_t count) {
    std::vector<uint32_t> lengths(count, 0);
    for (auto [symbol, length] : symbols) lengths[symbol] = length;
    return lengths;
}

TEST(DeflateBlocks, CodeLengthRepeatsAndTheirLimits) {
    harness::Mszip codec;
    // Only 'a' and 'b' have codes (no end-of-block: the output limit ends
    // the call). A leading 16 repeats length 0; the last 18 ends exactly at
    // the end of the 286 + 30 lengths.
    auto block = [](uint32_t secondRun) {
        BitWriter out;
        std::vector<LengthItem> items = {{16, 0},   {18, 94 - 11}, {1}, {1},
                                         {18, secondRun - 11}, {18, 127}};
        DynamicBlock b(out, true, lengthsFor({{'a', 1}, {'b', 1}}, 286), std::vector<uint32_t>(30),
                       items);
        for (int i = 0; i < 3; ++i) {
            b.literal('a');
            b.literal('b');
        }
        return out.mszipBlock();
    };
    ASSERT_EQ(codec.decode(block(79), 5), CodecOk);
    EXPECT_EQ(codec.output(), bytesOf("ababa"));
    EXPECT_EQ(codec.decode(block(80), 5), CodecBadData);  // the last run passes the end

    // HLIT 287 or HDIST 31 are refused.
    for (auto [hlit, hdist] : {std::pair{30u, 0u}, std::pair{0u, 30u}}) {
        BitWriter out;
        out.bits(1, 1);
        out.bits(2, 2);
        out.bits(hlit, 5);
        out.bits(hdist, 5);
        out.bits(15, 4);
        for (int i = 0; i < 19; ++i) out.bits(5, 3);
        EXPECT_EQ(codec.decode(out.mszipBlock()), CodecBadData);
    }
}

TEST(DeflateBlocks, OneCodeAndEmptyDistanceCodes) {
    harness::Mszip codec;
    auto literals = lengthsFor({{'a', 1}, {256, 2}, {257, 2}}, 258);
    {
        BitWriter out;
        DynamicBlock b(out, true, literals, {1});  // one distance code: 0 (distance 1)
        b.literal('a');
        b.match(3, 1);
        b.end();
        ASSERT_EQ(codec.decode(out.mszipBlock()), CodecOk);
        EXPECT_EQ(codec.output(), bytesOf("aaaa"));
    }
    {
        BitWriter out;
        DynamicBlock b(out, true, literals, {1});
        b.literal('a');
        b.symbol(257);
        out.bits(1, 1);  // the distance code's unused pattern
        EXPECT_EQ(codec.decode(out.mszipBlock()), CodecBadData);
    }
    {
        BitWriter out;
        DynamicBlock b(out, true, literals, {0});  // no distance codes at all
        b.literal('a');
        b.literal('a');
        b.end();
        ASSERT_EQ(codec.decode(out.mszipBlock()), CodecOk);
        EXPECT_EQ(codec.output(), bytesOf("aa"));
    }
    {
        BitWriter out;
        DynamicBlock b(out, true, literals, {0});
        b.literal('a');
        b.symbol(257);  // a length with no distance code to follow
        EXPECT_EQ(codec.decode(out.mszipBlock()), CodecBadData);
    }
}

TEST(DeflateBlocks, ExtremeCodesDecodeInsideRealBlocks) {
    // A literal/length code that needs 848 table slots and a distance code
    // that needs 154: every symbol and every distance code is used.
    std::vector<uint32_t> literal =
        deflate_writer::lengthsFromCounts({0, 1, 1, 1, 0, 1, 0, 1, 0, 0, 25, 65, 72, 82, 35, 2}, 286);
    std::vector<uint32_t> distance =
        deflate_writer::lengthsFromCounts({0, 1, 1, 1, 0, 0, 0, 13, 5, 1, 1, 1, 0, 3, 1, 2}, 30);
    std::reverse(literal.begin(), literal.end());  // longest codes on the literals
    BitWriter out;
    DynamicBlock b(out, true, literal, distance);
    Bytes expected;
    for (uint32_t byte = 0; byte < 256; ++byte) {
        b.literal(uint8_t(byte));
        expected.push_back(uint8_t(byte));
    }
    auto match = [&](uint32_t length, uint32_t dist) {
        b.match(length, dist);
        for (uint32_t i = 0; i < length; ++i) expected.push_back(expected[expected.size() - dist]);
    };
    while (expected.size() < 28000) match(258, 256);
    for (uint32_t s = 0; s < 29; ++s) {
        match(rfc1951::kLengths[s].base + (1u << rfc1951::kLengths[s].extraBits) / 2, 1 + s);
    }
    for (const rfc1951::Code& code : rfc1951::kDistances) {
        match(5, code.base + ((1u << code.extraBits) - 1) / 3);
    }
    b.end();
    ASSERT_LE(expected.size(), 32768u);
    harness::Mszip codec;
    ASSERT_EQ(codec.decode(out.mszipBlock()), CodecOk);
    EXPECT_EQ(codec.output(), expected);
}

}  // namespace
