// What an extraction tells through CabArchiveEvents: cabinets begun and
// ended around their entries' outcomes, entries announced before their
// bytes, a cabinet skipped, and a stop flag raised as a signal handler would.
#include <atomic>
#include <csignal>
#include <functional>
#include <mutex>

#include "tests/archive/archive_test_support.h"

using namespace archivetest;
using cabwriter::Method;

namespace {

// Every event and outcome of one extraction, in order.
struct EventLog {
    std::mutex lock;
    std::vector<std::string> calls;
    std::map<uint32_t, int> cabinetAnswer;  // cabinet -> cabinetBegin's answer (default 1)
    int64_t raiseStopAtEntry = -1;          // the nth entryBegin raises the stop flag
    int64_t entriesBegun = 0;
    volatile sig_atomic_t stop = 0;
    std::atomic<int> inEntryBegin{0};
    bool entryBeginsOverlapped = false;
    std::function<void(uint32_t)> watchEntry;  // told of each entryBegin first

    void add(const std::string& call) {
        const std::lock_guard<std::mutex> guard(lock);
        calls.push_back(call);
    }
    size_t position(const std::string& call) const {
        const auto at = std::find(calls.begin(), calls.end(), call);
        return at == calls.end() ? SIZE_MAX : size_t(at - calls.begin());
    }
};

int onCabinetBegin(void* context, uint32_t cabinet) {
    auto& log = *static_cast<EventLog*>(context);
    log.add("begin " + std::to_string(cabinet));
    const auto answer = log.cabinetAnswer.find(cabinet);
    return answer == log.cabinetAnswer.end() ? 1 : answer->second;
}

void onCabinetEnd(void* context, uint32_t cabinet) {
    static_cast<EventLog*>(context)->add("end " + std::to_string(cabinet));
}

void onEntryBegin(void* context, uint32_t index) {
    auto& log = *static_cast<EventLog*>(context);
    if (log.inEntryBegin.fetch_add(1) != 0) log.entryBeginsOverlapped = true;
    if (log.watchEntry) log.watchEntry(index);
    log.add("entry " + std::to_string(index));
    if (log.entriesBegun++ == log.raiseStopAtEntry) log.stop = 1;
    log.inEntryBegin.fetch_sub(1);
}

void onSettled(void* context, uint32_t index, int32_t outcome, const char*) {
    static_cast<EventLog*>(context)->add("settled " + std::to_string(index) + " " + std::to_string(outcome));
}

CabArchiveEvents eventsFor(EventLog& log) {
    CabArchiveEvents events{};
    events.size = sizeof events;
    events.context = &log;
    events.cabinetBegin = onCabinetBegin;
    events.cabinetEnd = onCabinetEnd;
    events.entryBegin = onEntryBegin;
    events.stop = &log.stop;
    return events;
}

CabArchive* openSet(const ScratchDirectory& scratch, const ThreeCabinetSet& set) {
    for (const auto& cabinet : set.cabinets) scratch.save(cabinet);
    CabArchive* archive = nullptr;
    EXPECT_EQ(cabArchiveOpenPath((scratch.path() / "set1.cab").c_str(), nullptr, &archive, nullptr),
              CabArchiveOk);
    return archive;
}

int32_t extractToSink(CabArchive* archive, EventLog& log, RecordingSink& sink) {
    const CabArchiveSink s = sink.sink();
    CabArchiveExtraction extraction{};
    extraction.sink = &s;
    extraction.settled = onSettled;
    extraction.context = &log;
    const CabArchiveEvents events = eventsFor(log);
    return cabArchiveExtractWithEvents(archive, &extraction, &events, nullptr);
}

// Eight folders of two files each, for extraction by workers.
cabwriter::Cabinet eightFolders() {
    std::vector<cabwriter::Folder> folders;
    for (uint8_t f = 0; f < 8; ++f) {
        const std::string prefix = "dir" + std::to_string(f) + "\\";
        folders.push_back(folderOf(Method::Mszip, {makeFile(prefix + "a.bin", 40000, f),
                                                   makeFile(prefix + "b.bin", 30000, uint8_t(f + 50))}));
    }
    return cabwriter::writeCabinet(folders);
}

// Every file below `root`, temporaries included, by relative path.
std::vector<std::string> filesBelow(const std::filesystem::path& root) {
    std::vector<std::string> found;
    for (const auto& item : std::filesystem::recursive_directory_iterator(root)) {
        if (item.is_regular_file()) found.push_back(item.path().lexically_relative(root).string());
    }
    return found;
}

}  // namespace

