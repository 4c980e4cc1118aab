// The two decoding loops: the fast loop must decode every stream, damaged
// ones included, exactly as the careful loop does, and hand the bit reader
// back in exactly the careful loop's state; once the window has been filled,
// match copies must write the match's bytes and nothing else.
#include "codecs/lzx/lzx_decoder.h"
#include "codecs/lzx/matches.h"
#include "tests/lzx/codec_harness.h"
#include "tests/lzx/stream_builder.h"
#include "tests/support/sample_data.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <random>
#include <string>

namespace {

using lzxenc::BlockKind;
using lzxtest::Bytes;
using lzxtest::lengthsFor;
using sample_data::Kind;

lzx::Decoder& decoderOf(lzxtest::Instance& codec) {
    return *static_cast<lzx::Handle*>(codec.handle())->decoder;
}

// Two instances over the same input buffers: one as shipped, one held to the
// careful loop. After every call their results, their output, their windows
// and their stream state must agree. The windows agree in every byte once
// filled; before that, up to the write position, since past it the fast loop
// may leave bytes of its wide copies that nothing reads before they are
// written again.
class FastAndCareful {
public:
    explicit FastAndCareful(int windowBits) : fast_(windowBits), careful_(windowBits) {
        decoderOf(careful_).carefulOnly = 1;
    }

    int decodeBoth(const Bytes& frame, uint32_t size) {
        // One input buffer for both, so that their input positions compare.
        Bytes input(frame);
        input.resize(frame.size() + kCodecInputSlack, 0);
        Bytes outFast(size), outCareful(size);
        uint32_t producedFast = size, producedCareful = size;
        const int result = lzxDecompress(fast_.handle(), input.data(), uint32_t(frame.size()),
                                         outFast.data(), &producedFast);
        EXPECT_EQ(lzxDecompress(careful_.handle(), input.data(), uint32_t(frame.size()),
                                outCareful.data(), &producedCareful),
                  result);
        EXPECT_EQ(producedFast, producedCareful);
        if (result == CodecOk) {
            EXPECT_TRUE(outFast == outCareful) << "different output";
        }
        expectSameState();
        const lzx::Decoder& d = decoderOf(fast_);
        longestMainCode_ = std::max<int>(
            longestMainCode_, *std::max_element(d.mainLengths, d.mainLengths + d.mainSymbols));
        return result;
    }

    void reset() {
        fast_.reset();
        careful_.reset();
    }

    // As if the folder had already produced a whole window, so that matches
    // may reach anywhere in it.
    void assumeWindowFilled() {
        decoderOf(fast_).windowFilled = true;
        decoderOf(careful_).windowFilled = true;
    }

    int longestMainCode() const { return longestMainCode_; }

private:
    void expectSameState() {
        const lzx::Decoder& f = decoderOf(fast_);
        const lzx::Decoder& c = decoderOf(careful_);
        EXPECT_EQ(f.windowFilled, c.windowFilled);
        const uint32_t produced = f.windowFilled ? f.windowSize : f.writePos;
        EXPECT_TRUE(std::equal(f.window, f.window + produced, c.window))
            << "the two loops left different window bytes";
        EXPECT_EQ(f.bitBuffer, c.bitBuffer);
        EXPECT_EQ(f.spareBits, c.spareBits);
        EXPECT_EQ(f.inPos, c.inPos);
        EXPECT_EQ(f.inputExhausted, c.inputExhausted);
        EXPECT_EQ(f.writePos, c.writePos);
        EXPECT_EQ(f.blockLeft, c.blockLeft);
        EXPECT_EQ(f.blockState, c.blockState);
        for (int r = 0; r < 3; ++r) EXPECT_EQ(f.repeatedOffsets[r], c.repeatedOffsets[r]);
    }

