#include "archive/extract/extraction.h"

#include <cstring>
#include <new>
#include <map>
#include <optional>
#include <utility>

#include "archive/extract/block_faults.h"
#include "archive/extract/extraction_run.h"
#include "archive/extract/folder_jobs.h"
#include "archive/extract/known_problems.h"
#include "archive/extract/salvage.h"
#include "archive/open/entry_list.h"
#include "archive/walk/visit_plan.h"
#include "cab/cab_owner.h"

namespace cabarchive {
namespace {

constexpr const char* kSalvagedReason =
    "some of its bytes come from data blocks whose checksum does not match";
// A continued file the cabinets of its set list with different sizes.
constexpr const char* kSizesDisagreeReason =
    "cabinet is damaged: the cabinets of its set list it with different sizes";
constexpr const char* kSizesDisagreeNote =
    "cabinet is damaged: a file continued here is listed with another size where it begins";
// Salvage into a directory: why an entry's file holds zeros.
const std::string kZerosFromFailure = "zeros from where its decoding failed: ";
const std::string kZerosPastFailure = "zeros: its data lies past where the decoding failed: ";

// Why a pass of the decoder ended early.
struct Failure {
    Failure(int32_t o, std::string r, std::string n = std::string())
        : outcome(o), reason(std::move(r)), note(std::move(n)) {}

    int32_t outcome = CabOutcomeDamaged;
    std::string reason;  // for the entries it ends
    std::string note;    // for the cabinet's note, which names the cabinet itself; empty: reason
    bool archiveEnds = false;  // a file went on past the archive's last cabinet

    const std::string& noteText() const { return note.empty() ? reason : note; }
};

enum class VisitState {
    Steering,      // each DirectoryCursor hands the decoder the next planned file
    Tail,          // the directory is read on in order from the first file going on
    AwaitingNext,  // a NeedCabinet was answered; the next CabinetOpened is that cabinet
    Crossed,       // in a following cabinet, taking the files continued there
    Done,
};

// Where the bytes of an entry chosen only to be checked go: nowhere.
struct NoTarget final : EntryTarget {
    Offer begin(uint32_t, const CabArchiveEntry&) override { return Offer{}; }
    bool write(const uint8_t*, uint32_t) override { return true; }
    int32_t end(uint32_t, int32_t outcome, std::string&) override { return outcome; }
};
NoTarget checkedOnly;

// The entry being written, as the decoder's output handle sees it: counts
// its bytes, keeps them when copies of it are wanted, and stops the
// extraction when the target asks.
struct OpenEntry final : OutputTarget {
    Run* run = nullptr;
    EntryTarget* target = nullptr;  // the run's, or checkedOnly
    uint32_t index = kNoArchiveEntry;
    bool keep = false;
    std::vector<uint8_t> kept;
    uint64_t written = 0;  // bytes the decoder gave for this entry

    bool write(const uint8_t* data, uint32_t size) override {
        written += size;
        if (keep) {
            try {
                kept.insert(kept.end(), data, data + size);
            } catch (const std::bad_alloc&) {
                keep = false;  // the copies are decoded on their own instead
                kept = std::vector<uint8_t>();
            }
        }
        run->done += size;
        if (target->write(data, size)) return true;
        run->stopped = true;
        return false;
    }
};

// One cabExtract over one cabinet of the archive.
struct Visit {
    Visit(Run& r, uint32_t index, const Cabinet& c, const VisitPlan& p,
          const std::vector<uint32_t>& at, bool crossing)
        : run(r),
          cabinetIndex(index),
          cabinet(c),
          plan(p),
          entryAt(at),
          crossingWanted(crossing),
          inHand(index) {}

    Run& run;
    uint32_t cabinetIndex;
    const Cabinet& cabinet;
    const VisitPlan& plan;
    const std::vector<uint32_t>& entryAt;  // list index -> archive entry
    bool crossingWanted;

