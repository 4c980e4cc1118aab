// Stopping at the first failure, or at the stop flag, with workers: the same
// outcomes, the same events in the same order, the same files and nothing
// else in the directory as one pass, for every count of workers.
#include <chrono>
#include <csignal>
#include <fstream>
#include <functional>
#include <set>
#include <thread>

#include "tests/archive/archive_test_support.h"

using namespace archivetest;
using cabwriter::Method;

namespace {

// Everything an extraction left and told, but entryBegin and progress,
// whose order follows the workers.
struct Account {
    int32_t status = -1;
    std::vector<std::string> calls;                    // cabinet begin/end, settled, note
    std::vector<std::string> outcomes;                 // per entry, as read afterwards
    std::map<std::string, std::string> listing;        // path -> fingerprint, or "<dir>"
    bool callsOffCallerThread = false;
    bool entryOnWorker = false;                        // some entryBegin came from a worker
    std::thread::id caller;
    volatile sig_atomic_t stop = 0;
    std::function<void(uint32_t)> onEntry;             // told of each entryBegin
    std::set<uint32_t> announced;                      // entryBegin so far (calls never overlap)
    bool arranged = true;  // false: the workers did not reach the order a test waits for
};

// A file's bytes in a form short enough to show when listings differ.
std::string fingerprint(const std::string& bytes) {
    return std::to_string(bytes.size()) + " bytes #" + std::to_string(std::hash<std::string>{}(bytes));
}

void record(Account& account, const std::string& call) {
    if (std::this_thread::get_id() != account.caller) account.callsOffCallerThread = true;
    account.calls.push_back(call);
}

int onCabinetBegin(void* context, uint32_t cabinet) {
    record(*static_cast<Account*>(context), "begin " + std::to_string(cabinet));
    return 1;
}

void onCabinetEnd(void* context, uint32_t cabinet) {
    record(*static_cast<Account*>(context), "end " + std::to_string(cabinet));
}

void onSettled(void* context, uint32_t index, int32_t outcome, const char* reason) {
    record(*static_cast<Account*>(context), "settled " + std::to_string(index) + " " +
                                                std::to_string(outcome) + " " + (reason != nullptr ? reason : "-"));
}

void onNote(void* context, const char* cabinet, const char* message) {
    record(*static_cast<Account*>(context), std::string("note ") + cabinet + ": " + message);
}

void onEntryBegin(void* context, uint32_t index) {
    auto& account = *static_cast<Account*>(context);
    if (std::this_thread::get_id() != account.caller) account.entryOnWorker = true;
    account.announced.insert(index);
    if (account.onEntry) account.onEntry(index);
}

// How one extraction is asked for.
struct Request {
    bool keepExisting = false;
    bool stopAtFirstFailure = true;
    std::map<std::string, std::string> seed;  // files already in the directory
    // Told of each entryBegin with the directory: may raise the stop flag
    // or put files there.
    std::function<void(uint32_t, const std::filesystem::path&, Account&)> onEntry;
};

// Extracts every entry of `cabinetPath` into a fresh directory with
// `threads` workers, and gives an account of it.
std::unique_ptr<Account> extractWith(const std::filesystem::path& cabinetPath, uint32_t threads,
                                     const Request& request) {
    auto account = std::make_unique<Account>();
    account->caller = std::this_thread::get_id();
    ScratchDirectory out;
    for (const auto& [name, bytes] : request.seed) {
        std::filesystem::create_directories((out.path() / name).parent_path());
        std::ofstream(out.path() / name, std::ios::binary) << bytes;
    }
    if (request.onEntry) {
        account->onEntry = [&request, &out, raw = account.get()](uint32_t index) {
            request.onEntry(index, out.path(), *raw);
        };
    }
    CabArchive* archive = nullptr;
    CabArchiveError error{};
    EXPECT_EQ(cabArchiveOpenPath(cabinetPath.c_str(), nullptr, &archive, &error), CabArchiveOk) << error.message;
    if (archive == nullptr) return account;
    const std::string directory = out.path().string();
    CabArchiveExtraction extraction{};
    extraction.directory = directory.c_str();
    extraction.keepExisting = request.keepExisting ? 1 : 0;
    extraction.context = account.get();
    extraction.settled = onSettled;
    extraction.note = onNote;
    extraction.threads = threads;
    CabArchiveEvents events{};
    events.size = sizeof events;
    events.context = account.get();
    events.cabinetBegin = onCabinetBegin;
    events.cabinetEnd = onCabinetEnd;
    events.entryBegin = onEntryBegin;
    events.stop = &account->stop;
    events.stopAtFirstFailure = request.stopAtFirstFailure ? 1 : 0;
    account->status = cabArchiveExtractWithEvents(archive, &extraction, &events, &error);
    for (uint32_t i = 0; i < cabArchiveEntryCount(archive); ++i) {
        const char* reason = nullptr;
        const int32_t outcome = cabArchiveOutcome(archive, i, &reason);
        account->outcomes.push_back(std::to_string(outcome) + " " + (reason != nullptr ? reason : "-"));
    }
    cabArchiveClose(archive);
    for (const auto& item : std::filesystem::recursive_directory_iterator(out.path())) {
        const std::string name = item.path().lexically_relative(out.path()).string();
        account->listing[name] = item.is_directory() ? "<dir>" : fingerprint(readFile(item.path()));
    }
    return account;
}

// Extracts with 1, 2 and 4 workers, expects the same account of each and
// that workers really decoded; returns the single pass's account. An
// extraction whose workers did not reach the order the request waits for
// (Account::arranged) is tried again.
std::unique_ptr<Account> expectSameForEveryCount(const std::filesystem::path& cabinetPath,
                                                 const Request& request = {}) {
    std::unique_ptr<Account> single = extractWith(cabinetPath, 1, request);
    EXPECT_FALSE(single->entryOnWorker);
    EXPECT_TRUE(single->arranged);
    for (const uint32_t threads : {2u, 4u}) {
        SCOPED_TRACE("threads " + std::to_string(threads));
        std::unique_ptr<Account> several = extractWith(cabinetPath, threads, request);
        for (int attempt = 1; attempt < 20 && !several->arranged; ++attempt) {
            several = extractWith(cabinetPath, threads, request);
        }
        EXPECT_TRUE(several->arranged);
        if (!several->arranged) continue;
        EXPECT_TRUE(several->entryOnWorker);
        EXPECT_FALSE(several->callsOffCallerThread);
        EXPECT_EQ(several->status, single->status);
        EXPECT_EQ(several->outcomes, single->outcomes);
        EXPECT_EQ(several->calls, single->calls);
        EXPECT_EQ(several->listing, single->listing);
    }
    return single;
}

// Two small folders, a large one whose last data block is damaged, then
// six small folders that workers finish long before the large one fails.
struct MiddleFolderDamaged {
    std::vector<cabwriter::File> files{
        makeFile("early/a0", 30000, 1), makeFile("early/b0", 20000, 2), makeFile("early/a1", 25000, 3),
        makeFile("mid/big", 2000000, 4), makeFile("mid/after", 5000, 5)};
    ScratchDirectory place;
    std::filesystem::path path;

