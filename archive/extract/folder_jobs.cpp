#include "archive/extract/folder_jobs.h"

#include <algorithm>
#include <map>
#include <new>
#include <optional>
#include <set>
#include <string>
#include <system_error>
#include <thread>

#include "archive/extract/directory_target.h"
#include "archive/extract/held_files.h"
#include "archive/extract/ordered_jobs.h"
#include "archive/names/safe_name.h"
#include "archive/open/entry_list.h"
#include "cab/cab_owner.h"

namespace cabarchive {
namespace {

constexpr size_t kJobsPerWorker = 4;

// Consecutive folders of a cabinet, decoded by one worker in one pass.
struct FolderJob {
    std::vector<uint32_t> steered;  // the plan's files of these folders, in its order
    std::vector<uint32_t> entries;  // their archive entries still wanted
    std::vector<uint32_t> folders;  // their folders in the cabinet
    std::vector<HeldEvent> held; // its settles and notes, in the order made
    std::vector<HeldFile> files; // its complete files, not yet in place
    std::vector<std::string> unheldDirectories;  // made for its entries that left no file
    uint64_t done = 0;           // bytes it wrote
    bool stopped = false;        // the client stopped the extraction in it
    bool failed = false;         // a pass of its decoder ended at a failure
    bool outOfMemory = false;    // it ended early for want of memory
};

// What every worker of the cabinet shares; all of it read-only but the
// queue, the progress count and each worker's own jobs.
struct Workshop {
    Run& run;
    uint32_t cabinet;
    const VisitPlan& plan;
    const std::vector<uint32_t>& entryAt;
    std::vector<FolderJob>& jobs;
    OrderedJobs queue;
    SharedProgress progress;
};

bool crossesCabinets(const Cabinet& cabinet, const VisitPlan& plan) {
    if (plan.tailStart || !plan.fromEarlier.empty()) return true;
    for (const FileEntry& file : cabinet.directory.entries) {
        if (file.continuesIntoNext() || file.continuesFromPrevious()) return true;
    }
    return false;
}

// Whether entries of different folders would write the same file, or one a
// file where another needs a directory: then which lands first matters.
bool pathsMeetAcrossFolders(const Run& run, const std::vector<FolderJob>& jobs) {
    std::map<std::string, uint32_t> files;
    std::map<std::string, bool> directories;
    for (uint32_t j = 0; j < jobs.size(); ++j) {
        for (const uint32_t e : jobs[j].entries) {
            const SafeName place = outputPlace(run.archive.entries[e].name, run.request.lowercase != 0);
            if (!place.usable()) continue;
            std::string path;
            for (size_t c = 0; c < place.components.size(); ++c) {
                path += (c == 0 ? "" : "/") + place.components[c];
                if (c + 1 < place.components.size()) directories[path] = true;
            }
            const auto [at, added] = files.emplace(path, j);
            if (!added && at->second != j) return true;
        }
    }
    for (const auto& [path, folder] : files) {
        if (directories.count(path) != 0) return true;
    }
    return false;
}

// Jobs of consecutive folders with wanted files, in the order the plan
// steers them: a few per worker, so that the work is shared out evenly and
// the cost of a job does not grow with the number of folders.
std::vector<FolderJob> folderJobs(const Run& run, uint32_t index, const VisitPlan& plan,
                                  const std::vector<uint32_t>& entryAt) {
    const Cabinet& cabinet = run.archive.cabinets[index];
    const auto& files = cabinet.directory.entries;
    std::vector<uint32_t> folders;  // in steered order
    for (const uint32_t i : plan.steered) {
        const uint32_t entry = entryAt[i];
        if (entry == kNoArchiveEntry || !run.pending(entry)) continue;
        const uint32_t folder = folderOfEntry(cabinet, files[i]);
        if (folders.empty() || folders.back() != folder) folders.push_back(folder);
    }
    const size_t jobCount = std::min<size_t>(folders.size(), size_t(run.workers) * kJobsPerWorker);
    std::map<uint32_t, size_t> jobOfFolder;
    for (size_t f = 0; f < folders.size(); ++f) jobOfFolder.emplace(folders[f], f * jobCount / folders.size());
    std::vector<FolderJob> jobs(jobCount);
    for (const auto& [folder, job] : jobOfFolder) jobs[job].folders.push_back(folder);
    for (const uint32_t i : plan.steered) {
        const auto job = jobOfFolder.find(folderOfEntry(cabinet, files[i]));
        if (job != jobOfFolder.end()) jobs[job->second].steered.push_back(i);
    }
    for (uint32_t i = 0; i < files.size(); ++i) {
        const uint32_t entry = entryAt[i];
        const auto job = jobOfFolder.find(folderOfEntry(cabinet, files[i]));
        if (job != jobOfFolder.end() && entry != kNoArchiveEntry && run.pending(entry)) {
            jobs[job->second].entries.push_back(entry);
        }
    }
    return jobs;
}

// The bytes of compressed data each folder of the cabinet holds here: from
// its first data block to the next folder's, or to the cabinet's end. Only
// a guide to how long a folder takes to decode, so damaged offsets merely
// give a poor guess.
std::vector<uint64_t> folderSpans(const Cabinet& cabinet) {
    std::vector<uint64_t> starts;
    for (const CabFolderRecord& folder : cabinet.folders) starts.push_back(folder.coffCabStart);
    starts.push_back(cabinet.header.cbCabinet);
    std::sort(starts.begin(), starts.end());
    std::vector<uint64_t> spans;
    for (const CabFolderRecord& folder : cabinet.folders) {
        const auto next = std::upper_bound(starts.begin(), starts.end(), uint64_t(folder.coffCabStart));
        spans.push_back(next == starts.end() ? 0 : *next - folder.coffCabStart);
    }
    return spans;
}

// The order in which workers take the jobs: the first job first, so that
// its files are put in place and reported at once, then the costliest
// first, by their folders' compressed bytes, so that the last jobs taken
// are short and no worker is left alone with a long one while the others
// wait. The results are still released in folder order.
std::vector<uint32_t> takeOrder(const Cabinet& cabinet, const std::vector<FolderJob>& jobs) {
    const std::vector<uint64_t> spans = folderSpans(cabinet);
    std::vector<uint64_t> cost(jobs.size(), 0);
    for (uint32_t j = 0; j < jobs.size(); ++j) {
        for (const uint32_t folder : jobs[j].folders) cost[j] += folder < spans.size() ? spans[folder] : 0;
    }
    std::vector<uint32_t> order(jobs.size());
    for (uint32_t j = 0; j < order.size(); ++j) order[j] = j;
    if (!order.empty()) {
        std::stable_sort(order.begin() + 1, order.end(), [&](uint32_t a, uint32_t b) { return cost[a] > cost[b]; });
    }
    return order;
}

void runJob(Workshop& shop, FolderJob& job, EntryTarget* target, ArchiveIo& io, CabDecoder* decoder,
            CabError& error, int32_t unavailable, const std::string& problem) {
    Run& run = shop.run;
    std::vector<bool> chosen(run.archive.entries.size(), false);
    for (const uint32_t e : job.entries) chosen[e] = true;
    Run jobRun(run.archive, run.request, chosen, *target, io);
    jobRun.mayBeDamaged = run.mayBeDamaged;
    jobRun.checkOnly = run.checkOnly;
    jobRun.total = run.total;
    jobRun.held = &job.held;
    jobRun.sharedProgress = &shop.progress;
    jobRun.events = run.events;
    if (decoder == nullptr) {
        for (const uint32_t e : job.entries) {
            if (jobRun.pending(e)) jobRun.settle(e, unavailable, problem);
        }
        return;
    }
    VisitPlan plan = shop.plan;
    plan.steered = job.steered;
    decodePasses(jobRun, decoder, error, shop.cabinet, plan, shop.entryAt);
    job.done = jobRun.done;
    job.stopped = jobRun.stopped;
    job.failed = jobRun.failed;
}

// The worker's own view of the cabinets and of the directory.
std::optional<DirectoryTarget> openWorkerTarget(const Run& run, ArchiveIo& io, std::string& problem) {
    try {
        io.borrowSources(run.archive.io);
        return DirectoryTarget::open(run.request.directory, run.request, problem, run.events);
    } catch (const std::bad_alloc&) {
        problem = "out of memory";
        return std::nullopt;
    }
}

// A worker: its own handles, directory and decoder, used for every job it
// takes.
void work(Workshop& shop) {
    ArchiveIo io;
    std::string problem;
    std::optional<DirectoryTarget> target = openWorkerTarget(shop.run, io, problem);
    // Its files are put in place by the caller's thread, in order, so that
    // none lands that one pass would not have written.
    if (target) target->holdCompleteFiles();
    const IoScope scope(io);
    CabError error{};
    const CabDecoderOwner decoder(target ? io.createDecoder(&error) : nullptr);
    // Without a directory the entries cannot be written; without a decoder,
    // as in one pass, they cannot be decoded.
    int32_t unavailable = CabOutcomeOutputFailed;
    if (target && !decoder) {
        problem = cabErrorText(error.errorCode);
        unavailable = CabOutcomeDamaged;
    }
    while (const std::optional<uint32_t> taken = shop.queue.take()) {
        FolderJob& job = shop.jobs[*taken];
        try {
            runJob(shop, job, target ? &*target : nullptr, io, decoder.get(), error, unavailable, problem);
        } catch (const std::bad_alloc&) {
            job.outOfMemory = true;
        }
        if (target) {
            job.files = target->takeHeldFiles();
            job.unheldDirectories = target->takeUnheldDirectories();
        }
        // Which job fails first is known only in order, but none after
        // this one is needed when the first failure ends the extraction;
        // those before it are, as one pass would have decoded them.
        if (job.stopped || (job.failed && shop.run.stopsAtFirstFailure())) shop.queue.stopAfter(*taken);
        shop.queue.finish(*taken);
    }
}

bool extractionEnded(const Run& run) { return run.stopped || run.endedAtFailure(); }

// On the caller's thread: the job's settles and notes, each of its files put
// in place at its entry's settle, then an outcome for any of its entries it
// could not settle. A job after the extraction ended (stopped, or at a
// failure that ends it) is left out as one pass would never have reached
// it: its files stay held, to be removed, and its entries are settled at
// the end of the extraction.
void release(Run& run, FolderJob& job, bool ran, const HeldFilePlacement& placement) {
    run.done += job.done;  // written and counted, so progress never goes back
    if (extractionEnded(run)) return;
    std::map<uint32_t, size_t> fileOf;
    for (size_t f = 0; f < job.files.size(); ++f) fileOf.emplace(job.files[f].entry, f);
    std::vector<bool> placed(job.files.size(), false);
    for (const HeldEvent& event : job.held) {
        if (event.isHandedOn) {
            run.handOn(event.index);
            continue;
        }
        if (event.isNote) {
            if (run.request.note != nullptr) {
                run.request.note(run.request.context, event.cabinet.c_str(), event.text.c_str());
            }
            continue;
        }
        int32_t outcome = event.outcome;
        std::string reason = event.text;
        const auto file = fileOf.find(event.index);
        if (file != fileOf.end() && !placed[file->second] &&
            (outcome == CabOutcomeExtracted || outcome == CabOutcomeSalvaged)) {
            outcome = placement.place(job.files[file->second], outcome, reason);
            placed[file->second] = true;
        }
        run.settle(event.index, outcome, reason);
    }
    std::vector<HeldFile> unplaced;
    for (size_t f = 0; f < job.files.size(); ++f) {
        if (!placed[f]) unplaced.push_back(std::move(job.files[f]));
    }
    job.files = std::move(unplaced);
    if (job.stopped) run.stopped = true;
    if (job.failed) run.failed = true;
    if (extractionEnded(run)) return;  // the end of the extraction settles the rest
    for (const uint32_t e : job.entries) {
        if (run.pending(e)) {
            run.settle(e, CabOutcomeDamaged, ran && !job.outOfMemory ? "not decoded" : "out of memory");
        }
    }
}

// The directories one pass would have made by the end: those of the
// entries it began, which ended extracted, salvaged, damaged or unwritten
// (a stopped entry's are removed with it).
std::set<std::string> directoriesOfBegunEntries(const Run& run, const std::vector<FolderJob>& jobs) {
    std::set<std::string> directories;
    for (const FolderJob& job : jobs) {
        for (const uint32_t e : job.entries) {
            const int32_t outcome = run.archive.outcomes[e];
            if (outcome != CabOutcomeExtracted && outcome != CabOutcomeSalvaged &&
                outcome != CabOutcomeDamaged && outcome != CabOutcomeOutputFailed) {
                continue;
            }
            const SafeName place = outputPlace(run.archive.entries[e].name, run.request.lowercase != 0);
            std::string path;
            for (size_t c = 0; place.usable() && c + 1 < place.components.size(); ++c) {
                path += (c == 0 ? "" : "/") + place.components[c];
                directories.insert(path);
            }
        }
    }
    return directories;
}

// Removes the files no release put in place, once the workers are done,
// and the empty directories workers made for them or for entries that left
// no file, but those of entries one pass would have begun: a worker may
// have made one that an earlier entry, in one pass, would have made and
// left.
struct LeftoverFiles {
    const Run& run;
    const std::vector<FolderJob>& jobs;
    const HeldFilePlacement& placement;
    ~LeftoverFiles() {
        std::vector<const HeldFile*> left;
        std::vector<std::string> made;
        try {
            for (const FolderJob& job : jobs) {
                for (const HeldFile& file : job.files) left.push_back(&file);
                made.insert(made.end(), job.unheldDirectories.begin(), job.unheldDirectories.end());
            }
            if (left.empty() && made.empty()) return;
            placement.remove(left, std::move(made), directoriesOfBegunEntries(run, jobs));
        } catch (const std::bad_alloc&) {
            placement.remove(left);  // without room for the lists, the files at least go
        }
    }
};

// Stops the queue and joins the workers however the caller's side ends.
struct Crew {
    OrderedJobs& queue;
    std::vector<std::thread> threads;
    ~Crew() {
        queue.stop();
        for (std::thread& thread : threads) thread.join();
    }
};

}  // namespace

bool extractFoldersSideBySide(Run& run, uint32_t index, const VisitPlan& plan,
                              const std::vector<uint32_t>& entryAt) {
    const Cabinet& cabinet = run.archive.cabinets[index];
    if (run.request.directory == nullptr || !run.archive.io.sourcesReadableAtOnce() ||
        crossesCabinets(cabinet, plan)) {
        return false;
    }
    std::vector<FolderJob> jobs = folderJobs(run, index, plan, entryAt);
    if (jobs.size() < 2 || pathsMeetAcrossFolders(run, jobs)) return false;

    const HeldFilePlacement placement(run.request.directory);
    if (!placement.usable()) return false;
    Workshop shop{run, index, plan, entryAt, jobs, OrderedJobs(takeOrder(cabinet, jobs)), {}};
    shop.progress.done = run.done;
    {
        const LeftoverFiles leftovers{run, jobs, placement};  // after the crew has joined
        Crew crew{shop.queue, {}};
        const size_t workers = std::min<size_t>(run.workers, jobs.size());
        try {
            for (size_t w = 0; w < workers; ++w) crew.threads.emplace_back(work, std::ref(shop));
        } catch (const std::system_error&) {
            // Fewer workers than asked; with none, one pass does it all.
        }
        if (crew.threads.empty()) return false;
        for (uint32_t j = 0; j < jobs.size(); ++j) {
            release(run, jobs[j], shop.queue.await(j), placement);
            if (extractionEnded(run)) shop.queue.stop();
        }
    }
    if (extractionEnded(run)) return true;
    // Wanted files of the cabinet that no folder led to, as one pass ends them.
    for (const uint32_t e : entryAt) {
        if (e != kNoArchiveEntry && run.pending(e)) {
            run.settle(e, CabOutcomeUnreachable, "not reached: no file led the decoder to its data");
        }
    }
    return true;
}

}  // namespace cabarchive
