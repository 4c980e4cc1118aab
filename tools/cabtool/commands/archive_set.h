// What opening a set through the archive library met, said as cabtool's
// walk through the set says it: shared by the commands that read sets.
#pragma once

#include <cstdint>
#include <string>
#include <utility>

#include "tools/cabtool/commands/archive_reading.h"

namespace cabtool {

// The name cabinet `cabinet` stores for the cabinet before it ("" for none).
std::string previousNameOf(const CabArchive* archive, uint32_t cabinet);

// Whether the problem is a damaged folder record (which concerns only the
// files whose data is decoded).
bool isFolderDamage(const CabArchiveProblem& problem);

// Damage part-way through the file list (an entry that could not be read).
bool isFileListDamage(const CabArchiveProblem& problem);

// Damage before the file list (header or folder table).
bool isTableDamage(const CabArchiveProblem& problem);

// A damaged directory, as the walk reports it: which entry of the file list
// could not be read, or a header it cannot use.
std::string directoryDamageText(const CabArchiveProblem& problem, const CabArchiveCabinet& cabinet);

// Why the file at `path` was not taken as a cabinet, as the walk says it.
std::string notCabinetText(const std::string& path, uint64_t offset);

// Opens the set of the cabinet at `offset` in `path` for a walk over it;
// null when it cannot be (a path too long, or not a cabinet), reported as
// the walk says it. Names are decoded from `codePage`.
ArchiveOwner openSetForWalk(const std::string& path, uint64_t offset, const std::string& codePage);

// The set's next cabinet after `current` did not join it: reports the walk's
// message about it. False when the set simply ends there (no name given).
// The set runs in a circle when it names a cabinet the walk, started at
// cabinet `walkedFrom`, already read.
bool reportNextCabinet(const CabArchive* archive, const CabArchiveProblem& problem,
                       const CabArchiveCabinet& current, uint32_t walkedFrom = 0);

// Why the decoder, at the end of the data of cabinet `last` (the archive's
// last cabinet), could not go on into the next one, which did not join the
// archive: said of the file being decoded (`aboutFile`) when the header's
// name for it cannot be used, else of the cabinet.
struct CrossingFailure {
    bool aboutFile = false;
    std::string text;
};
CrossingFailure crossingFailureAfter(const CabArchive* archive, uint32_t last);

// The record reserves (cbCFFolder, cbCFData) the cabinet declares; a walk
// keeps those of the cabinet it starts in and refuses any other.
std::pair<uint32_t, uint32_t> recordReservesOf(const CabArchiveCabinet& cabinet);

}  // namespace cabtool
