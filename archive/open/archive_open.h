// Opening an archive: the first cabinet found at or after the requested
// offset, the rest of its set, and the entries of them all.
#pragma once

#include <string>

#include "archive/archive_state.h"

namespace cabarchive {

// The file, buffer or stream the archive is opened from.
struct FirstSource {
    Source source;
    std::string name;       // reported for the cabinet ("" for memory and streams)
    std::string directory;  // a path's directory, where its neighbours are looked for
    bool fromPath = false;
};

// Opens the archive; on success `archive` is set. The source is owned by the
// archive under construction and released on failure too.
CabArchiveStatus openArchive(FirstSource first, const CabArchiveOptions& options,
                             CabArchive*& archive, std::string& message);

}  // namespace cabarchive
