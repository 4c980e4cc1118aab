// One pass of the decoder over a cabinet whose directory is known: the files
// handed out in the planned order, and the crossing into the next cabinets.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "cab/cab.h"
#include "tools/cabtool/cabinet_scan.h"
#include "tools/cabtool/cabinet_walk.h"
#include "tools/cabtool/visit_plan.h"

namespace cabtool {

struct VisitResult {
    bool ok = false;          // false after a failure, already reported
    uint64_t notReached = 0;  // planned files never handed out
    // Files going on into the next cabinet that were handed out here.
    uint32_t intoNextOffered = 0;
    // The cabinets the decoder crossed into (resolved names), each with the
    // number of its continued entries the crossing dealt with.
    std::vector<std::pair<std::string, uint32_t>> crossings;
};

VisitResult visitCabinet(CabDecoder* decoder, CabError& error, const std::string& directory,
                         const std::string& name, const CabinetDirectory& cabinet,
                         const VisitPlan& plan, const FileHandlers& handlers);

}  // namespace cabtool
