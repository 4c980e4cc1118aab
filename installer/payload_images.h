// The payload cabinet images, generated at build time into read-only data.
#pragma once

#include <cstdint>

extern const unsigned char kScreensaverCabinet[];
extern const uint32_t kScreensaverCabinetSize;
extern const unsigned char kSupportLibraryCabinet[];
extern const uint32_t kSupportLibraryCabinetSize;
