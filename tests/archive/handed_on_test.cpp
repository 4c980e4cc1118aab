// Which entries an extraction hands on (CabArchiveEvents::entryHandedOn),
// and in which cabinet a decoder comes to an entry's data
// (cabArchiveEntryReachedIn).
#include <cstddef>
#include <fstream>

#include "tests/archive/archive_test_support.h"

using namespace archivetest;
using cabwriter::Method;

namespace {

// Entries handed on and settled, in the order told.
struct HandedLog {
    std::vector<std::string> calls;
};

void onHandedOn(void* context, uint32_t index) {
    static_cast<HandedLog*>(context)->calls.push_back("handed " + std::to_string(index));
}

void onSettled(void* context, uint32_t index, int32_t outcome, const char*) {
    static_cast<HandedLog*>(context)->calls.push_back("settled " + std::to_string(index) + " " +
                                                      std::to_string(outcome));
}

// Extracts every entry of `archive` into `directory` with keepExisting,
// telling `log`; `eventsSize` as a client of that layout would pass it.
void extractLogged(CabArchive* archive, const std::string& directory, uint32_t threads,
                   HandedLog& log, uint32_t eventsSize = sizeof(CabArchiveEvents)) {
    CabArchiveExtraction extraction{};
    extraction.directory = directory.c_str();
    extraction.keepExisting = 1;
    extraction.threads = threads;
    extraction.context = &log;
    extraction.settled = onSettled;
    CabArchiveEvents events{};
    events.size = eventsSize;
    events.context = &log;
    events.entryHandedOn = onHandedOn;
    CabArchiveError error{};
    cabArchiveExtractWithEvents(archive, &extraction, &events, &error);
    EXPECT_NE(error.code, CabArchiveBadArgument) << error.message;
}

size_t positionOf(const HandedLog& log, const std::string& call) {
    const auto at = std::find(log.calls.begin(), log.calls.end(), call);
    return at == log.calls.end() ? SIZE_MAX : size_t(at - log.calls.begin());
}

}  // namespace

TEST(ArchiveHandedOn, EveryEntryHandedToTheDirectoryIsToldOnceBeforeItsOutcomeAlsoWhenRefused) {
    // Two folders, so that workers take them side by side.
    const cabwriter::Cabinet cabinet = cabwriter::writeCabinet(
        {folderOf(Method::Mszip, {makeFile("kept.txt", 9000, 1), makeFile("../out.txt", 500, 2)}),
         folderOf(Method::Lzx, {makeFile("new.txt", 7000, 3), makeFile("also.txt", 3000, 4)})});
    std::vector<std::vector<std::string>> logs;
    for (const uint32_t threads : {1u, 4u}) {
        ScratchDirectory out;
        std::ofstream(out.path() / "kept.txt") << "mine";
        CabArchive* archive = openMemory(cabinet.image);
        HandedLog log;
        extractLogged(archive, out.path().string(), threads, log);
        const uint32_t kept = entryNamed(archive, "kept.txt");
        const uint32_t refused = entryNamed(archive, "../out.txt");
        EXPECT_EQ(cabArchiveOutcome(archive, kept, nullptr), CabOutcomeOutputFailed);
        EXPECT_EQ(cabArchiveOutcome(archive, refused, nullptr), CabOutcomeRefusedName);
        EXPECT_EQ(readFile(out.path() / "kept.txt"), "mine");
        for (uint32_t e = 0; e < cabArchiveEntryCount(archive); ++e) {
            const std::string handed = "handed " + std::to_string(e);
            EXPECT_EQ(std::count(log.calls.begin(), log.calls.end(), handed), 1) << handed;
            const std::string settled =
                "settled " + std::to_string(e) + " " + std::to_string(cabArchiveOutcome(archive, e, nullptr));
            EXPECT_LT(positionOf(log, handed), positionOf(log, settled)) << handed;
        }
        logs.push_back(log.calls);
        cabArchiveClose(archive);
    }
    EXPECT_EQ(logs[0], logs[1]) << "workers tell what one pass tells";
}

