// A folder's bytes never depend on what the window held before it: a match
// reaching before the folder's first byte fails the call in both decoding
// loops and at every window size, whether or not an earlier folder was
// decoded, while one reaching back exactly to the first byte decodes.
#include "codecs/lzx/lzx_decoder.h"
#include "tests/lzx/codec_harness.h"
#include "tests/lzx/stream_builder.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using lzxtest::Bytes;
using lzxtest::Instance;
using lzxtest::StreamBuilder;

const std::vector<uint8_t> kNoLengths(lzx::kLengthSymbols, 0);
constexpr uint32_t kAround = 300;  // literals before and after the match

Bytes pattern(size_t size) {
    Bytes b(size);
    for (size_t i = 0; i < size; ++i) b[i] = uint8_t('a' + i % 16);
    return b;
}

// An earlier folder filling the whole window: one uncompressed block whose
// bytes run on from frame to frame.
std::vector<Bytes> wholeWindowFolder(int windowBits) {
    const Bytes data = pattern(size_t(1) << windowBits);
    StreamBuilder s(windowBits);
    s.translation(false);
    s.header(lzx::Uncompressed, uint32_t(data.size()));
    s.bits().alignToWord(true);
    for (int r = 0; r < 3; ++r) s.bits().putLong(1);
    s.bits().putBytes(data.data(), 32768);
    std::vector<Bytes> frames{s.finish()};
    for (size_t at = 32768; at < data.size(); at += 32768) {
        frames.emplace_back(data.begin() + long(at), data.begin() + long(at) + 32768);
    }
    return frames;
}

// kAround literals, a match of 8 bytes `distance` back, kAround literals:
// the match is decoded far from the input's end, where the fast loop runs.
Bytes literalsAroundAMatch(int windowBits, uint32_t distance, bool aligned, Bytes* expected) {
    StreamBuilder s(windowBits);
    uint32_t slot, offsetBits;
    lzxtest::slotFor(distance, slot, offsetBits);
    std::vector<uint32_t> used{256 + 8 * slot + 6};
    for (uint32_t c = 'a'; c < 'a' + 16; ++c) used.push_back(c);
    s.translation(false);
    s.header(aligned ? lzx::AlignedOffset : lzx::Verbatim, 2 * kAround + 8);
    if (aligned) s.alignedTree(std::vector<uint8_t>(8, 3));
    s.trees(lzxtest::lengthsFor(s.mainSymbols(), used), kNoLengths);
    *expected = pattern(kAround);
    for (uint8_t byte : *expected) s.literal(byte);
    s.match(8, slot, offsetBits, aligned);
    for (uint32_t k = 0; k < 8; ++k) {
        // Only a match within the folder has bytes to expect.
        const uint8_t byte =
            distance <= expected->size() ? (*expected)[expected->size() - distance] : 0;
        expected->push_back(byte);
    }
    for (uint32_t k = 0; k < kAround; ++k) {
        s.literal(uint8_t('a' + k % 16));
        expected->push_back(uint8_t('a' + k % 16));
    }
    return s.finish();
}

// Repeated offsets: R0 = R1 = R2 = 1 after a reset, so a slot-0 match as
// the folder's first symbol reaches one byte before it; after one literal
// it copies that literal.
Bytes repeatedOffsetMatch(int windowBits, bool literalFirst, Bytes* expected) {
    StreamBuilder s(windowBits);
    s.translation(false);
    s.header(lzx::Verbatim, literalFirst ? 5 : 4);
    s.trees(lzxtest::lengthsFor(s.mainSymbols(), {'r', 256 + 2}), kNoLengths);
    if (literalFirst) s.literal('r');
    s.match(4, 0);
    *expected = Bytes(5, 'r');
    return s.finish();
}

// An uncompressed block stores R0 = `r0`; a verbatim block then uses it.
Bytes storedOffsetMatch(int windowBits, uint32_t r0) {
    StreamBuilder s(windowBits);
    s.translation(false);
    s.stored({'o', 'k'}, r0, 1, 1);
    s.header(lzx::Verbatim, 2);
    s.trees(lzxtest::lengthsFor(s.mainSymbols(), {'k', 256}), kNoLengths);
    s.match(2, 0);
    return s.finish();
}

struct Case {
    std::string name;
    Bytes stream;
    uint32_t size;
    bool sound;
    Bytes expected;
};

std::vector<Case> cases(int windowBits) {
    std::vector<Case> all;
    for (bool aligned : {false, true}) {
        const std::string kind = aligned ? "aligned" : "verbatim";
        Case back{kind + " match to the first byte", {}, 2 * kAround + 8, true, {}};
        back.stream = literalsAroundAMatch(windowBits, kAround, aligned, &back.expected);
        all.push_back(back);
        Case before{kind + " match one byte before it", {}, 2 * kAround + 8, false, {}};
        before.stream = literalsAroundAMatch(windowBits, kAround + 1, aligned, &before.expected);
        all.push_back(before);
    }
    Case repeated{"repeated offset after a literal", {}, 5, true, {}};
    repeated.stream = repeatedOffsetMatch(windowBits, true, &repeated.expected);
    all.push_back(repeated);
    Case opening{"repeated offset opening the folder", {}, 4, false, {}};
    opening.stream = repeatedOffsetMatch(windowBits, false, &opening.expected);
    all.push_back(opening);
    // Distance 0 would copy bytes not yet produced; a stored offset of a
    // whole window or more reaches before the start as well.
    all.push_back({"stored offset 0", storedOffsetMatch(windowBits, 0), 4, false, {}});
    all.push_back({"stored offset of a window",
                   storedOffsetMatch(windowBits, 1u << windowBits),
                   4,
                   false,
                   {}});
    all.push_back({"stored offset 3", storedOffsetMatch(windowBits, 3), 4, false, {}});
    return all;
}

TEST(LzxFolderStart, MatchesBeforeTheFirstByteFailWhateverCameBefore) {
    for (int windowBits : {15, 21}) {
        const std::vector<Bytes> earlier = wholeWindowFolder(windowBits);
        for (const Case& c : cases(windowBits)) {
            for (bool careful : {false, true}) {
                for (bool earlierFirst : {false, true}) {
                    SCOPED_TRACE(c.name + ", window bits " + std::to_string(windowBits) +
                                 (careful ? ", careful loop" : ", fast loop") +
                                 (earlierFirst ? ", after a folder" : ""));
                    Instance codec(windowBits);
                    static_cast<lzx::Handle*>(codec.handle())->decoder->carefulOnly = careful;
                    Bytes out;
                    if (earlierFirst) {
                        for (const Bytes& frame : earlier) {
                            ASSERT_EQ(codec.decompress(frame, 32768, out), CodecOk);
                        }
                        ASSERT_EQ(codec.reset(), CodecOk);
                    }
                    const int result = codec.decompress(c.stream, c.size, out);
                    if (c.sound) {
                        ASSERT_EQ(result, CodecOk);
                        EXPECT_EQ(out, c.expected);
                    } else {
                        EXPECT_EQ(result, CodecBadData);
                    }
                }
            }
        }
    }
}

}  // namespace
