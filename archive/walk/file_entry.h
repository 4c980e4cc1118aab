// A file as a cabinet's directory lists it.
#pragma once

#include "cab/cab_reader.h"
#include "cab/format.h"

#include <cstdint>
#include <string>

namespace cabarchive {

// No directory entry: the list index of a file met while crossing into the
// next cabinet, whose directory is not the one being walked.
constexpr uint32_t kNoEntry = UINT32_MAX;

struct FileEntry {
    std::string cabinet;  // path of the cabinet it is listed in
    std::string name;     // as stored, with backslashes
    uint32_t size = 0;
    uint16_t date = 0;
    uint16_t time = 0;
    uint16_t attributes = 0;
    uint16_t folderIndex = 0;   // iFolder as stored
    uint32_t folderOffset = 0;  // uoffFolderStart
    uint32_t listIndex = 0;     // place in the cabinet's directory
    int32_t position = 0;       // file offset of its directory record

    // Its data goes on in the next cabinet (iFolder 0xFFFE or 0xFFFF).
    bool continuesIntoNext() const { return ::continuesIntoNext(folderIndex); }
    // Its data begins in an earlier cabinet (iFolder 0xFFFD or 0xFFFF).
    bool continuesFromPrevious() const { return ::continuesFromPrevious(folderIndex); }
};

// The entry for a file record read from the directory of the cabinet at
// `cabinet`, listed at `listIndex` with its record at file offset `position`.
FileEntry fileEntryOf(const CabFileRecord& record, const std::string& cabinet, uint32_t listIndex,
                      int32_t position);

}  // namespace cabarchive
