// Hand-made streams for what an encoder rarely emits: empty trees, 16-bit
// codes, empty blocks, padding of uncompressed blocks, far and wrapping
// distances, matches ending exactly at a frame's end, and runs in the tree
// sections.
#include "tests/lzx/codec_harness.h"
#include "tests/lzx/stream_builder.h"

#include <gtest/gtest.h>

#include <iterator>
#include <string>
#include <utility>

namespace {

using lzxtest::Bytes;
using lzxtest::Instance;
using lzxtest::lengthsFor;
using lzxtest::StreamBuilder;

const std::vector<uint8_t> kNoLengths(lzx::kLengthSymbols, 0);

Bytes pattern(size_t size, uint32_t seed) {
    Bytes b(size);
    for (size_t i = 0; i < size; ++i) b[i] = uint8_t((i * 7 + seed) % 251);
    return b;
}

TEST(LzxStreams, AllZeroTreesDecodeSymbolZeroWithoutConsumingBits) {
    // Main and length trees without codes: every main symbol is literal 0
    // and costs nothing, so the block is all zeros; the next block follows.
    StreamBuilder s(15);
    s.translation(false);
    s.header(lzx::Verbatim, 100);
    s.trees(std::vector<uint8_t>(s.mainSymbols(), 0), kNoLengths);
    s.stored({'o', 'k'});
    Instance codec(15);
    Bytes out;
    ASSERT_EQ(codec.decompress(s.finish(), 102, out), CodecOk);
    Bytes expected(100, 0);
    expected.push_back('o');
    expected.push_back('k');
    EXPECT_EQ(out, expected);
}

TEST(LzxStreams, SixteenBitCodesAndEmptyLengthTree) {
    // Lengths 1, 2, ... 15, 16, 16: the deepest codes walk six overflow nodes
    // past the 10-bit table. A match with header 7 reads the empty length
    // tree as symbol 0 (length 9) without consuming bits.
    StreamBuilder s(16);
    std::vector<uint8_t> main(s.mainSymbols(), 0);
    const uint32_t symbols[17] = {'a', 'b', 'c', 'd', 'e', 'f', 'g', 'h', 'i',
                                  'j', 'k', 'l', 'm', 'n', 'o', 'p', 256 + 8 * 3 + 7};
    for (int k = 0; k < 17; ++k) main[symbols[k]] = uint8_t(k < 16 ? k + 1 : 16);
    s.translation(false);
    s.header(lzx::Verbatim, 16 + 9 + 16);
    s.trees(main, kNoLengths);
    Bytes expected;
    for (int k = 15; k >= 0; --k) {
        s.literal(uint8_t(symbols[k]));
        expected.push_back(uint8_t(symbols[k]));
    }
    s.match(9, 3);  // distance 1, nine copies of 'a'
    expected.insert(expected.end(), 9, 'a');
    for (int k = 0; k < 16; ++k) {
        s.literal(uint8_t(symbols[15 - k]));
        expected.push_back(uint8_t(symbols[15 - k]));
    }
    Instance codec(16);
    Bytes out;
    ASSERT_EQ(codec.decompress(s.finish(), uint32_t(expected.size()), out), CodecOk);
    EXPECT_EQ(out, expected);
}

TEST(LzxStreams, EmptyBlocksOfEveryTypeAreFollowedAtOnce) {
    StreamBuilder s(15);
    s.translation(false);
    s.header(lzx::Verbatim, 0);
    s.trees(lengthsFor(s.mainSymbols(), {'x', 'y'}), kNoLengths);
    s.stored({});
    s.header(lzx::AlignedOffset, 0);
    s.alignedTree(std::vector<uint8_t>(8, 3));
    s.trees(lengthsFor(s.mainSymbols(), {'x', 'y'}), kNoLengths);
    s.header(lzx::Verbatim, 3);
    s.trees(lengthsFor(s.mainSymbols(), {'x', 'y'}), kNoLengths);
    s.literal('x');
    s.literal('y');
    s.literal('x');
    Instance codec(15);
    Bytes out;
    ASSERT_EQ(codec.decompress(s.finish(), 3, out), CodecOk);
    EXPECT_EQ(out, (Bytes{'x', 'y', 'x'}));
}

TEST(LzxStreams, UncompressedHeaderPadsToTheNextWordOrAWholeWord) {
    const Bytes data = pattern(9, 1);
    {
        // Translation bit and header end 4 bits short of a word.
        StreamBuilder s(15);
        s.translation(false);
        s.stored(data, 5, 6, 7);
        Instance codec(15);
        Bytes out;
        ASSERT_EQ(codec.decompress(s.finish(), 9, out), CodecOk);
        EXPECT_EQ(out, data);
    }
    {
        // An empty verbatim block whose trees cost 3 x 80 + 745 bits puts the
        // next header's end exactly on a word boundary: a whole padding word.
        StreamBuilder s(15);
        s.translation(false);
        s.header(lzx::Verbatim, 0);
        s.trees(std::vector<uint8_t>(s.mainSymbols(), 0), kNoLengths, {false, false});
        s.header(lzx::Uncompressed, uint32_t(data.size()));
        s.bits().alignToWord(true);
        s.bits().putLong(1);
        s.bits().putLong(1);
        s.bits().putLong(1);
        s.bits().putBytes(data.data(), data.size());
        Bytes stream = s.finish();
        // 1 + 27 + 985 + 27 bits = 65 whole words, then one word of padding.
        ASSERT_EQ(stream.size(), 2 * 66 + 12 + data.size());
        Instance codec(15);
        Bytes out;
        ASSERT_EQ(codec.decompress(stream, 9, out), CodecOk);
        EXPECT_EQ(out, data);
    }
}

TEST(LzxStreams, OddUncompressedBlockEndingAFrameHasItsPadByteInTheNextFrame) {
    StreamBuilder first(15);
    first.translation(false);
    const Bytes a = pattern(5, 2), b = pattern(32763, 3), c = pattern(4, 4);
    first.stored(a);
    first.stored(b, 1, 1, 1, /*padByte=*/false);
    StreamBuilder second(15);
    second.bits().putByte(0x5A);  // the pad byte of the odd block
    second.stored(c);
    Instance codec(15);
    Bytes out1, out2;
    ASSERT_EQ(codec.decompress(first.finish(), 32768, out1), CodecOk);
    ASSERT_EQ(codec.decompress(second.finish(), 4, out2), CodecOk);
    Bytes expected = a;
    expected.insert(expected.end(), b.begin(), b.end());
    EXPECT_EQ(out1, expected);
    EXPECT_EQ(out2, c);
}

TEST(LzxStreams, FarDistancesReadThePreviousPassAndWrapAcrossTheWindowEnd) {
    // Frame 1 fills the 32 KB window; frame 2 starts a new pass at 0.
    const Bytes fill = pattern(32768, 5);
    StreamBuilder first(15);
    first.translation(false);
    first.stored(fill);
    uint32_t farSlot, farBits, nearSlot, nearBits;
    lzxtest::slotFor(32768 - 3, farSlot, farBits);
    lzxtest::slotFor(13, nearSlot, nearBits);
    StreamBuilder second(15);
    second.header(lzx::Verbatim, 16);
    second.trees(lengthsFor(second.mainSymbols(), {256 + 8 * farSlot + 6, 256 + 8 * nearSlot + 6}),
                 kNoLengths);
    // At 0, distance windowSize - 3: the bytes 3 ahead, left by the previous pass.
    second.match(8, farSlot, farBits);
    // At 8, distance 13: the source starts 5 bytes before the window's end
    // and runs on into the bytes just written at 0.
    second.match(8, nearSlot, nearBits);
    Instance codec(15);
    Bytes out1, out2;
    ASSERT_EQ(codec.decompress(first.finish(), 32768, out1), CodecOk);
    ASSERT_EQ(out1, fill);
    ASSERT_EQ(codec.decompress(second.finish(), 16, out2), CodecOk);
    Bytes expected(fill.begin() + 3, fill.begin() + 11);
    expected.insert(expected.end(), fill.end() - 5, fill.end());
    expected.insert(expected.end(), fill.begin() + 3, fill.begin() + 6);
    EXPECT_EQ(out2, expected);
}

// Repeated offsets from an uncompressed block's header are distances like
// any other, taken modulo the window: 0 and the window's size itself copy
// the bytes one window back (what the destination holds in a window of the
// format's size), and 2 x window + 7 is 7. Decoded after one window of
// output and after two, just past the window's end, so that the first 7
// reaches back across it; by both decoding loops against a byte-by-byte
// copy in a window of the format's size.
TEST(LzxStreams, StoredOffsetsOfWholeWindowsReadOneWindowBackOnceFilled) {
    constexpr uint32_t kWindow = 32768, kMask = kWindow - 1, kAfter = 300;
    const Bytes stored = pattern(4, 9);
    StreamBuilder last(15);
    last.stored(stored, 2 * kWindow + 7, kWindow, 0);
    last.header(lzx::Verbatim, 8 + 8 + 9 + 40 + 8 + kAfter);
    std::vector<uint32_t> used = {256 + 0 * 8 + 6, 256 + 1 * 8 + 6, 256 + 1 * 8 + 7,
                                  256 + 2 * 8 + 6, 256 + 2 * 8 + 7};
    for (uint32_t c = 'a'; c < 'a' + 16; ++c) used.push_back(c);
    last.trees(lengthsFor(last.mainSymbols(), used), lengthsFor(lzx::kLengthSymbols, {0, 31}));
    // {length, slot}, and the distances as the repeated offsets go: R0;
    // R1 (to R0); R2 (to R0); R1 (to R0); R2 (to R0).
    const std::pair<uint32_t, uint32_t> matches[] = {{8, 0}, {8, 1}, {9, 2}, {40, 1}, {8, 2}};
    const uint32_t distances[] = {2 * kWindow + 7, kWindow, 0, 2 * kWindow + 7, kWindow};
    for (const auto& [length, slot] : matches) last.match(length, slot);
    for (uint32_t k = 0; k < kAfter; ++k) last.literal(uint8_t('a' + k % 16));
    const Bytes lastFrame = last.finish();
    const uint32_t lastSize = 4 + 8 + 8 + 9 + 40 + 8 + kAfter;

    for (uint32_t windows : {1u, 2u}) {
        // Whole frames of stored bytes first.
        const Bytes fill = pattern(windows * kWindow, 5);
        std::vector<Bytes> frames;
        for (uint32_t at = 0; at < fill.size(); at += 32768) {
            StreamBuilder s(15);
            if (at == 0) s.translation(false);
            s.stored(Bytes(fill.begin() + at, fill.begin() + at + 32768));
            frames.push_back(s.finish());
        }
        // The format's window, byte by byte: position p of the folder is
        // window byte p modulo its size.
        Bytes window(kWindow);
        uint32_t p = 0;
        for (uint8_t byte : fill) window[p++ & kMask] = byte;
        Bytes expected;
        for (uint8_t byte : stored) expected.push_back(window[p++ & kMask] = byte);
        for (size_t m = 0; m < std::size(matches); ++m) {
            for (uint32_t k = 0; k < matches[m].first; ++k, ++p) {
                expected.push_back(window[p & kMask] = window[(p - distances[m]) & kMask]);
            }
        }
        for (uint32_t k = 0; k < kAfter; ++k) expected.push_back(uint8_t('a' + k % 16));

        for (bool careful : {false, true}) {
            SCOPED_TRACE(std::to_string(windows) + (careful ? " windows, careful loop" : " windows, fast loop"));
            Instance codec(15);
            static_cast<lzx::Handle*>(codec.handle())->decoder->carefulOnly = careful;
            Bytes out;
            for (const Bytes& frame : frames) ASSERT_EQ(codec.decompress(frame, 32768, out), CodecOk);
            ASSERT_EQ(codec.decompress(lastFrame, lastSize, out), CodecOk);
            EXPECT_EQ(out, expected);
        }
    }
}

// A verbatim block of `blockSize` with three literals and then a distance-1
// match of `matchLength`, decoded as a frame of `frameSize`.
int literalsThenMatch(uint32_t blockSize, uint32_t matchLength, uint32_t frameSize, Bytes& out) {
    StreamBuilder s(15);
    s.translation(false);
    s.header(lzx::Verbatim, blockSize);
    s.trees(lengthsFor(s.mainSymbols(), {'q', 256 + 8 * 3 + 7}),
            lengthsFor(lzx::kLengthSymbols, {matchLength - 9, 0}));
    for (int k = 0; k < 3; ++k) s.literal('q');
    s.match(matchLength, 3);
    Instance codec(15);
    return codec.decompress(s.finish(), frameSize, out);
}

TEST(LzxStreams, MatchMayEndExactlyAtTheFrameOrBlockEndButNotPast) {
    Bytes out;
    // 3 + 257 bytes: the longest match, ending exactly at the frame's end.
    ASSERT_EQ(literalsThenMatch(260, 257, 260, out), CodecOk);
    EXPECT_EQ(out, Bytes(260, 'q'));
    // One byte less requested: the match passes the frame's end.
    EXPECT_EQ(literalsThenMatch(260, 257, 259, out), CodecBadData);
    EXPECT_TRUE(out.empty());
    // The block ends one byte before the match does.
    EXPECT_EQ(literalsThenMatch(259, 257, 260, out), CodecBadData);
}

// A main tree sent through hand-written pretree items, then one literal.
int treeFromItems(const std::vector<lzxenc::PretreeItem>& literalSection,
                  const std::vector<uint8_t>& priorMain, const std::vector<uint8_t>& expectedMain) {
    StreamBuilder s(15);
    s.translation(false);
    if (!priorMain.empty()) {
        s.header(lzx::Verbatim, 0);
        s.trees(priorMain, kNoLengths);
    }
    s.header(lzx::Verbatim, 1);
    std::vector<uint8_t> prior = priorMain.empty() ? std::vector<uint8_t>(s.mainSymbols(), 0) : priorMain;
    lzxenc::writePretreeSection(s.bits(), literalSection);
    lzxenc::writeLengths(s.bits(), prior.data() + 256, expectedMain.data() + 256,
                         s.mainSymbols() - 256);
    lzxenc::writeLengths(s.bits(), kNoLengths.data(), kNoLengths.data(), kNoLengths.size());
    s.setTrees(expectedMain, kNoLengths);
    uint32_t used = 0;
    while (expectedMain[used] == 0) ++used;
    s.literal(uint8_t(used));
    Instance codec(15);
    Bytes out;
    int result = codec.decompress(s.finish(), 1, out);
    if (result == CodecOk && out != Bytes{uint8_t(used)}) return -1;
    return result;
}

TEST(LzxStreams, RunsInTreeSectionsAreCutAtTheSectionEnd) {
    // 253 deltas, then a long zero run (20+) with only 3 entries left: the
    // section ends there and the next section starts cleanly.
    std::vector<uint8_t> main(256 + 8 * 30, 0);
    main['a'] = 1;
    main['b'] = 1;
    std::vector<lzxenc::PretreeItem> items;
    for (int i = 0; i < 253; ++i) items.push_back({uint32_t((17 - main[i]) % 17)});
    items.push_back({18, 31});
    EXPECT_EQ(treeFromItems(items, {}, main), CodecOk);
    // The same with a short zero run of 19 for the last 3 entries.
    items.back() = {17, 15};
    EXPECT_EQ(treeFromItems(items, {}, main), CodecOk);
}

TEST(LzxStreams, ARunAtTheEndOfTheLengthTreeLeavesTheAlignedTreeAlone) {
    // In an aligned-offset block the aligned tree is read first; the length
    // tree's section ends with a zero run of 51 where one entry is left. Cut
    // at the section's end, the run changes nothing after it, and matches
    // whose offsets take aligned symbols 1 and 2 still read them.
    StreamBuilder s(15);
    s.translation(false);
    s.header(lzx::AlignedOffset, 24);
    s.alignedTree(std::vector<uint8_t>(8, 3));
    std::vector<uint32_t> used{256 + 8 * 8 + 2};  // slot 8: three offset bits, all aligned
    for (uint32_t c = 'a'; c < 'a' + 16; ++c) used.push_back(c);
    const std::vector<uint8_t> main = lengthsFor(s.mainSymbols(), used);
    const std::vector<uint8_t> noMain(s.mainSymbols(), 0);
    lzxenc::writeLengths(s.bits(), noMain.data(), main.data(), 256);
    lzxenc::writeLengths(s.bits(), noMain.data() + 256, main.data() + 256, s.mainSymbols() - 256);
    std::vector<lzxenc::PretreeItem> lengthSection(lzx::kLengthSymbols - 1, {0});
    lengthSection.push_back({18, 31});
    lzxenc::writePretreeSection(s.bits(), lengthSection);
    s.setTrees(main, kNoLengths);
    Bytes expected;
    for (uint32_t c = 'a'; c < 'a' + 16; ++c) {
        s.literal(uint8_t(c));
        expected.push_back(uint8_t(c));
    }
    s.match(4, 8, 1, true);  // 15 back: "bcde"
    s.match(4, 8, 2, true);  // 16 back: "efgh"
    for (char c : std::string("bcdeefgh")) expected.push_back(uint8_t(c));
    Instance codec(15);
    Bytes out;
    ASSERT_EQ(codec.decompress(s.finish(), 24, out), CodecOk);
    EXPECT_EQ(out, expected);
}

TEST(LzxStreams, RunOfOneValueTakesThePriorLengthOfItsFirstPosition) {
    // Prior lengths 1, 2, 3, 3 at 96..99. A run of 4 with value code 16
    // gives (1 - 16) mod 17 = 2 at all four positions: a complete code. Taken
    // from each position's own prior it would be 2, 3, 4, 4: incomplete.
    std::vector<uint8_t> prior(256 + 8 * 30, 0);
    prior[96] = 1;
    prior[97] = 2;
    prior[98] = prior[99] = 3;
    std::vector<uint8_t> expected(prior.size(), 0);
    for (int k = 0; k < 4; ++k) expected[96 + k] = 2;
    std::vector<lzxenc::PretreeItem> items;
    for (int i = 0; i < 96; ++i) items.push_back({0});
    items.push_back({19, 0, 16});
    for (int i = 100; i < 256; ++i) items.push_back({0});
    EXPECT_EQ(treeFromItems(items, prior, expected), CodecOk);
    // Value codes 17, 18 and 19 after a run code have no meaning.
    for (uint32_t bad : {17u, 18u, 19u}) {
        std::vector<lzxenc::PretreeItem> broken = items;
        broken[96] = {19, 0, bad};
        EXPECT_EQ(treeFromItems(broken, prior, expected), CodecBadData) << bad;
    }
}

}  // namespace
