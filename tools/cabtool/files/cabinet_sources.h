// From the files named on the command line to the cabinets to walk: a
// cabinet of a set is walked from the set's first cabinet, a member of a set
// already walked is not walked again, and a file that is not a cabinet is
// searched for cabinets stored inside it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tools/cabtool/commands/file_entry.h"

namespace cabtool {

// One cabinet of a set, with its file list, read ahead of the walk.
struct SurveyedCabinet {
    std::string path;
    std::vector<FileEntry> files;  // as its file list stores them, names in UTF-8
};

struct CabinetSource {
    std::string path;     // the file the decoder opens
    uint64_t offset = 0;  // where the cabinet begins in it (inside another file)
    bool embedded = false;
    // The cabinets of the set from this one on, as far as they can be read
    // before walking (for progress and listings; the walk checks them again).
    std::vector<SurveyedCabinet> set;
    // The cabinet named on the command line when the walk starts from an
    // earlier cabinet of its set; empty otherwise. Should that walk fail
    // before reaching it, it is walked again from here.
    std::string named;
};

struct SourcePlan {
    std::vector<CabinetSource> sources;
    bool ok = true;  // false when a named file could not be used (reported)
};

// Reports on standard error what it decides (unless `quiet`) and what fails.
// Names are decoded from `codePage` (empty: the library's default).
SourcePlan planSources(const std::vector<std::string>& named, bool quiet,
                       const std::string& codePage = std::string());

// The cabinets of the set the library joins to the cabinet at `offset` in
// `path`, from that cabinet on, with their file lists.
std::vector<SurveyedCabinet> surveySet(const std::string& path, uint64_t offset,
                                       const std::string& codePage);

}  // namespace cabtool
