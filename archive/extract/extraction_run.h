// The state of one extraction shared by its passes over the cabinets, and
// the decoding passes over one cabinet that folder jobs on workers reuse.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "archive/archive_state.h"
#include "archive/extract/entry_target.h"
#include "archive/walk/visit_plan.h"
#include "cab/cab.h"

namespace cabarchive {

// A settle, a note or an entry handed on that a folder job made on a
// worker, held until the caller's thread releases it in the order the
// single pass would have made it.
struct HeldEvent {
    bool isNote = false;
    uint32_t index = 0;           // settle, handed on: the entry
    int32_t outcome = 0;          // settle: its outcome
    std::string cabinet;          // note: the cabinet's name
    std::string text;             // settle: the reason; note: the message
    bool isHandedOn = false;
};

// Bytes written by all workers of a cabinet, reported one call at a time.
struct SharedProgress {
    std::mutex lock;
    uint64_t done = 0;
};

// What the whole extraction knows: the request, the choice and how far it
// got. A folder job on a worker has its own, choosing only its folder's
// entries and holding its settles and notes.
struct Run {
    Run(CabArchive& a, const CabArchiveExtraction& r, const std::vector<bool>& c, EntryTarget& t,
        ArchiveIo& i)
        : archive(a), request(r), chosen(c), target(t), io(i), settled(a.entries.size(), 0) {}

    CabArchive& archive;
    const CabArchiveExtraction& request;
    const std::vector<bool>& chosen;
    EntryTarget& target;
    ArchiveIo& io;                  // the I/O state of the thread running this
    std::vector<uint8_t> settled;   // bytes, not bits: workers' runs are separate objects
    std::vector<bool> mayBeDamaged; // salvage: fed by a block whose checksum did not match
    std::vector<bool> checkOnly;    // chosen to be decoded but not written (empty: none)
    uint64_t done = 0;
    uint64_t total = 0;
    bool stopped = false;
    bool failed = false;            // a pass of the decoder ended at a failure
    uint32_t workers = 1;           // folder jobs side by side, for a directory target
    const CabArchiveEvents* events = nullptr;  // the client's, when it gave any

    std::vector<HeldEvent>* held = nullptr;       // a worker's: where settles and notes wait
    SharedProgress* sharedProgress = nullptr;     // a worker's: the cabinet's byte count
    uint64_t doneShared = 0;                      // of `done`, what sharedProgress has

    bool pending(uint32_t index) const { return chosen[index] && settled[index] == 0; }
    bool checksOnly(uint32_t index) const { return !checkOnly.empty() && checkOnly[index]; }

    // The client asked that the first failure end the extraction.
    bool stopsAtFirstFailure() const { return events != nullptr && events->stopAtFirstFailure != 0; }
    // The extraction has ended at a failure, as the client asked.
    bool endedAtFailure() const { return failed && stopsAtFirstFailure(); }

    void settle(uint32_t index, int32_t outcome, const std::string& reason) {
        settled[index] = 1;
        if (held != nullptr) {
            held->push_back(HeldEvent{false, index, outcome, std::string(), reason});
            return;
        }
        archive.outcomes[index] = outcome;
        archive.reasons[index] = outcome == CabOutcomeExtracted ? std::string() : reason;
        if (request.settled != nullptr) {
            request.settled(request.context, index, outcome,
                            outcome == CabOutcomeExtracted ? nullptr : archive.reasons[index].c_str());
        }
    }

    // Tells the client that entry `index` is handed to its target (or to
    // be checked), before the target takes or refuses it.
    void handOn(uint32_t index) {
        if (events == nullptr || events->entryHandedOn == nullptr) return;
        if (held != nullptr) {
            held->push_back(HeldEvent{false, index, 0, std::string(), std::string(), true});
            return;
        }
        events->entryHandedOn(events->context, index);
    }

    void note(const Cabinet& cabinet, const std::string& message) {
        if (held != nullptr) {
            held->push_back(HeldEvent{true, 0, 0, cabinet.name, message});
            return;
        }
        if (request.note != nullptr) request.note(request.context, cabinet.name.c_str(), message.c_str());
    }

    // Tells the client of the bytes written so far; a worker adds its own
    // to the cabinet's count first, so the figure never goes backwards.
    void reportProgress() {
        if (request.progress == nullptr) return;
        if (sharedProgress == nullptr) {
            request.progress(request.context, done, total);
            return;
        }
        const std::lock_guard<std::mutex> guard(sharedProgress->lock);
        sharedProgress->done += done - doneShared;
        doneShared = done;
        request.progress(request.context, sharedProgress->done, total);
    }
};

// Decodes what `run` still wants of cabinet `index` as `plan` orders it,
// again after a failure for the entries it did not concern. `entryAt` maps
// the cabinet's list indexes to archive entries.
void decodePasses(Run& run, CabDecoder* decoder, CabError& error, uint32_t index,
                  const VisitPlan& plan, const std::vector<uint32_t>& entryAt);

}  // namespace cabarchive
