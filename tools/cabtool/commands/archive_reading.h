// Reading cabinets through the archive library: opening one source and the
// facts of its entries under the names cabtool's commands use.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "archive/cab_archive.h"
#include "tools/cabtool/commands/file_entry.h"

namespace cabtool {

// An archive of the library, closed when it goes out of scope.
using ArchiveOwner = std::unique_ptr<CabArchive, decltype(&cabArchiveClose)>;

// Opens the cabinet beginning at `offset` in the file at `path`, with the
// rest of its set when `followSet`, its names decoded from `codePage` (empty:
// the library's default). Null on failure, with why in `problem` (without
// the path, which the caller prints itself).
ArchiveOwner openArchiveAt(const std::string& path, uint64_t offset, bool followSet,
                           const std::string& codePage, std::string& problem);

// Every problem the library met opening `archive`, in its order.
std::vector<CabArchiveProblem> problemsOf(const CabArchive* archive);

// The library's message for a file names it first ("PATH: reason"); the
// tool prints the path itself, so only the reason is kept.
std::string reasonFor(const std::string& path, const char* message);

// Entry `index` of `archive` as a directory listing names it: stored name
// bytes, size, date, time, attributes and folder index as stored, and the
// cabinet's name.
FileEntry fileEntryOf(const CabArchive* archive, uint32_t index, const CabArchiveEntry& entry);

// The compression word of the entry's folder as far as the library tells it:
// method and window; unknown methods come back as such.
uint16_t typeCompressOf(const CabArchiveEntry& entry);

}  // namespace cabtool
