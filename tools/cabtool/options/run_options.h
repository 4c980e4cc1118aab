// What the command line asks of every command, and the steps the commands
// share: naming and choosing the files of the cabinets found.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tools/cabtool/files/cabinet_sources.h"
#include "tools/cabtool/commands/file_entry.h"
#include "tools/cabtool/names/name_filter.h"

namespace cabtool {

struct RunOptions {
    NameFilter filter;
    std::string codePage;          // of names stored without the UTF-8 attribute; empty: default
    std::string directory = ".";   // extract: where the files go
    bool quiet = false;
    bool json = false;
    bool pipe = false;
    bool lowercase = false;
    bool keep = false;
    bool salvage = false;
    uint32_t threads = 0;          // test, extract: workers; 0 one per online processor
};

// The file's name in UTF-8 (decoded from the options' code page when the
// archive was opened), separators as stored.
std::string nameOf(const FileEntry& entry);

// The same with '/' between directories.
std::string slashNameOf(const FileEntry& entry);

// True when the filter chooses the file.
bool isChosen(const FileEntry& entry, const RunOptions& options);

// What a test or extraction will decode: the chosen files' bytes (each file
// counted in the cabinet it starts in) and the number of cabinets.
struct Workload {
    uint64_t bytes = 0;
    uint32_t cabinets = 0;
};
Workload workloadOf(const std::vector<CabinetSource>& sources, const RunOptions& options);

// Reports each filter pattern that chooses no file of the cabinets found
// ("no file matches PATTERN"); false when there was one.
bool everyPatternMatches(const std::vector<CabinetSource>& sources, const RunOptions& options);

// Whether a progress line may be shown at all: standard error is a terminal
// and the user did not ask for quiet.
bool progressWanted(const RunOptions& options);

}  // namespace cabtool
