// DOS packed date and time, as stored with every file of a cabinet.
#pragma once

#include <cstdint>
#include <ctime>
#include <optional>
#include <string>

namespace cabarchive {

// The moment a DOS date and time name, read as local time; nothing when the
// fields do not form a valid date and time.
std::optional<std::time_t> dosToLocalTime(uint16_t date, uint16_t time);

}  // namespace cabarchive
