// File times: DOS date/time, local/UTC conversion, setting a file's times.
//
// A FILETIME counts 100-nanosecond intervals since 1601-01-01 00:00 UTC (or,
// for a "local" file time, since that instant on the local calendar).
#include <cerrno>
#include <cstdint>
#include <ctime>
#include <sys/stat.h>

#include "platform/errors.h"
#include "platform/file_handles.h"

namespace {

constexpr std::int64_t kTicksPerSecond = 10'000'000;
constexpr std::int64_t kTicksFrom1601To1970 = 116'444'736'000'000'000;
constexpr std::uint64_t kFirstInvalidTicks = 0x8000'0000'0000'0000ull;
constexpr int kDosEpochYear = 1980;

std::uint64_t ticksOf(const FILETIME& time) {
  return (static_cast<std::uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

FILETIME fileTimeOf(std::uint64_t ticks) {
  return FILETIME{static_cast<DWORD>(ticks & 0xFFFFFFFFu), static_cast<DWORD>(ticks >> 32)};
}

bool isLeapYear(int year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

int daysInMonth(int year, int month) {
  static constexpr int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return month == 2 && isLeapYear(year) ? 29 : kDays[month - 1];
}

// Days from 1970-01-01 to the given date of the proleptic Gregorian calendar.
std::int64_t daysFromCivil(std::int64_t year, unsigned month, unsigned day) {
  year -= month <= 2;
  const std::int64_t era = (year >= 0 ? year : year - 399) / 400;
  const unsigned yearOfEra = static_cast<unsigned>(year - era * 400);
  const unsigned dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
  const unsigned dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
  return era * 146097 + static_cast<std::int64_t>(dayOfEra) - 719468;
}

std::int64_t floorDivide(std::int64_t value, std::int64_t divisor) {
  std::int64_t quotient = value / divisor;
  if ((value % divisor) != 0 && ((value < 0) != (divisor < 0))) --quotient;
  return quotient;
}

// Splits ticks into whole seconds since 1970 and the remaining ticks.
void splitTicks(std::uint64_t ticks, std::int64_t& seconds, std::int64_t& remainder) {
  const std::int64_t sinceUnixEpoch = static_cast<std::int64_t>(ticks) - kTicksFrom1601To1970;
  seconds = floorDivide(sinceUnixEpoch, kTicksPerSecond);
  remainder = sinceUnixEpoch - seconds * kTicksPerSecond;
}

bool joinTicks(std::int64_t seconds, std::int64_t remainder, std::uint64_t& ticks) {
  const std::int64_t sinceUnixEpoch = seconds * kTicksPerSecond + remainder;
  const std::int64_t since1601 = sinceUnixEpoch + kTicksFrom1601To1970;
  if (since1601 < 0) return false;
  ticks = static_cast<std::uint64_t>(since1601);
  return ticks < kFirstInvalidTicks;
}

BOOL invalidParameter() {
  SetLastError(ERROR_INVALID_PARAMETER);
  return FALSE;
}

// A FILETIME given to SetFileTime that leaves the time alone: none at all,
// zero, or all bits set.
bool leavesTimeAlone(const FILETIME* time) {
  return time == nullptr || ticksOf(*time) == 0 || ticksOf(*time) == ~std::uint64_t{0};
}

timespec timespecOf(const FILETIME& time) {
  std::int64_t seconds = 0;
  std::int64_t remainder = 0;
  splitTicks(ticksOf(time), seconds, remainder);
  return timespec{static_cast<time_t>(seconds), static_cast<long>(remainder * 100)};
}

FILETIME fileTimeOf(const timespec& time) {
  std::uint64_t ticks = 0;
  if (!joinTicks(time.tv_sec, time.tv_nsec / 100, ticks)) ticks = 0;
  return fileTimeOf(ticks);
}

}  // namespace

BOOL DosDateTimeToFileTime(WORD dosDate, WORD dosTime, LPFILETIME fileTime) {
  if (fileTime == nullptr) return invalidParameter();
  const int day = dosDate & 0x1F;
  const int month = (dosDate >> 5) & 0x0F;
  const int year = kDosEpochYear + (dosDate >> 9);
  const int seconds = (dosTime & 0x1F) * 2;
  const int minute = (dosTime >> 5) & 0x3F;
  const int hour = dosTime >> 11;
  if (month < 1 || month > 12 || day < 1 || day > daysInMonth(year, month) || hour > 23 ||
      minute > 59 || seconds > 58) {
    return invalidParameter();
  }
  const std::int64_t since1970 =
      daysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day)) * 86400 +
      hour * 3600 + minute * 60 + seconds;
  std::uint64_t ticks = 0;
  joinTicks(since1970, 0, ticks);
  *fileTime = fileTimeOf(ticks);
  return TRUE;
}

BOOL LocalFileTimeToFileTime(const FILETIME* localTime, LPFILETIME utcTime) {
  if (localTime == nullptr || utcTime == nullptr || ticksOf(*localTime) >= kFirstInvalidTicks) {
    return invalidParameter();
  }
  std::int64_t localSeconds = 0;
  std::int64_t remainder = 0;
  splitTicks(ticksOf(*localTime), localSeconds, remainder);
  const time_t asTime = static_cast<time_t>(localSeconds);
  std::tm fields{};
  if (gmtime_r(&asTime, &fields) == nullptr) return invalidParameter();
  // The offset in force at that local time, daylight saving included.
  fields.tm_isdst = -1;
  tzset();
  errno = 0;
  const time_t utc = mktime(&fields);
  std::uint64_t ticks = 0;
  if ((utc == static_cast<time_t>(-1) && errno != 0) || !joinTicks(utc, remainder, ticks)) {
    return invalidParameter();
  }
  *utcTime = fileTimeOf(ticks);
  return TRUE;
}

BOOL FileTimeToLocalFileTime(const FILETIME* utcTime, LPFILETIME localTime) {
  if (utcTime == nullptr || localTime == nullptr || ticksOf(*utcTime) >= kFirstInvalidTicks) {
    return invalidParameter();
  }
  std::int64_t utcSeconds = 0;
  std::int64_t remainder = 0;
  splitTicks(ticksOf(*utcTime), utcSeconds, remainder);
  const time_t asTime = static_cast<time_t>(utcSeconds);
  std::tm fields{};
  tzset();
  if (localtime_r(&asTime, &fields) == nullptr) return invalidParameter();
  const std::int64_t localSeconds = static_cast<std::int64_t>(timegm(&fields));
  std::uint64_t ticks = 0;
  if (!joinTicks(localSeconds, remainder, ticks)) return invalidParameter();
  *localTime = fileTimeOf(ticks);
  return TRUE;
}

BOOL SetFileTime(HANDLE file, const FILETIME* /*creation: Linux keeps none; dropped*/,
                 const FILETIME* lastAccess, const FILETIME* lastWrite) {
  platform::FileHandle* handle = platform::findFileHandle(file);
  if (!handle) return FALSE;
  if (!(handle->access & GENERIC_WRITE)) {
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  timespec times[2] = {{0, UTIME_OMIT}, {0, UTIME_OMIT}};
  if (!leavesTimeAlone(lastAccess)) times[0] = timespecOf(*lastAccess);
  if (!leavesTimeAlone(lastWrite)) times[1] = timespecOf(*lastWrite);
  if (futimens(handle->fd, times) != 0) {
    platform::setLastErrorFromErrno();
    return FALSE;
  }
  return TRUE;
}

BOOL GetFileTime(HANDLE file, LPFILETIME creation, LPFILETIME lastAccess, LPFILETIME lastWrite) {
  platform::FileHandle* handle = platform::findFileHandle(file);
  if (!handle) return FALSE;
  struct stat st {};
  if (fstat(handle->fd, &st) != 0) {
    platform::setLastErrorFromErrno();
    return FALSE;
  }
  // No creation time is kept: the last-write time stands in for it.
  if (creation) *creation = fileTimeOf(st.st_mtim);
  if (lastAccess) *lastAccess = fileTimeOf(st.st_atim);
  if (lastWrite) *lastWrite = fileTimeOf(st.st_mtim);
  return TRUE;
}
