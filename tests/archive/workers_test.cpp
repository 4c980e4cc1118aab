// Extraction into a directory with several workers: whatever the count,
// the same files with the same bytes, the same outcomes and reasons, and
// settled and note calls in the same order, made on the caller's thread.
#include <sys/resource.h>

#include <atomic>
#include <csignal>
#include <fstream>
#include <thread>

#include "tests/archive/archive_test_support.h"

using namespace archivetest;
using cabwriter::Method;

namespace {

constexpr uint32_t kBlockHeaderSize = 8;

// Everything an extraction wrote and reported.
struct Record {
    int32_t status = -1;
    std::vector<std::string> calls;             // settled and note, in order
    std::map<std::string, std::string> files;   // path below the directory -> bytes
    bool callsOffCallerThread = false;          // a settled or note came from elsewhere
    bool progressWentBack = false;
    bool progressOverlapped = false;            // two progress calls at once
    bool progressFromWorker = false;            // some progress came from another thread
    std::thread::id caller;
    std::atomic<int> inProgress{0};
    uint64_t lastDone = 0;
};

void onSettled(void* context, uint32_t index, int32_t outcome, const char* reason) {
    auto& record = *static_cast<Record*>(context);
    if (std::this_thread::get_id() != record.caller) record.callsOffCallerThread = true;
    record.calls.push_back("settled " + std::to_string(index) + " " + std::to_string(outcome) + " " +
                           (reason != nullptr ? reason : "-"));
}

void onNote(void* context, const char* cabinet, const char* message) {
    auto& record = *static_cast<Record*>(context);
    if (std::this_thread::get_id() != record.caller) record.callsOffCallerThread = true;
    record.calls.push_back(std::string("note ") + cabinet + ": " + message);
}

void onProgress(void* context, uint64_t done, uint64_t /*total*/) {
    auto& record = *static_cast<Record*>(context);
    if (record.inProgress.fetch_add(1) != 0) record.progressOverlapped = true;
    if (std::this_thread::get_id() != record.caller) record.progressFromWorker = true;
    if (done < record.lastDone) record.progressWentBack = true;
    record.lastDone = done;
    std::this_thread::yield();  // widen the window in which an overlap would show
    record.inProgress.fetch_sub(1);
}

// Extracts every entry of the archive at `cabinetPath` into a fresh copy of
// `seed` (files already there) with `threads` workers.
std::unique_ptr<Record> extractWith(const std::filesystem::path& cabinetPath, uint32_t threads,
                                    bool keepExisting = false,
                                    const std::map<std::string, std::string>& seed = {},
                                    bool salvage = false) {
    auto record = std::make_unique<Record>();
    record->caller = std::this_thread::get_id();
    ScratchDirectory out;
    for (const auto& [name, bytes] : seed) {
        std::filesystem::create_directories((out.path() / name).parent_path());
        std::ofstream(out.path() / name, std::ios::binary) << bytes;
    }
    CabArchive* archive = nullptr;
    CabArchiveError error{};
    EXPECT_EQ(cabArchiveOpenPath(cabinetPath.c_str(), nullptr, &archive, &error), CabArchiveOk) << error.message;
    if (archive == nullptr) return record;
    const std::string directory = out.path().string();
    CabArchiveExtraction extraction{};
    extraction.directory = directory.c_str();
    extraction.keepExisting = keepExisting ? 1 : 0;
    extraction.context = record.get();
    extraction.settled = onSettled;
    extraction.note = onNote;
    extraction.progress = onProgress;
    extraction.threads = threads;
    extraction.salvage = salvage ? 1 : 0;
    record->status = cabArchiveExtract(archive, &extraction, &error);
    cabArchiveClose(archive);
    for (const auto& entry : std::filesystem::recursive_directory_iterator(out.path())) {
        if (entry.is_regular_file()) {
            record->files[std::filesystem::relative(entry.path(), out.path()).string()] = readFile(entry.path());
        }
    }
    return record;
}

// Where two lists of calls part, for a readable failure.
std::string firstDifference(const std::vector<std::string>& got, const std::vector<std::string>& wanted) {
    size_t i = 0;
    while (i < got.size() && i < wanted.size() && got[i] == wanted[i]) ++i;
    return "first difference at call " + std::to_string(i) + ": got '" + (i < got.size() ? got[i] : "(none)") +
           "', one worker made '" + (i < wanted.size() ? wanted[i] : "(none)") + "'";
}

// Extracts with 1, 2 and 4 workers and expects the same of each; returns
// what one worker did, for the caller's own checks.
std::unique_ptr<Record> expectSameForEveryCount(const std::filesystem::path& cabinetPath,
                                                bool keepExisting = false,
                                                const std::map<std::string, std::string>& seed = {},
                                                bool salvage = false) {
    std::unique_ptr<Record> single = extractWith(cabinetPath, 1, keepExisting, seed, salvage);
    EXPECT_FALSE(single->calls.empty());
    for (const uint32_t threads : {2u, 4u}) {
        SCOPED_TRACE("threads " + std::to_string(threads));
        const std::unique_ptr<Record> several = extractWith(cabinetPath, threads, keepExisting, seed, salvage);
        EXPECT_EQ(several->status, single->status);
        EXPECT_EQ(several->calls, single->calls) << firstDifference(several->calls, single->calls);
        EXPECT_EQ(several->files, single->files);
        EXPECT_FALSE(several->callsOffCallerThread);
        EXPECT_FALSE(several->progressWentBack);
        EXPECT_FALSE(several->progressOverlapped);
        EXPECT_EQ(several->lastDone, single->lastDone);
    }
    return single;
}

// Six folders of every method (two Quantum folders, whose decoders then run
// at once), with several files each and an empty one.
struct ManyFolders {
    std::vector<cabwriter::Folder> folders;
    std::map<std::string, std::string> contents;

