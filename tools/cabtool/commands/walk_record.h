// What one walk over a set of cabinets leaves for a walk started again later
// in it, and the rule for starting again: a walk from the first cabinet of
// the set that fails before the cabinet named on the command line starts
// again there.
#pragma once

#include <cstdint>
#include <set>
#include <string>
#include <utility>

#include "tools/cabtool/files/cabinet_sources.h"
#include "tools/cabtool/output/messages.h"

namespace cabtool {

struct WalkRecord {
    std::set<std::string> handled;                         // cabinets whose files were dealt with
    std::set<std::pair<std::string, uint32_t>> dealtWith;  // their files (handed out or listed), by name and size
};

// Walks `source` with walk(path, startName, earlier, record), which returns
// false when some of the set could not be walked (reported). Started from
// the first cabinet of the set; when that fails before the cabinet named,
// says so and walks again from the named one, given the first walk's record.
// False when some of it could not be walked.
template <typename Walk>
bool walkFromFirstThenNamed(const CabinetSource& source, Walk walk) {
    WalkRecord first;
    if (walk(source.path, std::string(), nullptr, first)) return true;
    if (source.named.empty() || first.handled.count(source.named) != 0) return false;
    reportCabinetError(source.named, kRestartingHere);
    WalkRecord again;
    walk(source.named, source.named, &first, again);
    return false;
}

}  // namespace cabtool
