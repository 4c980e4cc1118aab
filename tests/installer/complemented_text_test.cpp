// Texts stored complemented: in-place and copy decoding, and the link's texts.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "installer/complemented_text.h"
#include "installer/link_texts.h"

namespace {

TEST(ComplementedText, InPlaceFormDecodesOnceAndTouchesNothingBeyond) {
    auto stored = storeInPlace("abc");
    unsigned char buffer[6];
    std::memcpy(buffer, stored.data(), stored.size());
    buffer[5] = 0x12;
    EXPECT_EQ(buffer[0], 0xFF);
    EXPECT_EQ(buffer[4], 0xFF);  // the complemented NUL
    EXPECT_STREQ(decodeInPlace(buffer), "abc");
    EXPECT_EQ(buffer[0], 0);
    EXPECT_EQ(buffer[5], 0x12);
    EXPECT_STREQ(decodeInPlace(buffer), "abc");  // already decoded: unchanged
}

TEST(ComplementedText, CopyFormLeavesTheStorageAndIsCutToTheScratchBuffer) {
    constexpr auto stored = storeForCopy("open");
    auto copy = stored;
    EXPECT_STREQ(decodeCopy(copy.data()), "open");
    EXPECT_STREQ(decodeCopy(copy.data()), "open");
    EXPECT_EQ(copy, stored);
    unsigned char unterminated[kScratchTextSize + 10];
    std::memset(unterminated, static_cast<unsigned char>(~'z'), sizeof unterminated);
    EXPECT_EQ(std::strlen(decodeCopy(unterminated)), kScratchTextSize - 1);
}

TEST(ComplementedText, LinkTextsDecodeToDistinctNamesVerbAndAddress) {
    std::string previous = previousProcedureProperty();
    EXPECT_EQ(previous.size(), 13u);
    EXPECT_EQ(std::strlen(linkColourProperty()), 12u);
    EXPECT_NE(previous, linkColourProperty());
    EXPECT_EQ(previous, previousProcedureProperty());  // stable once decoded
    EXPECT_STREQ(linkVerb(), "open");
    EXPECT_STREQ(linkTarget(), "http://www.qmora-saver.example");
}

}  // namespace
