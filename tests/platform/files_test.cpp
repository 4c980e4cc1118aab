// Environment variables, CRT file flags, attributes and file operations.
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "platform/win32.h"

namespace {

class Files : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/platform-files-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    directory = pattern;
  }
  void TearDown() override {
    for (const auto& entry : std::filesystem::directory_iterator(directory)) {
      chmod(entry.path().c_str(), 0644);
    }
    std::filesystem::remove_all(directory);
  }
  // The path as the installer writes it, with backslashes.
  std::string windowsPath(const std::string& name) const { return directory + "\\" + name; }
  std::string posixPath(const std::string& name) const { return directory + "/" + name; }

  void writeFile(const std::string& name, const std::string& content) const {
    std::ofstream(posixPath(name), std::ios::binary) << content;
  }
  std::string readFile(const std::string& name) const {
    std::ifstream in(posixPath(name), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }

  std::string directory;
};

TEST(Environment, NamesIgnoreCaseAndSizesFollowWin32) {
  setenv("QMORA_Test_Var", "C:\\WINDOWS", 1);
  char buffer[64] = "untouched";
  EXPECT_EQ(GetEnvironmentVariableA("qmora_test_var", buffer, sizeof buffer), 10u);
  EXPECT_STREQ(buffer, "C:\\WINDOWS");
  // Too small: the size needed with its NUL, nothing written.
  char small[10] = "untouched";
  EXPECT_EQ(GetEnvironmentVariableA("QMORA_TEST_VAR", small, sizeof small), 11u);
  EXPECT_STREQ(small, "untouched");
  EXPECT_EQ(GetEnvironmentVariableA("QMORA_TEST_VAR", buffer, 11), 10u);
  // An exact match wins over one that differs only in case.
  setenv("QMORA_TEST_VAR", "exact", 1);
  EXPECT_EQ(GetEnvironmentVariableA("QMORA_TEST_VAR", buffer, sizeof buffer), 5u);
  EXPECT_STREQ(buffer, "exact");
  unsetenv("QMORA_Test_Var");
  unsetenv("QMORA_TEST_VAR");
  SetLastError(0);
  EXPECT_EQ(GetEnvironmentVariableA("qmora_test_var", buffer, sizeof buffer), 0u);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ENVVAR_NOT_FOUND));
}

TEST_F(Files, OpenFlagsAreTranslatedFromTheWindowsRuntime) {
  writeFile("data.bin", "0123456789");
  // Create without truncation keeps the old bytes beyond what is written.
  int fd = _open(windowsPath("data.bin").c_str(), _O_BINARY | _O_CREAT | _O_WRONLY | _O_SEQUENTIAL,
                 _S_IREAD | _S_IWRITE);
  ASSERT_GE(fd, 0);
  EXPECT_EQ(_write(fd, "ab", 2), 2);
  EXPECT_EQ(_close(fd), 0);
  EXPECT_EQ(readFile("data.bin"), "ab23456789");
  // With _O_TRUNC the old contents go.
  fd = _open(windowsPath("data.bin").c_str(), _O_BINARY | _O_CREAT | _O_TRUNC | _O_WRONLY,
             _S_IREAD | _S_IWRITE);
  ASSERT_GE(fd, 0);
  EXPECT_EQ(_write(fd, "xyz", 3), 3);
  EXPECT_EQ(_lseek(fd, 0, SEEK_END), 3);
  EXPECT_EQ(_chsize(fd, 1), 0);
  _close(fd);
  EXPECT_EQ(readFile("data.bin"), "x");

  fd = _open(windowsPath("data.bin").c_str(), _O_BINARY | _O_RDONLY | _O_SEQUENTIAL);
  ASSERT_GE(fd, 0);
  char byte = 0;
  EXPECT_EQ(_read(fd, &byte, 1), 1);
  EXPECT_EQ(byte, 'x');
  EXPECT_EQ(_write(fd, "no", 2), -1);  // opened read-only
  _close(fd);

  EXPECT_EQ(_open(windowsPath("data.bin").c_str(), _O_CREAT | _O_EXCL | _O_WRONLY, _S_IWRITE), -1);
  EXPECT_EQ(_open(windowsPath("missing").c_str(), _O_RDONLY), -1);
  EXPECT_EQ(_open(directory.c_str(), _O_RDONLY), -1);                 // a directory
  EXPECT_EQ(_open(windowsPath("data.bin").c_str(), _O_RDWR | _O_WRONLY), -1);  // not a mode
  EXPECT_EQ(_open("*", _O_RDONLY), -1);

  // Without _S_IWRITE a new file is created read-only.
  fd = _open(windowsPath("ro.bin").c_str(), _O_CREAT | _O_WRONLY | _O_BINARY, _S_IREAD);
  ASSERT_GE(fd, 0);
  _close(fd);
  EXPECT_EQ(GetFileAttributesA(windowsPath("ro.bin").c_str()) & FILE_ATTRIBUTE_READONLY,
            DWORD{FILE_ATTRIBUTE_READONLY});

  FILE* file = win32Fopen(windowsPath("out.cab").c_str(), "wb");
  ASSERT_NE(file, nullptr);
  std::fputs("MSCF", file);
  std::fclose(file);
  EXPECT_EQ(readFile("out.cab"), "MSCF");
}

