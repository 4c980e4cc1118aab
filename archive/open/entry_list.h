// The entries of an archive: every file of its cabinets once, listed where
// its data begins.
#pragma once

#include "archive/archive_state.h"

namespace cabarchive {

// Fills archive.entries from the directories of archive.cabinets. A file
// continued from the cabinet before is left out when that cabinet lists it
// as going on; otherwise it is listed where it is met.
void listEntries(CabArchive& archive, const NameDecoder& names);

// Whether `later`, a file continued from the cabinet before, is `earlier`
// going on.
bool isSameFile(const FileEntry& earlier, const FileEntry& later);

// The folder of the cabinet that holds the entry's data here.
uint32_t folderOfEntry(const Cabinet& cabinet, const FileEntry& entry);

}  // namespace cabarchive
