#include "tools/cabtool/cabinet_visit.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <map>
#include <optional>

#include "tools/cabtool/block_check.h"
#include "tools/cabtool/cabinet_files.h"
#include "tools/cabtool/messages.h"
#include "tools/cabtool/posix_io.h"

namespace cabtool {
namespace {

enum class VisitState {
    Steering,      // each DirectoryCursor hands the decoder the next planned file
    Tail,          // the directory is read on in order from the first file going on
    AwaitingNext,  // a NeedCabinet was answered; the next CabinetOpened is that cabinet
    Crossed,       // in a following cabinet, taking the files continued there
    Done,          // nothing more to hand out; the decoder ends the walk
};

struct Failure {
    std::string cabinet;  // path of the cabinet the message is about
    std::string file;     // the file it is about, or empty
    std::string text;
};

// The state of one cabExtract, reached from the notification handler
// through the decoder's user context.
struct Visit {
    Visit(const FileHandlers& h, const CabinetDirectory& c, const VisitPlan& p)
        : handlers(h), cabinet(c), plan(p), settled(c.entries.size(), false) {}

    const FileHandlers& handlers;
    const CabinetDirectory& cabinet;
    const VisitPlan& plan;
    std::string directory;
    std::string startingName;      // the cabinet the walk started in
    std::string cabinetName;       // the cabinet the decoder has open
    std::string requestedCabinet;  // the name given with the last NeedCabinet
    VisitState state = VisitState::Steering;
    size_t steerNext = 0;           // next place in plan.steered
    uint32_t entryIndex = kNoEntry;  // directory entry the decoder reads next
    // Per entry of the starting cabinet: handed out, or nothing left to do.
    std::vector<bool> settled;
    std::map<uint32_t, uint32_t> completedData;  // sameDataAs group -> completed entry
    std::optional<FileEntry> openFile;
    std::optional<Failure> failure;  // why the handler stopped the decoder
    VisitResult result;
    uint32_t declinedIntoNext = 0;  // since the last crossing, as the decoder counts them
    // Where the decoder is in the data, from its reserve events: the folder
    // last loaded in the cabinet it has open and the blocks read of it.
    bool folderLoaded = false;
    uint16_t folderInHand = 0;
    uint32_t blocksRead = 0;
    std::optional<uint32_t> failedBlock;  // the block of folderInHand a failure met