    lzxtest::Instance fast_, careful_;
    int longestMainCode_ = 0;
};

struct Folder {
    std::string name;
    int windowBits;
    std::vector<lzxenc::Frame> frames;
};

std::vector<Folder> folders() {
    std::vector<Folder> all;
    const std::vector<std::vector<BlockKind>> cycles = {
        {}, {BlockKind::Aligned}, {BlockKind::Verbatim, BlockKind::Uncompressed, BlockKind::Aligned}};
    uint32_t seed = 1;
    for (Kind kind : {Kind::Text, Kind::X86, Kind::Random, Kind::Runs, Kind::Binary}) {
        for (int bits : {15, 21}) {
            for (size_t c = 0; c < cycles.size(); ++c) {
                lzxenc::Options options;
                options.windowBits = bits;
                options.translationSize = kind == Kind::X86 ? 12000000 : 0;
                options.blockKinds = cycles[c];
                // Short blocks put block ends, and with them the hand-over
                // from the careful reader to the fast one, anywhere.
                if (c == 2) options.blockSize = 777 + 1000 * (seed % 3);
                const Bytes data = sample_data::make(kind, 3 * 32768 + 1234, seed++);
                all.push_back({std::string(sample_data::name(kind)) + " window " +
                                   std::to_string(bits) + " cycle " + std::to_string(c),
                               bits, lzxenc::encode(data.data(), data.size(), options)});
            }
        }
    }
    return all;
}

TEST(LzxDecodingLoops, FastAndCarefulAgreeOnEncoderFolders) {
    int longest = 0;
    for (const Folder& folder : folders()) {
        SCOPED_TRACE(folder.name);
        FastAndCareful loops(folder.windowBits);
        for (const auto& frame : folder.frames) {
            ASSERT_EQ(loops.decodeBoth(frame.data, frame.size), CodecOk);
        }
        longest = std::max(longest, loops.longestMainCode());
    }
    // Codes longer than the 10-bit table were among them, so the fast loop's
    // walk through the overflow nodes was compared too.
    EXPECT_GT(longest, lzx::kMainLookupBits);
}

TEST(LzxDecodingLoops, FastAndCarefulAgreeOnDamagedAndTruncatedFrames) {
    std::mt19937 random(17);
    for (const Folder& folder : folders()) {
        SCOPED_TRACE(folder.name);
        FastAndCareful loops(folder.windowBits);
        const auto& frames = folder.frames;
        // Flipped bits: the decoders go astray together, and keep agreeing
        // on the frames after a failed one too.
        for (int round = 0; round < 6; ++round) {
            loops.reset();
            for (size_t f = 0; f < frames.size(); ++f) {
                Bytes data = frames[f].data;
                if (f == size_t(round) % frames.size() && !data.empty()) {
                    for (int flips = 0; flips < 1 + round % 3; ++flips) {
                        data[random() % data.size()] ^= uint8_t(1u << (random() % 8));
                    }
                }
                loops.decodeBoth(data, frames[f].size);
            }
        }
        // A frame cut at every length over its last 40 bytes: the input limit
        // meets the symbols at every distance from the fast loop's margin.
        const auto& last = frames.back();
        for (size_t cut = 0; cut <= 40 && cut <= last.data.size(); ++cut) {
            loops.reset();
            for (size_t f = 0; f + 1 < frames.size(); ++f) {
                ASSERT_EQ(loops.decodeBoth(frames[f].data, frames[f].size), CodecOk);
            }
            Bytes shortened(last.data.begin(), last.data.end() - long(cut));
            const int result = loops.decodeBoth(shortened, last.size);
            if (cut == 0) {
                EXPECT_EQ(result, CodecOk);
            }
        }
    }
}

// `count` literals whose codes end exactly at the end of the data: literal
// 0 has the 1-bit code 0, so the stream pads itself with it, and so would
// the zero bytes past the data if a symbol were taken from them.
Bytes literalsToTheLastBit(uint32_t count, Bytes* expected) {
    lzxtest::StreamBuilder s(15);
    std::vector<uint8_t> main(s.mainSymbols(), 0);
    main[0] = 1;
    main['a'] = 2;
    main['b'] = main['c'] = 3;
    s.translation(false);
    s.header(lzx::Verbatim, count + 1000);
    s.trees(main, std::vector<uint8_t>(lzx::kLengthSymbols, 0));
    expected->clear();
    for (uint32_t k = 0; k < count || !s.bits().aligned(); ++k) {
        const uint8_t byte = k >= count ? 0 : "abc\0ab"[k % 6];
        s.literal(byte);
        expected->push_back(byte);
    }
    return s.finish();
}

TEST(LzxDecodingLoops, TheLastSymbolOfTheDataDecodesAndNothingAfterIt) {
    // A symbol that begins inside the data decodes, though its refills read
    // the zeros past it; one that would begin after the data's last bit
    // fails the call. Short frames end in the careful loop alone; long ones
    // in the fast loop until it hands over near the end. The input is
    // allocated with exactly the slack the decoder is promised.
    for (uint32_t count : {3u, 40u, 1000u, 5000u}) {
        Bytes expected;
        const Bytes data = literalsToTheLastBit(count, &expected);
        const uint32_t sound = uint32_t(expected.size());
        for (bool careful : {false, true}) {
            for (uint32_t request : {sound, sound + 1}) {
                SCOPED_TRACE(std::to_string(count) + " literals, " +
                             (careful ? "careful" : "fast") + " loop, " +
                             std::to_string(request) + " bytes asked for");
                lzxtest::Instance codec(15);
                decoderOf(codec).carefulOnly = careful;
                auto* input =
                    static_cast<uint8_t*>(std::calloc(data.size() + kCodecInputSlack, 1));
                std::copy(data.begin(), data.end(), input);
                Bytes out(request);
                uint32_t produced = request;
                const int result = lzxDecompress(codec.handle(), input, uint32_t(data.size()),
                                                 out.data(), &produced);
                std::free(input);
                if (request == sound) {
                    ASSERT_EQ(result, CodecOk);
                    EXPECT_EQ(out, expected);
                } else {
                    EXPECT_EQ(result, CodecBadData);
                }
            }
        }
    }
}

// Lengths 1, 2, ... n - 1, n - 1 for the n listed symbols, 0 for the rest:
// the last two listed get the longest codes.
std::vector<uint8_t> staircase(size_t count, const std::vector<uint32_t>& symbols) {
    std::vector<uint8_t> lengths(count, 0);
    for (size_t k = 0; k < symbols.size(); ++k) {
        lengths[symbols[k]] = uint8_t(k + 1 < symbols.size() ? k + 1 : k);
    }
    return lengths;
}

// The most bits one symbol can take, again and again: 16-bit main and length
// codes, 17 offset bits (14 verbatim bits and a 7-bit aligned code in an
// aligned-offset block), each match followed by a literal with a 16-bit code.
TEST(LzxDecodingLoops, FastAndCarefulAgreeOnTheWidestSymbolsBackToBack) {
    constexpr uint32_t kSlot = 36, kRepeats = 120;
    for (bool aligned : {false, true}) {
        SCOPED_TRACE(aligned ? "aligned offset" : "verbatim");
        lzxtest::StreamBuilder s(21);
        std::vector<uint32_t> mainSymbols, lengthSymbols;
        for (uint32_t k = 0; k < 15; ++k) mainSymbols.push_back('a' + k);
        mainSymbols.push_back(256 + 8 * kSlot + 7);
        mainSymbols.push_back('z');
        for (uint32_t k = 0; k < 15; ++k) lengthSymbols.push_back(k);
        lengthSymbols.push_back(247);
        lengthSymbols.push_back(248);
        s.translation(false);
        s.header(aligned ? lzx::AlignedOffset : lzx::Verbatim, kRepeats * 258);
        if (aligned) s.alignedTree(staircase(8, {0, 1, 2, 3, 4, 5, 7, 6}));
        s.trees(staircase(s.mainSymbols(), mainSymbols),
                staircase(lzx::kLengthSymbols, lengthSymbols));
        for (uint32_t r = 0; r < kRepeats; ++r) {
            // Offset bits ending in 6 or 7: aligned symbols with 7-bit codes.
            s.match(257, kSlot, (r * 2654435761u) >> 15 | 6 | (r & 1), aligned);
            s.literal('z');
        }
        const Bytes frame = s.finish();
        FastAndCareful loops(21);
        loops.assumeWindowFilled();  // the distances reach 393,213 bytes back
        EXPECT_EQ(loops.decodeBoth(frame, kRepeats * 258), CodecOk);
        EXPECT_EQ(loops.longestMainCode(), 16);
        // The same frame cut short by every even count of bytes up to 80:
        // wide symbols meet the input's end at every position, where the
        // fast loop must have handed over to the careful one and the input
        // test must strike at the same symbol.
        for (size_t cut = 2; cut <= 80; cut += 2) {
            SCOPED_TRACE("cut by " + std::to_string(cut));
            FastAndCareful shortened(21);
            shortened.assumeWindowFilled();
            shortened.decodeBoth(Bytes(frame.begin(), frame.end() - long(cut)), kRepeats * 258);
        }
    }
}

// Short matches with the longest main codes and offsets and no length code
// between them, back to back: 16 + 17 bits (16 + 14 + 7 in an aligned-offset
// block) per symbol, so that the look-ahead's count falls by 33 or 37 bits
// between refills at every position within a word.
TEST(LzxDecodingLoops, FastAndCarefulAgreeOnWideShortMatchesBackToBack) {
    constexpr uint32_t kSlot = 36, kRepeats = 200;
    for (bool aligned : {false, true}) {
        SCOPED_TRACE(aligned ? "aligned offset" : "verbatim");
        lzxtest::StreamBuilder s(21);
        std::vector<uint32_t> mainSymbols, lengthSymbols = {0, 1};
        for (uint32_t k = 0; k < 15; ++k) mainSymbols.push_back('a' + k);
        mainSymbols.push_back(256 + 8 * kSlot + 5);  // length 7
        mainSymbols.push_back(256 + 8 * kSlot + 6);  // length 8
        s.translation(false);
        s.header(aligned ? lzx::AlignedOffset : lzx::Verbatim, kRepeats * 15 / 2);
        if (aligned) s.alignedTree(staircase(8, {0, 1, 2, 3, 4, 5, 7, 6}));
        s.trees(staircase(s.mainSymbols(), mainSymbols),
                staircase(lzx::kLengthSymbols, lengthSymbols));
        for (uint32_t r = 0; r < kRepeats; ++r) {
            s.match(7 + r % 2, kSlot, (r * 2654435761u) >> 15 | 6 | (r & 1), aligned);
        }
        const Bytes frame = s.finish();
        FastAndCareful loops(21);
        loops.assumeWindowFilled();
        EXPECT_EQ(loops.decodeBoth(frame, kRepeats * 15 / 2), CodecOk);
        EXPECT_EQ(loops.longestMainCode(), 16);
    }
}

// The output of literals and matches as the format defines them, kept
// apart from the decoder: repeated offsets R0..R2 and a byte-by-byte copy
// over the whole output.
class ReferenceOutput {
public:
    void literal(uint8_t byte) { out_.push_back(byte); }