    ManyFolders() {
        const Method methods[] = {Method::Stored, Method::Mszip, Method::Quantum,
                                  Method::Lzx,    Method::Quantum, Method::Lzx};
        uint8_t seed = 1;
        for (size_t f = 0; f < std::size(methods); ++f) {
            std::vector<cabwriter::File> files;
            for (int i = 0; i < 3; ++i, ++seed) {
                files.push_back(makeFile("d" + std::to_string(f) + "/f" + std::to_string(i), 20000 + 7000 * i, seed));
            }
            if (f == 2) files.push_back(makeFile("d2/empty", 0, 0));
            for (const cabwriter::File& file : files) contents[file.name] = text(file.data);
            folders.push_back(folderOf(methods[f], files));
        }
    }
};

}  // namespace

TEST(ArchiveWorkers, FoldersOfEveryMethodComeOutTheSameOnOneTwoAndFourWorkers) {
    const ManyFolders many;
    ScratchDirectory place;
    place.save(cabwriter::writeCabinet(many.folders), "many.cab");
    const std::unique_ptr<Record> single = expectSameForEveryCount(place.path() / "many.cab");
    EXPECT_EQ(single->status, CabArchiveOk);
    EXPECT_EQ(single->files, many.contents);
    // The workers really ran: progress came from threads other than the caller's.
    EXPECT_TRUE(extractWith(place.path() / "many.cab", 2)->progressFromWorker);
    EXPECT_FALSE(single->progressFromWorker);
}

TEST(ArchiveWorkers, AFolderContinuedAcrossCabinetsStaysOneJobBesideTheOthers) {
    std::vector<cabwriter::File> files;
    for (uint8_t i = 0; i < 8; ++i) files.push_back(makeFile("s" + std::to_string(i), 15000, uint8_t(40 + i)));
    const std::vector<cabwriter::Cabinet> set = cabwriter::writeCabinetSet(
        {folderOf(Method::Mszip, {files[0], files[1]}), folderOf(Method::Stored, {files[2], files[3]}),
         folderOf(Method::Lzx, {files[4], files[5]}), folderOf(Method::Quantum, {files[6], files[7]})},
        30000, "part%d.cab");
    ASSERT_GE(set.size(), 2u);
    ScratchDirectory place;
    for (const cabwriter::Cabinet& cabinet : set) place.save(cabinet);
    const std::unique_ptr<Record> single = expectSameForEveryCount(place.path() / "part1.cab");
    EXPECT_EQ(single->status, CabArchiveOk);
    for (const cabwriter::File& file : files) EXPECT_EQ(single->files[file.name], text(file.data)) << file.name;
}

