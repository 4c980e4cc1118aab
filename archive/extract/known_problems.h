// What keeps files from being extracted that can be told from the
// directories alone, before any data is decoded: files the decoding plan
// refuses, and files whose data begins or goes on in a cabinet the archive
// does not have.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "archive/archive_state.h"
#include "archive/walk/visit_plan.h"

namespace cabarchive {

struct KnownRefusal {
    uint32_t listIndex = 0;  // the file's place in its cabinet's directory
    int32_t outcome = CabOutcomeUnreachable;
    std::string reason;
    // Its data goes on in a cabinet the archive does not have: what this
    // cabinet holds of it can still be decoded.
    bool goesOnMissing = false;
};

// The decoding plan of cabinet `index`, which continues the folder of the
// cabinet before when that one has a file going on.
VisitPlan planOfCabinet(const CabArchive& archive, uint32_t index);

// The files of cabinet `index` that no pass can extract, with why.
std::vector<KnownRefusal> knownRefusals(const CabArchive& archive, uint32_t index,
                                        const VisitPlan& plan);

// Fills archive.known, one per entry, from every cabinet's refusals.
void findKnownProblems(CabArchive& archive);

}  // namespace cabarchive
