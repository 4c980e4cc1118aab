// Stored names on their way to Linux: wildcard filters and the conversion
// of code-page and UTF-8 names into printable UTF-8.
#include <iconv.h>

#include <gtest/gtest.h>

#include "tests/cabtool/library_internals.h"
#include "tools/cabtool/names/name_filter.h"

using cabtool::NameDecoder;
using cabtool::NameFilter;
using cabtool::wildcardMatch;

TEST(NameFilter, WildcardsFollowShellRulesWithinPathComponents) {
    const struct {
        const char* pattern;
        const char* name;
        bool matches;
    } cases[] = {
        {"*.dll", "d3dx9_25.dll", true},
        {"*.dll", "d3dx9_25.dll.bak", false},
        {"*.DLL", "Readme.dll", true},  // ASCII letters in either case
        {"sub/*.txt", "sub/a.txt", true},
        {"sub/*.txt", "sub/deeper/a.txt", false},  // '*' stays in one component
        {"sub/**.txt", "sub/deeper/a.txt", true},
        {"**/a.txt", "x/y/a.txt", true},
        {"?.txt", "a.txt", true},
        {"?.txt", "ab.txt", false},
        {"a?b", "a/b", false},
        {"?.txt", "\xC3\xA9.txt", true},  // one character, two bytes
        {"[a-c]*", "beta", true},
        {"[a-c]*", "delta", false},
        {"[!a-c]*", "delta", true},
        {"[^a-c]*", "alpha", false},
        {"[]x]", "]", true},
        {"[\xC3\xA0-\xC3\xBF]", "\xC3\xA9", true},
        {"\\*", "*", true},
        {"\\*", "a", false},
        {"[abc", "[abc", true},  // an unclosed bracket is literal
        {"", "", true},
        {"*", "", true},
        {"a*b*c", "aXXbYYc", true},
        {"a*b*c", "aXXbYY", false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(wildcardMatch(c.pattern, c.name), c.matches) << c.pattern << " vs " << c.name;
    }
}

TEST(NameFilter, PatternWithoutSlashMatchesTheLastComponentAndAnyPatternSelects) {
    NameFilter none;
    EXPECT_TRUE(none.selects("anything/at/all"));

    NameFilter filter;
    filter.add("*.inf");
    filter.add("drivers/*.sys");
    EXPECT_TRUE(filter.selects("setup.inf"));
    EXPECT_TRUE(filter.selects("x86/deep/setup.inf"));
    EXPECT_TRUE(filter.selects("drivers/net.sys"));
    EXPECT_FALSE(filter.selects("other/net.sys"));
    EXPECT_FALSE(filter.selects("setup.inf/readme"));
}

namespace {

std::string viaIconv(const char* encoding, uint8_t byte) {
    iconv_t conversion = iconv_open("UTF-8", encoding);
    if (conversion == iconv_t(-1)) return "no iconv";
    char in[1] = {char(byte)};
    char out[8];
    char* inPtr = in;
    char* outPtr = out;
    size_t inLeft = 1, outLeft = sizeof out;
    const size_t result = iconv(conversion, &inPtr, &inLeft, &outPtr, &outLeft);
    iconv_close(conversion);
    if (result == size_t(-1)) return "undefined";
    return std::string(out, size_t(outPtr - out));
}

}  // namespace

TEST(NameEncoding, BuiltInCodePagesAgreeWithTheCLibrary) {
    const struct {
        const char* ours;
        const char* library;
    } pages[] = {{"windows-1252", "CP1252"}, {"cp437", "CP437"}, {"cp850", "CP850"},
                 {"iso-8859-1", "ISO-8859-1"}};
    for (const auto& page : pages) {
        const auto decoder = NameDecoder::forEncoding(page.ours);
        ASSERT_TRUE(decoder.has_value()) << page.ours;
        for (int byte = 0x20; byte < 0x100; ++byte) {
            if (byte == 0x7F) continue;
            const std::string ours = decoder->toUtf8(std::string(1, char(byte)), 0);
            std::string expected = viaIconv(page.library, uint8_t(byte));
            // Undefined bytes and C1 controls are not characters of a name.
            if (expected == "undefined") expected = "\xEF\xBF\xBD";
            if (expected.size() == 2 && uint8_t(expected[0]) == 0xC2 && uint8_t(expected[1]) < 0xA0) {
                expected = "\xEF\xBF\xBD";
            }
            EXPECT_EQ(ours, expected) << page.ours << " byte " << byte;
        }
    }
}

TEST(NameEncoding, UsesUtf8AttributeOrTheChosenCodePage) {
    const auto defaults = NameDecoder::forEncoding(cabtool::kDefaultNameEncoding);
    ASSERT_TRUE(defaults.has_value());
    EXPECT_EQ(defaults->toUtf8("caf\xE9.txt", 0x20), "caf\xC3\xA9.txt");
    EXPECT_EQ(defaults->toUtf8("caf\xC3\xA9.txt", 0xA0), "caf\xC3\xA9.txt");  // UTF-8 bit
    EXPECT_EQ(defaults->toUtf8("\x80 5.txt", 0), "\xE2\x82\xAC 5.txt");

    const auto dos = NameDecoder::forEncoding("CP-850");
    ASSERT_TRUE(dos.has_value());
    EXPECT_EQ(dos->name(), "cp850");
    EXPECT_EQ(dos->toUtf8("\x82t\x82.txt", 0), "\xC3\xA9t\xC3\xA9.txt");

    // Beyond the tables, the C library converts: Shift-JIS, whose second
    // bytes may be 0x5C, the backslash of a path.
    const auto japanese = NameDecoder::forEncoding("SHIFT_JIS");
    ASSERT_TRUE(japanese.has_value());
    EXPECT_EQ(japanese->toUtf8("\x83\x5C.txt", 0), "\xE3\x82\xBD.txt");

    EXPECT_FALSE(NameDecoder::forEncoding("no-such-code-page").has_value());
}

TEST(NameEncoding, InvalidSequencesAndControlsNeverReachAFileName) {
    const auto decoder = NameDecoder::forEncoding("windows-1252");
    ASSERT_TRUE(decoder.has_value());
    const struct {
        const char* stored;
        uint16_t attributes;
        const char* expected;
    } cases[] = {
        {"a\x1B[31mred", 0, "a_[31mred"},            // escape sequence
        {"tab\there\x7F", 0, "tab_here_"},
        {"\x81\x8D.bin", 0, "\xEF\xBF\xBD\xEF\xBF\xBD.bin"},  // undefined in 1252
        {"bad\xFF\xFEutf", 0x80, "bad\xEF\xBF\xBD\xEF\xBF\xBDutf"},
        {"over\xC0\xAFlong", 0x80, "over\xEF\xBF\xBD\xEF\xBF\xBDlong"},  // overlong '/'
        {"over\xE0\x80\xAFlong", 0x80, "over\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBDlong"},
        {"cut\xE2\x82", 0x80, "cut\xEF\xBF\xBD\xEF\xBF\xBD"},
        {"sur\xED\xA0\x80", 0x80, "sur\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"},
        {"c1\xC2\x9B" "2J", 0x80, "c1_2J"},          // C1 control sequence introducer
        {"rtl\xE2\x80\xAEtxt.exe", 0x80, "rtl_txt.exe"},  // right-to-left override
    };
    for (const auto& c : cases) {
        EXPECT_EQ(cabtool::safeFileName(decoder->toUtf8(c.stored, c.attributes)), c.expected) << c.stored;
    }
    const auto viaLibrary = NameDecoder::forEncoding("KOI8-R");
    ASSERT_TRUE(viaLibrary.has_value());
    EXPECT_EQ(cabtool::safeFileName(viaLibrary->toUtf8("x\x1By\xFF", 0)), "x_y\xD0\xAA");
    // For printing, controls stay (to be shown escaped) and the result is
    // still valid UTF-8.
    EXPECT_EQ(decoder->toUtf8("a\x1B\xC0", 0x80), "a\x1B\xEF\xBF\xBD");
}

TEST(NameEncoding, LowerCaseCoversLatinGreekAndCyrillicCapitals) {
    EXPECT_EQ(cabtool::lowerCaseName("SETUP.EXE"), "setup.exe");
    EXPECT_EQ(cabtool::lowerCaseName("\xC3\x89T\xC3\x89 \xC3\x97"), "\xC3\xA9t\xC3\xA9 \xC3\x97");  // ÉTÉ ×
    EXPECT_EQ(cabtool::lowerCaseName("\xCE\xA9\xD0\x96\xD0\x81"), "\xCF\x89\xD0\xB6\xD1\x91");  // ΩЖЁ
    EXPECT_EQ(cabtool::lowerCaseName("\xE6\x97\xA5_\xEF\xBF\xBD"), "\xE6\x97\xA5_\xEF\xBF\xBD");
}