TEST(ArchiveWorkers, ADamagedFolderEndsItsOwnEntriesWhileWorkersDecodeTheOthers) {
    // Folder 1 is stored in 1000-byte blocks; its second block is damaged.
    std::vector<cabwriter::Folder> folders{
        folderOf(Method::Mszip, {makeFile("a", 30000, 1), makeFile("b", 30000, 2)}),
        folderOf(Method::Stored, {makeFile("c", 1500, 3), makeFile("d", 1500, 4)}, 1000),
        folderOf(Method::Lzx, {makeFile("e", 30000, 5)}),
        folderOf(Method::Quantum, {makeFile("f", 30000, 6)})};
    cabwriter::Cabinet cabinet = cabwriter::writeCabinet(folders);
    const size_t folder0Blocks = 15;  // 60000 bytes in 4096-byte blocks
    cabinet.image[cabinet.layout.blockOffsets[folder0Blocks + 1] + kBlockHeaderSize + 10] ^= 0x55;
    ScratchDirectory place;
    place.save(cabinet, "damaged.cab");
    const std::unique_ptr<Record> single = expectSameForEveryCount(place.path() / "damaged.cab");
    EXPECT_EQ(single->status, CabArchiveIncomplete);
    // "c" lies in the good first block and the damaged second; "d" after it.
    // No partial file and no temporary is left: only the good entries.
    std::vector<std::string> names;
    for (const auto& [name, bytes] : single->files) names.push_back(name);
    EXPECT_EQ(names, (std::vector<std::string>{"a", "b", "e", "f"}));
    // Salvaging, the damaged block is decoded anyway by whichever worker
    // has its folder, and noted in the same place.
    const std::unique_ptr<Record> salvaged = expectSameForEveryCount(place.path() / "damaged.cab", false, {}, true);
    EXPECT_EQ(salvaged->files.size(), 6u);
}

TEST(ArchiveWorkers, AFileAlreadyThereIsKeptAndTheRefusalReportedInOrder) {
    const ManyFolders many;
    ScratchDirectory place;
    place.save(cabwriter::writeCabinet(many.folders), "many.cab");
    const std::map<std::string, std::string> seed{{"d3/f1", "old bytes"}};
    const std::unique_ptr<Record> single = expectSameForEveryCount(place.path() / "many.cab", true, seed);
    EXPECT_EQ(single->status, CabArchiveIncomplete);
    EXPECT_EQ(single->files.at("d3/f1"), "old bytes");
    EXPECT_EQ(single->files.at("d4/f1"), many.contents.at("d4/f1"));
}

TEST(ArchiveWorkers, EntriesOfDifferentFoldersWritingOnePathLandInOnePassOrder) {
    // A large folder and a small one both write "same": with keepExisting
    // the first in folder order must win, however fast the other decodes.
    cabwriter::Cabinet cabinet = cabwriter::writeCabinet(
        {folderOf(Method::Lzx, {makeFile("big", 400000, 1), makeFile("same", 100, 2)}),
         folderOf(Method::Stored, {makeFile("same", 100, 3)})});
    ScratchDirectory place;
    place.save(cabinet, "twice.cab");
    const std::unique_ptr<Record> single = expectSameForEveryCount(place.path() / "twice.cab", true);
    EXPECT_EQ(single->files.at("same"), text(makeFile("same", 100, 2).data));
}

TEST(ArchiveWorkers, ManyFoldersShareFewerJobsAndStillReportInFolderOrder) {
    // More folders than jobs (a few per worker): each job takes a run of
    // consecutive folders.
    std::vector<cabwriter::Folder> folders;
    std::map<std::string, std::string> contents;
    for (uint8_t f = 0; f < 20; ++f) {
        const cabwriter::File file = makeFile("m" + std::to_string(f), 3000 + 100 * f, f);
        contents[file.name] = text(file.data);
        folders.push_back(folderOf(f % 2 == 0 ? Method::Mszip : Method::Stored, {file}));
    }
    ScratchDirectory place;
    place.save(cabwriter::writeCabinet(folders), "twenty.cab");
    const std::unique_ptr<Record> single = expectSameForEveryCount(place.path() / "twenty.cab");
    EXPECT_EQ(single->files, contents);
}

