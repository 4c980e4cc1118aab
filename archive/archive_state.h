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

// No entry of the archive.
constexpr uint32_t kNoArchiveEntry = UINT32_MAX;

struct Cabinet {
    std::string name;        // as cabArchiveCabinet reports it
    uint64_t offset = 0;     // where it begins in its file, buffer or stream
    uint32_t source = 0;     // its source in the archive's I/O
    CabHeaderRecord header{};
    CabSetNames setNames{};
    std::vector<CabFolderRecord> folders;  // those read, up to the first damaged record
    std::string folderDamage;  // why the folder table ends early; empty when read whole
    CabinetDirectory directory;  // entries as listed, with their record positions
    // Per position of the directory: the archive entry that file is, or
    // continues (a file going on from the cabinet before).
    std::vector<uint32_t> entryOfListed;
    // Per position of the directory: the name stored there in UTF-8.
    std::vector<std::string> listedNames;
};

struct Entry {
    std::string name;     // UTF-8
    std::string rawName;  // as stored
    uint32_t cabinet = 0;
    uint32_t listIndex = 0;  // place in its cabinet's directory
    CabArchiveEntry view{};  // its strings point into this entry
};

// One thing that kept the archive from being read whole.
struct OpenProblem {
    int32_t kind = 0;          // a CabArchiveProblemKind
    int32_t cabinet = -1;      // index in CabArchive::cabinets, or -1 when it did not join
    bool before = false;       // a neighbour before the first cabinet of the archive
    uint16_t setIndex = 0;     // iCabinet of a joined cabinet, to find its index once the set is read
    std::string name;
    std::string detail;

    // The problem as one line of cabArchiveDamage.
    std::string text() const;
};

// What an extraction would meet for an entry before decoding anything.
struct KnownProblem {
    int32_t outcome = CabOutcomeNotChosen;
    std::string reason;
};

}  // namespace cabarchive

struct CabArchive {
    cabarchive::ArchiveIo io;
    std::vector<cabarchive::Cabinet> cabinets;
    std::vector<cabarchive::Entry> entries;
    std::string damage;  // empty when the archive was read whole
    std::vector<cabarchive::OpenProblem> problems;  // the same, one by one
    std::vector<cabarchive::KnownProblem> known;    // per entry
    std::vector<int32_t> outcomes;
    std::vector<std::string> reasons;
};
