#include "archive/walk/dos_time.h"

namespace cabarchive {
namespace {

struct DosFields {
    int year, month, day, hour, minute, second;
};

// Date: bits 9-15 years since 1980, 5-8 month, 0-4 day.
// Time: bits 11-15 hour, 5-10 minute, 0-4 seconds / 2.
DosFields unpack(uint16_t date, uint16_t time) {
    return DosFields{1980 + (date >> 9), (date >> 5) & 0x0F, date & 0x1F,
                     time >> 11,         (time >> 5) & 0x3F, (time & 0x1F) * 2};
}

}  // namespace

std::optional<std::time_t> dosToLocalTime(uint16_t date, uint16_t time) {
    const DosFields f = unpack(date, time);
    if (f.month < 1 || f.month > 12 || f.day < 1 || f.day > 31 || f.hour > 23 ||
        f.minute > 59 || f.second > 59) {
        return std::nullopt;
    }
    std::tm local{};
    local.tm_year = f.year - 1900;
    local.tm_mon = f.month - 1;
    local.tm_mday = f.day;
    local.tm_hour = f.hour;
    local.tm_min = f.minute;
    local.tm_sec = f.second;
    local.tm_isdst = -1;  // let the time zone rules decide
    const std::time_t result = std::mktime(&local);
    if (result == std::time_t(-1)) return std::nullopt;
    // mktime normalises impossible days such as 31 February; refuse them.
    if (local.tm_mday != f.day || local.tm_mon != f.month - 1) return std::nullopt;
    return result;
}

}  // namespace cabarchive