    // A match in `slot`; slots 4 and above bring the fresh `distance`.
    void match(uint32_t length, uint32_t slot, uint32_t distance) {
        if (slot == 0) {
            distance = r_[0];
        } else if (slot == 1 || slot == 2) {
            distance = r_[slot];
            std::swap(r_[0], r_[slot]);
        } else {
            if (slot == 3) distance = 1;
            r_[2] = r_[1];
            r_[1] = r_[0];
            r_[0] = distance;
        }
        for (uint32_t k = 0; k < length; ++k) out_.push_back(out_[out_.size() - distance]);
    }

    const Bytes& bytes() const { return out_; }
    size_t size() const { return out_.size(); }

private:
    Bytes out_;
    uint32_t r_[3] = {1, 1, 1};
};

// One verbatim or aligned-offset block coding every main and length symbol,
// written beside its reference output and cut into 32,768-byte frames.
// Every match ends inside its frame: literals fill up to the frame's end
// where one would not fit.
class ReferenceStream {
public:
    static constexpr uint32_t kFrame = 32768;

    ReferenceStream(int windowBits, bool aligned, uint32_t seed)
        : bits_(windowBits), aligned_(aligned), builder_(windowBits), random_(seed) {
        std::vector<uint32_t> every(builder_.mainSymbols());
        for (uint32_t k = 0; k < every.size(); ++k) every[k] = k;
        std::vector<uint32_t> everyLength(lzx::kLengthSymbols);
        for (uint32_t k = 0; k < everyLength.size(); ++k) everyLength[k] = k;
        builder_.translation(false);
        builder_.header(aligned ? lzx::AlignedOffset : lzx::Verbatim, 0xFFFFFF);
        if (aligned) builder_.alignedTree(std::vector<uint8_t>(8, 3));
        builder_.trees(lengthsFor(builder_.mainSymbols(), every),
                       lengthsFor(lzx::kLengthSymbols, everyLength));
    }

