// What an open archive holds: its I/O state, its cabinets in set order with
// their directories, its entries, and the outcomes of the latest extraction.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "archive/cab_archive.h"
#include "archive/io/archive_io.h"
#include "archive/names/name_encoding.h"
#include "archive/walk/cabinet_directory.h"
#include "cab/cab_reader.h"

namespace cabarchive {

struct Cabinet {
    std::string name;        // as cabArchiveCabinet reports it
    uint64_t offset = 0;     // where it begins in its file, buffer or stream
    uint32_t source = 0;     // its source in the archive's I/O
    CabHeaderRecord header{};
    CabSetNames setNames{};
    std::vector<CabFolderRecord> folders;
    CabinetDirectory directory;  // entries as listed, with their record positions
};

struct Entry {
    std::string name;     // UTF-8
    std::string rawName;  // as stored
    uint32_t cabinet = 0;
    uint32_t listIndex = 0;  // place in its cabinet's directory
    CabArchiveEntry view{};  // its strings point into this entry
};

}  // namespace cabarchive

struct CabArchive {
    cabarchive::ArchiveIo io;
    std::vector<cabarchive::Cabinet> cabinets;
    std::vector<cabarchive::Entry> entries;
    std::string damage;  // empty when the archive was read whole
    std::vector<int32_t> outcomes;
    std::vector<std::string> reasons;
};