    VisitState state = VisitState::Steering;
    size_t steerNext = 0;
    uint32_t listIndex = kNoEntry;    // directory entry the decoder reads next
    uint32_t inHand;                  // the cabinet the decoder has open
    OpenEntry open;                   // valid while open.index is set
    int32_t openHandle = -1;
    std::optional<Failure> failure;
    bool folderLoaded = false;
    uint16_t folderInHand = 0;
    uint32_t blocksRead = 0;
    std::optional<uint32_t> failedBlock;  // the block of folderInHand a failure met
    bool progressed = false;          // an entry was settled in this pass
    uint32_t crossedNext = 0;         // after crossing: directory place of the next file offered
};

const Cabinet& cabinetInHand(const Visit& visit) { return visit.run.archive.cabinets[visit.inHand]; }

// The first entry of the directory with the same data as entry `listed`.
uint32_t dataGroup(const VisitPlan& plan, uint32_t listed) {
    return plan.sameDataAs[listed] == kNoEntry ? listed : plan.sameDataAs[listed];
}

// Entries sharing data with the one decoded are settled from its bytes.
void replayCopies(Visit& visit, uint32_t original, int32_t outcome, const std::string& reason) {
    Run& run = visit.run;
    const CabinetDirectory& directory = visit.cabinet.directory;
    const uint32_t listed = run.archive.entries[original].listIndex;
    const uint32_t group = dataGroup(visit.plan, listed);
    for (const uint32_t i : visit.plan.steered) {
        const uint32_t copy = visit.entryAt[i];
        if (copy == kNoArchiveEntry || copy == original || !run.pending(copy)) continue;
        if (dataGroup(visit.plan, i) != group || directory.entries[i].size == 0) continue;
        if ((outcome != CabOutcomeExtracted && outcome != CabOutcomeSalvaged) || run.checksOnly(copy)) {
            run.settle(copy, outcome, reason);
            continue;
        }
        run.handOn(copy);
        const Offer offer = run.target.begin(copy, run.archive.entries[copy].view);
        if (offer.action == Offer::Action::Stop) {
            run.stopped = true;
            return;
        }
        if (offer.action == Offer::Action::Settle) {
            run.settle(copy, offer.outcome, offer.reason);
            continue;
        }
        const std::vector<uint8_t>& bytes = visit.open.kept;
        run.done += bytes.size();
        if (!bytes.empty() && !run.target.write(bytes.data(), uint32_t(bytes.size()))) {
            run.stopped = true;
            std::string why = "stopped by the client";
            run.target.end(copy, CabOutcomeStopped, why);
            run.settle(copy, CabOutcomeStopped, why);
            return;
        }
        std::string why = reason;
        const int32_t final = run.target.end(copy, outcome, why);
        run.settle(copy, final, why);
    }
}

bool hasPendingCopies(const Visit& visit, uint32_t listed) {
    const uint32_t group = dataGroup(visit.plan, listed);
    for (const uint32_t i : visit.plan.steered) {
        const uint32_t entry = visit.entryAt[i];
        if (i != listed && entry != kNoArchiveEntry && dataGroup(visit.plan, i) == group &&
            visit.run.pending(entry) && visit.cabinet.directory.entries[i].size != 0) {
            return true;
        }
    }
    return false;
}

// Whether the client's stop flag is raised; the run stops if so.
bool stopRequested(Run& run) {
    if (run.events == nullptr || run.events->stop == nullptr || *run.events->stop == 0) return false;
    run.stopped = true;
    return true;
}

// Tells the client an entry's bytes are coming; workers take turns.
void announceEntry(Run& run, uint32_t index) {
    if (run.events == nullptr || run.events->entryBegin == nullptr) return;
    if (run.sharedProgress == nullptr) return run.events->entryBegin(run.events->context, index);
    const std::lock_guard<std::mutex> guard(run.sharedProgress->lock);
    run.events->entryBegin(run.events->context, index);
}

// Hands the decoder an output handle for archive entry `index`: the
// target's when the entry is wanted, a discarding one when its bytes only
// lead the decoder on into the next cabinet, else 0.
int32_t offer(Visit& visit, uint32_t index, bool discardUnwanted, uint32_t listed) {
    Run& run = visit.run;
    if (index == kNoArchiveEntry || !run.pending(index)) {
        if (!discardUnwanted) return 0;
        visit.openHandle = run.io.openOutput(nullptr);
        return visit.openHandle;
    }
    if (stopRequested(run)) return -1;
    const bool checkOnly = run.checksOnly(index);
    run.handOn(index);
    const Offer answer = checkOnly ? Offer{} : run.target.begin(index, run.archive.entries[index].view);
    if (answer.action == Offer::Action::Stop) {
        run.stopped = true;
        return -1;
    }
    if (answer.action == Offer::Action::Settle) {
        run.settle(index, answer.outcome, answer.reason);
        visit.progressed = true;
        if (!discardUnwanted) return 0;
        visit.openHandle = run.io.openOutput(nullptr);
        return visit.openHandle;
    }
    announceEntry(run, index);
    visit.open.run = &run;
    visit.open.target = checkOnly ? static_cast<EntryTarget*>(&checkedOnly) : &run.target;
    visit.open.index = index;
    visit.open.keep = !checkOnly && listed != kNoEntry && hasPendingCopies(visit, listed);
    visit.open.kept.clear();
    visit.open.written = 0;
    visit.openHandle = run.io.openOutput(&visit.open);
    return visit.openHandle;
}

int onDirectoryCursor(Visit& visit, CabNotification& n) {
    const auto& entries = visit.cabinet.directory.entries;
    if (visit.state == VisitState::Steering) {
        while (visit.steerNext < visit.plan.steered.size()) {
            const uint32_t i = visit.plan.steered[visit.steerNext++];
            const uint32_t entry = visit.entryAt[i];
            if (entry == kNoArchiveEntry || !visit.run.pending(entry)) continue;
            visit.listIndex = i;
            n.size = entries[i].position;
            n.folderIndex = 1;
            return 0;
        }
        if (visit.crossingWanted && visit.plan.tailStart) {
            visit.state = VisitState::Tail;
            visit.listIndex = *visit.plan.tailStart;
            n.size = entries[visit.listIndex].position;
            n.folderIndex = uint16_t(entries.size() - visit.listIndex);
            return 0;
        }
        visit.state = VisitState::Done;
    }
    n.folderIndex = 0;
    return 0;
}

// A file the decoder offers after crossing: it passed over the first
// continued files of the cabinet it entered (those declined going on, and
// the one that led it there) and offers the rest in directory order. The
// entry is the one that directory place continues, not one found by name.
// One not wanted is decoded only when it leads on into a further cabinet.
int offerContinued(Visit& visit) {
    const Cabinet& entered = cabinetInHand(visit);
    const uint32_t listed = visit.crossedNext++;
    if (listed >= entered.entryOfListed.size()) return 0;
    const uint32_t entry = entered.entryOfListed[listed];
    const bool leadsOn = entered.directory.entries[listed].continuesIntoNext();
    if (!leadsOn && (entry == kNoArchiveEntry || !visit.run.pending(entry))) return 0;
    return offer(visit, entry, true, kNoEntry);
}

int onOpenOutput(Visit& visit) {
    const auto& files = visit.cabinet.directory.entries;
    switch (visit.state) {
        case VisitState::Steering: {
            const uint32_t i = visit.listIndex;
            if (i >= files.size() || visit.entryAt[i] == kNoArchiveEntry) return 0;
            // Bytes of another folder make the decoder load that one: a
            // failure before it says so is none of the previous folder's.
            if (files[i].size != 0 && folderOfEntry(visit.cabinet, files[i]) != visit.folderInHand) {
                visit.folderLoaded = false;
            }
            return offer(visit, visit.entryAt[i], false, i);
        }
        case VisitState::Tail: {
            const uint32_t i = visit.listIndex++;
            // A file declined here that does not go on is not counted by the
            // decoder among those it passes over when it crosses.
            if (i >= files.size() || !files[i].continuesIntoNext()) return 0;
            const uint32_t entry = visit.entryAt[i];
            return offer(visit, entry, true, kNoEntry);
        }
        case VisitState::Crossed: return offerContinued(visit);
        default:
            return 0;
    }
}

int endWithDisagreeingSizes(Visit& visit);

int onCloseOutput(Visit& visit, const CabNotification& n) {
    visit.run.io.closeHandle(n.fileHandle);
    visit.openHandle = -1;
    if (visit.open.index == kNoArchiveEntry) return 1;  // a discarded file
    const uint32_t index = visit.open.index;
    // A file the decoder came to after crossing into a later cabinet is
    // decoded to the size that cabinet lists; when that differs from the
    // size where the file begins, the cabinets disagree on where it ends.
    if (visit.open.written != visit.run.archive.entries[index].view.size) {
        return endWithDisagreeingSizes(visit);
    }
    visit.open.index = kNoArchiveEntry;
    const bool salvaged = !visit.run.mayBeDamaged.empty() && visit.run.mayBeDamaged[index];
    std::string reason = salvaged ? kSalvagedReason : "";
    const int32_t final =
        visit.open.target->end(index, salvaged ? CabOutcomeSalvaged : CabOutcomeExtracted, reason);
    visit.run.settle(index, final, reason);
    visit.progressed = true;
    if (visit.open.keep) replayCopies(visit, index, final, reason);
    return visit.run.stopped ? -1 : 1;
}

// The decoder wants the next cabinet of the set: only a file going on may
// lead there, and only into a cabinet the archive holds.
int onNeedCabinet(Visit& visit, CabNotification& n) {
    const std::string named = n.text1 != nullptr ? n.text1 : "";
    const CabArchiveEntry* going =
        visit.open.index != kNoArchiveEntry ? &visit.run.archive.entries[visit.open.index].view : nullptr;
    if (visit.state == VisitState::Steering || (going != nullptr && going->continuesIntoNext == 0 &&
                                                going->continuesFromPrevious == 0)) {
        visit.failure = Failure{CabOutcomeDamaged,
                                "cabinet is damaged: the file runs past the end of its folder"};
        return -1;
    }
    if (n.lastError != 0) {
        // The cabinet asked for last could not be opened, or was opened
        // (and counted as in hand) but its first folder could not be loaded.
        const uint32_t tried =
            visit.state == VisitState::AwaitingNext ? visit.inHand + 1 : visit.inHand;
        visit.failure = Failure{CabOutcomeDamaged, "cannot continue into next cabinet '" +
                                                       visit.run.archive.cabinets[tried].name +
                                                       "': " + cabErrorText(n.lastError)};
        return -1;
    }
    const uint32_t next = visit.inHand + 1;
    if (next >= visit.run.archive.cabinets.size()) {
        visit.failure = Failure{CabOutcomeUnreachable,
                                "goes on in cabinet '" + named + "', which the archive does not have"};
        visit.failure->archiveEnds = true;
        return -1;
    }
    const std::string handleName = cabinetHandleName(visit.run.archive.cabinets[next].source);
    std::memcpy(n.text1, handleName.c_str(), handleName.size() + 1);
    if (n.text3 != nullptr) n.text3[0] = '\0';
    visit.state = VisitState::AwaitingNext;
    return 0;
}

int dispatchNotification(Visit& visit, int kind, CabNotification& n) {
    switch (kind) {
        case CabinetOpened:
            if (visit.state == VisitState::AwaitingNext) {
                ++visit.inHand;
                visit.state = VisitState::Crossed;
                visit.crossedNext = 1;  // the file that led the decoder here
            }
            return 0;
        case DirectoryCursor: return onDirectoryCursor(visit, n);
        case FileFromPrevious:
            if (visit.state == VisitState::Tail) ++visit.listIndex;
            return 0;
        case OpenOutput: return onOpenOutput(visit);
        case CloseOutput: return onCloseOutput(visit, n);
        case NeedCabinet: return onNeedCabinet(visit, n);
        default: return 0;
    }
}

// No exception may cross the decoder: running out of memory in a handler
// ends the pass as a failure.
int onNotify(int kind, CabNotification* notification) {
    Visit& visit = *static_cast<Visit*>(notification->userContext);
    try {
        return dispatchNotification(visit, kind, *notification);
    } catch (const std::bad_alloc&) {
        visit.failure = Failure{CabOutcomeDamaged, "out of memory"};
        return -1;
    }
}

// Follows the decoder through folders and blocks, so that a failure can
// name the block, and reports progress after each block.
int onReserveEvent(CabReserveEvent* event) {
    Visit& visit = *static_cast<Visit*>(event->userContext);
    if (event->kind == FolderReserve) {
        visit.folderLoaded = true;
        visit.folderInHand = event->folder.folderIndex;
        visit.blocksRead = 0;
    } else if (event->kind == DataBlockReserve) {
        if (stopRequested(visit.run)) return -1;
        ++visit.blocksRead;
        visit.run.reportProgress();
    }
    return 0;
}

// What went wrong in the data, as precisely as the decoder's place tells.
Failure describeFailure(Visit& visit, const CabError& error) {
    if (visit.failure) return *visit.failure;
    std::string reason = cabErrorText(error.errorCode);
    const std::string windowFile = visit.run.io.takeWindowFileProblem();
    if (error.errorCode == NoMemory && !windowFile.empty()) {
        reason = windowFile;
    } else if (visit.folderLoaded && (error.errorCode == DamagedCabinet ||
                                      (error.errorCode == CodecFailed && visit.blocksRead > 0))) {
        // A block refused as damaged was never handed on; a block the codec
        // failed on was. The bytes of a refused block say what was wrong
        // with it.
        const uint32_t block = error.errorCode == CodecFailed ? visit.blocksRead - 1 : visit.blocksRead;
        visit.failedBlock = block;
        const std::string found = error.errorCode == DamagedCabinet
                                      ? describeRefusedBlock(visit.run.io, cabinetInHand(visit),
                                                             visit.folderInHand, block)
                                      : std::string();
        reason += found.empty() ? " in data block " + std::to_string(block) + " of folder " +
                                      std::to_string(visit.folderInHand)
                                : ": " + found;
    }
    const std::string& name = cabinetInHand(visit).name;
    return Failure{CabOutcomeDamaged, name.empty() ? reason : name + ": " + reason, reason};
}

// Whether the cabinet holds a single folder that goes on from the cabinet
// before it into the one after: a decoder crossing into it reads on through.
bool passedThroughWhole(const Cabinet& cabinet) {
    bool fromPrevious = false;
    bool intoNext = false;
    for (const FileEntry& file : cabinet.directory.entries) {
        fromPrevious = fromPrevious || file.continuesFromPrevious();
        intoNext = intoNext || file.continuesIntoNext();
    }
    return cabinet.directory.folderCount == 1 && fromPrevious && intoNext;
}

// Whether an entry lies in the part of a folder that only the pass over
// cabinet `index` reaches, by crossing from it: the folder the entry's
// cabinet continues begins there, and not in a cabinet crossed later.
bool reachedByCrossingFrom(const CabArchive& archive, const CabArchiveEntry& view, uint32_t index) {
    if (view.cabinet <= index || view.continuesFromPrevious == 0) return false;
    uint32_t begun = view.cabinet - 1;
    while (begun > index && passedThroughWhole(archive.cabinets[begun])) --begun;
    return begun == index;
}

// Whether this cabinet's pass must read on into the next cabinet: a wanted
// file goes on there, or lies in the part of a folder continued there.
bool wantsCrossing(const Run& run, uint32_t cabinet) {
    for (uint32_t e = 0; e < run.archive.entries.size(); ++e) {
        const CabArchiveEntry& view = run.archive.entries[e].view;
        if (!run.pending(e)) continue;
        if (view.cabinet == cabinet && view.continuesIntoNext != 0 && view.continuesFromPrevious == 0) return true;
        if (reachedByCrossingFrom(run.archive, view, cabinet)) return true;
    }
    return false;
}

// After a failed pass: the entry it met ends with the failure, and so do
// the wanted entries that depended on the same data.
void endOpenEntry(Visit& visit, const Failure& failure) {
    Run& run = visit.run;
    if (visit.open.index == kNoArchiveEntry) return;
    const uint32_t index = visit.open.index;
    visit.open.index = kNoArchiveEntry;
    std::string reason = failure.reason;
    visit.open.target->end(index, failure.outcome, reason);
    run.settle(index, failure.outcome, reason);
    visit.progressed = true;
    if (visit.open.keep) replayCopies(visit, index, failure.outcome, failure.reason);
}

// Ends the entry taken last filled out with zeros to its size: Salvaged
// with `salvaged` as the reason, OutputFailed when the file could not be
// grown, or Damaged (reason `salvaged`) when the target cannot fill it.
int32_t fillOut(Run& run, uint32_t index, const std::string& salvaged, std::string& reason) {
    std::string problem;
    if (run.target.fillWithZeros(problem)) {
        reason = salvaged;
        return run.target.end(index, CabOutcomeSalvaged, reason);
    }
    if (problem.empty()) return CabOutcomeDamaged;
    reason = problem;
    return run.target.end(index, CabOutcomeOutputFailed, reason);
}

void settleAfterFailure(Visit& visit, const Failure& failure) {
    Run& run = visit.run;
    endOpenEntry(visit, failure);
    // Salvaging, a failure ends only the entry it met.
    if (run.request.salvage != 0 && visit.progressed) return;
    const std::string later = "not decoded: " + failure.reason;
    const bool crossingFailed = visit.state != VisitState::Steering;
    for (const uint32_t i : visit.plan.steered) {
        const uint32_t entry = visit.entryAt[i];
        if (entry == kNoArchiveEntry || !run.pending(entry)) continue;
        const FileEntry& file = visit.cabinet.directory.entries[i];
        if (!crossingFailed && visit.folderLoaded && file.size != 0 &&
            folderOfEntry(visit.cabinet, file) == visit.folderInHand) {
            run.settle(entry, failure.outcome, later);
        }
    }
    if (!crossingFailed && !visit.folderLoaded && !visit.progressed) {
        // Nothing could be decoded in this cabinet at all.
        for (const uint32_t i : visit.plan.steered) {
            const uint32_t entry = visit.entryAt[i];
            if (entry != kNoArchiveEntry && run.pending(entry)) run.settle(entry, failure.outcome, later);
        }
    }
    if (crossingFailed) {
        for (uint32_t e = 0; e < run.archive.entries.size(); ++e) {
            const CabArchiveEntry& view = run.archive.entries[e].view;
            const bool dependsOnCrossing =
                (view.cabinet == visit.cabinetIndex && view.continuesIntoNext != 0) ||
                reachedByCrossingFrom(run.archive, view, visit.cabinetIndex);
            if (run.pending(e) && dependsOnCrossing) run.settle(e, failure.outcome, later);
        }
    }
}

// Whether the client asked salvage to fill out with zeros what cannot be
// decoded.
bool fillsWithZeros(const Run& run) {
    return run.request.salvage != 0 && run.events != nullptr && run.events->salvageFillsWithZeros != 0;
}

// The open entry was decoded to another size than it has where it begins.
// When the client stops at the first failure, that is a failure of the pass
// like any damage. Otherwise the entry alone is damaged (salvaged, kept
// to its size, when salvaging) and the pass goes on to the files after it,
// whose data the disagreement does not touch.
int endWithDisagreeingSizes(Visit& visit) {
    Run& run = visit.run;
    if (run.request.salvage == 0 && run.stopsAtFirstFailure()) {
        visit.failure = Failure{CabOutcomeDamaged, kSizesDisagreeReason, kSizesDisagreeNote};
        return -1;
    }
    const uint32_t index = visit.open.index;
    visit.open.index = kNoArchiveEntry;
    run.note(cabinetInHand(visit), kSizesDisagreeNote);
    std::string reason = kSizesDisagreeReason;
    int32_t final = CabOutcomeDamaged;
    if (run.request.salvage != 0 && visit.open.target != &checkedOnly) {
        final = fillsWithZeros(run) ? fillOut(run, index, reason, reason)
                                    : visit.open.target->end(index, CabOutcomeSalvaged, reason);
    }
    if (final == CabOutcomeDamaged) final = visit.open.target->end(index, CabOutcomeDamaged, reason);
    run.settle(index, final, reason);
    visit.progressed = true;
    if (visit.open.keep && final == CabOutcomeSalvaged) {
        try {
            visit.open.kept.resize(run.archive.entries[index].view.size, 0);
            replayCopies(visit, index, final, reason);
        } catch (const std::bad_alloc&) {
            // The copies are decoded on their own.
        }
    }
    return run.stopped ? -1 : 1;
}

// Salvage into a target that can fill an entry out with zeros (a
// directory), when the client asks it: the entry the failure met keeps what was decoded of it, the
// rest zeros, and the later entries of the folder whose data lies at or past
// the failed block, which nothing can decode, are written as zeros without
// decoding the folder up to the damage again. They end Salvaged, and the
// failure ends nothing else. False when the failure must still end what it
// ends without salvage: salvage does not apply, or the failure was met
// following a file into the next cabinet (that file is kept all the same).
// A file going on past the archive's last cabinet is kept so too; there is
// nothing beyond it for the failure to end.
bool salvageInPlace(Visit& visit, const Failure& failure) {
    Run& run = visit.run;
    if (!fillsWithZeros(run) || visit.open.index == kNoArchiveEntry || visit.open.target == &checkedOnly) {
        return false;
    }
    const uint32_t index = visit.open.index;
    std::string reason;
    const int32_t outcome = fillOut(run, index, kZerosFromFailure + failure.reason, reason);
    if (outcome == CabOutcomeDamaged) return false;  // the target cannot: as without salvage
    visit.open.index = kNoArchiveEntry;
    run.settle(index, outcome, reason);
    visit.progressed = true;
    if (visit.open.keep) {
        try {
            visit.open.kept.resize(run.archive.entries[index].view.size, 0);
            replayCopies(visit, index, outcome, reason);
        } catch (const std::bad_alloc&) {
            // The copies are decoded, and filled out, on their own.
        }
    }
    // Met following a file into the next cabinet, the failure still ends
    // the rest as it would.
    if (visit.state != VisitState::Steering) return failure.archiveEnds;
    if (!visit.failedBlock) return true;
    const std::optional<uint32_t> deadFrom =
        blockDataStart(run.io, visit.cabinet, visit.folderInHand, *visit.failedBlock);
    if (!deadFrom) return true;
    for (const uint32_t i : visit.plan.steered) {
        const uint32_t entry = visit.entryAt[i];
        const FileEntry& file = visit.cabinet.directory.entries[i];
        if (entry == kNoArchiveEntry || !run.pending(entry) || file.size == 0 ||
            folderOfEntry(visit.cabinet, file) != visit.folderInHand || file.folderOffset < *deadFrom) {
            continue;
        }
        if (stopRequested(run)) return true;
        run.handOn(entry);
        const Offer answer = run.target.begin(entry, run.archive.entries[entry].view);
        if (answer.action == Offer::Action::Stop) {
            run.stopped = true;
            return true;
        }
        if (answer.action == Offer::Action::Settle) {
            run.settle(entry, answer.outcome, answer.reason);
            continue;
        }
        std::string why;
        int32_t filled = fillOut(run, entry, kZerosPastFailure + failure.reason, why);
        if (filled == CabOutcomeDamaged) filled = run.target.end(entry, filled, why = failure.reason);
        run.settle(entry, filled, why);
    }
    return true;
}

// Entries that this cabinet's plan refuses, or that continue from a cabinet
// the archive does not hold, are settled before anything is decoded. One
// going on into a cabinet the archive does not hold is decoded as far as it
// can be when salvage fills out the rest with zeros.
void settleUnreachable(Run& run, uint32_t cabinetIndex, const VisitPlan& plan,
                       const std::vector<uint32_t>& entryAt) {
    for (const KnownRefusal& refusal : knownRefusals(run.archive, cabinetIndex, plan)) {
        const uint32_t entry = entryAt[refusal.listIndex];
        if (refusal.goesOnMissing && fillsWithZeros(run) && run.request.directory != nullptr &&
            entry != kNoArchiveEntry && !run.checksOnly(entry)) {
            continue;
        }
        if (entry != kNoArchiveEntry && run.pending(entry)) run.settle(entry, refusal.outcome, refusal.reason);
    }
}

bool anyPendingIn(const Run& run, const std::vector<uint32_t>& entryAt) {
    for (const uint32_t e : entryAt) {
        if (e != kNoArchiveEntry && run.pending(e)) return true;
    }
    return false;
}

// Decodes what is wanted of cabinet `index`: its folders side by side
// when workers may take them, else in one pass after another.
void visitCabinet(Run& run, CabDecoder* decoder, CabError& error, uint32_t index) {
    const Cabinet& cabinet = run.archive.cabinets[index];
    std::vector<uint32_t> entryAt(cabinet.directory.entries.size(), kNoArchiveEntry);
    for (uint32_t e = 0; e < run.archive.entries.size(); ++e) {
        if (run.archive.entries[e].cabinet == index) entryAt[run.archive.entries[e].listIndex] = e;
    }
    const VisitPlan plan = planOfCabinet(run.archive, index);
    settleUnreachable(run, index, plan, entryAt);
    if (run.workers > 1 && extractFoldersSideBySide(run, index, plan, entryAt)) return;
    decodePasses(run, decoder, error, index, plan, entryAt);
}

// Asks the client whether to extract cabinet `index`: false when it skips
// the cabinet (its entries then end Skipped) or stops the extraction.
bool beginCabinet(Run& run, uint32_t index) {
    if (stopRequested(run)) return false;
    if (run.events == nullptr || run.events->cabinetBegin == nullptr) return true;
    const int answer = run.events->cabinetBegin(run.events->context, index);
    if (answer == 1) return true;
    if (answer < 0) {
        run.stopped = true;
        return false;
    }
    for (uint32_t e = 0; e < run.archive.entries.size(); ++e) {
        if (run.archive.entries[e].cabinet == index && run.pending(e)) {
            run.settle(e, CabOutcomeSkipped, "its cabinet was skipped");
        }
    }
    if (run.events->cabinetEnd != nullptr) run.events->cabinetEnd(run.events->context, index);
    return false;
}

}  // namespace

void decodePasses(Run& run, CabDecoder* decoder, CabError& error, uint32_t index,
                  const VisitPlan& plan, const std::vector<uint32_t>& entryAt) {
    const Cabinet& cabinet = run.archive.cabinets[index];
    const std::string name = cabinetHandleName(cabinet.source);
    for (;;) {
        const bool crossing = wantsCrossing(run, index);
        if (!crossing && !anyPendingIn(run, entryAt)) return;
        Visit visit(run, index, cabinet, plan, entryAt, crossing);
        error = CabError{};
        run.io.takeWindowFileProblem();
        const bool ok = cabExtract(decoder, name.c_str(), "", onNotify, onReserveEvent, &visit) != 0;
        if (run.stopped) {
            if (visit.open.index != kNoArchiveEntry) {
                std::string why = "stopped by the client";
                visit.open.target->end(visit.open.index, CabOutcomeStopped, why);
                run.settle(visit.open.index, CabOutcomeStopped, why);
            }
            return;
        }
        if (ok) {
            // Wanted entries the pass did not reach (a crossing that ended
            // early) cannot be had from here.
            for (uint32_t e = 0; e < run.archive.entries.size(); ++e) {
                const CabArchiveEntry& view = run.archive.entries[e].view;
                if (!run.pending(e)) continue;
                if (view.cabinet == index || (crossing && reachedByCrossingFrom(run.archive, view, index))) {
                    run.settle(e, CabOutcomeUnreachable,
                               "not reached: no file led the decoder to its data");
                }
            }
            return;
        }
        const Failure failure = describeFailure(visit, error);
        if (failure.outcome == CabOutcomeDamaged) {
            run.note(cabinetInHand(visit), failure.noteText());
        }
        if (salvageInPlace(visit, failure)) continue;
        run.failed = true;
        if (run.stopsAtFirstFailure()) {
            // The entry it met ends with the failure; the rest are not reached.
            endOpenEntry(visit, failure);
            return;
        }
        settleAfterFailure(visit, failure);
        if (!visit.progressed) {
            for (const uint32_t e : entryAt) {
                if (e != kNoArchiveEntry && run.pending(e)) run.settle(e, failure.outcome, "not decoded: " + failure.reason);
            }
            return;
        }
    }
}


CabArchiveStatus extractEntries(CabArchive& archive, const CabArchiveExtraction& request,
                                const std::vector<bool>& chosen, EntryTarget& target,
                                uint32_t workers, const CabArchiveEvents* events,
                                const std::vector<bool>& checkOnly) {
    Run run(archive, request, chosen, target, archive.io);
    run.events = events;
    run.workers = workers;
    archive.outcomes.assign(archive.entries.size(), CabOutcomeNotChosen);
    archive.reasons.assign(archive.entries.size(), std::string());
    run.checkOnly = checkOnly;
    for (uint32_t e = 0; e < archive.entries.size(); ++e) {
        if (chosen[e]) run.total += archive.entries[e].view.size;
    }
    std::optional<SalvageScope> salvage;
    if (request.salvage != 0) {
        salvage.emplace(archive, [&run](const Cabinet& cabinet, const std::string& message) {
            run.note(cabinet, message);
        });
        run.mayBeDamaged = salvage->entriesMayBeDamaged();
    }
    IoScope scope(archive.io);
    CabError error{};
    const CabDecoderOwner decoder(archive.io.createDecoder(&error));
    if (!decoder) {
        for (uint32_t e = 0; e < archive.entries.size(); ++e) {
            if (run.pending(e)) run.settle(e, CabOutcomeDamaged, cabErrorText(error.errorCode));
        }
        return CabArchiveIncomplete;
    }
    for (uint32_t c = 0; c < archive.cabinets.size() && !run.stopped; ++c) {
        if (run.endedAtFailure()) break;
        if (salvage) salvage->tellBefore(c);
        if (!beginCabinet(run, c)) continue;
        visitCabinet(run, decoder.get(), error, c);
        if (events != nullptr && events->cabinetEnd != nullptr) events->cabinetEnd(events->context, c);
    }
    if (request.progress != nullptr) request.progress(request.context, run.done, run.total);
    bool complete = true;
    for (uint32_t e = 0; e < archive.entries.size(); ++e) {
        if (run.pending(e) && run.stopped) {
            run.settle(e, CabOutcomeStopped, "the extraction was stopped before it");
        } else if (run.pending(e) && run.endedAtFailure()) {
            run.settle(e, CabOutcomeNotReached, "not reached: the extraction ended at an earlier failure");
        } else if (run.pending(e)) {
            run.settle(e, CabOutcomeUnreachable, "not reached");
        }
        if (chosen[e] && archive.outcomes[e] != CabOutcomeExtracted) complete = false;
    }
    if (run.stopped) return CabArchiveStopped;
    return complete ? CabArchiveOk : CabArchiveIncomplete;
}

}  // namespace cabarchive
