// A cabinet's directory as read before any of its data is decoded.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "archive/walk/file_entry.h"

namespace cabarchive {

struct CabinetDirectory {
    std::string nextCabinet;  // as the header names it; empty when none
    uint16_t setId = 0;
    uint16_t cabinetIndex = 0;
    uint16_t folderCount = 0;
    bool hasPrevious = false;  // the header names a previous cabinet
    std::string previousCabinet;  // its name, as the header gives it
    std::vector<FileEntry> entries;  // in directory order
    uint16_t fileCount = 0;          // cFiles, as the header declares it
    // Why the file list could not be read to its end; empty when it was.
    // `entries` then holds the entries read in full before the damage.
    std::string damage;
};

}  // namespace cabarchive
