// The entries of an archive: every file of its cabinets once, listed where
// its data begins.
#pragma once

#include "archive/archive_state.h"

namespace cabarchive {

// Fills archive.entries from the directories of archive.cabinets, and each
// cabinet's entryOfListed. A file continued from the cabinet before is the
// entry of the file going on out of that cabinet at the same place in the
// order of such files (the k-th going on is the k-th continued); a
// continued file with no such partner is an entry of its own, listed where
// it is met.
void listEntries(CabArchive& archive, const NameDecoder& names);

// The folder of the cabinet that holds the entry's data here.
uint32_t folderOfEntry(const Cabinet& cabinet, const FileEntry& entry);

// Whether folder `folder` of the cabinet holds compressed data (any method
// but stored); false for a folder the table does not hold.
bool folderCompressed(const Cabinet& cabinet, uint32_t folder);

}  // namespace cabarchive
