// Environment edge cases and the file-system faults tests can simulate: a
// full disk, write-protected directories, a system without MoveFileExA.
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include <gtest/gtest.h>

#include "platform/testing.h"
#include "platform/win32.h"

extern char** environ;

namespace {

// Starts from an empty environment and puts the old one back.
class OwnEnvironment {
 public:
  OwnEnvironment() {
    for (char** entry = environ; entry && *entry; ++entry) saved_.emplace_back(*entry);
    clearenv();
  }
  ~OwnEnvironment() {
    clearenv();
    for (const std::string& entry : saved_) {
      const std::size_t equals = entry.find('=');
      setenv(entry.substr(0, equals).c_str(), entry.substr(equals + 1).c_str(), 1);
    }
  }

 private:
  std::vector<std::string> saved_;
};

TEST(EnvironmentLookup, ShortEntriesAreNotReadPastTheirEnd) {
  OwnEnvironment own;
  // "A=1" is far shorter than "windir": comparing the name must stop at its
  // end (the address sanitizer sees any read beyond it).
  setenv("A", "1", 1);
  char buffer[64] = "untouched";
  EXPECT_EQ(GetEnvironmentVariableA("windir", buffer, sizeof buffer), 0u);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ENVVAR_NOT_FOUND));
  EXPECT_EQ(GetEnvironmentVariableA("a", buffer, sizeof buffer), 1u);
  EXPECT_STREQ(buffer, "1");
  // A longer name that begins like the one asked for is another variable.
  setenv("windirx", "no", 1);
  EXPECT_EQ(GetEnvironmentVariableA("windir", buffer, sizeof buffer), 0u);
}

TEST(EnvironmentLookup, TemporaryDirectoryFallsBackToLinuxsOwn) {
  OwnEnvironment own;
  char buffer[64] = "";
  EXPECT_EQ(GetEnvironmentVariableA("temp", buffer, sizeof buffer), 4u);
  EXPECT_STREQ(buffer, "/tmp");
  setenv("TMPDIR", "/var/tmp", 1);
  EXPECT_EQ(GetEnvironmentVariableA("TEMP", buffer, sizeof buffer), 8u);
  EXPECT_STREQ(buffer, "/var/tmp");
  EXPECT_EQ(GetEnvironmentVariableA("tmp", buffer, sizeof buffer), 8u);
  // Either variable of the environment wins over the fallback, for both names.
  setenv("tmp", "/own", 1);
  EXPECT_EQ(GetEnvironmentVariableA("temp", buffer, sizeof buffer), 0u);
  EXPECT_EQ(GetEnvironmentVariableA("tmp", buffer, sizeof buffer), 4u);
  EXPECT_STREQ(buffer, "/own");
  // The Windows directory has no default.
  EXPECT_EQ(GetEnvironmentVariableA("windir", buffer, sizeof buffer), 0u);
}

class FileFaults : public ::testing::Test {
 protected:
  void SetUp() override {
    win32test::reset();
    char pattern[] = "/tmp/platform-faults-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    directory = pattern;
  }
  void TearDown() override {
    win32test::reset();
    chmod(directory.c_str(), 0755);
    std::filesystem::remove_all(directory);
  }
  std::string path(const std::string& name) const { return directory + "\\" + name; }
  std::uintmax_t sizeOf(const std::string& name) const {
    return std::filesystem::file_size(directory + "/" + name);
  }

  std::string directory;
};

