// Reading a cabinet's directory through the decoder without decoding any
// data: every file entry with the place of its record and its folder offset.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "cab/cab.h"
#include "tools/cabtool/file_entry.h"

namespace cabtool {

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

// Reads the directory of `directory` + `name`, whose header `info` describes.
// False when nothing of the file list can be used, with the reason in
// `problem`. A file list damaged part-way is not a failure: the entries
// before the damage are kept and `result.damage` says what went wrong.
bool scanCabinet(CabDecoder* decoder, CabError& error, const std::string& directory,
                 const std::string& name, const CabInfo& info, CabinetDirectory& result,
                 std::string& problem);

}  // namespace cabtool
