// Extracting chosen entries of an archive: each cabinet's folders are
// decoded in one forward pass in the order their data lies, the files going
// on into the next cabinet last, with the decoder crossing into it.
#pragma once

#include <vector>

#include "archive/archive_state.h"
#include "archive/extract/entry_target.h"

namespace cabarchive {

// Extracts the entries marked in `chosen` into `target`, settling each with
// an outcome in archive.outcomes/reasons and through request.settled. The
// request's notes, progress and salvage are honoured; its entry selection
// and destination are already in `chosen` and `target`. Returns
// CabArchiveOk, CabArchiveIncomplete or CabArchiveStopped. With `workers`
// above 1 and a directory in the request, the folders of a cabinet are
// decoded by that many threads, each writing through its own directory
// target; what is written and reported is the same as with one.
// `events`, when not null, is told of cabinets and entries as it says and
// its stop flag is polled. Entries marked in `checkOnly` (also marked in
// `chosen`) are decoded without being handed to `target`.
CabArchiveStatus extractEntries(CabArchive& archive, const CabArchiveExtraction& request,
                                const std::vector<bool>& chosen, EntryTarget& target,
                                uint32_t workers = 1, const CabArchiveEvents* events = nullptr,
                                const std::vector<bool>& checkOnly = {});

}  // namespace cabarchive