TEST(ArchiveWorkers, AJobWhoseFirstFolderCannotStartLosesOnlyThatFolder) {
    // Twenty folders share fewer jobs, so a failing folder opens a job that
    // holds the next folder too. Folders 3 and 13 have an unknown method,
    // folder 8's first data block is damaged and folder 15 asks for an LZX
    // window the codec refuses: each fails before any entry of its job is
    // settled, and the folder after it must still be decoded, as in one pass.
    std::vector<cabwriter::Folder> folders;
    for (uint8_t f = 0; f < 20; ++f) {
        folders.push_back(folderOf(f % 2 == 0 ? Method::Mszip : Method::Stored,
                                   {makeFile("k" + std::to_string(f) + "a", 2500, f),
                                    makeFile("k" + std::to_string(f) + "b", 1500, uint8_t(f + 100))}));
    }
    folders[3].typeCompress = 0x000F;
    folders[13].typeCompress = 0x000F;
    folders[15].typeCompress = 3 | 10 << 8;
    cabwriter::Cabinet cabinet = cabwriter::writeCabinet(folders);
    cabinet.image[cabinet.layout.blockOffsets[8] + kBlockHeaderSize + 1] ^= 0x20;
    ScratchDirectory place;
    place.save(cabinet, "unstartable.cab");
    const std::unique_ptr<Record> single = expectSameForEveryCount(place.path() / "unstartable.cab");
    EXPECT_EQ(single->status, CabArchiveIncomplete);
    EXPECT_EQ(single->files.size(), 2u * (20 - 4));
    for (const char* after : {"k4a", "k9b", "k14a", "k16b"}) EXPECT_EQ(single->files.count(after), 1u) << after;
    // Only the damaged block is placed; the folder decoded before a codec
    // that would not start is not blamed for it.
    for (const std::string& call : single->calls) {
        const size_t at = call.find(" of folder ");
        if (at != std::string::npos) {
            EXPECT_EQ(call.substr(at), " of folder 8") << call;
        }
    }
    // Salvaging, a failure ends only the entry it met: the same holds (the
    // damaged Deflate data of folder 8 still cannot be decoded).
    const std::unique_ptr<Record> salvaged = expectSameForEveryCount(place.path() / "unstartable.cab", false, {}, true);
    EXPECT_EQ(salvaged->files, single->files);
}

TEST(ArchiveWorkers, CabinetsOfASetWithAContinuedFolderAreDecodedInOnePassWhateverTheCount) {
    // Three cabinets of 60,000 data bytes: folder "c" goes on from the first
    // into the second and folder "f" from the second into the third, each
    // beside folders wholly in their cabinet.
    const std::vector<cabwriter::Folder> folders{
        folderOf(Method::Mszip, {makeFile("a1", 8000, 1), makeFile("a2", 8000, 2)}),
        folderOf(Method::Lzx, {makeFile("b1", 8000, 3)}),
        folderOf(Method::Stored, {makeFile("c1", 30000, 4), makeFile("c2", 30000, 5)}),
        folderOf(Method::Stored, {makeFile("d1", 20000, 6)}),
        folderOf(Method::Mszip, {makeFile("e1", 10000, 7)}),
        folderOf(Method::Stored, {makeFile("f1", 25000, 8), makeFile("f2", 25000, 9)}),
        folderOf(Method::Quantum, {makeFile("g1", 5000, 10)})};
    const std::vector<cabwriter::Cabinet> set = cabwriter::writeCabinetSet(folders, 60000, "cont%d.cab");
    ASSERT_EQ(set.size(), 3u);
    std::map<std::string, std::string> contents;
    for (const cabwriter::Folder& folder : folders) {
        for (const cabwriter::File& file : folder.files) contents[file.name] = text(file.data);
    }

    ScratchDirectory whole;
    for (const cabwriter::Cabinet& cabinet : set) whole.save(cabinet);
    const std::unique_ptr<Record> all = expectSameForEveryCount(whole.path() / "cont1.cab");
    EXPECT_EQ(all->status, CabArchiveOk);
    EXPECT_EQ(all->files, contents);
    // One pass on the caller's thread did it all: no worker reported.
    for (const uint32_t threads : {2u, 4u}) {
        EXPECT_FALSE(extractWith(whole.path() / "cont1.cab", threads)->progressFromWorker) << threads;
    }

    // Without the second cabinet, the files of "c" that go on into it are
    // unreachable, the rest of the first cabinet is extracted.
    ScratchDirectory first;
    first.save(set[0]);
    const std::unique_ptr<Record> alone = expectSameForEveryCount(first.path() / "cont1.cab");
    EXPECT_EQ(alone->status, CabArchiveIncomplete);
    for (const char* name : {"a1", "a2", "b1", "c1"}) EXPECT_EQ(alone->files[name], contents[name]) << name;
    EXPECT_EQ(alone->files.count("c2"), 0u);

    // Without the first cabinet, the part of "c" in the second is
    // unreachable; "d" and "e" lie wholly in the second and come out.
    ScratchDirectory later;
    later.save(set[1]);
    later.save(set[2]);
    const std::unique_ptr<Record> tail = expectSameForEveryCount(later.path() / "cont2.cab");
    EXPECT_EQ(tail->status, CabArchiveIncomplete);
    EXPECT_EQ(tail->files.count("c2"), 0u);
    for (const char* name : {"d1", "e1", "f1", "f2", "g1"}) EXPECT_EQ(tail->files[name], contents[name]) << name;
}

