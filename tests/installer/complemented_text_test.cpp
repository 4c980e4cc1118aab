// Texts stored complemented: in-place and copy decoding, and the link's texts.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "installer/complemented_text.h"
#include "installer/link_texts.h"

namespace {

TEST(ComplementedText, InPlaceFormDecodesOnceAndStaysDecoded) {
    auto stored = storeInPlace("abc");
    EXPECT_EQ(stored.size(), 5u);
    EXPECT_EQ(stored[0], 0xFF);
    EXPECT_EQ(stored[1], static_cast<unsigned char>(~'a'));
    EXPECT_EQ(stored[4], 0xFF);  // the complemented NUL

    // Trailing bytes after the text must not be touched.
    unsigned char buffer[7];
    std::memcpy(buffer, stored.data(), stored.size());
    buffer[5] = 0x12;
    buffer[6] = 0xFF;
    const char* text = decodeInPlace(buffer);
    EXPECT_STREQ(text, "abc");
    EXPECT_EQ(text, reinterpret_cast<const char*>(buffer + 1));
    EXPECT_EQ(buffer[0], 0);
    EXPECT_EQ(buffer[5], 0x12);
    EXPECT_EQ(buffer[6], 0xFF);
    // A second decoding finds the marker gone and changes nothing.
    EXPECT_STREQ(decodeInPlace(buffer), "abc");
}

TEST(ComplementedText, CopyFormLeavesTheStorageAndDecodesEveryTime) {
    constexpr auto stored = storeForCopy("open");
    auto copy = stored;
    EXPECT_STREQ(decodeCopy(copy.data()), "open");
    EXPECT_EQ(copy, stored);
    EXPECT_STREQ(decodeCopy(copy.data()), "open");

    // A text without its terminator is cut at the scratch buffer's size.
    unsigned char unterminated[kScratchTextSize + 10];
    std::memset(unterminated, static_cast<unsigned char>(~'z'), sizeof unterminated);
    EXPECT_EQ(std::strlen(decodeCopy(unterminated)), kScratchTextSize - 1);
}

TEST(ComplementedText, LinkTextsDecodeToDistinctNamesVerbAndAddress) {
    std::string previous = previousProcedureProperty();
    std::string colour = linkColourProperty();
    EXPECT_EQ(previous.size(), 13u);
    EXPECT_EQ(colour.size(), 12u);
    EXPECT_NE(previous, colour);
    EXPECT_EQ(std::string(previousProcedureProperty()), previous);  // stable once decoded
    EXPECT_STREQ(linkVerb(), "open");
    EXPECT_STREQ(linkTarget(), "http://www.qmora-saver.example");
    EXPECT_EQ(std::strlen(linkTarget()), 30u);
}

}  // namespace