TEST(ArchiveEvents, EachCabinetIsBegunAndEndedAroundItsEntriesInSetOrder) {
    const ThreeCabinetSet set;
    ScratchDirectory scratch;
    CabArchive* archive = openSet(scratch, set);
    ASSERT_NE(archive, nullptr);
    EventLog log;
    RecordingSink sink;
    EXPECT_EQ(extractToSink(archive, log, sink), CabArchiveOk);

    for (uint32_t c = 0; c < 3; ++c) {
        ASSERT_NE(log.position("begin " + std::to_string(c)), SIZE_MAX) << c;
        EXPECT_LT(log.position("begin " + std::to_string(c)), log.position("end " + std::to_string(c)));
        if (c > 0) {
            EXPECT_LT(log.position("end " + std::to_string(c - 1)), log.position("begin " + std::to_string(c)));
        }
    }
    for (uint32_t i = 0; i < cabArchiveEntryCount(archive); ++i) {
        SCOPED_TRACE(i);
        CabArchiveEntry entry{};
        ASSERT_EQ(cabArchiveEntry(archive, i, &entry), CabArchiveOk);
        const size_t settled = log.position("settled " + std::to_string(i) + " 1");
        ASSERT_NE(settled, SIZE_MAX);
        // An entry whose data begins in an earlier cabinet is decoded with
        // that cabinet, before its own is begun.
        if (entry.continuesFromPrevious != 0) {
            EXPECT_LT(settled, log.position("begin " + std::to_string(entry.cabinet)));
        } else {
            EXPECT_LT(log.position("begin " + std::to_string(entry.cabinet)), settled);
            EXPECT_LT(settled, log.position("end " + std::to_string(entry.cabinet)));
        }
        EXPECT_LT(log.position("entry " + std::to_string(i)), settled);
    }
    cabArchiveClose(archive);
}

TEST(ArchiveEvents, ASkippedCabinetEndsItsOwnEntriesSkippedAndAStoppedOneStopsAll) {
    const ThreeCabinetSet set;
    ScratchDirectory scratch;
    CabArchive* archive = openSet(scratch, set);
    ASSERT_NE(archive, nullptr);
    {
        EventLog log;
        log.cabinetAnswer[2] = 0;
        RecordingSink sink;
        EXPECT_EQ(extractToSink(archive, log, sink), CabArchiveIncomplete);
        for (uint32_t i = 0; i < cabArchiveEntryCount(archive); ++i) {
            CabArchiveEntry entry{};
            ASSERT_EQ(cabArchiveEntry(archive, i, &entry), CabArchiveOk);
            const char* reason = nullptr;
            const int32_t outcome = cabArchiveOutcome(archive, i, &reason);
            if (entry.cabinet == 2) {
                EXPECT_EQ(outcome, CabOutcomeSkipped) << entry.name;
                EXPECT_EQ(log.position("entry " + std::to_string(i)), SIZE_MAX) << entry.name;
            } else {
                EXPECT_EQ(outcome, CabOutcomeExtracted) << entry.name;
            }
        }
        EXPECT_NE(log.position("end 2"), SIZE_MAX);
    }
    {
        EventLog log;
        log.cabinetAnswer[1] = -1;
        RecordingSink sink;
        EXPECT_EQ(extractToSink(archive, log, sink), CabArchiveStopped);
        EXPECT_EQ(log.position("begin 2"), SIZE_MAX);
        EXPECT_EQ(cabArchiveOutcome(archive, entryNamed(archive, "f.txt"), nullptr), CabOutcomeStopped);
    }
    cabArchiveClose(archive);
}

TEST(ArchiveEvents, AStopFlagRaisedMidwayLeavesNoPartialOrTemporaryFile) {
    const cabwriter::Cabinet cabinet = eightFolders();
    for (const uint32_t threads : {1u, 4u}) {
        SCOPED_TRACE(threads);
        CabArchive* archive = openMemory(cabinet.image);
        ASSERT_NE(archive, nullptr);
        ScratchDirectory target;
        EventLog log;
        log.raiseStopAtEntry = 3;
        CabArchiveExtraction extraction{};
        const std::string directory = target.path().string();
        extraction.directory = directory.c_str();
        extraction.threads = threads;
        const CabArchiveEvents events = eventsFor(log);
        EXPECT_EQ(cabArchiveExtractWithEvents(archive, &extraction, &events, nullptr), CabArchiveStopped);
        EXPECT_FALSE(log.entryBeginsOverlapped);

        // Only complete files stay, and none after the stop was seen.
        uint32_t extracted = 0;
        for (uint32_t i = 0; i < cabArchiveEntryCount(archive); ++i) {
            if (cabArchiveOutcome(archive, i, nullptr) == CabOutcomeExtracted) ++extracted;
        }
        EXPECT_LT(extracted, cabArchiveEntryCount(archive));
        const std::vector<std::string> files = filesBelow(target.path());
        EXPECT_EQ(files.size(), extracted);
        for (const std::string& file : files) {
            EXPECT_EQ(file.find(CAB_ARCHIVE_TEMPORARY_PREFIX), std::string::npos) << file;
        }
        cabArchiveClose(archive);
    }
}

