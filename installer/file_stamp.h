// Gives an unpacked file the time stamp and attributes its cabinet records.
#pragma once

#include "cab/format.h"

#include <cstdint>

// Attribute bits an unpacked file may receive: read-only, hidden, system
// and archive.
inline constexpr uint16_t kKeptAttributes =
    kAttributeReadOnly | kAttributeHidden | kAttributeSystem | kAttributeArchive;
static_assert(kKeptAttributes == 0x27);

// Sets the file's creation and last-write times from the DOS date and time
// (local time), unless they cannot be converted, and its attributes to the
// given ones masked with kKeptAttributes. Failures are ignored.
void restoreFileStamp(const char* path, uint16_t dosDate, uint16_t dosTime, uint16_t attributes);
