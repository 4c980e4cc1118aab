// The order in which a cabinet's files are handed to the decoder, chosen so
// that each folder is decoded in one forward pass whatever the order of the
// directory, and the files that cannot be extracted from this cabinet.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "archive/walk/cabinet_directory.h"

namespace cabarchive {

struct Refusal {
    uint32_t entry;      // list index
    std::string reason;  // why it cannot be extracted from here
};

struct VisitPlan {
    // Files of this cabinet's own folders, by folder and then by offset in
    // the folder, each read on its own.
    std::vector<uint32_t> steered;
    // The first file that goes on into the next cabinet: from there the
    // directory is read on in its own order, so that the decoder can cross
    // into the next cabinet the way the set was written for.
    std::optional<uint32_t> tailStart;
    // Per entry: the first steered entry with the same data (folder, offset
    // and size), or kNoEntry. Such files are decoded once.
    std::vector<uint32_t> sameDataAs;
    // Files whose data begins in an earlier cabinet.
    std::vector<uint32_t> fromEarlier;
    std::vector<Refusal> refused;
};

// `previousWentOn`: the cabinet before this one, in this walk, had a file
// going on into this one, so this cabinet's folder 0 continues that folder.
VisitPlan planVisits(const CabinetDirectory& cabinet, bool previousWentOn);

}  // namespace cabarchive