    void literal() {
        const uint8_t byte = uint8_t(random_());
        builder_.literal(byte);
        reference_.literal(byte);
        endFrameIfFull();
    }

    // Literals until `bytes` more fit in the current frame.
    void makeRoom(uint32_t bytes) {
        while (reference_.size() % kFrame + bytes > kFrame) literal();
    }

    // A match in slot 0..3, or (kind 4) from the fresh `distance`.
    void match(uint32_t length, uint32_t kind, uint32_t distance) {
        makeRoom(length);
        uint32_t slot = kind, offsetBits = 0;
        if (kind == 4) lzxtest::slotFor(distance, slot, offsetBits);
        builder_.match(length, slot, offsetBits, aligned_);
        reference_.match(length, slot, distance);
        endFrameIfFull();
    }

    size_t size() const { return reference_.size(); }
    uint32_t random() { return uint32_t(random_()); }

    // Decodes the frames with the fast loop and with the careful loop alone;
    // both must give the reference output.
    void expectBothLoopsGiveTheReference() {
        const uint32_t lastSize = uint32_t(reference_.size() % kFrame);
        std::vector<Bytes> frames = frames_;
        if (lastSize != 0) frames.push_back(builder_.finish());
        for (bool careful : {false, true}) {
            SCOPED_TRACE(careful ? "careful loop" : "fast loop");
            lzxtest::Instance codec(bits_);
            decoderOf(codec).carefulOnly = careful;
            Bytes all, out;
            for (size_t f = 0; f < frames.size(); ++f) {
                const uint32_t size = f + 1 < frames.size() || lastSize == 0 ? kFrame : lastSize;
                ASSERT_EQ(codec.decompress(frames[f], size, out), CodecOk) << "frame " << f;
                all.insert(all.end(), out.begin(), out.end());
            }
            EXPECT_TRUE(all == reference_.bytes()) << "output differs from the reference";
        }
    }

private:
    void endFrameIfFull() {
        if (reference_.size() % kFrame == 0) frames_.push_back(builder_.finish());
    }