    std::string pathOf(const std::string& name) const { return directory + name; }
    uint32_t dataGroup(uint32_t entry) const {
        return plan.sameDataAs[entry] == kNoEntry ? entry : plan.sameDataAs[entry];
    }
};

// The file a notification describes, as its directory record would give it;
// a notification carries no folder offset, and the file is not one of the
// directory being walked.
FileEntry entryFrom(const Visit& visit, const CabNotification& n) {
    CabFileRecord record{};
    record.cbFile = uint32_t(n.size);
    record.iFolder = n.folderIndex;
    record.date = n.date;
    record.time = n.time;
    record.attribs = n.attributes;
    if (n.text1 != nullptr) std::snprintf(record.name, sizeof record.name, "%s", n.text1);
    return cabarchive::fileEntryOf(record, visit.pathOf(visit.cabinetName), kNoEntry, 0);
}

// Points the decoder at the next planned file; files whose data was already
// produced for another file are settled here without decoding.
int onDirectoryCursor(Visit& visit, CabNotification& n) {
    const auto& entries = visit.cabinet.entries;
    if (visit.state == VisitState::Steering) {
        while (visit.steerNext < visit.plan.steered.size()) {
            const uint32_t i = visit.plan.steered[visit.steerNext++];
            const auto done = visit.completedData.find(visit.dataGroup(i));
            if (visit.handlers.sameData && done != visit.completedData.end()) {
                visit.settled[i] = true;
                visit.handlers.sameData(entries[i], entries[done->second]);
                continue;
            }
            visit.entryIndex = i;
            n.size = entries[i].position;
            n.folderIndex = 1;
            return 0;
        }
        if (visit.plan.tailStart) {
            visit.state = VisitState::Tail;
            visit.entryIndex = *visit.plan.tailStart;
            n.size = entries[visit.entryIndex].position;
            n.folderIndex = uint16_t(entries.size() - visit.entryIndex);
            return 0;
        }
        visit.state = VisitState::Done;
    }
    n.folderIndex = 0;
    return 0;
}

int32_t handOut(Visit& visit, const FileEntry& entry) {
    const int32_t handle = visit.handlers.openOutput(entry);
    if (handle == 0 && entry.continuesIntoNext()) ++visit.declinedIntoNext;
    if (handle != 0 && handle != -1) visit.openFile = entry;
    return handle;
}

// The rest of the starting cabinet's files going on are listed first in the
// cabinet just entered, where the decoder hands them out: each is settled
// when it comes, so that those a failure keeps from coming still count.
void settleGoingOn(Visit& visit, const FileEntry& handed) {
    if (!visit.plan.tailStart) return;
    const auto& entries = visit.cabinet.entries;
    for (size_t i = *visit.plan.tailStart; i < entries.size(); ++i) {
        const FileEntry& entry = entries[i];
        if (!visit.settled[i] && entry.continuesIntoNext() && !entry.continuesFromPrevious() &&
            entry.name == handed.name && entry.size == handed.size) {
            visit.settled[i] = true;
            return;
        }
    }
}

int onOpenOutput(Visit& visit, const CabNotification& n) {
    switch (visit.state) {
        case VisitState::Steering: {
            const uint32_t i = visit.entryIndex;
            if (i >= visit.settled.size() || visit.settled[i]) return 0;
            visit.settled[i] = true;
            return handOut(visit, visit.cabinet.entries[i]);
        }
        case VisitState::Tail: {
            const uint32_t i = visit.entryIndex++;
            if (i >= visit.settled.size() || visit.settled[i]) return 0;
            const FileEntry& entry = visit.cabinet.entries[i];
            if (!entry.continuesIntoNext()) return 0;  // handed out before, by offset
            visit.settled[i] = true;
            ++visit.result.intoNextOffered;
            return handOut(visit, entry);
        }
        case VisitState::Crossed: {
            ++visit.result.crossings.back().second;
            FileEntry entry = entryFrom(visit, n);
            // Its data runs through both cabinets; a block of either that
            // was decoded despite its checksum may hold some of it.
            entry.suspect = visit.handlers.salvaging &&
                            (ignoresChecksumsIn(entry.cabinet) ||
                             ignoresChecksumsIn(visit.pathOf(visit.startingName)));
            settleGoingOn(visit, entry);
            return handOut(visit, entry);
        }
        default:
            return 0;
    }
}

int onCloseOutput(Visit& visit, const CabNotification& n) {
    // CloseOutput carries the run-after flag in `size`; the entry kept from
    // OpenOutput has the real size.
    const FileEntry entry = visit.openFile ? *visit.openFile : entryFrom(visit, n);
    visit.openFile.reset();
    const int answer = visit.handlers.closeOutput(entry, n.fileHandle);
    if (answer == 1 && visit.state == VisitState::Steering && entry.listIndex < visit.settled.size()) {
        visit.completedData.emplace(visit.dataGroup(entry.listIndex), entry.listIndex);
    }
    return answer;
}

// The decoder wants the next cabinet of the set. Only a file marked as going
// on there may lead into it: any other file claims more data than its folder
// holds in this cabinet. After one failed attempt the walk gives up, so that
// a missing or wrong cabinet ends the walk instead of being asked for forever.
int onNeedCabinet(Visit& visit, CabNotification& n) {
    const std::string current = visit.pathOf(visit.cabinetName);
    if (!visit.openFile || !visit.openFile->continuesIntoNext()) {
        visit.failure = Failure{current, visit.openFile ? visit.openFile->name : "",
                                "cabinet is damaged: the file runs past the end of its folder"};
        return -1;
    }
    if (n.lastError != 0) {
        std::string reason = cabErrorText(n.lastError);
        struct stat status;
        const std::string path = visit.pathOf(visit.requestedCabinet);
        if (n.lastError == CannotOpen && stat(path.c_str(), &status) != 0) {
            reason = describeErrno(errno);
        }
        visit.failure =
            Failure{current, "", "cannot continue into next cabinet '" + path + "': " + reason};
        return -1;
    }
    const std::string named = n.text1 != nullptr ? n.text1 : "";
    const std::string problem = nextCabinetProblem(visit.directory, named);
    if (!problem.empty()) {
        visit.failure = Failure{current, visit.openFile->name, problem};
        return -1;
    }
    const std::string resolved = resolveCabinetName(visit.directory, named);
    std::memcpy(n.text1, resolved.c_str(), resolved.size() + 1);  // same length as `named`
    visit.requestedCabinet = resolved;
    visit.state = VisitState::AwaitingNext;
    return 0;
}

void onCabinetOpened(Visit& visit) {
    if (visit.state != VisitState::AwaitingNext) return;
    visit.cabinetName = visit.requestedCabinet;
    visit.state = VisitState::Crossed;
    // The decoder passes over the declined files and the one being extracted.
    visit.result.crossings.emplace_back(visit.requestedCabinet, visit.declinedIntoNext + 1);
    visit.declinedIntoNext = 0;
}

int onNotify(int kind, CabNotification* notification) {
    CabNotification& n = *notification;
    Visit& visit = *static_cast<Visit*>(n.userContext);
    switch (kind) {
        case CabinetOpened:
            onCabinetOpened(visit);
            return 0;
        case DirectoryCursor:
            return onDirectoryCursor(visit, n);
        case FileFromPrevious:
            if (visit.state == VisitState::Tail) ++visit.entryIndex;
            return 0;
        case OpenOutput:
            return onOpenOutput(visit, n);
        case CloseOutput:
            return onCloseOutput(visit, n);
        case NeedCabinet:
            return onNeedCabinet(visit, n);
        default:
            return 0;
    }
}

// Follows the decoder through the folders and blocks it reads, so that a
// failure can name the block.
int onReserveEvent(CabReserveEvent* event) {
    Visit& visit = *static_cast<Visit*>(event->userContext);
    if (event->kind == FolderReserve) {
        visit.folderLoaded = true;
        visit.folderInHand = event->folder.folderIndex;
        visit.blocksRead = 0;
    } else if (event->kind == DataBlockReserve) {
        ++visit.blocksRead;
    }
    return 0;
}

// What went wrong in the data, as precisely as the decoder's place in it and
// the cabinet's bytes tell.
std::string describeDataFailure(const Visit& visit, int32_t errorCode) {
    const std::string general = cabErrorText(errorCode);
    if (!visit.folderLoaded) return general;
    const std::string path = visit.pathOf(visit.cabinetName);
    if (errorCode == DamagedCabinet) {
        const std::string found = describeDamagedBlock(path, visit.folderInHand, visit.blocksRead);
        return found.empty() ? general : general + ": " + found;
    }
    if (errorCode == CodecFailed && visit.blocksRead > 0) {
        return general + " in data block " + std::to_string(visit.blocksRead - 1) + " of folder " +
               std::to_string(visit.folderInHand);
    }
    return general;
}

uint64_t countNotReached(const Visit& visit) {
    uint64_t count = 0;
    const auto& entries = visit.cabinet.entries;
    for (const uint32_t i : visit.plan.steered) {
        if (!visit.settled[i] && countsAsNotReached(visit.handlers, entries[i])) ++count;
    }
    if (visit.plan.tailStart) {
        for (size_t i = *visit.plan.tailStart; i < visit.settled.size(); ++i) {
            const FileEntry& entry = entries[i];
            if (!visit.settled[i] && entry.continuesIntoNext() && !entry.continuesFromPrevious() &&
                countsAsNotReached(visit.handlers, entry)) {
                ++count;
            }
        }
    }
    return count;
}

size_t countSettled(const Visit& visit) {
    return size_t(std::count(visit.settled.begin(), visit.settled.end(), true));
}

// One cabExtract over the cabinet; false after a failure, reported.
bool runVisit(CabDecoder* decoder, CabError& error, Visit& visit, const FileHandlers& handlers) {
    error = CabError{};
    takeWindowFileProblem();  // only a failure of this walk counts
    const std::string& name = visit.cabinetName;
    visit.result.ok = cabExtract(decoder, name.c_str(), visit.directory.c_str(), onNotify,
                                 onReserveEvent, &visit) != 0;
    if (visit.result.ok) return true;
    const std::string windowFile = takeWindowFileProblem();
    if (visit.folderLoaded && (error.errorCode == DamagedCabinet || error.errorCode == CodecFailed)) {
        const uint32_t blocksDone = error.errorCode == CodecFailed ? 1 : 0;  // the failed one was read
        if (visit.blocksRead >= blocksDone) visit.failedBlock = visit.blocksRead - blocksDone;
    }

    // The reason first, then what became of the file it stopped.
    if (visit.failure && !visit.failure->file.empty()) {
        reportFileError(visit.failure->cabinet, visit.failure->file, visit.failure->text);
    } else if (visit.failure) {
        reportCabinetError(visit.failure->cabinet, visit.failure->text);
    } else if (error.errorCode == NoMemory && !windowFile.empty()) {
        reportCabinetError(visit.pathOf(visit.cabinetName), windowFile);
    } else {
        reportCabinetError(visit.pathOf(visit.cabinetName), describeDataFailure(visit, error.errorCode));
    }
    if (visit.openFile) {
        handlers.abandonOutput(*visit.openFile);
        visit.openFile.reset();
    }
    return false;
}

// Salvaging, after a failure in the data: the files of that folder that
// start at or after the block it met have nothing that can be decoded. Each
// is handed out and given up at once, written as zeros, rather than having
// the folder decoded up to the damage again for every one of them.
void writeOffUnreachableData(const Visit& visit, std::vector<bool>& settled) {
    if (!visit.failedBlock) return;
    const std::optional<uint32_t> deadFrom =
        blockDataStart(visit.pathOf(visit.cabinetName), visit.folderInHand, *visit.failedBlock);
    if (!deadFrom) return;
    for (const uint32_t i : visit.plan.steered) {
        const FileEntry& entry = visit.cabinet.entries[i];
        if (settled[i] || entry.folderIndex != visit.folderInHand || entry.folderOffset < *deadFrom ||
            entry.size == 0) {
            continue;
        }
        settled[i] = true;
        const int32_t handle = visit.handlers.openOutput(entry);
        if (handle == 0 || handle == -1) continue;
        if (handle != kDiscardHandle) close(handle);  // as the decoder would after a failure
        visit.handlers.abandonOutput(entry);
    }
}

}  // namespace

VisitResult visitCabinet(CabDecoder* decoder, CabError& error, const std::string& directory,
                         const std::string& name, const CabinetDirectory& cabinet,
                         const VisitPlan& plan, const FileHandlers& handlers) {
    std::vector<bool> settled(cabinet.entries.size(), false);
    for (const Refusal& refusal : plan.refused) settled[refusal.entry] = true;
    for (const uint32_t i : plan.fromEarlier) settled[i] = true;
    for (;;) {
        Visit visit(handlers, cabinet, plan);
        visit.directory = directory;
        visit.cabinetName = name;
        visit.startingName = name;
        visit.settled = settled;
        const size_t settledBefore = countSettled(visit);
        if (runVisit(decoder, error, visit, handlers)) return visit.result;
        // Salvaging, a failure before the files going on ends only the file
        // it met: the walk starts again for the files not yet handed out.
        const bool again = handlers.salvaging && visit.state == VisitState::Steering &&
                           countSettled(visit) > settledBefore && countNotReached(visit) != 0;
        if (!again) {
            visit.result.notReached = countNotReached(visit);
            return visit.result;
        }
        settled = visit.settled;
        writeOffUnreachableData(visit, settled);
    }
}

}  // namespace cabtool
