// Directory paths from the environment, within their 512-byte buffers.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "installer/paths.h"
#include "sandbox.h"

namespace {

TEST(InstallerPaths, VariablesUpTo511CharactersAreReadLongerOnesCountAsAbsent) {
    Sandbox sandbox;
    PathBuffer buffer;
    std::string longest(511, 'w');
    Sandbox::setVariable("windir", longest.c_str());
    ASSERT_TRUE(windowsDirectory(buffer));
    EXPECT_EQ(std::string(buffer), longest);

    std::string tooLong(512, 'w');
    Sandbox::setVariable("windir", tooLong.c_str());
    std::memset(buffer, 'x', sizeof buffer);
    EXPECT_FALSE(windowsDirectory(buffer));
    for (char c : buffer) ASSERT_EQ(c, '\0');  // zero-filled, not a truncated path

    Sandbox::setVariable("windir", nullptr);
    EXPECT_FALSE(windowsDirectory(buffer));
}

TEST(InstallerPaths, SystemDirectoryEndsInBackslashAndIsRefusedWhenItDoesNotFit) {
    Sandbox sandbox;
    PathBuffer buffer;
    Sandbox::setVariable("windir", "C:\\WINDOWS");
    ASSERT_TRUE(systemDirectory(buffer));
    EXPECT_STREQ(buffer, "C:\\WINDOWS\\system32\\");

    // 502 characters leave no room for the 10 of "\system32\".
    Sandbox::setVariable("windir", std::string(502, 'w').c_str());
    EXPECT_FALSE(systemDirectory(buffer));
    Sandbox::setVariable("windir", std::string(501, 'w').c_str());
    ASSERT_TRUE(systemDirectory(buffer));
    EXPECT_EQ(std::strlen(buffer), 511u);
}

TEST(InstallerPaths, TemporaryDirectoryFallsBackFromTempToTmp) {
    Sandbox sandbox;
    PathBuffer buffer;
    Sandbox::setVariable("temp", "/first");
    Sandbox::setVariable("tmp", "/second");
    ASSERT_TRUE(temporaryDirectory(buffer));
    EXPECT_STREQ(buffer, "/first");
    Sandbox::setVariable("temp", "");
    ASSERT_TRUE(temporaryDirectory(buffer));
    EXPECT_STREQ(buffer, "/second");
    Sandbox::setVariable("temp", nullptr);
    Sandbox::setVariable("TMP", "/upper");  // names are matched without regard to case
    ASSERT_TRUE(temporaryDirectory(buffer));
    EXPECT_STREQ(buffer, "/upper");
    Sandbox::setVariable("tmp", nullptr);
    EXPECT_FALSE(temporaryDirectory(buffer));
}

TEST(InstallerPaths, AppendingNeverWritesPastTheBuffer) {
    PathBuffer buffer;
    ASSERT_TRUE(copyPath(buffer, std::string(500, 'a').c_str()));
    EXPECT_TRUE(appendPath(buffer, "12345678901"));  // exactly 511 characters
    EXPECT_EQ(std::strlen(buffer), 511u);
    std::string before = buffer;
    EXPECT_FALSE(appendPath(buffer, "x"));
    EXPECT_EQ(std::string(buffer), before);  // unchanged on refusal
    EXPECT_FALSE(copyPath(buffer, std::string(512, 'b').c_str()));
    EXPECT_STREQ(buffer, "");
}

}  // namespace
