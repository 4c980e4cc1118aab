// The packed DOS date and time stored with every file, shown as text.
#pragma once

#include <cstdint>
#include <string>

namespace cabtool {

// The fields of a packed date and time as stored, valid or not.
struct DosDateFields {
    int year, month, day, hour, minute, second;
};

// Date: bits 9-15 years since 1980, 5-8 month, 0-4 day.
// Time: bits 11-15 hour, 5-10 minute, 0-4 seconds / 2.
DosDateFields unpackDosDateTime(uint16_t date, uint16_t time);

// "YYYY-MM-DD HH:MM:SS" straight from the packed fields, valid or not.
std::string dosDateTimeText(uint16_t date, uint16_t time);

}  // namespace cabtool