TEST(ArchiveEvents, EntriesDecodedByWorkersAreAnnouncedOnceAndNeverTwoAtOnce) {
    const cabwriter::Cabinet cabinet = eightFolders();
    CabArchive* archive = openMemory(cabinet.image);
    ASSERT_NE(archive, nullptr);
    ScratchDirectory target;
    EventLog log;
    CabArchiveExtraction extraction{};
    const std::string directory = target.path().string();
    extraction.directory = directory.c_str();
    extraction.threads = 4;
    const CabArchiveEvents events = eventsFor(log);
    EXPECT_EQ(cabArchiveExtractWithEvents(archive, &extraction, &events, nullptr), CabArchiveOk);
    EXPECT_FALSE(log.entryBeginsOverlapped);
    for (uint32_t i = 0; i < cabArchiveEntryCount(archive); ++i) {
        EXPECT_EQ(std::count(log.calls.begin(), log.calls.end(), "entry " + std::to_string(i)), 1) << i;
    }
    cabArchiveClose(archive);
}

TEST(ArchiveEvents, EventsOfAnOlderSizeAreRefused) {
    const cabwriter::Cabinet cabinet = eightFolders();
    CabArchive* archive = openMemory(cabinet.image);
    ASSERT_NE(archive, nullptr);
    RecordingSink sink;
    const CabArchiveSink s = sink.sink();
    CabArchiveExtraction extraction{};
    extraction.sink = &s;
    CabArchiveEvents events{};
    events.size = sizeof events - 1;
    EXPECT_EQ(cabArchiveExtractWithEvents(archive, &extraction, &events, nullptr), CabArchiveBadArgument);
    EXPECT_TRUE(sink.begun.empty());
    cabArchiveClose(archive);
}

TEST(ArchiveEvents, EntryPathsAreTheFilesADirectoryExtractionWrites) {
    const cabwriter::Cabinet cabinet = cabwriter::writeCabinet({folderOf(
        Method::Stored, {makeFile("Sub\\Dir\\File.TXT", 10, 1), makeFile("..\\escape.txt", 10, 2)})});
    CabArchive* archive = openMemory(cabinet.image);
    ASSERT_NE(archive, nullptr);
    char path[64];
    EXPECT_EQ(cabArchiveEntryPath(archive, 0, 0, path, sizeof path), CabArchiveOk);
    EXPECT_STREQ(path, "Sub/Dir/File.TXT");
    EXPECT_EQ(cabArchiveEntryPath(archive, 0, 1, path, sizeof path), CabArchiveOk);
    EXPECT_STREQ(path, "sub/dir/file.txt");
    EXPECT_EQ(cabArchiveEntryPath(archive, 1, 0, path, sizeof path), CabArchiveIncomplete);
    EXPECT_NE(std::string(path), "");
    EXPECT_EQ(cabArchiveEntryPath(archive, 0, 0, path, 16), CabArchiveBadArgument);  // 17 bytes needed
    EXPECT_EQ(cabArchiveEntryPath(archive, 2, 0, path, sizeof path), CabArchiveBadArgument);

    // The extraction writes exactly there.
    ScratchDirectory target;
    CabArchiveExtraction extraction{};
    const std::string directory = target.path().string();
    extraction.directory = directory.c_str();
    extraction.lowercase = 1;
    cabArchiveExtract(archive, &extraction, nullptr);
    EXPECT_EQ(filesBelow(target.path()), std::vector<std::string>{"sub/dir/file.txt"});
    cabArchiveClose(archive);
}