TEST(ArchiveHandedOn, EntriesSettledWithoutBeingHandedOnAreNotToldAndEarlierLayoutsHearNothing) {
    const ThreeCabinetSet set;
    ScratchDirectory place;
    for (const auto& cabinet : set.cabinets) place.save(cabinet);
    CabArchiveOptions alone;
    cabArchiveDefaultOptions(&alone);
    alone.followSet = 0;
    CabArchive* archive = nullptr;
    ASSERT_EQ(cabArchiveOpenPath((place.path() / "set3.cab").c_str(), &alone, &archive, nullptr),
              CabArchiveOk);
    ScratchDirectory out;
    HandedLog log;
    extractLogged(archive, out.path().string(), 1, log);
    uint32_t unreachable = 0;
    for (uint32_t e = 0; e < cabArchiveEntryCount(archive); ++e) {
        const bool handed = positionOf(log, "handed " + std::to_string(e)) != SIZE_MAX;
        const bool refusedBefore = cabArchiveOutcome(archive, e, nullptr) == CabOutcomeUnreachable;
        unreachable += refusedBefore ? 1 : 0;
        EXPECT_NE(handed, refusedBefore) << "entry " << e;
    }
    EXPECT_GT(unreachable, 0u) << "the cabinet alone must leave its continued file unreachable";
    EXPECT_LT(unreachable, cabArchiveEntryCount(archive)) << "and extract the files of its own folder";

    // A client built before entryHandedOn passes the smaller size: accepted,
    // and the member past its end is never read.
    ScratchDirectory again;
    HandedLog earlier;
    extractLogged(archive, again.path().string(), 1, earlier,
                  uint32_t(offsetof(CabArchiveEvents, entryHandedOn)));
    EXPECT_EQ(std::count_if(earlier.calls.begin(), earlier.calls.end(),
                            [](const std::string& call) { return call.rfind("handed", 0) == 0; }),
              0);
    EXPECT_FALSE(earlier.calls.empty());
    cabArchiveClose(archive);
}

TEST(ArchiveReachedIn, AFileBeginningInABlockSplitAcrossCabinetsIsComeToInTheNext) {
    // Stored blocks of 4096 bytes cut every 25000: block 6 (24576..28672)
    // is split, its first piece (no bytes counted) ending the first cabinet.
    // "late" begins inside that piece, "mid" inside a whole block before it.
    const std::vector<cabwriter::Cabinet> cabinets = cabwriter::writeCabinetSet(
        {folderOf(Method::Stored, {makeFile("first", 12000, 1), makeFile("mid", 12700, 2),
                                   makeFile("late", 20000, 3), makeFile("after", 15000, 4),
                                   makeFile("last", 9000, 5)})},
        25000);
    ASSERT_EQ(cabinets.size(), 3u);
    ScratchDirectory place;
    for (const auto& cabinet : cabinets) place.save(cabinet);
    CabArchive* archive = nullptr;
    ASSERT_EQ(cabArchiveOpenPath((place.path() / "set1.cab").c_str(), nullptr, &archive, nullptr),
              CabArchiveOk);
    const std::map<std::string, uint32_t> expected{
        {"first", 0}, {"mid", 0}, {"late", 1}, {"after", 1}, {"last", 2}};
    for (const auto& [name, cabinet] : expected) {
        const uint32_t index = entryNamed(archive, name);
        ASSERT_NE(index, UINT32_MAX) << name;
        uint32_t reached = 99;
        EXPECT_EQ(cabArchiveEntryReachedIn(archive, index, &reached), CabArchiveOk);
        EXPECT_EQ(reached, cabinet) << name;
    }
    CabArchiveEntry late{};
    cabArchiveEntry(archive, entryNamed(archive, "late"), &late);
    EXPECT_EQ(late.cabinet, 0u) << "listed where its data begins";
    uint32_t reached = 0;
    EXPECT_EQ(cabArchiveEntryReachedIn(archive, cabArchiveEntryCount(archive), &reached),
              CabArchiveBadArgument);
    cabArchiveClose(archive);
}
