#include "tools/cabtool/output/dos_date_text.h"

#include <cstdio>

namespace cabtool {

DosDateFields unpackDosDateTime(uint16_t date, uint16_t time) {
    return DosDateFields{1980 + (date >> 9), (date >> 5) & 0x0F, date & 0x1F,
                         time >> 11,         (time >> 5) & 0x3F, (time & 0x1F) * 2};
}

std::string dosDateTimeText(uint16_t date, uint16_t time) {
    const DosDateFields f = unpackDosDateTime(date, time);
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", f.year, f.month, f.day,
                  f.hour, f.minute, f.second);
    return text;
}

}  // namespace cabtool