    int bits_;
    bool aligned_;
    lzxtest::StreamBuilder builder_;
    ReferenceOutput reference_;
    std::mt19937 random_;
    std::vector<Bytes> frames_;
};

// Every match length 2..257 in each of slots 0..3 and with a fresh distance,
// in one long block of a 64 KB window: several frames, so that the window
// wraps and the fresh distances reach back across its end. Both loops must
// give the reference output.
TEST(LzxDecodingLoops, EveryMatchLengthInEverySlotKindGivesTheReferenceOutput) {
    constexpr int kBits = 16;
    for (bool aligned : {false, true}) {
        SCOPED_TRACE(aligned ? "aligned offset" : "verbatim");
        ReferenceStream s(kBits, aligned, 11);
        for (int k = 0; k < 300; ++k) s.literal();
        // Kinds 0..3 are slots 0..3, kind 4 a fresh distance; shuffled for
        // each length, so that every slot follows every other and each
        // update of the repeated offsets is seen by later matches.
        uint32_t kinds[5] = {0, 1, 2, 3, 4};
        std::mt19937 shuffler(11);
        for (uint32_t length = lzx::kMinMatch; length <= lzx::kMaxMatch; ++length) {
            std::shuffle(std::begin(kinds), std::end(kinds), shuffler);
            for (uint32_t kind : kinds) {
                // Fresh distances up to the window's size once it is full.
                const uint32_t reach = uint32_t(std::min<size_t>(s.size(), 1u << kBits));
                s.match(length, kind, 1 + s.random() % reach);
                s.literal();
            }
        }
        ASSERT_GT(s.size(), size_t(2) << kBits);  // the window wraps twice
        s.expectBothLoopsGiveTheReference();
    }
}

// Once the window has filled, the bytes just past a match are the previous
// pass's, and a match at a distance of the window's size less 3..32 (the
// farthest the position slots reach) reads them next. Each match of every
// length 2..257, from near and far sources (whole-step copies of every
// width), is followed by such a match.
TEST(LzxDecodingLoops, AfterTheWindowFillsTheBytesPastAMatchStayThePreviousPass) {
    constexpr int kBits = 15;
    constexpr uint32_t kWindow = 1u << kBits;
    const uint32_t nearDistances[] = {1, 2, 5, 8, 13, 16, 23, 32, 40, 300, kWindow - 300};
    for (bool aligned : {false, true}) {
        SCOPED_TRACE(aligned ? "aligned offset" : "verbatim");
        ReferenceStream s(kBits, aligned, 23);
        while (s.size() < kWindow + 100) s.literal();
        for (uint32_t length = lzx::kMinMatch; length <= lzx::kMaxMatch; ++length) {
            for (uint32_t ahead = 3; ahead <= 32; ahead += 1 + length % 4) {
                const uint32_t after = 2 + (length + ahead) % 15;
                s.makeRoom(length + after);
                const uint32_t near = nearDistances[(length + ahead) % std::size(nearDistances)];
                s.match(length, near == 1 ? 3 : 4, near);  // distance 1 is slot 3's
                s.match(after, 4, kWindow - ahead);
            }
        }
        s.expectBothLoopsGiveTheReference();
    }
}

// Each time the output passes a whole number of windows, the window's end
// comes round. Just past it, matches from the largest distance the position
// slots reach (the window's size less 3) and near it read the previous
// pass; then matches of lengths 2..40 and some longer ones take sources
// that begin 1 to length - 1 bytes before the window's end and run on across
// it into the pass just begun. Four times round, by both loops against
// the reference.
TEST(LzxDecodingLoops, SourcesAcrossTheWindowsEndAndFromAWindowBackAreExact) {
    constexpr int kBits = 15;
    constexpr uint32_t kWindow = 1u << kBits;
    std::vector<uint32_t> lengths;
    for (uint32_t length = lzx::kMinMatch; length <= 40; ++length) lengths.push_back(length);
    for (uint32_t length : {64u, 100u, 255u, 257u}) lengths.push_back(length);
    for (bool aligned : {false, true}) {
        SCOPED_TRACE(aligned ? "aligned offset" : "verbatim");
        ReferenceStream s(kBits, aligned, 31);
        for (uint32_t round = 1; round <= 4; ++round) {
            while (s.size() < round * kWindow) s.literal();
            for (uint32_t length : {2u, 8u, 9u, 33u, 257u}) {
                for (uint32_t distance : {kWindow - 3, kWindow - 4, kWindow - 31, kWindow - 300}) {
                    s.match(length, 4, distance);
                    s.literal();
                }
            }
            for (uint32_t length : lengths) {
                for (uint32_t before : {1u, length / 2, length - 1}) {
                    const uint32_t distance = uint32_t(s.size() % kWindow) + before;
                    s.match(length, 4, distance);
                }
            }
            // Every match fitted in the frame that began at the window's end.
            ASSERT_LT(s.size() % kWindow, ReferenceStream::kFrame);
        }
        s.expectBothLoopsGiveTheReference();
    }
}

// The small window the copy tests work in: kCopyWindow bytes and the spare
// bytes after them, all drawn from `random`.
constexpr uint32_t kCopyWindow = 1u << 15;
Bytes randomCopyWindow(std::mt19937& random) {
    Bytes window(kCopyWindow + lzx::kWindowSpare);
    for (auto& b : window) b = uint8_t(random());
    return window;
}

// Copies a match in `window` with the decoder's copy and tells whether the
// window then equals a byte-by-byte copy with masked positions.
bool copiesAsByteByByte(Bytes& window, uint32_t mask, uint32_t i, uint32_t distance,
                        uint32_t length) {
    Bytes reference = window;
    for (uint32_t k = 0; k < length; ++k) {
        reference[i + k] = reference[(i + k - distance) & mask];
    }
    lzx::copyMatch(window.data(), mask, i, distance, length);
    return window == reference;
}

// Every match copy against a byte-by-byte copy with masked positions, over
// one small window: the same bytes, and no byte written beyond the match
// (the bytes ahead are still the previous pass, which later matches read).
TEST(LzxDecodingLoops, MatchCopiesWriteExactlyTheMatchAsByteByByte) {
    constexpr uint32_t kWindow = kCopyWindow, kMask = kWindow - 1;
    std::mt19937 random(3);
    Bytes window = randomCopyWindow(random);
    const uint32_t distances[] = {0,  1,  2,  3,  5,  7,  8,  9,  15, 16,
                                  17, 31, 32, 33, 64, 200, 257, 258, 4000, kWindow - 1, kWindow - 2,
                                  kWindow - 8, kWindow - 300, kWindow, kWindow + 5, 2228221};
    int copies = 0;
    for (uint32_t distance : distances) {
        for (uint32_t length : {2u, 3u, 4u, 7u, 8u, 9u, 15u, 16u, 17u, 33u, 40u, 256u, 257u}) {
            // Destinations at the window's start, its end and in between.
            for (uint32_t i : {0u, 1u, 6u, 300u, 20000u, kWindow - 300, kWindow - length}) {
                ASSERT_TRUE(copiesAsByteByByte(window, kMask, i, distance, length))
                    << "distance " << distance << " length " << length << " at " << i;
                ++copies;
                window[random() % kWindow] ^= 0x5A;  // vary the contents
            }
        }
    }
    EXPECT_EQ(copies, 26 * 13 * 7);
}

// Sources that end a byte short of the window's end, exactly at it, and a
// byte past it (which wraps), for every match length: the whole-word copies
// take the first two, the byte-wise wrap the last. Destinations both well
// behind the source and right at the window's start, where the wrapped
// bytes are the match's own first ones.
TEST(LzxDecodingLoops, SourcesEndingAtTheWindowsEndCopyExactly) {
    constexpr uint32_t kWindow = kCopyWindow, kMask = kWindow - 1;
    std::mt19937 random(11);
    Bytes window = randomCopyWindow(random);
    int copies = 0;
    for (uint32_t length = lzx::kMinMatch; length <= lzx::kMaxMatch; ++length) {
        for (uint32_t pastEnd : {0u, 1u, 2u}) {
            const uint32_t src = kWindow - 1 - length + pastEnd;  // ends at kWindow - 1 + pastEnd
            for (uint32_t i : {0u, 1000u}) {
                const uint32_t distance = (i - src) & kMask;
                ASSERT_TRUE(copiesAsByteByByte(window, kMask, i, distance, length))
                    << "source " << src << " length " << length << " at " << i;
                ++copies;
                window[random() % kWindow] ^= 0x3C;
            }
        }
    }
    EXPECT_EQ(copies, 256 * 3 * 2);
}

// Before the window is first filled, a copy may write past the match: every
// length 2..257 from every distance up to 40 and some far ones, against a
// byte-by-byte copy, at the window's start and its end. The bytes before the
// destination and the match's own must be exact; at most 31 after it change.
TEST(LzxDecodingLoops, FirstPassCopiesOfEveryLengthAndNearDistanceAreExact) {
    constexpr uint32_t kWindow = kCopyWindow;
    std::mt19937 random(9);
    Bytes window = randomCopyWindow(random);
    std::vector<uint32_t> distances;
    for (uint32_t d = 1; d <= 40; ++d) distances.push_back(d);
    for (uint32_t d : {257u, 1000u, kWindow - 300}) distances.push_back(d);
    int copies = 0;
    for (uint32_t distance : distances) {
        for (uint32_t length = lzx::kMinMatch; length <= lzx::kMaxMatch; ++length) {
            for (uint32_t i : {distance, distance + 13, kWindow - length}) {
                if (i < distance) continue;
                Bytes reference(window);
                for (uint32_t k = 0; k < length; ++k) reference[i + k] = reference[i + k - distance];
                lzx::copyMatchFirstPass(window.data(), i, distance, length);
                ASSERT_TRUE(std::equal(window.begin(), window.begin() + i + length, reference.begin()))
                    << "distance " << distance << " length " << length << " at " << i;
                ASSERT_TRUE(std::equal(window.begin() + i + length + 31, window.end(),
                                       reference.begin() + i + length + 31))
                    << "distance " << distance << " length " << length << " at " << i;
                ++copies;
                window[random() % kWindow] ^= 0x5A;  // vary the contents
            }
        }
    }
    EXPECT_EQ(copies, 43 * 256 * 3);
}

// Every length up to 17 (short matches copy in whole words whose bytes past
// the match are the destination's own), from sources behind the destination,
// ahead of it (an older pass over the window) and overlapping the words the
// copy reads, at the window's start and end.
TEST(LzxDecodingLoops, ShortMatchesOfEveryLengthCopyExactly) {
    constexpr uint32_t kWindow = kCopyWindow, kMask = kWindow - 1;
    std::mt19937 random(5);
    Bytes window = randomCopyWindow(random);
    int copies = 0;
    for (uint32_t length = lzx::kMinMatch; length <= 17; ++length) {
        for (uint32_t distance : {length, length + 1, 16u, 23u, 1000u, kWindow - 20,
                                  kWindow - 9, kWindow - 1}) {
            for (uint32_t i : {0u, 5u, 777u, kWindow - 40, kWindow - length}) {
                ASSERT_TRUE(copiesAsByteByByte(window, kMask, i, distance, length))
                    << "distance " << distance << " length " << length << " at " << i;
                ++copies;
                window[random() % kWindow] ^= 0xA5;
            }
        }
    }
    EXPECT_EQ(copies, 16 * 8 * 5);
}

}  // namespace