TEST(ArchiveEvents, StoppingAtTheFirstFailureLeavesEveryLaterEntryNotReachedWhateverTheWorkers) {
    cabwriter::Cabinet cabinet = eightFolders();
    cabinet.image[cabinet.layout.blockOffsets[0] + 8 + 10] ^= 0x55;  // folder 0's first block
    for (const uint32_t threads : {1u, 4u}) {
        SCOPED_TRACE(threads);
        CabArchive* archive = openMemory(cabinet.image);
        ASSERT_NE(archive, nullptr);
        ScratchDirectory target;
        EventLog log;
        CabArchiveExtraction extraction{};
        const std::string directory = target.path().string();
        extraction.directory = directory.c_str();
        extraction.threads = threads;
        extraction.settled = onSettled;
        extraction.context = &log;
        CabArchiveEvents events = eventsFor(log);
        events.stopAtFirstFailure = 1;
        EXPECT_EQ(cabArchiveExtractWithEvents(archive, &extraction, &events, nullptr), CabArchiveIncomplete);
        EXPECT_EQ(cabArchiveOutcome(archive, 0, nullptr), CabOutcomeDamaged);
        for (uint32_t i = 1; i < cabArchiveEntryCount(archive); ++i) {
            const char* reason = nullptr;
            EXPECT_EQ(cabArchiveOutcome(archive, i, &reason), CabOutcomeNotReached) << i;
            EXPECT_NE(reason, nullptr);
        }
        EXPECT_TRUE(filesBelow(target.path()).empty());
        EXPECT_NE(log.position("end 0"), SIZE_MAX);

        // By default the other folders are extracted.
        ScratchDirectory other;
        const std::string otherDirectory = other.path().string();
        extraction.directory = otherDirectory.c_str();
        events.stopAtFirstFailure = 0;
        EXPECT_EQ(cabArchiveExtractWithEvents(archive, &extraction, &events, nullptr), CabArchiveIncomplete);
        EXPECT_EQ(filesBelow(other.path()).size(), cabArchiveEntryCount(archive) - 2);
        cabArchiveClose(archive);
    }
}

TEST(ArchiveEvents, StoppingAtTheFirstFailureDecodesNoLaterCabinet) {
    ThreeCabinetSet set;
    cabwriter::Cabinet& first = set.cabinets[0];
    first.image[first.layout.blockOffsets[0] + 8 + 10] ^= 0x55;  // a.txt's data
    ScratchDirectory scratch;
    CabArchive* archive = openSet(scratch, set);
    ASSERT_NE(archive, nullptr);
    EventLog log;
    RecordingSink sink;
    const CabArchiveSink s = sink.sink();
    CabArchiveExtraction extraction{};
    extraction.sink = &s;
    CabArchiveEvents events = eventsFor(log);
    events.stopAtFirstFailure = 1;
    EXPECT_EQ(cabArchiveExtractWithEvents(archive, &extraction, &events, nullptr), CabArchiveIncomplete);
    EXPECT_EQ(cabArchiveOutcome(archive, entryNamed(archive, "a.txt"), nullptr), CabOutcomeDamaged);
    for (const char* later : {"e.txt", "f.txt"}) {
        EXPECT_EQ(cabArchiveOutcome(archive, entryNamed(archive, later), nullptr), CabOutcomeNotReached) << later;
    }
    EXPECT_EQ(log.position("begin 1"), SIZE_MAX);
    cabArchiveClose(archive);
}

TEST(ArchiveEvents, AStoppedEntryTakesItsTemporaryFileAndNewEmptyDirectoriesAway) {
    const cabwriter::Cabinet cabinet = cabwriter::writeCabinet({folderOf(
        Method::Mszip, {makeFile("kept\\small.txt", 1000, 1), makeFile("deep\\sub\\big.bin", 300000, 2)})});
    CabArchive* archive = openMemory(cabinet.image);
    ASSERT_NE(archive, nullptr);
    ScratchDirectory target;
    EventLog log;
    log.raiseStopAtEntry = 1;  // as big.bin's bytes begin to come
    bool ownTemporarySeen = false;
    log.watchEntry = [&](uint32_t index) {
        if (index != 1) return;
        for (const std::string& file : filesBelow(target.path())) {
            if (file.rfind("deep/sub/.mine-", 0) == 0) ownTemporarySeen = true;
        }
    };
    CabArchiveExtraction extraction{};
    const std::string directory = target.path().string();
    extraction.directory = directory.c_str();
    CabArchiveEvents events = eventsFor(log);
    events.temporaryPrefix = ".mine-";
    EXPECT_EQ(cabArchiveExtractWithEvents(archive, &extraction, &events, nullptr), CabArchiveStopped);
    EXPECT_TRUE(ownTemporarySeen);
    EXPECT_EQ(filesBelow(target.path()), std::vector<std::string>{"kept/small.txt"});
    EXPECT_FALSE(std::filesystem::exists(target.path() / "deep"));

    for (const char* unusable : {"", "a/b", "seventeen-bytes-x"}) {
        events.temporaryPrefix = unusable;
        EXPECT_EQ(cabArchiveExtractWithEvents(archive, &extraction, &events, nullptr), CabArchiveBadArgument)
            << unusable;
    }
    cabArchiveClose(archive);
}