TEST_F(Files, ReadOnlyAttributeIsTheWritePermission) {
  writeFile("file", "x");
  const std::string path = windowsPath("file");
  EXPECT_EQ(GetFileAttributesA(path.c_str()), DWORD{FILE_ATTRIBUTE_ARCHIVE});
  EXPECT_EQ(GetFileAttributesA(directory.c_str()), DWORD{FILE_ATTRIBUTE_DIRECTORY});
  EXPECT_EQ(GetFileAttributesA(windowsPath("missing").c_str()), INVALID_FILE_ATTRIBUTES);

  ASSERT_TRUE(SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN |
                                                   FILE_ATTRIBUTE_ARCHIVE));
  struct stat st {};
  stat(posixPath("file").c_str(), &st);
  EXPECT_EQ(st.st_mode & 0222, 0u);
  EXPECT_EQ(GetFileAttributesA(path.c_str()), DWORD{FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE});
  // Read-only files refuse writing, deletion and replacement, even to root.
  EXPECT_EQ(_open(path.c_str(), _O_WRONLY | _O_CREAT | _O_BINARY, _S_IWRITE), -1);
  EXPECT_EQ(CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr),
            INVALID_HANDLE_VALUE);
  EXPECT_EQ(win32Fopen(path.c_str(), "wb"), nullptr);
  EXPECT_FALSE(DeleteFileA(path.c_str()));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));

  ASSERT_TRUE(SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL));
  stat(posixPath("file").c_str(), &st);
  EXPECT_NE(st.st_mode & S_IWUSR, 0u);
  EXPECT_EQ(GetFileAttributesA(path.c_str()), DWORD{FILE_ATTRIBUTE_ARCHIVE});
  EXPECT_TRUE(DeleteFileA(path.c_str()));
  EXPECT_FALSE(DeleteFileA(path.c_str()));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

TEST_F(Files, MoveReplacesOnlyWhenAsked) {
  writeFile("new", "new");
  writeFile("old", "old");
  EXPECT_FALSE(MoveFileExA(windowsPath("new").c_str(), windowsPath("old").c_str(), 0));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
  EXPECT_TRUE(MoveFileExA(windowsPath("new").c_str(), windowsPath("old").c_str(),
                          MOVEFILE_REPLACE_EXISTING));
  EXPECT_EQ(readFile("old"), "new");
  EXPECT_EQ(GetFileAttributesA(windowsPath("new").c_str()), INVALID_FILE_ATTRIBUTES);

  HANDLE handle = CreateFileA(windowsPath("old").c_str(), GENERIC_READ | GENERIC_WRITE,
                              FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(handle, INVALID_HANDLE_VALUE);
  EXPECT_TRUE(CloseHandle(handle));
  EXPECT_FALSE(CloseHandle(handle));
  EXPECT_EQ(CreateFileA(windowsPath("none").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0,
                        nullptr),
            INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

}  // namespace