TEST_F(FileFaults, AFullDiskStoresWhatFitsThenRefuses) {
  win32test::setDiskSpace(1000);
  const std::string data(700, 'x');
  const int fd = _open(path("low").c_str(), _O_WRONLY | _O_CREAT | _O_BINARY, _S_IREAD | _S_IWRITE);
  ASSERT_GE(fd, 0);
  EXPECT_EQ(_write(fd, data.data(), 700), 700);
  EXPECT_EQ(_write(fd, data.data(), 700), 300);  // the rest of the space
  errno = 0;
  EXPECT_EQ(_write(fd, data.data(), 700), -1);
  EXPECT_EQ(errno, ENOSPC);
  EXPECT_EQ(_close(fd), 0);
  EXPECT_EQ(sizeOf("low"), 1000u);

  // Streams from win32Fopen share the same disk: a write larger than the
  // stream's buffer fails at once, a small one when the stream is closed.
  const std::string large(100000, 'y');
  win32test::setDiskSpace(50000);
  FILE* stream = win32Fopen(path("stream").c_str(), "wb");
  ASSERT_NE(stream, nullptr);
  errno = 0;
  EXPECT_LT(std::fwrite(large.data(), 1, large.size(), stream), large.size());
  EXPECT_EQ(errno, ENOSPC);
  std::fclose(stream);
  EXPECT_EQ(sizeOf("stream"), 50000u);

  win32test::setDiskSpace(500);
  stream = win32Fopen(path("stream").c_str(), "wb");
  ASSERT_NE(stream, nullptr);
  EXPECT_EQ(std::fwrite(data.data(), 1, data.size(), stream), data.size());
  errno = 0;
  EXPECT_EQ(std::fclose(stream), EOF);
  EXPECT_EQ(errno, ENOSPC);
  EXPECT_EQ(sizeOf("stream"), 500u);

  // Without a limit, writes go through in full again.
  win32test::setDiskSpace(-1);
  stream = win32Fopen(path("stream").c_str(), "wb");
  ASSERT_NE(stream, nullptr);
  EXPECT_EQ(std::fwrite(data.data(), 1, data.size(), stream), data.size());
  EXPECT_EQ(std::fclose(stream), 0);
  EXPECT_EQ(sizeOf("stream"), 700u);
}

TEST_F(FileFaults, AWriteProtectedDirectoryRefusesNewRemovedAndRenamedEntriesToEveryone) {
  std::ofstream(directory + "/kept") << "kept";
  ASSERT_EQ(chmod(directory.c_str(), 0555), 0);
  errno = 0;
  EXPECT_EQ(_open(path("new").c_str(), _O_WRONLY | _O_CREAT, _S_IWRITE), -1);
  EXPECT_EQ(errno, EACCES);
  EXPECT_EQ(win32Fopen(path("new").c_str(), "wb"), nullptr);
  EXPECT_EQ(CreateFileA(path("new").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr),
            INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  EXPECT_FALSE(DeleteFileA(path("kept").c_str()));
  EXPECT_FALSE(MoveFileExA(path("kept").c_str(), path("moved").c_str(), MOVEFILE_REPLACE_EXISTING));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  // Files already there may still be rewritten.
  const int fd = _open(path("kept").c_str(), _O_WRONLY, 0);
  EXPECT_GE(fd, 0);
  if (fd >= 0) _close(fd);
  EXPECT_TRUE(std::filesystem::exists(directory + "/kept"));
  EXPECT_FALSE(std::filesystem::exists(directory + "/new"));
}

TEST_F(FileFaults, MoveFileExCanBeMissingAsOnTheOldestSystems) {
  std::ofstream(directory + "/a") << "a";
  win32test::setMoveFileExAvailable(false);
  EXPECT_FALSE(MoveFileExA(path("a").c_str(), path("b").c_str(), 0));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CALL_NOT_IMPLEMENTED));
  // MoveFileA is always there, and never replaces.
  EXPECT_TRUE(MoveFileA(path("a").c_str(), path("b").c_str()));
  std::ofstream(directory + "/c") << "c";
  EXPECT_FALSE(MoveFileA(path("c").c_str(), path("b").c_str()));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
  win32test::reset();
  EXPECT_TRUE(MoveFileExA(path("c").c_str(), path("b").c_str(), MOVEFILE_REPLACE_EXISTING));
}

}  // namespace
