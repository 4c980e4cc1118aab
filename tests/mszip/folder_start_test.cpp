// A folder's bytes never depend on what the output buffer held before it:
// a reference reaching before the folder's first byte fails the block in
// both decoding loops, whether or not an earlier folder left its bytes in
// the buffer, while one reaching back exactly to the first byte decodes.
#include "codecs/mszip/mszip_decoder.h"
#include "tests/mszip/codec_harness.h"
#include "tests/mszip/deflate_writer.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using deflate_writer::Token;
using harness::Bytes;

constexpr uint32_t kAround = 300;  // literals before and after the match

Bytes fixedBlock(const std::vector<Token>& tokens) {
    deflate_writer::BitWriter out;
    deflate_writer::fixedBlock(out, true, tokens);
    return out.mszipBlock();
}

uint8_t patternByte(size_t i) { return uint8_t('a' + i % 16); }

// kAround literals, a match of 8 bytes `distance` back, kAround literals:
// far from the input's end, where the fast loop runs.
Bytes literalsAroundAMatch(uint32_t distance) {
    std::vector<Token> tokens;
    for (uint32_t i = 0; i < kAround; ++i) tokens.push_back({patternByte(i)});
    tokens.push_back({8, distance});
    for (uint32_t i = 0; i < kAround; ++i) tokens.push_back({patternByte(i)});
    return fixedBlock(tokens);
}

void holdToCarefulLoop(harness::Mszip& codec, bool careful) {
    static_cast<mszip::MszipHandle*>(codec.handle)->decoder->carefulOnly = careful ? 1 : 0;
}

TEST(MszipFolderStart, ReferencesBeforeTheFirstByteFailWhateverCameBefore) {
    Bytes earlier(32768);
    for (size_t i = 0; i < earlier.size(); ++i) earlier[i] = uint8_t(i * 13 + 1);
    Bytes sound;
    for (uint32_t i = 0; i < kAround; ++i) sound.push_back(patternByte(i));
    for (uint32_t i = 0; i < 8; ++i) sound.push_back(sound[i]);
    for (uint32_t i = 0; i < kAround; ++i) sound.push_back(patternByte(i));

    const struct {
        std::string name;
        Bytes block;
        bool sound;
    } cases[] = {
        {"back to the first byte", literalsAroundAMatch(kAround), true},
        {"one byte before it", literalsAroundAMatch(kAround + 1), false},
        {"the whole ring back", literalsAroundAMatch(32768), false},
        {"a match opening the folder", fixedBlock({{3, 1}, {'z'}}), false},
    };
    for (const auto& c : cases) {
        for (bool careful : {false, true}) {
            for (bool earlierFirst : {false, true}) {
                SCOPED_TRACE(c.name + (careful ? ", careful loop" : ", fast loop") +
                             (earlierFirst ? ", after a folder" : ""));
                harness::Mszip codec;
                holdToCarefulLoop(codec, careful);
                if (earlierFirst) {
                    ASSERT_EQ(codec.primeHistory(earlier), CodecOk);
                    ASSERT_EQ(mszipReset(codec.handle), CodecOk);
                }
                const int result = codec.decode(c.block);
                if (c.sound) {
                    ASSERT_EQ(result, CodecOk);
                    EXPECT_EQ(codec.output(), sound);
                } else {
                    EXPECT_EQ(result, CodecBadData);
                }
            }
        }
    }
}

TEST(MszipFolderStart, OnlyAFullPreviousBlockOfTheFolderCanBeReachedThroughTheRing) {
    // Within a folder a reference may reach into the previous block, when
    // that block has filled the ring. After a short block the ring's far end
    // still holds an older block's bytes, or what was there before the
    // folder, and after a failed one bytes that are no history: a reference
    // reaching before the current block then fails instead of reading them.
    for (bool careful : {false, true}) {
        SCOPED_TRACE(careful ? "careful loop" : "fast loop");
        Bytes previous(32768);
        for (size_t i = 0; i < previous.size(); ++i) previous[i] = uint8_t(i * 7 + 2);

        harness::Mszip full;
        holdToCarefulLoop(full, careful);
        ASSERT_EQ(full.primeHistory(previous), CodecOk);
        ASSERT_EQ(full.decode(literalsAroundAMatch(kAround + 1)), CodecOk);
        // The match at 300 reaches one byte before the block: the previous
        // block's last byte, then this block's first seven.
        EXPECT_EQ(full.output()[kAround], previous.back());
        EXPECT_EQ(full.output()[kAround + 1], patternByte(0));

        harness::Mszip shortFirst;
        holdToCarefulLoop(shortFirst, careful);
        ASSERT_EQ(shortFirst.primeHistory(Bytes(previous.begin(), previous.begin() + 1000)),
                  CodecOk);
        EXPECT_EQ(shortFirst.decode(literalsAroundAMatch(kAround + 1)), CodecBadData);
        // A reference within the block is still sound.
        ASSERT_EQ(shortFirst.decode(literalsAroundAMatch(kAround)), CodecOk);

        harness::Mszip shortAfterFull;
        holdToCarefulLoop(shortAfterFull, careful);
        ASSERT_EQ(shortAfterFull.primeHistory(previous), CodecOk);
        ASSERT_EQ(shortAfterFull.primeHistory(Bytes(previous.begin(), previous.begin() + 1000)),
                  CodecOk);
        EXPECT_EQ(shortAfterFull.decode(literalsAroundAMatch(kAround + 1)), CodecBadData);

        const Bytes reservedBlockType{'C', 'K', 0x07}, noSignature{'C', 'X', 0x03, 0x00};
        for (const Bytes& failing : {reservedBlockType, noSignature}) {
            harness::Mszip failedAfterFull;
            holdToCarefulLoop(failedAfterFull, careful);
            ASSERT_EQ(failedAfterFull.primeHistory(previous), CodecOk);
            ASSERT_EQ(failedAfterFull.decode(failing), CodecBadData);
            EXPECT_EQ(failedAfterFull.decode(literalsAroundAMatch(kAround + 1)), CodecBadData);
        }
    }
}

}  // namespace
