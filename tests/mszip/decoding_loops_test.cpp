// The code loop's two paths and its defences: the fast loop must decode
// every stream exactly as the careful loop does, stop exactly at the output
// limit, and the loop must fail rather than hang or run on when its tables
// are faulty.
#include "codecs/mszip/fixed_tables.h"
#include "codecs/mszip/mszip_decoder.h"
#include "tests/mszip/codec_harness.h"
#include "tests/mszip/deflate_writer.h"
#include "tests/mszip/test_data.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>

namespace {

using deflate_writer::BitWriter;
using deflate_writer::DynamicBlock;
using deflate_writer::LengthItem;
using deflate_writer::Token;
using harness::Bytes;

mszip::MszipDecoder* decoderOf(harness::Mszip& codec) {
    return static_cast<mszip::MszipHandle*>(codec.handle)->decoder;
}

// Two instances over the same stream: one as shipped, one held to the
// careful loop. Their results and every byte of their buffers must agree.
struct FastAndCareful {
    harness::Mszip fast, careful;
    FastAndCareful() { decoderOf(careful)->carefulOnly = 1; }

    int decodeBoth(const Bytes& block, uint32_t outputSize = 32768) {
        const int result = fast.decode(block, outputSize);
        EXPECT_EQ(careful.decode(block, outputSize), result);
        if (result == CodecOk) {
            EXPECT_EQ(fast.produced, careful.produced);
        }
        EXPECT_TRUE(fast.window == careful.window) << "the two loops wrote different bytes";
        return result;
    }

