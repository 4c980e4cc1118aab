// Directory paths from the environment, within their 512-byte buffers.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "installer/paths.h"
#include "sandbox.h"

namespace {

TEST(InstallerPaths, VariablesLongerThan511CharactersCountAsAbsent) {
    Sandbox sandbox;
    PathBuffer buffer;
    Sandbox::setVariable("windir", std::string(511, 'w').c_str());
    ASSERT_TRUE(windowsDirectory(buffer));
    EXPECT_EQ(std::strlen(buffer), 511u);
    EXPECT_FALSE(systemDirectory(buffer));  // no room for "\system32\"

    Sandbox::setVariable("windir", std::string(512, 'w').c_str());
    std::memset(buffer, 'x', sizeof buffer);
    EXPECT_FALSE(windowsDirectory(buffer));
    for (char c : buffer) ASSERT_EQ(c, '\0');  // zero-filled, not a truncated path

    Sandbox::setVariable("windir", "C:\\WINDOWS");
    ASSERT_TRUE(systemDirectory(buffer));
    EXPECT_STREQ(buffer, "C:\\WINDOWS\\system32\\");

    // Appending refuses what does not fit and leaves the buffer as it was.
    ASSERT_TRUE(copyPath(buffer, std::string(510, 'a').c_str()));
    EXPECT_TRUE(appendPath(buffer, "b"));
    EXPECT_FALSE(appendPath(buffer, "c"));
    EXPECT_EQ(std::string(buffer), std::string(510, 'a') + "b");
}

TEST(InstallerPaths, TemporaryDirectoryFallsBackFromTempToTmp) {
    Sandbox sandbox;
    PathBuffer buffer;
    Sandbox::setVariable("temp", "/first");
    Sandbox::setVariable("tmp", "/second");
    ASSERT_TRUE(temporaryDirectory(buffer));
    EXPECT_STREQ(buffer, "/first");
    Sandbox::setVariable("temp", "");
    Sandbox::setVariable("TMP", "/upper");  // names are matched without regard to case
    ASSERT_TRUE(temporaryDirectory(buffer));
    EXPECT_STREQ(buffer, "/upper");
    Sandbox::setVariable("tmp", nullptr);
    EXPECT_FALSE(temporaryDirectory(buffer));
}

}  // namespace