    explicit MiddleFolderDamaged(bool damaged = true, bool firstLateDamaged = false) {
        std::vector<cabwriter::Folder> folders{folderOf(Method::Mszip, {files[0], files[1]}),
                                               folderOf(Method::Stored, {files[2]}),
                                               folderOf(Method::Mszip, {files[3], files[4]})};
        for (uint8_t f = 0; f < 6; ++f) {
            files.push_back(makeFile(f == 5 ? "late/deep/c5" : "late/c" + std::to_string(f), 3000, uint8_t(10 + f)));
            folders.push_back(folderOf(f % 2 == 0 ? Method::Stored : Method::Mszip, {files.back()}));
        }
        cabwriter::Cabinet cabinet = cabwriter::writeCabinet(folders);
        // Blocks hold 4096 bytes of a folder: the large folder ends just
        // before the first block of folder 3.
        const size_t blocksBefore = (50000 + 4095) / 4096 + (25000 + 4095) / 4096;
        const size_t lastOfLarge = blocksBefore + (2005000 + 4095) / 4096 - 1;
        if (damaged) cabinet.image[cabinet.layout.blockOffsets[lastOfLarge] + 8 + 10] ^= 0x55;
        if (firstLateDamaged) cabinet.image[cabinet.layout.blockOffsets[lastOfLarge + 1] + 8 + 10] ^= 0x55;
        place.save(cabinet, "middle.cab");
        path = place.path() / "middle.cab";
    }
};

}  // namespace

