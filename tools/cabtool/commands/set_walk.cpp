#include "tools/cabtool/commands/set_walk.h"

#include <algorithm>
#include <optional>
#include <set>
#include <tuple>
#include <utility>
#include <vector>

#include "cab/cab.h"
#include "tools/cabtool/commands/archive_reading.h"
#include "tools/cabtool/commands/archive_set.h"
#include "tools/cabtool/commands/walk_record.h"
#include "tools/cabtool/files/cabinet_files.h"
#include "tools/cabtool/output/messages.h"
#include "tools/cabtool/output/printable.h"

namespace cabtool {
namespace {

// The library's reasons that the walk words, or places, its own way.
const std::string kNoFileLed = "not reached: no file led the decoder to its data";
const std::string kPastFolderEnd = "cabinet is damaged: the file runs past the end of its folder";
// The library's reasons for a file whose data goes on in a cabinet that did
// not join the archive: refused before decoding, or met while decoding.
const std::string kGoesOnRefused = "its data goes on in cabinet '";
const std::string kGoesOnMet = "goes on in cabinet '";
const std::string kCrossingFailed = "cannot continue into next cabinet '";

bool startsWith(const std::string& text, const std::string& start) {
    return text.rfind(start, 0) == 0;
}

bool endsWith(const std::string& text, const std::string& end) {
    return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

// A block refused as damaged whose bytes show nothing wrong is said to be
// damaged without naming the block, as the decoder reports it; so is any
// block when `blocksNamed` is false.
std::string damageText(const std::string& message, bool blocksNamed) {
    const std::string damaged = cabErrorText(CabErrDamagedCabinet);
    if (startsWith(message, damaged + " in data block ")) return damaged;
    const bool namesBlock = startsWith(message, damaged + ": ") &&
                            message.find("data block ") != std::string::npos;
    return namesBlock && !blocksNamed ? damaged : message;
}

// One walk over the cabinets of an archive, from cabinet `start` on, driven
// by the library's extraction events. The walk stops at the first failure:
// the cabinets after the one it failed in are not looked at.
struct SetWalk {
    SetWalk(WalkFindings& f, CabArchive* a) : findings(f), archive(a) {}

    WalkFindings& findings;
    CabArchive* archive;
    uint32_t start = 0;
    const WalkRecord* earlier = nullptr;
    WalkRecord* record = nullptr;
    std::vector<CabArchiveCabinet> cabinets;
    std::vector<std::vector<uint32_t>> entriesOf;  // by cabinet, in directory order
    std::vector<CabArchiveProblem> problems;
    std::vector<FileEntry> files;     // by entry
    std::vector<bool> settledBefore;  // refused before decoding: later settles are not counted
    std::pair<uint32_t, uint32_t> reserves{0, 0};
    int64_t current = -1;  // the cabinet in hand
    bool halted = false;   // the walk failed: nothing after it counts
    bool complete = true;
    int64_t failedIn = -1;  // the cabinet the walk stopped in, when it did
    bool writesFiles = false;  // extraction into a directory
    bool stoppedAtFailure = false;  // the command stopped the library at a failure
    uint64_t bytesShown = 0;  // written to a directory and shown as progress
    // Outcomes of files continued from an earlier cabinet, which the library
    // settles with that cabinet: the walk tells them with their own.
    std::vector<std::tuple<uint32_t, int32_t, std::string>> ahead;
    // The cabinet the decoder was in at the latest damage noted: a file
    // that fails there is named with it, or with the cabinet before when
    // the damage was met crossing into it (opening it, or its first block).
    std::string damagedIn;
    bool damageWhereCrossed = false;
    // Files of the last cabinet going on into a next one that did not join,
    // in directory order: the walk decodes the first of them after the
    // cabinet's other files and fails where it would cross.
    std::vector<uint32_t> goingOnRefused;

    bool chosen(uint32_t index) const { return isChosen(files[index], findings.options); }

    // A file that begins in its cabinet and goes on into the next is
    // decoded even when not chosen, so that the walk crosses into that
    // cabinet and checks it. (A file met after crossing is decoded unchosen
    // only when it leads on further, which the library sees to.)
    // Into a directory such a file is decoded without being written.
    int decoded(uint32_t index) const {
        if (chosen(index)) return 1;
        CabArchiveEntry entry{};
        const bool leadsOn = cabArchiveEntry(archive, index, &entry) == CabArchiveOk &&
                             entry.continuesIntoNext && !entry.continuesFromPrevious;
        if (!leadsOn) return 0;
        return writesFiles ? CAB_CHOOSE_CHECK_ONLY : 1;
    }

    // The files of cabinet `c` that the walk settles before decoding: those
    // the directory places where no data can be, and in the starting
    // cabinet those whose data begins in an earlier one.
    void settleKnown(uint32_t c) {
        std::vector<uint32_t> entries = entriesOf[c];
        if (c == start && c > 0) {
            // Begun in a cabinet before the starting one: this cabinet
            // lists them as continued from there.
            const std::vector<uint32_t> carried = continuedIntoStart(false);
            entries.insert(entries.begin(), carried.begin(), carried.end());
        }
        const std::string previous = previousNameOf(archive, c);
        std::vector<uint32_t> fromBefore;  // told after the damage, when the command wants
        for (const uint32_t index : entries) {
            CabArchiveEntry entry{};
            if (cabArchiveEntry(archive, index, &entry) != CabArchiveOk) continue;
            FileEntry& file = files[index];
            if (entry.cabinet != c) {
                file.cabinet = cabinets[c].name;
                file.folderIndex = CAB_FOLDER_CONTINUED_FROM_PREVIOUS;
            }
            const char* known = nullptr;
            const int32_t problem = cabArchiveEntryProblem(archive, index, &known);
            const bool absentNeighbour =
                (entry.continuesFromPrevious && entry.cabinet == 0) ||
                (entry.continuesIntoNext && entry.cabinet + 1 == cabinets.size());
            const bool refusedHere =
                known != nullptr && (problem == CabOutcomeDamaged ||
                                     (problem == CabOutcomeUnreachable && !absentNeighbour));
            const bool fromEarlier = file.continuesFromPrevious() && c == start;
            if (!refusedHere && !fromEarlier) continue;
            settledBefore[index] = true;
            if (!chosen(index)) continue;
            if (refusedHere) {
                findings.refused(file, known);
                continue;
            }
            // A walk before this one tested it, or read the cabinet it comes
            // from: it is not mentioned again.
            const std::string previousPath = neighbourPath(file.cabinet, previous);
            if (earlier != nullptr && (earlier->handled.count(previousPath) != 0 ||
                                       earlier->dealtWith.count({file.name, file.size}) != 0)) {
                continue;
            }
            fromBefore.push_back(index);
            if (!findings.damageFirst) tellFromEarlier(index, previous);
        }
        if (findings.damageFirst) {
            for (const uint32_t index : fromBefore) tellFromEarlier(index, previous);
        }
        if (c == start + 1 && start > 0) settleSpanning(c);
    }

    void tellFromEarlier(uint32_t index, const std::string& previous) {
        findings.refused(files[index], std::string("not ") + findings.doneWord() +
                                           ": it is continued from the earlier cabinet '" +
                                           previous + "'");
    }

    // A walk started again inside the set: the files whose data runs from
    // before its starting cabinet through it into the next were not
    // decoded, so no file crossed into that cabinet with them.
    void settleSpanning(uint32_t c) {
        const std::vector<uint32_t> spanning = continuedIntoStart(true);
        for (uint32_t p = 0; p < cabArchiveListedCount(archive, c); ++p) {
            CabArchiveListing listed{};
            listed.size = sizeof listed;
            if (cabArchiveListed(archive, c, p, &listed) != CabArchiveOk ||
                !folderContinuesFromPrevious(listed.folder) ||
                std::find(spanning.begin(), spanning.end(), listed.entry) == spanning.end()) {
                continue;
            }
            // Named as this cabinet lists it.
            FileEntry file = files[listed.entry];
            file.name.assign(reinterpret_cast<const char*>(listed.rawName), listed.rawNameLength);
            file.text = listed.name;
            file.cabinet = cabinets[c].name;
            file.folderIndex = CAB_FOLDER_CONTINUED_FROM_PREVIOUS;
            if (!isChosen(file, findings.options)) continue;
            findings.refused(file, "not reached: its folder goes on from '" +
                                    previousNameOf(archive, c) +
                                    "', but no file crossed into this cabinet");
        }
    }

    // The entries the starting cabinet's own directory lists as continued
    // from the cabinet before it, in that order: those begun before it, or
    // with `spanning` those of them, and of its own marked as continued,
    // whose data goes on through it into the next cabinet.
    std::vector<uint32_t> continuedIntoStart(bool spanning) const {
        std::vector<uint32_t> found;
        for (uint32_t p = 0; p < cabArchiveListedCount(archive, start); ++p) {
            CabArchiveListing listed{};
            listed.size = sizeof listed;
            if (cabArchiveListed(archive, start, p, &listed) != CabArchiveOk ||
                !folderContinuesFromPrevious(listed.folder) ||
                (spanning && !folderContinuesIntoNext(listed.folder))) {
                continue;
            }
            CabArchiveEntry entry{};
            if (cabArchiveEntry(archive, listed.entry, &entry) != CabArchiveOk) continue;
            if (entry.cabinet < start || (spanning && entry.cabinet == start))
                found.push_back(listed.entry);
        }
        return found;
    }

    int cabinetBegin(uint32_t c) {
        if (halted) return -1;
        if (c < start) return 0;
        current = c;
        if (recordReservesOf(cabinets[c]) != reserves) {
            tellAhead();
            reportCabinetError(cabinets[c].name, cabErrorText(CabErrReserveSizeChanged));
            halt(-1);
            return -1;
        }
        // A cabinet whose header or folder table cannot be used is never
        // walked: a later walk does not take its files as dealt with.
        if (!headerUnusable(c)) record->handled.insert(cabinets[c].name);
        settleKnown(c);
        tellAhead(c);
        std::vector<uint32_t> wanted;
        for (const uint32_t index : entriesOf[c]) {
            if (chosen(index) && !settledBefore[index]) wanted.push_back(index);
        }
        if (!findings.cabinetReady(archive, c, wanted)) {
            for (const uint32_t index : wanted) settledBefore[index] = true;
            findings.notReached += wanted.size();
            halt(c);
            findings.cabinetDone();
            current = -1;
            return -1;
        }
        return 1;
    }

    // Tells the outcomes kept for the files of cabinet `c`, or with no
    // cabinet given those of every file the walk came to (decoded whole,
    // salvaged, or kept because its name was taken): the walk is about to
    // stop, and the files it met on its way still count.
    void tellAhead(std::optional<uint32_t> c = std::nullopt) {
        std::vector<std::tuple<uint32_t, int32_t, std::string>> mine;
        for (auto it = ahead.begin(); it != ahead.end();) {
            const int32_t outcome = std::get<1>(*it);
            const bool met = outcome == CabOutcomeExtracted || outcome == CabOutcomeSalvaged ||
                             (outcome == CabOutcomeOutputFailed && std::get<2>(*it) == CAB_ARCHIVE_REASON_EXISTS_KEPT);
            const bool told = c ? fileCabinetOf(std::get<0>(*it)) == *c : met;
            if (told) {
                mine.push_back(*it);
                it = ahead.erase(it);
            } else {
                ++it;
            }
        }
        for (const auto& [index, outcome, reason] : mine) tell(index, outcome, reason);
    }

    bool headerUnusable(uint32_t c) const {
        return std::any_of(problems.begin(), problems.end(), [c](const CabArchiveProblem& problem) {
            return problem.cabinet == int32_t(c) && isTableDamage(problem) &&
                   !isFolderDamage(problem);
        });
    }

    void cabinetEnd(uint32_t c) {
        if (int64_t(c) != current) return;
        if (!goingOnRefused.empty()) {
            std::vector<uint32_t> refused;
            refused.swap(goingOnRefused);
            size_t unreached = 0;  // the walk stopped before it came to these
            if (!halted) {
                failCrossing(refused.front(), c);
                unreached = 1;
            }
            for (size_t i = unreached; i < refused.size() && failedIn == int64_t(c); ++i) {
                if (chosen(refused[i])) ++findings.notReached;
            }
        }
        for (const CabArchiveProblem& problem : problems) {
            if (halted || problem.kind != CabProblemDamagedDirectory ||
                problem.cabinet != int32_t(c) || isFolderDamage(problem)) {
                continue;
            }
            tellAhead();
            reportCabinetError(problem.name, directoryDamageText(problem, cabinets[c]));
            // Damage part-way through the file list: the entries past it
            // cannot even be named; they still count.
            const uint64_t read = cabArchiveListedCount(archive, c);
            if (isFileListDamage(problem) && cabinets[c].fileCount > read) {
                findings.notReached += cabinets[c].fileCount - read;
            }
            halt(c);
        }
        if (failedIn == int64_t(c)) halted = true;
        findings.cabinetDone();
        current = -1;
    }

    // The file `index`, decoded to the end of cabinet `inHand`'s data, could
    // not go on into the next cabinet: the walk ends there.
    void failCrossing(uint32_t index, uint32_t inHand) {
        const FileEntry file = tellCrossingFailure(index, inHand);
        // Told here, it is dealt with: a walk started again later in the
        // set does not count it once more.
        record->dealtWith.insert({file.name, file.size});
        if (chosen(index)) findings.failed(file);
        failAt(inHand);
        halted = true;
    }

    // Says why file `index` could not go on from cabinet `inHand` into the
    // next; returns the file as named there.
    FileEntry tellCrossingFailure(uint32_t index, uint32_t inHand) const {
        const CrossingFailure failure = crossingFailureAfter(archive, inHand);
        FileEntry file = files[index];
        file.cabinet = cabinets[inHand].name;
        if (failure.aboutFile) {
            reportFileError(file.cabinet, slashNameOf(file), failure.text);
        } else {
            reportCabinetError(file.cabinet, failure.text);
        }
        return file;
    }

    void halt(int64_t c) {
        halted = true;
        complete = false;
        if (failedIn < 0) failedIn = c;
    }

    uint32_t fileCabinetOf(uint32_t index) const {
        CabArchiveEntry entry{};
        cabArchiveEntry(archive, index, &entry);
        return entry.cabinet;
    }

    void settled(uint32_t index, int32_t outcome, const char* reason) {
        if (index >= files.size() || settledBefore[index]) return;
        // The library ended at a failure that no damaged file told: one a
        // salvaged file met following its data into the next cabinet. The
        // files it came to on the way, in cabinets it will not begin, still
        // count.
        if (outcome == CabOutcomeNotReached && failedIn < 0) {
            tellAhead();
            if (current < 0) findings.cabinetDone();
            failAt(fileCabinetOf(index));
        }
        const std::string why = reason != nullptr ? reason : "";
        if (outcome == CabOutcomeUnreachable && startsWith(why, kGoesOnRefused)) {
            CabArchiveEntry entry{};
            cabArchiveEntry(archive, index, &entry);
            // Continued from a cabinet whose walk handed no file on to this one.
            if (entry.continuesFromPrevious) return tell(index, outcome, kNoFileLed);
            goingOnRefused.push_back(index);
            return;
        }
        if (outcome == CabOutcomeUnreachable && startsWith(why, kGoesOnMet) && !halted) {
            return failCrossing(index, uint32_t(cabinets.size() - 1));
        }
        if (outcome == CabOutcomeSalvaged && why.find(kGoesOnMet) != std::string::npos && !halted) {
            // Salvage kept what the archive holds of the file, the rest
            // zeros; the crossing failed all the same and ends the walk.
            const uint32_t last = uint32_t(cabinets.size() - 1);
            tellCrossingFailure(index, last);
            if (chosen(index)) tell(index, outcome, why);
            failAt(last);
            halted = true;
            return;
        }
        // Salvaged, the file is kept and the failure told the same way.
        const bool pastFolderEnd =
            why == kPastFolderEnd || (outcome == CabOutcomeSalvaged && endsWith(why, kPastFolderEnd));
        if (pastFolderEnd && !halted) {
            // The file that claimed more data than its folder holds is named
            // whether or not it was chosen: it is why the walk stops.
            const FileEntry& file = files[index];
            if (file.name.empty()) {
                reportCabinetError(file.cabinet, kPastFolderEnd);
            } else {
                reportFileError(file.cabinet, slashNameOf(file), kPastFolderEnd);
            }
        }
        if (!chosen(index)) {
            // A file decoded only to cross into the next cabinet still ends
            // the walk when it fails.
            if (outcome == CabOutcomeDamaged && !halted) failAt(fileCabinetOf(index));
            return;
        }
        // A failure ends the walk where it is met; it is told at once.
        if (outcome != CabOutcomeNotReached && outcome != CabOutcomeDamaged &&
            (current < 0 || int64_t(fileCabinetOf(index)) > current)) {
            ahead.emplace_back(index, outcome, why);
            return;
        }
        tell(index, outcome, why);
    }

    void tell(uint32_t index, int32_t outcome, const std::string& reason) {
        const FileEntry& file = files[index];
        CabArchiveEntry entry{};
        cabArchiveEntry(archive, index, &entry);
        if (outcome == CabOutcomeNotReached) {
            if (int64_t(entry.cabinet) == failedIn) ++findings.notReached;
            return;
        }
        if (halted || entry.cabinet < start) return;
        if (outcome == CabOutcomeExtracted || outcome == CabOutcomeSalvaged) {
            findings.passed(file, index, outcome);
        } else if (outcome == CabOutcomeRefusedName || outcome == CabOutcomeOutputFailed ||
                   outcome == CabOutcomeSkipped) {
            // A file kept is named with the cabinet the decoder was in when
            // it came to the file's data: after a crossing, the next one.
            FileEntry where = file;
            uint32_t reachedIn = entry.cabinet;
            if (reason == CAB_ARCHIVE_REASON_EXISTS_KEPT &&
                cabArchiveEntryReachedIn(archive, index, &reachedIn) == CabArchiveOk) {
                where.cabinet = cabinets[reachedIn].name;
            }
            if (findings.notWritten(where, index, outcome, reason)) {
                stoppedAtFailure = true;
                failAt(entry.cabinet);
                halted = true;
            }
        } else if (outcome == CabOutcomeStopped) {
            return;
        } else if (outcome == CabOutcomeUnreachable && reason == kNoFileLed &&
                   entry.continuesFromPrevious) {
            // The same file, listed again by a cabinet whose continued files
            // do not pair with those going on before it, was handed out
            // already: it is not lost.
            if (record->dealtWith.count({file.name, file.size}) != 0) return;
            findings.refused(file, "not reached: its folder goes on from '" +
                                    previousNameOf(archive, entry.cabinet) +
                                    "', but no file crossed into this cabinet");
        } else if (outcome == CabOutcomeUnreachable) {
            findings.refused(file, reason);
        } else {
            findings.failed(named(file, entry));
            failAt(entry.cabinet);
        }
    }

    // The chosen entries of the cabinet the walk failed in that the library
    // stopped before, when the command stopped it at that failure: the walk
    // did not reach them.
    void countStopped() {
        for (uint32_t index = 0; index < files.size(); ++index) {
            if (!chosen(index) || settledBefore[index] ||
                cabArchiveOutcome(archive, index, nullptr) != CabOutcomeStopped ||
                int64_t(fileCabinetOf(index)) != failedIn) {
                continue;
            }
            ++findings.notReached;
        }
    }

    void failAt(uint32_t cabinet) {
        complete = false;
        if (failedIn < 0) failedIn = current >= 0 ? current : int64_t(cabinet);
    }

    void note(const char* cabinet, const char* message) {
        // Salvage tells of a cabinet's bad checksums before the cabinet is
        // begun, also of cabinets before the starting one, not walked.
        for (uint32_t c = 0; c < start; ++c) {
            if (cabinet == std::string(cabinets[c].name)) return;
        }
        // A file running past its folder's end is the file's fault: said with it.
        if (!halted && message != kPastFolderEnd) {
            const bool blocksNamed =
                !findings.blocksNamedWithFolderTableOnly || folderTableWhole(cabinet);
            reportCabinetError(cabinet, damageText(message, blocksNamed));
        }
        damagedIn = cabinet;
        const std::string text = message;
        damageWhereCrossed = text.find(" data block 0 of folder 0") != std::string::npos ||
                             startsWith(text, kCrossingFailed);
    }

    // Whether the cabinet called `name` had its folder table read whole.
    bool folderTableWhole(const std::string& name) const {
        return std::none_of(problems.begin(), problems.end(), [&](const CabArchiveProblem& problem) {
            return problem.cabinet >= 0 && uint32_t(problem.cabinet) < cabinets.size() &&
                   name == cabinets[problem.cabinet].name && isFolderDamage(problem);
        });
    }

    // A file that failed, under the name of the cabinet whose directory
    // the decoder had it from: the one the damage was met in, or the one
    // before it when the damage was met crossing into it.
    FileEntry named(const FileEntry& file, const CabArchiveEntry& entry) const {
        FileEntry where = file;
        for (uint32_t c = entry.cabinet; c < cabinets.size(); ++c) {
            if (damagedIn != cabinets[c].name) continue;
            const uint32_t from = damageWhereCrossed && c > entry.cabinet ? c - 1 : c;
            where.cabinet = cabinets[from].name;
        }
        return where;
    }
};

// The sink: bytes go to the command.
int takeEntry(void*, uint32_t, const CabArchiveEntry*) { return 1; }
// A file decoded only to lead the decoder into the next cabinet gives its
// bytes to no one: piped, standard output carries the chosen files alone.
int giveBytes(void* context, uint32_t index, const void* data, uint32_t size) {
    SetWalk& walk = *static_cast<SetWalk*>(context);
    if (!walk.chosen(index)) return 0;
    return walk.findings.write(index, data, size);
}
void entryDone(void* context, uint32_t index, int32_t outcome) {
    static_cast<SetWalk*>(context)->findings.ended(index, outcome);
}

// Walks the set of the cabinet at `offset` in `path` from the cabinet named
// `startName` (empty: the one opened) on; false when it could not be tested
// whole (reported).
bool walkSet(WalkFindings& findings, const CabinetSource& source, const std::string& path,
              const std::string& startName, const WalkRecord* earlier, WalkRecord& record) {
    const uint64_t offset = startName.empty() ? source.offset : 0;
    const ArchiveOwner archive = openSetForWalk(path, offset, findings.options.codePage);
    if (!archive) return false;
    SetWalk walk(findings, archive.get());
    walk.earlier = earlier;
    walk.record = &record;
    const uint32_t cabinets = cabArchiveCabinetCount(archive.get());
    walk.cabinets.resize(cabinets);
    for (uint32_t c = 0; c < cabinets; ++c) {
        cabArchiveCabinet(archive.get(), c, &walk.cabinets[c]);
        const bool named = startName.empty()
                               ? path == walk.cabinets[c].name && offset == walk.cabinets[c].offset
                               : startName == walk.cabinets[c].name;
        if (named) walk.start = c;
    }
    walk.entriesOf.resize(cabinets);
    const uint32_t count = cabArchiveEntryCount(archive.get());
    walk.files.resize(count);
    walk.settledBefore.assign(count, false);
    for (uint32_t i = 0; i < count; ++i) {
        CabArchiveEntry entry{};
        if (cabArchiveEntry(archive.get(), i, &entry) != CabArchiveOk || entry.cabinet >= cabinets)
            continue;
        walk.entriesOf[entry.cabinet].push_back(i);
        walk.files[i] = fileEntryOf(archive.get(), i, entry);
    }
    walk.problems = problemsOf(archive.get());
    walk.reserves = recordReservesOf(walk.cabinets[walk.start]);

    CabArchiveSink sink{};
    sink.context = &walk;
    sink.begin = takeEntry;
    sink.write = giveBytes;
    sink.end = entryDone;
    CabArchiveExtraction extraction{};
    extraction.sink = &sink;
    extraction.context = &walk;
    extraction.choose = [](void* context, uint32_t index, const CabArchiveEntry*) {
        return static_cast<SetWalk*>(context)->decoded(index);
    };
    extraction.settled = [](void* context, uint32_t index, int32_t outcome, const char* reason) {
        static_cast<SetWalk*>(context)->settled(index, outcome, reason);
    };
    extraction.note = [](void* context, const char* cabinet, const char* message) {
        static_cast<SetWalk*>(context)->note(cabinet, message);
    };
    CabArchiveEvents events{};
    events.size = sizeof events;
    events.context = &walk;
    events.cabinetBegin = [](void* context, uint32_t c) {
        return static_cast<SetWalk*>(context)->cabinetBegin(c);
    };
    events.cabinetEnd = [](void* context, uint32_t c) {
        static_cast<SetWalk*>(context)->cabinetEnd(c);
    };
    // Every file handed out is recorded, also one its target then refused.
    events.entryHandedOn = [](void* context, uint32_t index) {
        SetWalk& set = *static_cast<SetWalk*>(context);
        set.record->dealtWith.insert({set.files[index].name, set.files[index].size});
    };
    events.entryBegin = [](void* context, uint32_t index) {
        SetWalk& set = *static_cast<SetWalk*>(context);
        if (set.chosen(index))
            set.findings.progress.startFile(
                printable(slashNameOf(set.files[index])));
    };
    events.stopAtFirstFailure = 1;
    // What is written and told is the same for any count: the library puts
    // the workers' files in place and tells their outcomes in order.
    extraction.threads = findings.options.threads;
    findings.configure(extraction, events);
    walk.writesFiles = extraction.directory != nullptr;
    if (extraction.directory != nullptr) {
        // Bytes written straight to files show on the progress line as
        // the library counts them; the files decoded are recorded as begun.
        extraction.progress = [](void* context, uint64_t done, uint64_t) {
            SetWalk& set = *static_cast<SetWalk*>(context);
            set.findings.progress.addBytes(done - set.bytesShown);
            set.bytesShown = done;
        };
    }
    CabArchiveError error{};
    cabArchiveExtractWithEvents(archive.get(), &extraction, &events, &error);
    if (walk.stoppedAtFailure) walk.countStopped();
    if (walk.current >= 0) walk.cabinetEnd(uint32_t(walk.current));
    if (!walk.complete) return false;
    for (const CabArchiveProblem& problem : walk.problems) {
        if (problem.cabinet < 0 && problem.before == 0) {
            return !reportNextCabinet(archive.get(), problem, walk.cabinets[cabinets - 1],
                                      walk.start);
        }
    }
    return true;
}

}  // namespace

void WalkFindings::cabinetDone() {
    progress.clear();
    lines.flush(stdout);
    std::fflush(stdout);
}

// Walks one source; false when some of it could not be walked (reported).
bool walkSource(WalkFindings& findings, const CabinetSource& source) {
    return walkFromFirstThenNamed(source, [&](const std::string& path, const std::string& startName,
                                              const WalkRecord* earlier, WalkRecord& record) {
        return walkSet(findings, source, path, startName, earlier, record);
    });
}

}  // namespace cabtool
