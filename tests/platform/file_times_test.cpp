// DOS date/time, local and UTC file times, and setting a file's time.
#include <cstdlib>
#include <ctime>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "platform/win32.h"

namespace {

constexpr std::uint64_t kTicksPerSecond = 10'000'000;
constexpr std::uint64_t kTicksTo1970 = 116'444'736'000'000'000;

std::uint64_t ticks(const FILETIME& time) {
  return (std::uint64_t{time.dwHighDateTime} << 32) | time.dwLowDateTime;
}

WORD dosDate(int year, int month, int day) {
  return static_cast<WORD>(((year - 1980) << 9) | (month << 5) | day);
}
WORD dosTime(int hour, int minute, int second) {
  return static_cast<WORD>((hour << 11) | (minute << 5) | (second / 2));
}

// Runs with central European time, whose summer time starts on the last
// Sunday of March and ends on the last Sunday of October.
class FileTimes : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* old = std::getenv("TZ");
    hadTz = old != nullptr;
    if (old) oldTz = old;
    setenv("TZ", "CET-1CEST,M3.5.0,M10.5.0/3", 1);
    tzset();
  }
  void TearDown() override {
    if (hadTz) {
      setenv("TZ", oldTz.c_str(), 1);
    } else {
      unsetenv("TZ");
    }
    tzset();
  }
  bool hadTz = false;
  std::string oldTz;
};

TEST_F(FileTimes, DosDateTimeBecomesALocalFileTime) {
  FILETIME local{};
  // 2006-09-01 22:39:48, the payload's stamp.
  ASSERT_TRUE(DosDateTimeToFileTime(0x3521, 0xB4F8, &local));
  EXPECT_EQ(ticks(local), kTicksTo1970 + std::uint64_t{1157150388} * kTicksPerSecond);
  ASSERT_TRUE(DosDateTimeToFileTime(dosDate(1980, 1, 1), 0, &local));
  EXPECT_EQ(ticks(local), kTicksTo1970 + std::uint64_t{315532800} * kTicksPerSecond);
  ASSERT_TRUE(DosDateTimeToFileTime(dosDate(2024, 2, 29), dosTime(23, 59, 58), &local));
}

TEST_F(FileTimes, InvalidDosDatesAndTimesAreRefused) {
  FILETIME time{};
  EXPECT_FALSE(DosDateTimeToFileTime(dosDate(2006, 0, 1), 0, &time));   // month 0
  EXPECT_FALSE(DosDateTimeToFileTime(dosDate(2006, 13, 1), 0, &time));  // month 13
  EXPECT_FALSE(DosDateTimeToFileTime(dosDate(2006, 1, 0), 0, &time));   // day 0
  EXPECT_FALSE(DosDateTimeToFileTime(dosDate(2006, 4, 31), 0, &time));  // no 31 April
  EXPECT_FALSE(DosDateTimeToFileTime(dosDate(2023, 2, 29), 0, &time));  // not a leap year
  EXPECT_FALSE(DosDateTimeToFileTime(dosDate(2006, 1, 1), dosTime(24, 0, 0), &time));
  EXPECT_FALSE(DosDateTimeToFileTime(dosDate(2006, 1, 1), dosTime(0, 60, 0), &time));
  EXPECT_FALSE(DosDateTimeToFileTime(dosDate(2006, 1, 1), 30, &time));  // 60 seconds
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

TEST_F(FileTimes, LocalAndUtcFollowTheZoneAndItsSummerTime) {
  FILETIME local{}, utc{}, back{};
  ASSERT_TRUE(DosDateTimeToFileTime(0x3521, 0xB4F8, &local));  // September: summer time, +2
  ASSERT_TRUE(LocalFileTimeToFileTime(&local, &utc));
  EXPECT_EQ(ticks(local) - ticks(utc), 2 * 3600 * kTicksPerSecond);
  ASSERT_TRUE(FileTimeToLocalFileTime(&utc, &back));
  EXPECT_EQ(ticks(back), ticks(local));

  ASSERT_TRUE(DosDateTimeToFileTime(0x3272, 0x827D, &local));  // March 18: winter time, +1
  ASSERT_TRUE(LocalFileTimeToFileTime(&local, &utc));
  EXPECT_EQ(ticks(local) - ticks(utc), 3600 * kTicksPerSecond);

  const FILETIME invalid{0, 0x80000000u};
  EXPECT_FALSE(LocalFileTimeToFileTime(&invalid, &utc));
}

TEST_F(FileTimes, SetFileTimeSetsTheModificationTime) {
  char path[] = "/tmp/platform-times-XXXXXX";
  const int fd = mkstemp(path);
  ASSERT_GE(fd, 0);
  close(fd);
  HANDLE file = CreateFileA(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  FILETIME local{}, utc{};
  ASSERT_TRUE(DosDateTimeToFileTime(0x3521, 0xB4F8, &local));
  ASSERT_TRUE(LocalFileTimeToFileTime(&local, &utc));
  struct stat before {};
  stat(path, &before);
  ASSERT_TRUE(SetFileTime(file, &utc, nullptr, &utc));
  FILETIME written{};
  ASSERT_TRUE(GetFileTime(file, nullptr, nullptr, &written));
  EXPECT_EQ(ticks(written), ticks(utc));
  CloseHandle(file);
  struct stat after {};
  stat(path, &after);
  EXPECT_EQ(after.st_mtime, 1157150388 - 2 * 3600);
  EXPECT_EQ(after.st_atime, before.st_atime);  // left alone
  // A handle without write access may not change times.
  file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  EXPECT_FALSE(SetFileTime(file, nullptr, nullptr, &utc));
  CloseHandle(file);
  unlink(path);
}

}  // namespace