TEST(ArchiveFirstFailureWorkers, AMiddleFolderDamagedEndsTheExtractionAlikeForEveryCount) {
    // Also when a later folder, which workers decode before the failure is
    // known, fails in a directory of its own making: that directory goes too.
    for (const bool firstLateDamaged : {false, true}) {
        SCOPED_TRACE(firstLateDamaged ? "a later folder damaged too" : "only the middle folder damaged");
        const MiddleFolderDamaged cabinet(true, firstLateDamaged);
        const std::unique_ptr<Account> single = expectSameForEveryCount(cabinet.path);
        EXPECT_EQ(single->status, CabArchiveIncomplete);
        // Only the entries before the failure are there, and the directories
        // they needed: no temporary, nothing of a later folder.
        std::vector<std::string> names;
        for (const auto& [name, bytes] : single->listing) names.push_back(name);
        EXPECT_EQ(names, (std::vector<std::string>{"early", "early/a0", "early/a1", "early/b0", "mid", "mid/big"}));
        EXPECT_EQ(single->listing.at("mid/big"), fingerprint(text(cabinet.files[3].data)));
        EXPECT_EQ(single->outcomes[4].substr(0, 2), std::to_string(CabOutcomeDamaged) + " ");
        for (size_t i = 5; i < single->outcomes.size(); ++i) {
            EXPECT_EQ(single->outcomes[i].substr(0, 2), std::to_string(CabOutcomeNotReached) + " ") << i;
        }
    }
}

TEST(ArchiveFirstFailureWorkers, NamesTakenBeforeOrDuringTheExtractionAreKeptAsInOnePass) {
    const MiddleFolderDamaged damaged;
    Request keeping;
    keeping.keepExisting = true;
    keeping.seed = {{"early/a1", "older"}, {"late/c4", "old bytes"}};
    // Before the failure the taken name is refused in its place; after it
    // the entry is not reached and the file there is left as it was.
    const std::unique_ptr<Account> single = expectSameForEveryCount(damaged.path, keeping);
    EXPECT_EQ(single->listing.at("early/a1"), fingerprint("older"));
    EXPECT_EQ(single->outcomes[2], std::to_string(CabOutcomeOutputFailed) + " exists; kept");
    EXPECT_EQ(single->listing.at("late/c4"), fingerprint("old bytes"));
    EXPECT_EQ(single->outcomes[9].substr(0, 2), std::to_string(CabOutcomeNotReached) + " ");
    EXPECT_EQ(single->listing.count("late/c0"), 0u);

    // A name taken while its entry is decoded by a worker is decided when
    // the file would be put in place: kept, and reported at its settle.
    const MiddleFolderDamaged whole(false);
    Request racing;
    racing.keepExisting = true;
    racing.onEntry = [](uint32_t index, const std::filesystem::path& directory, Account&) {
        if (index != 7) return;  // late/c2
        std::filesystem::create_directories(directory / "late");
        std::ofstream(directory / "late/c2", std::ios::binary) << "taken meanwhile";
    };
    const std::unique_ptr<Account> raced = expectSameForEveryCount(whole.path, racing);
    EXPECT_EQ(raced->listing.at("late/c2"), fingerprint("taken meanwhile"));
    EXPECT_EQ(raced->outcomes[7], std::to_string(CabOutcomeOutputFailed) + " exists; kept");
    EXPECT_EQ(raced->listing.at("late/c3"), fingerprint(text(whole.files[8].data)));
}

TEST(ArchiveFirstFailureWorkers, TheStopFlagLeavesOnlyWhatOnePassPutInPlace) {
    // The stop is raised when the large folder's second file begins: by
    // then the workers have finished the small later folders, whose files
    // must go with their temporaries and the directories made for them.
    const MiddleFolderDamaged whole(false);
    for (const bool stopAtFirstFailure : {true, false}) {
        SCOPED_TRACE(stopAtFirstFailure ? "stopping at the first failure" : "going on after failures");
        Request stopping;
        stopping.stopAtFirstFailure = stopAtFirstFailure;
        stopping.onEntry = [](uint32_t index, const std::filesystem::path& directory, Account& account) {
            if (index != 4) return;  // mid/after
            // However the workers were scheduled, the earlier folders are
            // done first, as in one pass (bounded, should they never be).
            // Only those already begun can be waited for here: no other
            // entry begins while this call lasts.
            account.arranged = account.announced.count(0) + account.announced.count(1) + account.announced.count(2) == 3;
            if (!account.arranged) return;
            const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
            while (!(std::filesystem::exists(directory / "early/a0") && std::filesystem::exists(directory / "early/b0") &&
                     std::filesystem::exists(directory / "early/a1")) &&
                   std::chrono::steady_clock::now() < deadline) {
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
            account.stop = 1;
        };
        const std::unique_ptr<Account> single = expectSameForEveryCount(whole.path, stopping);
        EXPECT_EQ(single->status, CabArchiveStopped);
        std::vector<std::string> names;
        for (const auto& [name, bytes] : single->listing) names.push_back(name);
        EXPECT_EQ(names, (std::vector<std::string>{"early", "early/a0", "early/a1", "early/b0", "mid", "mid/big"}));
        EXPECT_EQ(single->listing.at("mid/big"), fingerprint(text(whole.files[3].data)));
        EXPECT_EQ(single->outcomes[4].substr(0, 2), std::to_string(CabOutcomeStopped) + " ");
    }
}
