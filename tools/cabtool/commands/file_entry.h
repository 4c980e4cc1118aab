// A file as cabtool shows it: the fields a cabinet's directory stores for
// it, and where it is listed.
#pragma once

#include <cstdint>
#include <string>

#include "archive/cab_archive.h"

namespace cabtool {

// No directory entry: the list index of a file met while crossing into the
// next cabinet, whose directory is not the one being walked.
constexpr uint32_t kNoEntry = UINT32_MAX;

// Whether a stored iFolder marks a file begun in an earlier cabinet, or going
// on in a later one.
inline bool folderContinuesFromPrevious(uint16_t folder) {
    return (cabArchiveFolderContinues(folder) & CAB_CONTINUES_FROM_PREVIOUS) != 0;
}
inline bool folderContinuesIntoNext(uint16_t folder) {
    return (cabArchiveFolderContinues(folder) & CAB_CONTINUES_INTO_NEXT) != 0;
}

struct FileEntry {
    std::string cabinet;  // path of the cabinet it is listed in
    std::string name;     // as stored, with backslashes
    std::string text;     // the same in UTF-8, as the library decodes it
    uint32_t size = 0;
    uint16_t date = 0;
    uint16_t time = 0;
    uint16_t attributes = 0;
    uint16_t folderIndex = 0;   // iFolder as stored
    uint32_t folderOffset = 0;  // uoffFolderStart
    uint32_t listIndex = 0;     // place in the listing, for ordering lines

    // Its data goes on in the next cabinet.
    bool continuesIntoNext() const { return folderContinuesIntoNext(folderIndex); }
    // Its data begins in an earlier cabinet.
    bool continuesFromPrevious() const { return folderContinuesFromPrevious(folderIndex); }
};

}  // namespace cabtool
