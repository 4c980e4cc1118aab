#include "tools/cabtool/cabinet_walk.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <optional>
#include <set>
#include <tuple>

#include "cab/cab.h"
#include "tools/cabtool/block_check.h"
#include "tools/cabtool/cabinet_files.h"
#include "tools/cabtool/cabinet_header.h"
#include "tools/cabtool/cabinet_offsets.h"
#include "tools/cabtool/cabinet_scan.h"
#include "tools/cabtool/cabinet_visit.h"
#include "tools/cabtool/messages.h"
#include "tools/cabtool/posix_io.h"
#include "tools/cabtool/safe_name.h"
#include "tools/cabtool/visit_plan.h"

namespace cabtool {
namespace {

struct SetPosition {
    uint16_t setId;
    uint16_t cabinetIndex;
};

// A file continued over several cabinets is listed in each; it is reported
// once, by the name and place of its data.
using FileKey = std::tuple<std::string, uint32_t, uint32_t>;

FileKey keyOf(const FileEntry& entry) { return {entry.name, entry.folderOffset, entry.size}; }

// How far a walk reached into the files a cabinet continues from the one
// before: the decoder, crossing into it, hands out its continued files from
// the start of its directory up to the first file of its own.
struct ContinuedReach {
    // The first continued files, already dealt with: extracted while
    // crossing, or handed out in the cabinet before as going on.
    uint32_t dealtWith = 0;
};

// What the walk carries from one cabinet of the set to the next.
struct SetWalk {
    std::string directory;          // prefix of every cabinet name
    std::string current;            // name of the cabinet to handle next
    std::optional<SetPosition> expected;  // its place in the set, when it is a next cabinet
    bool startingCabinet = true;
    bool previousWentOn = false;    // the cabinet before had files going on into this one
    std::set<std::string> handled;  // cabinets whose own files were handed out
    // Per cabinet: what the walk through the cabinet before did about its
    // continued files.
    std::map<std::string, ContinuedReach> continued;
    std::set<FileKey> reported;     // files going on that were reported as not extractable
    // Files the decoder has offered so far, by name and size: a walk that
    // crossed several cabinets in one go reached them all, whatever the
    // count of entries each crossing skipped says. (A file offered after a
    // crossing comes from the decoder's notification, which carries no
    // folder offset.)
    std::set<std::pair<std::string, uint32_t>> offered;
    // Salvage: per cabinet path, its blocks whose checksum does not match.
    std::map<std::string, std::vector<BlockFinding>> mismatches;
    // The record reserves the walk's decoder keeps from the first cabinet
    // it opens.
    std::optional<RecordReserves> decoderReserves;
};

// Salvage: the blocks of the cabinet at `path` whose checksum does not match
// are reported (once per cabinet) and will be decoded anyway.
const std::vector<BlockFinding>& ignoreMismatches(SetWalk& walk, const std::string& path,
                                                  const FileHandlers& handlers) {
    const auto known = walk.mismatches.find(path);
    if (known != walk.mismatches.end()) return known->second;
    std::vector<BlockFinding>& found = walk.mismatches[path];
    const std::optional<CabinetHeader> header = readCabinetHeader(path, cabinetStartOf(path));
    if (!header) return found;
    std::vector<uint32_t> csumOffsets;
    for (const BlockFinding& finding : findBlockFaults(path, *header)) {
        if (finding.fault != BlockFault::ChecksumMismatch) continue;
        found.push_back(finding);
        csumOffsets.push_back(finding.csumOffset);
        if (handlers.checksumIgnored) {
            handlers.checksumIgnored(path, describeFinding(finding) + "; decoded anyway");
        }
    }
    ignoreChecksumsAt(path, csumOffsets);
    return found;
}

// Whether some of the file's data comes from one of the `bad` blocks of its
// cabinet. A folder continued from the cabinet before counts its bytes from
// there, so any bad block of it counts.
bool holdsBadBlock(const FileEntry& entry, uint16_t folderCount, const std::vector<BlockFinding>& bad) {
    for (const BlockFinding& block : bad) {
        if (entry.continuesFromPrevious()) {
            if (block.folder == 0) return true;
            continue;
        }
        const uint16_t folder = entry.continuesIntoNext() ? uint16_t(folderCount - 1) : entry.folderIndex;
        const uint64_t end = uint64_t(entry.folderOffset) + entry.size;
        if (block.folder == folder && entry.folderOffset < block.dataEnd && block.dataStart < end) {
            return true;
        }
    }
    return false;
}

// Salvage: reports the bad blocks of this cabinet and of the next, which the
// decoder may cross into, and marks the files they touch.
void prepareSalvage(SetWalk& walk, CabinetDirectory& cabinet, const FileHandlers& handlers) {
    const std::vector<BlockFinding>& here =
        ignoreMismatches(walk, walk.directory + walk.current, handlers);
    bool nextFolderBad = false;
    if (!cabinet.nextCabinet.empty() && nextCabinetProblem(walk.directory, cabinet.nextCabinet).empty()) {
        const std::string next = walk.directory + resolveCabinetName(walk.directory, cabinet.nextCabinet);
        for (const BlockFinding& block : ignoreMismatches(walk, next, handlers)) {
            nextFolderBad = nextFolderBad || block.folder == 0;
        }
    }
    for (FileEntry& entry : cabinet.entries) {
        entry.suspect = holdsBadBlock(entry, cabinet.folderCount, here) ||
                        (entry.continuesIntoNext() && nextFolderBad);
    }
}

// Checks, before the decoder walks it, that `name` is a readable cabinet and,
// when `expected` is given, that it is that member of the set.
bool checkCabinet(CabDecoder* decoder, CabError& error, const SetWalk& walk, CabInfo& info) {
    const std::string path = walk.directory + walk.current;
    if (path.size() > kMaxCabinetPath) {
        reportCabinetError(path, "path is too long (at most 256 characters)");
        return false;
    }
    std::string problem;
    const int fd = openRegularFile(path, problem);
    if (fd < 0) {
        reportCabinetError(path, problem);
        return false;
    }
    error = CabError{};
    info = CabInfo{};
    const bool isCabinet = cabIsCabinet(decoder, fd, &info) != 0;
    close(fd);
    if (!isCabinet) {
        if (error.errorCode == BadVersion) {
            char version[64];
            std::snprintf(version, sizeof version, " (version %d.%d)", (error.detail >> 8) & 0xFF,
                          error.detail & 0xFF);
            reportCabinetError(path, cabErrorText(BadVersion) + std::string(version));
        } else {
            reportCabinetError(path, "not a cabinet file");
        }
        return false;
    }
    const auto& expected = walk.expected;
    if (expected && (info.setId != expected->setId || info.cabinetIndex != expected->cabinetIndex)) {
        char detail[128];
        std::snprintf(detail, sizeof detail,
                      "not the next cabinet of the set (set %u, index %u; expected set %u, index %u)",
                      unsigned(info.setId), unsigned(info.cabinetIndex), unsigned(expected->setId),
                      unsigned(expected->cabinetIndex));
        reportCabinetError(path, detail);
        return false;
    }
    return true;
}

// Files continued from an earlier cabinet: in the starting cabinet they
// cannot be extracted from here; later, the first of them were dealt with
// by the walk through the cabinet before, and any others were never reached.
// Returns how many of the files dealt with go on further, into the next
// cabinet.
uint32_t settleFromEarlier(SetWalk& walk, const CabinetDirectory& cabinet, const VisitPlan& plan,
                           const FileHandlers& handlers) {
    uint32_t goingOn = 0;
    uint32_t dealtWith = walk.continued[walk.current].dealtWith;
    for (const uint32_t i : plan.fromEarlier) {
        const FileEntry& entry = cabinet.entries[i];
        if (walk.startingCabinet) {
            if (handlers.fileFromEarlier) handlers.fileFromEarlier(entry, cabinet.previousCabinet);
        } else if (dealtWith > 0) {
            --dealtWith;
            if (entry.continuesIntoNext()) ++goingOn;
        } else if (walk.offered.count({entry.name, entry.size}) != 0) {
            if (entry.continuesIntoNext()) ++goingOn;
        } else if (walk.reported.insert(keyOf(entry)).second && handlers.unreachable) {
            handlers.unreachable(entry, "not reached: its folder goes on from '" +
                                            cabinet.previousCabinet +
                                            "', but no file crossed into this cabinet");
        }
    }
    return goingOn;
}

void settleRefused(SetWalk& walk, const CabinetDirectory& cabinet, const VisitPlan& plan,
                   const FileHandlers& handlers) {
    for (const Refusal& refusal : plan.refused) {
        const FileEntry& entry = cabinet.entries[refusal.entry];
        if (entry.continuesIntoNext()) walk.reported.insert(keyOf(entry));
        if (handlers.unreachable) handlers.unreachable(entry, refusal.reason);
    }
}

std::vector<FileEntry> filesToHandOut(const CabinetDirectory& cabinet, const VisitPlan& plan) {
    std::vector<FileEntry> files;
    for (const uint32_t i : plan.steered) files.push_back(cabinet.entries[i]);
    if (plan.tailStart) {
        for (size_t i = *plan.tailStart; i < cabinet.entries.size(); ++i) {
            const FileEntry& entry = cabinet.entries[i];
            if (entry.continuesIntoNext() && !entry.continuesFromPrevious()) files.push_back(entry);
        }
    }
    return files;
}

// Handles one cabinet; false after a reported failure.
bool walkCabinet(CabDecoder* decoder, CabError& error, SetWalk& walk, const FileHandlers& handlers,
                 WalkOutcome& outcome, CabinetDirectory& cabinet) {
    CabInfo info{};
    if (!checkCabinet(decoder, error, walk, info)) return false;
    std::string problem;
    if (!scanCabinet(walk.directory, walk.current, walk.decoderReserves, cabinet, problem)) {
        reportCabinetError(walk.directory + walk.current, problem);
        return false;
    }
    if (handlers.salvaging) prepareSalvage(walk, cabinet, handlers);
    walk.handled.insert(walk.current);
    outcome.handled.push_back(walk.directory + walk.current);
    const VisitPlan plan = planVisits(cabinet, walk.previousWentOn);
    settleRefused(walk, cabinet, plan, handlers);
    const uint32_t goingOnReached = settleFromEarlier(walk, cabinet, plan, handlers);
    if (handlers.beforeCabinet) {
        const std::vector<FileEntry> files = filesToHandOut(cabinet, plan);
        if (!files.empty() && !handlers.beforeCabinet(files)) {
            outcome.notReached += uint64_t(std::count_if(
                files.begin(), files.end(),
                [&](const FileEntry& file) { return countsAsNotReached(handlers, file); }));
            return false;
        }
    }

    const VisitResult visit =
        visitCabinet(decoder, error, walk.directory, walk.current, cabinet, plan, handlers);
    outcome.notReached += visit.notReached;
    if (!cabinet.damage.empty()) {
        // The entries past the damage cannot even be named; they still count.
        reportCabinetError(walk.directory + walk.current, cabinet.damage);
        outcome.notReached += cabinet.fileCount - cabinet.entries.size();
        return false;
    }
    if (!visit.ok) return false;

    walk.startingCabinet = false;
    walk.previousWentOn = std::any_of(cabinet.entries.begin(), cabinet.entries.end(),
                                      [](const FileEntry& e) { return e.continuesIntoNext(); });
    for (const auto& [name, count] : visit.crossings) {
        ContinuedReach& reach = walk.continued[name];
        reach.dealtWith = std::max(reach.dealtWith, count);
    }
    const uint32_t handedOnward = visit.intoNextOffered + goingOnReached;
    if (visit.crossings.empty() && !cabinet.nextCabinet.empty() && handedOnward != 0) {
        ContinuedReach& reach = walk.continued[resolveCabinetName(walk.directory, cabinet.nextCabinet)];
        reach.dealtWith = std::max(reach.dealtWith, handedOnward);
    }
    return true;
}

}  // namespace

bool countsAsNotReached(const FileHandlers& handlers, const FileEntry& entry) {
    return !handlers.chosen || handlers.chosen(entry);
}

WalkOutcome walkCabinetSet(const std::string& path, const FileHandlers& handlers) {
    WalkOutcome outcome;
    const CabinetLocation start = splitCabinetPath(path);
    if (!isPlainFileName(start.name)) {
        reportCabinetError(path, "not a cabinet file name");
        return outcome;
    }
    CabError error{};
    const CabDecoderOwner decoder = createPosixDecoder(&error);
    if (!decoder) {
        reportCabinetError(path, cabErrorText(error.errorCode));
        return outcome;
    }

    SetWalk walk;
    walk.directory = start.directory;
    walk.current = start.name;
    FileHandlers tracked = handlers;
    tracked.openOutput = [&walk, &handlers](const FileEntry& entry) {
        walk.offered.insert({entry.name, entry.size});
        return handlers.openOutput(entry);
    };
    while (true) {
        CabinetDirectory cabinet;
        const bool ok = walkCabinet(decoder.get(), error, walk, tracked, outcome, cabinet);
        if (handlers.cabinetFinished) handlers.cabinetFinished();
        if (!ok) return outcome;
        if (cabinet.nextCabinet.empty()) break;

        const std::string current = walk.directory + walk.current;
        const std::string problem = nextCabinetProblem(walk.directory, cabinet.nextCabinet);
        if (!problem.empty()) {
            reportCabinetError(current, problem);
            return outcome;
        }
        const std::string next = resolveCabinetName(walk.directory, cabinet.nextCabinet);
        if (walk.handled.count(next) != 0) {
            reportCabinetError(current, "next cabinet '" + walk.directory + next +
                                            "' was already read: the set runs in a circle");
            return outcome;
        }
        walk.expected = SetPosition{cabinet.setId, uint16_t(cabinet.cabinetIndex + 1)};
        walk.current = next;
    }
    outcome.complete = true;
    return outcome;
}

}  // namespace cabtool