    // The folder's previous block, in both.
    void primeBoth(const Bytes& history) {
        ASSERT_EQ(fast.primeHistory(history), CodecOk);
        ASSERT_EQ(careful.primeHistory(history), CodecOk);
    }
};

// Decodes zlib's folder of `data` with both loops, then damaged copies of
// its blocks: a few flipped bits anywhere after "CK", and blocks cut short.
void expectLoopsAgreeOnFolder(const Bytes& data, std::mt19937& random) {
    for (int strategy : {Z_DEFAULT_STRATEGY, Z_FIXED, Z_HUFFMAN_ONLY}) {
        const std::vector<Bytes> blocks = test_data::zlibFolder(data, 6, strategy);
        FastAndCareful loops;
        for (const Bytes& block : blocks) ASSERT_EQ(loops.decodeBoth(block), CodecOk);
        for (int round = 0; round < 40; ++round) {
            Bytes damaged = blocks[size_t(round) % blocks.size()];
            for (int flips = 0; flips < 1 + round % 3; ++flips) {
                damaged[2 + random() % (damaged.size() - 2)] ^= uint8_t(1u << (random() % 8));
            }
            if (round % 4 == 3) damaged.resize(2 + random() % (damaged.size() - 2));
            loops.decodeBoth(damaged);
            if (::testing::Test::HasFailure()) return;
        }
    }
}

TEST(DecodingLoops, FastAndCarefulAgreeOnZlibFoldersAndDamagedCopies) {
    std::mt19937 random(99);
    for (test_data::Kind kind : {test_data::Kind::Text, test_data::Kind::Binary,
                                 test_data::Kind::Skewed, test_data::Kind::Runs}) {
        SCOPED_TRACE(test_data::name(kind));
        expectLoopsAgreeOnFolder(test_data::make(kind, 3 * 32768, 5), random);
        if (::testing::Test::HasFailure()) return;
    }
}

// Bytes like those of compressed images: most byte values about equally
// likely (8-bit literal codes), a few twice as likely or half as likely (7
// and 9 bits) or rare (long codes), and now and then a stretch repeated
// from earlier: literal runs of every length, ended by every kind of code.
Bytes barelyCompressible(size_t size, uint32_t seed) {
    std::mt19937 random(seed);
    Bytes data;
    while (data.size() < size) {
        const uint32_t pick = random() % 1024;
        if (pick < 8 && data.size() > 300) {
            const size_t from = data.size() - 1 - random() % std::min<size_t>(data.size(), 32000);
            const size_t length = 3 + random() % 30;
            for (size_t i = 0; i < length; ++i) data.push_back(data[from + i]);
        } else if (pick < 72) {
            data.push_back(uint8_t(pick % 8));  // 8 values twice as likely
        } else if (pick < 104) {
            data.push_back(uint8_t(240 + pick % 16));  // 16 values half as likely
        } else if (pick < 106) {
            data.push_back(uint8_t(232 + random() % 8));  // rare values
        } else {
            data.push_back(uint8_t(8 + random() % 224));
        }
    }
    return data;
}

TEST(DecodingLoops, FastAndCarefulAgreeOnBarelyCompressibleFolders) {
    std::mt19937 random(3);
    for (uint32_t seed : {1u, 2u}) {
        expectLoopsAgreeOnFolder(barelyCompressible(3 * 32768, seed), random);
        if (::testing::Test::HasFailure()) return;
    }
}

// Literals from `values` byte values (at most 240), with `favoured` of them
// twice as likely, a rare byte from 248..255 now and then (codes longer
// than the first level), and now and then a short repeat: 64, 128 and 240
// values give literal codes of mostly 6, 7 and 8 bits, all of one length
// (favoured 0) or of two neighbouring lengths, so the loop takes its rounds
// of literal runs and of literal pairs for each of those lengths, ended by
// every kind of code and handed back to the careful loop at the input's end.
Bytes literalsOfFewLengths(size_t size, uint32_t values, uint32_t favoured, uint32_t seed) {
    std::mt19937 random(seed);
    Bytes data;
    while (data.size() < size) {
        const uint32_t pick = random() % (values + favoured);
        if (random() % 2048 == 0) {
            data.push_back(uint8_t(248 + random() % 8));
        } else if (pick == 0 && random() % 8 == 0 && data.size() > 64) {
            const size_t from = data.size() - 1 - random() % std::min<size_t>(data.size(), 32000);
            for (size_t i = 0, length = 3 + random() % 20; i < length; ++i) {
                data.push_back(data[from + i]);
            }
        } else {
            data.push_back(uint8_t(pick < values ? pick : pick - values));
        }
    }
    return data;
}

TEST(DecodingLoops, FastAndCarefulAgreeWhateverLengthMostLiteralsHave) {
    std::mt19937 random(5);
    for (uint32_t values : {64u, 128u, 240u}) {
        for (uint32_t favoured : {0u, values / 2}) {
            SCOPED_TRACE(std::to_string(values) + " values, " + std::to_string(favoured) +
                         " of them favoured");
            expectLoopsAgreeOnFolder(literalsOfFewLengths(2 * 32768, values, favoured, values),
                                     random);
            if (::testing::Test::HasFailure()) return;
        }
    }
}

// 'x', then `matches` copies of length 258 at distance 1: about a byte of
// input per match, so the input always has room for the fast loop.
Bytes longRuns(uint32_t matches) {
    std::vector<Token> tokens{{'x'}};
    for (uint32_t i = 0; i < matches; ++i) tokens.push_back({258, 1});
    BitWriter out;
    deflate_writer::fixedBlock(out, true, tokens);
    return out.mszipBlock();
}

TEST(DecodingLoops, OutputLimitHoldsWhateverInputIsLeft) {
    // With plenty of input left, the limit may fall inside a match; nothing
    // beyond it may change, since those bytes are the previous block's
    // history.
    const Bytes stream = longRuns(200);
    ASSERT_GE(stream.size(), 270u);
    for (uint32_t limit : {1u, 7u, 100u, 257u, 258u, 259u, 260u, 300u, 516u, 517u, 518u, 4000u}) {
        SCOPED_TRACE("limit " + std::to_string(limit));
        FastAndCareful loops;
        for (size_t i = 0; i < 32768; ++i) {
            loops.fast.window[i] = loops.careful.window[i] = uint8_t(i * 7 + 3);
        }
        Bytes before = loops.fast.window;
        ASSERT_EQ(loops.decodeBoth(stream, limit), CodecOk);
        EXPECT_EQ(loops.fast.output(), Bytes(limit, 'x'));
        EXPECT_TRUE(std::equal(before.begin() + limit, before.end(),
                               loops.fast.window.begin() + limit));
    }
    // At the very end of the buffer: the last match is cut at byte 32,768.
    FastAndCareful loops;
    ASSERT_EQ(loops.decodeBoth(longRuns(130)), CodecOk);
    EXPECT_EQ(loops.fast.output(), Bytes(32768, 'x'));
}

// What `tokens` leave in `buffer` (32,768 bytes of history), copied byte
// by byte through the ring and stopped at its end; `produced` receives the
// bytes written.
Bytes throughRing(Bytes buffer, const std::vector<Token>& tokens, uint32_t* produced) {
    uint32_t position = 0;
    for (const Token& t : tokens) {
        const uint32_t length = t.distance == 0 ? 1 : t.literalOrLength;
        for (uint32_t i = 0; i < length && position < 32768; ++i, ++position) {
            buffer[position] = t.distance == 0
                                   ? uint8_t(t.literalOrLength)
                                   : buffer[(position + 32768 - t.distance) % 32768];
        }
    }
    *produced = position;
    return buffer;
}

TEST(DecodingLoops, MatchesReachingIntoThePreviousBlockCopyExactly) {
    // Sources just ahead of the destination in the history ring (the
    // previous block's bytes, up to 7 bytes ahead overlapping the chunk
    // being written), and just behind it, for lengths around the chunk
    // sizes; every byte of the buffer must be what a byte-by-byte copy
    // through the ring leaves, beyond the output included.
    std::vector<Token> tokens{{'a'}, {'b'}, {'c'}};
    for (uint32_t ahead = 0; ahead < 20; ++ahead) {
        for (uint32_t length : {3u, 8u, 9u, 15u, 16u, 17u, 24u, 40u, 258u}) {
            tokens.push_back({length, 32768 - ahead});
            tokens.push_back({length, 8 + ahead});
            tokens.push_back({uint32_t('d' + ahead)});
        }
    }
    BitWriter out;
    deflate_writer::fixedBlock(out, true, tokens);

    Bytes history(32768);
    for (size_t i = 0; i < history.size(); ++i) history[i] = uint8_t(i * 13 + 5);
    FastAndCareful loops;
    loops.primeBoth(history);
    uint32_t produced = 0;
    const Bytes expected = throughRing(history, tokens, &produced);
    ASSERT_EQ(loops.decodeBoth(out.mszipBlock()), CodecOk);
    EXPECT_EQ(loops.fast.produced, produced);
    EXPECT_TRUE(loops.fast.window == expected);
}

// The literal codes of a block whose literals mostly have `common` bits
// (`commonCount` of them, from symbol `shortCount` up), with `shortCount`
// one bit shorter (from 0), `longCount` one bit longer and 8 of 12 bits
// (through sub-tables) after them; end-of-block and lengths have 12 and 13
// bits. The counts must make a complete code.
struct RunCodes {
    uint32_t common, shortCount, commonCount, longCount;
    uint32_t firstLong() const { return shortCount + commonCount; }
    uint32_t firstRare() const { return firstLong() + longCount; }
    std::vector<uint32_t> literalLengths() const {
        std::vector<uint32_t> lengths(286, 0);
        for (uint32_t s = 0; s < 286; ++s) {
            lengths[s] = s < shortCount ? common - 1 : s < firstLong() ? common
                       : s < firstRare() ? common + 1 : s < firstRare() + 8 ? 12 : s < 256 ? 0
                       : s < 274 ? 12 : 13;
        }
        return lengths;
    }
};

// Runs of 0 to 7 common literals, each ended by a literal of another
// length or by a match: from the far end of the history (the previous
// block's bytes at and just past the current position), from further back,
// or close by. A literal then such a far match checks that a run ended by a
// literal changed nothing past it. The whole block, and blocks that end
// early, cut at seven tokens in a row (inside runs and after their ends):
// every byte past their output must still be the previous block's.
void checkRunsLeaveTheHistoryExact(const RunCodes& codes) {
    const std::vector<uint32_t> literals = codes.literalLengths();
    std::vector<uint32_t> distances(30, 5);
    distances[0] = distances[1] = 4;
    std::mt19937 random(11);
    auto below = [&random](uint32_t n) { return uint32_t(random() % n); };
    std::vector<Token> tokens;
    enum Ender { Shorter, Longer, Rare, FarEnd, FarBack, Close, LongerThenFarEnd };
    for (uint32_t bytes = 0; bytes < 32768;) {
        for (uint32_t run = 0; run < 8; ++run) {
            for (Ender ender : {Shorter, Longer, Rare, FarEnd, FarBack, Close, LongerThenFarEnd}) {
                for (uint32_t i = 0; i < run; ++i) {
                    tokens.push_back({codes.shortCount + below(codes.commonCount)});
                }
                const uint32_t length = 3 + below(20);
                switch (ender) {
                    case Shorter: tokens.push_back({below(codes.shortCount)}); break;
                    case Longer: tokens.push_back({codes.firstLong() + below(codes.longCount)}); break;
                    case Rare: tokens.push_back({codes.firstRare() + below(8)}); break;
                    case FarEnd: tokens.push_back({length, 32768 - below(8)}); break;
                    case FarBack: tokens.push_back({length, 32768 - 8 - below(40)}); break;
                    case Close: tokens.push_back({length, 1 + below(12)}); break;
                    case LongerThenFarEnd:
                        tokens.push_back({codes.firstLong() + below(codes.longCount)});
                        tokens.push_back({length, 32768 - below(6)});
                        bytes += 1;
                        break;
                }
                bytes += run + (tokens.back().distance != 0 ? length : 1);
            }
        }
    }
    Bytes history(32768);
    for (size_t i = 0; i < history.size(); ++i) history[i] = uint8_t(i * 29 + 7);
    for (size_t count : {tokens.size(), size_t(3001), size_t(3002), size_t(3003), size_t(3004),
                         size_t(3005), size_t(3006), size_t(3007)}) {
        SCOPED_TRACE(std::to_string(count) + " tokens");
        const std::vector<Token> head(tokens.begin(), tokens.begin() + ptrdiff_t(count));
        BitWriter out;
        DynamicBlock block(out, true, literals, distances);
        for (const Token& t : head) {
            if (t.distance == 0) block.literal(uint8_t(t.literalOrLength));
            else block.match(t.literalOrLength, t.distance);
        }
        block.end();
        uint32_t produced = 0;
        const Bytes expected = throughRing(history, head, &produced);
        FastAndCareful loops;
        loops.primeBoth(history);
        ASSERT_EQ(loops.decodeBoth(out.mszipBlock()), CodecOk);
        EXPECT_EQ(loops.fast.produced, produced);
        EXPECT_TRUE(loops.fast.window == expected);
    }
}

TEST(DecodingLoops, LiteralRunsEndedByAnyCodeLeaveTheHistoryExact) {
    // Literal codes mostly of 8 bits (symbols 16..229), with 7-bit (0..15),
    // 9-bit (230..245) and 12-bit ones (246..253).
    checkRunsLeaveTheHistoryExact({8, 16, 214, 16});
}

TEST(DecodingLoops, LiteralRunsOfShorterCodesLeaveTheHistoryExact) {
    // Most literal codes of 6 and of 7 bits, each with just enough weight
    // for the rounds of literal runs of that length.
    {
        SCOPED_TRACE("6-bit literals");
        checkRunsLeaveTheHistoryExact({6, 2, 52, 15});
    }
    {
        SCOPED_TRACE("7-bit literals");
        checkRunsLeaveTheHistoryExact({7, 8, 103, 16});
    }
}

TEST(DecodingLoops, RepeatAfterAZeroRunRepeatsZero) {
    // The literal/length lengths: 'a', 'b', end-of-block and symbol 257 with
    // 2 bits each. Symbols 99..108 come as a run of zeros (17) and 109..114
    // as a repeat of the previous length (16), which is that run's 0: were
    // it still 2, the code would be over-subscribed.
    std::vector<uint32_t> literals(258, 0);
    for (uint32_t s : {97u, 98u, 256u, 257u}) literals[s] = 2;
    const std::vector<LengthItem> items = {{18, 97 - 11}, {2},      {2},     {17, 7}, {16, 3},
                                           {18, 127},     {17, 0},  {2},     {2},     {1}};
    BitWriter out;
    DynamicBlock block(out, true, literals, {1}, items);
    block.literal('a');
    block.literal('b');
    block.match(3, 1);
    block.end();
    FastAndCareful loops;
    ASSERT_EQ(loops.decodeBoth(out.mszipBlock()), CodecOk);
    EXPECT_EQ(loops.fast.output(), (Bytes{'a', 'b', 'b', 'b', 'b'}));
}

// ---- every length and distance -------------------------------------------------

// zlib's inflate of one MSZIP block whose folder's previous block is
// `history`: the independent reference for what the block means.
Bytes inflateAfter(const Bytes& history, const Bytes& block) {
    z_stream z{};
    EXPECT_EQ(inflateInit2(&z, -15), Z_OK);
    EXPECT_EQ(inflateSetDictionary(&z, history.data(), uInt(history.size())), Z_OK);
    Bytes out(32768);
    z.next_in = const_cast<Bytef*>(block.data() + 2);
    z.avail_in = uInt(block.size() - 2);
    z.next_out = out.data();
    z.avail_out = uInt(out.size());
    EXPECT_EQ(inflate(&z, Z_FINISH), Z_STREAM_END);
    out.resize(out.size() - z.avail_out);
    inflateEnd(&z);
    return out;
}

// Every length 3..258 and every distance 1..32,768, so every value of every
// extra-bit field, in blocks with the fixed codes, with dynamic codes all
// settled by the first level, and with dynamic codes whose lengths and
// distances go through sub-tables. Each block follows a full previous block,
// reaches back into it, and is long enough for the fast loop.
TEST(DecodingLoops, EveryLengthAndDistanceDecodesAsZlibDecodesIt) {
    std::mt19937 random(11);
    Bytes history(32768);
    for (uint8_t& byte : history) byte = uint8_t(random());

    std::vector<std::vector<Token>> blocks;
    auto startBlock = [&] { blocks.push_back({{'a'}, {'b'}, {'c'}}); };
    startBlock();
    for (uint32_t length = 3; length <= 258; ++length) {
        if (length == 181) startBlock();  // all lengths make more than a block
        blocks.back().push_back({length, 1 + (length * 7919) % 32768});
    }
    for (uint32_t distance = 1; distance <= 32768; ++distance) {
        if (distance % 4000 == 1) startBlock();  // under 32,780 input bytes
        blocks.back().push_back({3 + distance % 2, distance});
    }

    using deflate_writer::lengthsFromCounts;
    struct Codes {
        const char* name;
        std::vector<uint32_t> literal, distance;  // empty: the fixed codes
    };
    const Codes codes[] = {
        {"fixed codes", {}, {}},
        {"first-level codes", lengthsFromCounts({0, 0, 0, 0, 0, 0, 0, 0, 226, 60}, 286),
         lengthsFromCounts({0, 0, 0, 0, 2, 28}, 30)},
        {"codes through sub-tables",
         lengthsFromCounts({0, 1, 1, 1, 0, 1, 0, 1, 0, 0, 25, 65, 72, 82, 35, 2}, 286),
         lengthsFromCounts({0, 1, 1, 1, 0, 0, 0, 13, 5, 1, 1, 1, 0, 3, 1, 2}, 30)},
    };
    for (const Codes& code : codes) {
        for (size_t i = 0; i < blocks.size(); ++i) {
            SCOPED_TRACE(std::string(code.name) + ", block " + std::to_string(i));
            BitWriter out;
            if (code.literal.empty()) {
                deflate_writer::fixedBlock(out, true, blocks[i]);
            } else {
                DynamicBlock b(out, true, code.literal, code.distance);
                for (const Token& t : blocks[i]) {
                    if (t.distance == 0) b.literal(uint8_t(t.literalOrLength));
                    else b.match(t.literalOrLength, t.distance);
                }
                b.end();
            }
            const Bytes block = out.mszipBlock();
            ASSERT_LE(block.size(), 32780u);
            const Bytes expected = inflateAfter(history, block);
            harness::Mszip codec;
            ASSERT_EQ(codec.primeHistory(history), CodecOk);
            ASSERT_EQ(codec.decode(block), CodecOk);
            ASSERT_GT(expected.size(), 2000u);
            ASSERT_EQ(codec.output(), expected);
        }
    }
}

// Every code-length repeat with every value of its extra bits: zero runs of
// 3 to 10 (17) and 11 to 138 (18), and a length repeated 3 to 6 times (16).
// Each block's header is read whole by the reader for the bulk of the
// input (the literals after it keep eight bytes ahead), and once more by
// the careful reader alone; zlib says what the block holds.
TEST(DecodingLoops, EveryCodeLengthRepeatReadsAsZlibReadsIt) {
    struct Case {
        std::vector<uint32_t> literal;  // 258 lengths: bytes, end, one length
        std::vector<uint8_t> bytes;     // the literals that have codes
    };
    std::vector<Case> cases;
    // 'a', 'b', the byte after a zero run of `run`, and the end: four
    // 2-bit codes.
    for (uint32_t run = 3; run <= 138; ++run) {
        Case c{std::vector<uint32_t>(258, 0), {'a', 'b', uint8_t('c' + run)}};
        for (uint8_t byte : c.bytes) c.literal[byte] = 2;
        c.literal[256] = 2;
        cases.push_back(c);
    }
    // 'a' and the `repeat` bytes after it at 3 bits, with the end and enough
    // bytes spread out to fill the eight 3-bit codes.
    for (uint32_t repeat = 3; repeat <= 6; ++repeat) {
        Case c{std::vector<uint32_t>(258, 0), {}};
        for (uint32_t i = 0; i <= repeat; ++i) c.bytes.push_back(uint8_t('a' + i));
        for (uint32_t i = 0; c.bytes.size() < 7; i += 2) c.bytes.push_back(uint8_t(200 + i));
        for (uint8_t byte : c.bytes) c.literal[byte] = 3;
        c.literal[256] = 3;
        cases.push_back(c);
    }
    // A block that gives every literal/length and distance symbol a length,
    // decoded before each case: lengths a repeat fails to write would then
    // show as this block's rather than as zeros.
    BitWriter everyLengthOut;
    DynamicBlock everyLength(everyLengthOut, true,
                             deflate_writer::lengthsFromCounts({0, 0, 0, 0, 0, 0, 0, 0, 226, 60}, 286),
                             deflate_writer::lengthsFromCounts({0, 0, 0, 0, 2, 28}, 30));
    for (int i = 0; i < 40; ++i) everyLength.literal('x');
    everyLength.end();
    const Bytes history(32768, 'h');
    for (size_t i = 0; i < cases.size(); ++i) {
        const Case& c = cases[i];
        SCOPED_TRACE("case " + std::to_string(i));
        BitWriter out;
        std::vector<uint32_t> lengths = c.literal;
        lengths.push_back(0);  // the one distance length: no distance codes
        DynamicBlock block(out, true, c.literal, {0}, deflate_writer::repeatItems(lengths));
        Bytes expected;
        for (int round = 0; round < 40; ++round) {
            for (uint8_t byte : c.bytes) {
                block.literal(byte);
                expected.push_back(byte);
            }
        }
        block.end();
        const Bytes stream = out.mszipBlock();
        ASSERT_EQ(inflateAfter(history, stream), expected);
        FastAndCareful loops;
        ASSERT_EQ(loops.decodeBoth(everyLengthOut.mszipBlock()), CodecOk);
        ASSERT_EQ(loops.decodeBoth(stream), CodecOk);
        ASSERT_EQ(loops.fast.output(), expected);
    }
}

// A header whose code-length code gives the repeats 16 and 18 the longest
// codes, 7 bits: twenty runs of zeros in a row then take 7 + 7 bits each,
// the most a symbol of the header can take, and ten repeats of the
// previous length 7 + 2 bits each. Both loops must read the same codes
// from them as zlib.
TEST(DecodingLoops, HeaderSymbolsOfTheLongestCodesReadAsZlibReadsThem) {
    std::vector<uint32_t> codeLengthLengths(19, 0);
    const std::pair<uint32_t, uint32_t> codeLengthCode[] = {
        {6, 1}, {7, 2}, {1, 3}, {0, 4}, {2, 5}, {3, 6}, {16, 7}, {18, 7}};
    for (auto [symbol, length] : codeLengthCode) codeLengthLengths[symbol] = length;
    // Literals 220..255, the end and the lengths: 62 codes of 6 bits and 4 of 7.
    std::vector<uint32_t> literals(286, 0);
    for (uint32_t s = 220; s < 286; ++s) literals[s] = s < 282 ? 6 : 7;
    std::vector<LengthItem> items(20, LengthItem{18, 0});  // symbols 0..219
    items.push_back({6});
    for (int i = 0; i < 10; ++i) items.push_back({16, 3});
    items.push_back({6});
    items.push_back({7});
    items.push_back({16, 0});
    items.push_back({1});  // the one distance code

    BitWriter out;
    DynamicBlock block(out, true, literals, {1}, items, codeLengthLengths);
    Bytes expected;
    for (int round = 0; round < 30; ++round) {
        for (uint32_t byte = 220; byte < 256; ++byte) {
            block.literal(uint8_t(byte));
            expected.push_back(uint8_t(byte));
        }
        block.match(170, 1);  // a length of a 7-bit code
        expected.insert(expected.end(), 170, expected.back());
    }
    block.end();
    const Bytes stream = out.mszipBlock();
    ASSERT_EQ(inflateAfter(Bytes(32768, 'h'), stream), expected);
    FastAndCareful loops;
    ASSERT_EQ(loops.decodeBoth(stream), CodecOk);
    EXPECT_EQ(loops.fast.output(), expected);
}

// ---- faulty tables ------------------------------------------------------------

// Runs the code loop over `input` with hand-made tables, as a fixed or
// dynamic block would, with 32,768 bytes of output allowed.
struct LoopRun {
    harness::Mszip codec;
    Bytes input;
    // `headerBits` (under 8) are passed over first; `shape` is what the
    // loop is told of the literal code lengths.
    bool run(const mszip::HuffmanEntry* literals, uint32_t literalBits,
             const mszip::HuffmanEntry* distances, uint32_t distanceBits, bool careful,
             mszip::LiteralShape shape = {}, uint32_t headerBits = 0,
             uint32_t outputLimit = 32768) {
        mszip::MszipDecoder* d = decoderOf(codec);
        d->carefulOnly = careful ? 1 : 0;
        d->input = input.data();
        d->inputSize = uint32_t(input.size());
        d->inputUsed = headerBits != 0 ? 1 : 0;
        d->bitBuffer = headerBits != 0 ? input[0] >> headerBits : 0;
        d->bitCount = headerBits != 0 ? 8 - headerBits : 0;
        d->windowStart = codec.window.data();
        d->outPos = 0;
        d->outLeft = outputLimit;
        d->ringSize = 32768;
        return mszip::decodeCompressedData(d, literals, literalBits, distances, distanceBits,
                                           shape);
    }
};

// The fast loop may look up the code after a literal before it knows that
// literal's length, for the lengths it was told are likely. Right or wrong,
// the guess must never show in the result.
TEST(DecodingLoops, GuessedLiteralLengthsNeverChangeTheResult) {
    // A fixed block (literal codes of 8 and 9 bits) of literal runs and
    // matches, with the bytes it stands for.
    std::mt19937 random(7);
    std::vector<Token> tokens;
    Bytes expected;
    while (expected.size() < 30000) {
        if (expected.size() > 300 && random() % 6 == 0) {
            const uint32_t length = 3 + random() % 40;
            const uint32_t distance = 1 + random() % uint32_t(expected.size());
            tokens.push_back({length, distance});
            for (uint32_t i = 0; i < length; ++i) expected.push_back(expected[expected.size() - distance]);
        } else {
            const uint8_t literal = uint8_t(random());
            tokens.push_back({literal});
            expected.push_back(literal);
        }
    }
    BitWriter out;
    deflate_writer::fixedBlock(out, true, tokens);
    const Bytes block = out.mszipBlock();
    const uint32_t headerBits = 3;

    for (uint32_t guess = 0; guess < mszip::kFixedLiteralBits; ++guess) {
        SCOPED_TRACE("guess " + std::to_string(guess));
        LoopRun run;
        run.input.assign(block.begin() + 2, block.end());
        ASSERT_TRUE(run.run(mszip::fixedLiteralTable, mszip::kFixedLiteralBits,
                            mszip::fixedDistanceTable, mszip::kFixedDistanceBits, false,
                            {0, guess}, headerBits));
        EXPECT_TRUE(std::equal(expected.begin(), expected.end(), run.codec.window.begin()));
    }
}

TEST(DecodingLoops, LiteralsThroughSubTablesStopAtTheOutputLimit) {
    using mszip::HuffmanEntry;
    // 'a' is coded 0 in the first level; 'b' is 1 then 0, through a link to a
    // one-bit sub-table (whose 1 ends the block). The stream repeats a, a, b:
    // a round of two first-level literals, then one through the sub-table.
    const HuffmanEntry literals[4] = {
        {1, mszip::kLiteral, 'a'}, {1, mszip::kLinkBase + 1, 2}, {1, mszip::kLiteral, 'b'},
        {1, mszip::kEndOfBlock, 0}};
    const HuffmanEntry noDistances[2] = {{1, mszip::kInvalidCode, 0}, {1, mszip::kInvalidCode, 0}};
    for (bool careful : {false, true}) {
        for (uint32_t limit = 1; limit <= 48; ++limit) {
            SCOPED_TRACE(std::string(careful ? "careful" : "fast") + " loop, limit " +
                         std::to_string(limit));
            LoopRun run;
            run.input = Bytes(200, 0x44);  // bits 0, 0, 1, 0 in every half byte
            std::fill(run.codec.window.begin(), run.codec.window.end(), 0xEE);
            ASSERT_TRUE(run.run(literals, 1, noDistances, 1, careful, {}, 0, limit));
            for (uint32_t i = 0; i < limit; ++i) ASSERT_EQ(run.codec.window[i], "aab"[i % 3]);
            for (uint32_t i = limit; i < limit + 16; ++i) {
                ASSERT_EQ(run.codec.window[i], 0xEE) << "written past the limit at " << i;
            }
        }
    }
}

TEST(DecodingLoops, FaultyTablesFailInsteadOfHangingOrRunningOn) {
    using mszip::HuffmanEntry;
    for (bool careful : {false, true}) {
        SCOPED_TRACE(careful ? "careful loop" : "fast loop");
        // A link that leads back to itself without taking any bits.
        HuffmanEntry selfLink[2] = {{0, mszip::kLinkBase + 1, 0}, {0, mszip::kLinkBase + 1, 0}};
        LoopRun links;
        links.input = Bytes(64, 0x55);
        EXPECT_FALSE(links.run(selfLink, 1, selfLink, 1, careful));

        // Every code a length 3 whose distance comes out as 0.
        HuffmanEntry lengths[2] = {{1, 0, 3}, {1, 0, 3}};
        HuffmanEntry zeroDistance[2] = {{1, 0, 0}, {1, 0, 0}};
        LoopRun distance;
        distance.input = Bytes(64, 0x00);
        distance.codec.window[0] = 'q';
        EXPECT_FALSE(distance.run(lengths, 1, zeroDistance, 1, careful));

        // Literals whose codes take 18 bits each through a link: on the zero
        // bits past the end such tables run far beyond what any sound code
        // could take, and the loop stops there.
        HuffmanEntry longLiterals[1024];
        for (uint32_t i = 0; i < 512; ++i) {
            longLiterals[i] = {9, mszip::kLinkBase + 9, 512};
            longLiterals[512 + i] = {9, mszip::kLiteral, 'z'};
        }
        LoopRun tail;
        tail.input = Bytes(16, 0xFF);
        EXPECT_FALSE(tail.run(longLiterals, 9, zeroDistance, 1, careful));
    }
}

}  // namespace
