// The two files the installer carries, as the build generates them: name,
// size, DOS time stamp, attributes and how their placeholder contents are
// made. The payload generator and the installer's tests both read this.
#pragma once

#include <cstdint>

struct PayloadFile {
    const char* cabinetName;  // name of the generated cabinet file
    const char* fileName;     // the one file stored in it
    uint32_t size;
    uint16_t dosDate;
    uint16_t dosTime;
    uint16_t attributes;
    const char* headline;  // first line of the placeholder contents
    uint32_t seed;         // seed of the contents' pseudo-random bytes
    uint32_t randomShare;  // per mille of 256-byte segments that are random bytes
};

inline constexpr PayloadFile kScreensaverFile{
    "vmo-ss.cab", "Q-Mora.scr", 110592, 0x3521, 0xB4F8, 0x20,
    "Q-Mora placeholder: stands in for the screensaver program; plain data, not a program.\r\n",
    0x51C0FFEEu, 350};

inline constexpr PayloadFile kSupportLibraryFile{
    "d3dx9_25.cab", "d3dx9_25.dll", 2337488, 0x3272, 0x827D, 0x20,
    "Q-Mora placeholder: stands in for the Direct3D 9 support library; plain data, not a "
    "library.\r\n",
    0xD3D9025Au, 290};
