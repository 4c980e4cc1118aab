// DOS packed dates and times, as CFFILE records store them.
#include "tools/cabwriter/cab_writer.h"

namespace cabwriter {

// Bits 9-15 years since 1980, 5-8 month, 0-4 day.
uint16_t dosDate(int year, int month, int day) {
    return uint16_t(((year - 1980) << 9) | (month << 5) | day);
}

// Bits 11-15 hours, 5-10 minutes, 0-4 seconds / 2.
uint16_t dosTime(int hour, int minute, int second) {
    return uint16_t((hour << 11) | (minute << 5) | (second / 2));
}

}  // namespace cabwriter
