// Decoding the folders of one cabinet side by side: consecutive folders
// form a job (a few jobs per worker), taken from a queue (the first, then
// the costliest first) by a worker thread with its own decoder, handles
// and directory target; the caller's thread releases the jobs' settles and
// notes in folder order, as one pass would have made them.
#pragma once

#include <cstdint>
#include <vector>

#include "archive/extract/extraction_run.h"

namespace cabarchive {

// Extracts what `run` still wants of cabinet `index` into the directory of
// its request with up to run.workers threads, and returns true; returns
// false, having done nothing, when the cabinet is better decoded in one
// pass: a folder crosses into a neighbouring cabinet, fewer than two
// folders are wanted, entries of different folders would write the same
// path, a source is a client's stream, or no thread could be started.
bool extractFoldersSideBySide(Run& run, uint32_t index, const VisitPlan& plan,
                              const std::vector<uint32_t>& entryAt);

}  // namespace cabarchive