// While alive, no file of the process may grow past `bytes`: a write beyond
// fails with EFBIG, as on a full disk, instead of raising SIGXFSZ.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) {
        getrlimit(RLIMIT_FSIZE, &saved_);
        savedSignal_ = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limited = saved_;
        limited.rlim_cur = bytes;
        active_ = setrlimit(RLIMIT_FSIZE, &limited) == 0;
    }
    ~FileSizeLimit() {
        setrlimit(RLIMIT_FSIZE, &saved_);
        std::signal(SIGXFSZ, savedSignal_);
    }
    bool active() const { return active_; }

private:
    rlimit saved_{};
    void (*savedSignal_)(int) = SIG_DFL;
    bool active_ = false;
};

TEST(ArchiveWorkers, FilesThatCannotBeWrittenOutLeaveNothingBehindOnAnyWorker) {
    // Files of 34,000 bytes cannot be written whole under a limit of
    // 30,000: each fails midway on whichever worker writes it. Neither the
    // partial file nor its temporary may stay; the others come out, and
    // the outcomes are those of one pass.
    const ManyFolders many;
    ScratchDirectory place;
    place.save(cabwriter::writeCabinet(many.folders), "many.cab");
    std::unique_ptr<Record> single;
    {
        const FileSizeLimit limit(30000);
        ASSERT_TRUE(limit.active());
        single = expectSameForEveryCount(place.path() / "many.cab");
    }
    EXPECT_EQ(single->status, CabArchiveIncomplete);
    std::map<std::string, std::string> small;
    for (const auto& [name, bytes] : many.contents) {
        if (bytes.size() < 30000) small[name] = bytes;
    }
    ASSERT_EQ(small.size(), many.contents.size() - 6);
    EXPECT_EQ(single->files, small);
    size_t refused = 0;
    for (const std::string& call : single->calls) {
        if (call.find(" " + std::to_string(CabOutcomeOutputFailed) + " cannot write the file") != std::string::npos) {
            ++refused;
        }
    }
    EXPECT_EQ(refused, 6u);
}

TEST(ArchiveWorkers, AClientSinkThatStopsSeesOnePassWhateverTheCount) {
    // Only a sink can stop an extraction (a directory's callbacks cannot),
    // and a sink is always fed by one pass on the caller's thread: asking
    // for workers changes nothing, whether begin or write stops it.
    const ManyFolders many;
    const cabwriter::Cabinet cabinet = cabwriter::writeCabinet(many.folders);
    for (const bool byWrite : {false, true}) {
        SCOPED_TRACE(byWrite ? "write stops" : "begin stops");
        std::vector<RecordingSink> sinks(3);
        std::vector<std::vector<int32_t>> outcomes(3);
        const uint32_t counts[] = {1, 2, 4};
        for (size_t run = 0; run < 3; ++run) {
            RecordingSink& recording = sinks[run];
            if (byWrite) {
                recording.stopAfterBytes = 100000;
            } else {
                recording.beginAnswer[10] = -1;
            }
            CabArchive* archive = openMemory(cabinet.image);
            ASSERT_NE(archive, nullptr);
            const CabArchiveSink sink = recording.sink();
            CabArchiveExtraction extraction{};
            extraction.sink = &sink;
            extraction.threads = counts[run];
            EXPECT_EQ(cabArchiveExtract(archive, &extraction, nullptr), CabArchiveStopped);
            for (uint32_t e = 0; e < cabArchiveEntryCount(archive); ++e) {
                outcomes[run].push_back(cabArchiveOutcome(archive, e, nullptr));
            }
            cabArchiveClose(archive);
        }
        ASSERT_EQ(outcomes[0].back(), CabOutcomeStopped);
        for (size_t run = 1; run < 3; ++run) {
            SCOPED_TRACE("threads " + std::to_string(counts[run]));
            EXPECT_EQ(outcomes[run], outcomes[0]);
            EXPECT_EQ(sinks[run].begun, sinks[0].begun);
            EXPECT_EQ(sinks[run].ended, sinks[0].ended);
            EXPECT_EQ(sinks[run].written, sinks[0].written);
        }
    }
}
