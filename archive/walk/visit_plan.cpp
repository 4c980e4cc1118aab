#include "archive/walk/visit_plan.h"

#include <algorithm>
#include <map>
#include <tuple>

namespace cabarchive {
namespace {

// The folder a file's data is in; a file going on into the next cabinet is
// always in the last folder.
uint32_t folderOf(const CabinetDirectory& cabinet, const FileEntry& entry) {
    if (entry.continuesIntoNext()) return uint32_t(cabinet.folderCount) - 1;  // wraps when none
    return entry.folderIndex;
}

// Folder 0 of a cabinet that follows another may be the continuation of a
// folder begun there; its file offsets then count from that folder's true
// start, which the decoder cannot reach from here. It is taken as a folder
// of its own only when nothing says otherwise and a file of it starts at 0.
bool firstFolderMayContinue(const CabinetDirectory& cabinet, bool previousWentOn) {
    if (!cabinet.hasPrevious) return false;
    if (previousWentOn) return true;
    bool startsHere = false;
    for (const FileEntry& entry : cabinet.entries) {
        if (entry.continuesFromPrevious()) return true;
        if (folderOf(cabinet, entry) == 0 && entry.folderOffset == 0) startsHere = true;
    }
    return !startsHere;
}

std::optional<std::string> refusalFor(const CabinetDirectory& cabinet, const FileEntry& entry,
                                      bool firstFolderContinues) {
    if (entry.continuesFromPrevious()) {
        if (cabinet.hasPrevious) return std::nullopt;
        return "cabinet is damaged: the file is marked as continued from a previous cabinet, "
               "but the cabinet names none";
    }
    const uint32_t folder = folderOf(cabinet, entry);
    if (folder >= cabinet.folderCount) {
        return "cabinet is damaged: the file names folder " + std::to_string(entry.folderIndex) +
               ", but the cabinet has " + std::to_string(cabinet.folderCount);
    }
    if (folder == 0 && firstFolderContinues && entry.size != 0) {
        return "cannot be extracted: it lies inside a folder continued from the previous cabinet";
    }
    return std::nullopt;
}

// The decoder goes forward through a folder and starts it again for a file
// that begins before the block in hand. Files sorted by folder and offset
// are taken in passes: each pass takes the files that begin at or after the
// end of the file taken before it, and leaves overlapping ones (found only
// in damaged or hostile cabinets) to a later pass over the same folder.
std::vector<uint32_t> orderInPasses(const CabinetDirectory& cabinet,
                                    const std::vector<uint32_t>& sorted) {
    std::vector<uint32_t> order;
    size_t runStart = 0;
    while (runStart < sorted.size()) {
        const uint32_t folder = folderOf(cabinet, cabinet.entries[sorted[runStart]]);
        size_t runEnd = runStart;
        while (runEnd < sorted.size() && folderOf(cabinet, cabinet.entries[sorted[runEnd]]) == folder) {
            ++runEnd;
        }
        std::vector<uint32_t> left(sorted.begin() + long(runStart), sorted.begin() + long(runEnd));
        while (!left.empty()) {
            std::vector<uint32_t> later;
            uint64_t reached = 0;
            for (const uint32_t i : left) {
                const FileEntry& entry = cabinet.entries[i];
                if (entry.size == 0) {  // touches no data
                    order.push_back(i);
                } else if (entry.folderOffset >= reached) {
                    order.push_back(i);
                    reached = uint64_t(entry.folderOffset) + entry.size;
                } else {
                    later.push_back(i);
                }
            }
            left = std::move(later);
        }
        runStart = runEnd;
    }
    return order;
}

}  // namespace

VisitPlan planVisits(const CabinetDirectory& cabinet, bool previousWentOn) {
    VisitPlan plan;
    const auto& entries = cabinet.entries;
    plan.sameDataAs.assign(entries.size(), kNoEntry);
    const bool firstFolderContinues = firstFolderMayContinue(cabinet, previousWentOn);
    for (const FileEntry& entry : entries) {
        if (auto reason = refusalFor(cabinet, entry, firstFolderContinues)) {
            plan.refused.push_back({entry.listIndex, *reason});
        } else if (entry.continuesFromPrevious()) {
            plan.fromEarlier.push_back(entry.listIndex);
        } else if (entry.continuesIntoNext()) {
            if (!plan.tailStart) plan.tailStart = entry.listIndex;
        } else {
            plan.steered.push_back(entry.listIndex);
        }
    }
    auto key = [&](uint32_t i) {
        return std::make_tuple(folderOf(cabinet, entries[i]), entries[i].folderOffset, i);
    };
    std::sort(plan.steered.begin(), plan.steered.end(),
              [&](uint32_t a, uint32_t b) { return key(a) < key(b); });

    // Entries with the same data follow the first of them, which alone is
    // decoded.
    std::map<std::tuple<uint32_t, uint32_t, uint32_t>, uint32_t> firstWithData;
    std::map<uint32_t, std::vector<uint32_t>> copies;
    std::vector<uint32_t> distinct;
    for (const uint32_t i : plan.steered) {
        const auto data = std::make_tuple(folderOf(cabinet, entries[i]), entries[i].folderOffset,
                                          entries[i].size);
        const auto [found, inserted] = firstWithData.emplace(data, i);
        if (inserted || entries[i].size == 0) {
            distinct.push_back(i);
        } else {
            plan.sameDataAs[i] = found->second;
            copies[found->second].push_back(i);
        }
    }
    plan.steered = orderInPasses(cabinet, distinct);
    std::vector<uint32_t> withCopies;
    for (const uint32_t i : plan.steered) {
        withCopies.push_back(i);
        const auto found = copies.find(i);
        if (found != copies.end()) {
            withCopies.insert(withCopies.end(), found->second.begin(), found->second.end());
        }
    }
    plan.steered = std::move(withCopies);
    return plan;
}

}  // namespace cabarchive
