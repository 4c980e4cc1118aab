// Salvage into a directory with the files of undecodable data filled out
// with zeros: what is written, how each entry ends, and that workers change
// none of it.
#include <cstddef>
#include <filesystem>
#include <map>

#include "tests/archive/archive_test_support.h"

using namespace archivetest;
using cabwriter::Method;

namespace {

// An MSZIP folder of 32 KB blocks whose block 1 does not decode (its
// checksum zeroed, so only the codec can find it wrong), then a stored one.
struct BrokenSecondBlock {
    cabwriter::Folder zipped = folderOf(Method::Mszip, {makeFile("z.bin", 80000, 4), makeFile("y.bin", 100, 5)}, 32768);
    cabwriter::Folder stored = folderOf(Method::Stored, {makeFile("after.txt", 400, 6)});
    ScratchDirectory place;
    std::string path;

    BrokenSecondBlock() {
        cabwriter::Cabinet cabinet = cabwriter::writeCabinet({zipped, stored}, {}, "zip.cab");
        const size_t block = cabinet.layout.blockOffsets[1];
        for (size_t b = 0; b < 4; ++b) cabinet.image[block + b] = 0;  // no checksum
        cabinet.image[block + 8] ^= 0xFF;                              // its "CK"
        place.save(cabinet);
        path = (place.path() / "zip.cab").string();
    }
};

struct Result {
    int32_t status = -1;
    std::vector<int32_t> outcomes;
    std::vector<std::string> settled;            // "index outcome", in order
    std::vector<std::string> notes;
    std::map<std::string, std::string> files;    // name -> contents
};

void onSettled(void* context, uint32_t index, int32_t outcome, const char*) {
    static_cast<Result*>(context)->settled.push_back(std::to_string(index) + " " + std::to_string(outcome));
}

void onNote(void* context, const char*, const char* message) {
    static_cast<Result*>(context)->notes.push_back(message);
}

// Extracts the whole cabinet at `path` with salvage into a fresh directory.
Result salvageInto(const std::string& path, uint32_t threads, int32_t fill, bool firstFailureEnds = false,
                   uint32_t eventsSize = sizeof(CabArchiveEvents)) {
    Result result;
    CabArchive* archive = nullptr;
    EXPECT_EQ(cabArchiveOpenPath(path.c_str(), nullptr, &archive, nullptr), CabArchiveOk);
    if (archive == nullptr) return result;
    ScratchDirectory out;
    const std::string directory = out.path().string();
    CabArchiveExtraction extraction{};
    extraction.directory = directory.c_str();
    extraction.salvage = 1;
    extraction.threads = threads;
    extraction.context = &result;
    extraction.settled = onSettled;
    extraction.note = onNote;
    CabArchiveEvents events{};
    events.size = eventsSize;
    events.stopAtFirstFailure = firstFailureEnds ? 1 : 0;
    events.salvageFillsWithZeros = fill;
    result.status = cabArchiveExtractWithEvents(archive, &extraction, &events, nullptr);
    for (uint32_t i = 0; i < cabArchiveEntryCount(archive); ++i) {
        result.outcomes.push_back(cabArchiveOutcome(archive, i, nullptr));
    }
    cabArchiveClose(archive);
    for (const auto& item : std::filesystem::directory_iterator(out.path())) {
        result.files[item.path().filename().string()] = readFile(item.path());
    }
    return result;
}

}  // namespace

TEST(ArchiveSalvageDirectory, UndecodableDataIsKeptUpToTheFailureAndFilledWithZerosWhateverTheWorkers) {
    const BrokenSecondBlock cabinet;
    const std::string z = text(cabinet.zipped.files[0].data);
    for (const bool firstFailureEnds : {false, true}) {
        const Result single = salvageInto(cabinet.path, 1, 1, firstFailureEnds);
        SCOPED_TRACE(firstFailureEnds ? "stopping at the first failure" : "going on");
        EXPECT_EQ(single.status, CabArchiveIncomplete);
        // The failure ends nothing but what it met: the stored folder still comes out.
        EXPECT_EQ(single.outcomes, (std::vector<int32_t>{CabOutcomeSalvaged, CabOutcomeSalvaged, CabOutcomeExtracted}));
        ASSERT_EQ(single.files.size(), 3u);
        const std::string& filled = single.files.at("z.bin");
        ASSERT_EQ(filled.size(), 80000u);
        EXPECT_TRUE(filled.substr(0, 32768) == z.substr(0, 32768));
        EXPECT_TRUE(filled.substr(32768) == std::string(80000 - 32768, '\0'));
        // y.bin's data lies wholly past the broken block: written off
        // without decoding the folder up to it again, so the failure is
        // met, and told, once.
        EXPECT_TRUE(single.files.at("y.bin") == std::string(100, '\0'));
        ASSERT_EQ(single.notes.size(), 1u);
        EXPECT_NE(single.notes[0].find("in data block 1 of folder 0"), std::string::npos) << single.notes[0];
        EXPECT_TRUE(single.files.at("after.txt") == text(cabinet.stored.files[0].data));
        for (const uint32_t threads : {2u, 4u}) {
            SCOPED_TRACE("threads " + std::to_string(threads));
            const Result several = salvageInto(cabinet.path, threads, 1, firstFailureEnds);
            EXPECT_EQ(several.status, single.status);
            EXPECT_EQ(several.outcomes, single.outcomes);
            EXPECT_EQ(several.settled, single.settled);
            EXPECT_EQ(several.notes, single.notes);
            EXPECT_TRUE(several.files == single.files);
        }
    }
}

TEST(ArchiveSalvageDirectory, WithoutTheFillOrWithTheEventsOfEarlierClientsNothingUndecodableIsWritten) {
    const BrokenSecondBlock cabinet;
    // A client of the layout before the member passes the smaller size: the
    // member, set here past that size, is not read.
    const uint32_t earlierSize = uint32_t(offsetof(CabArchiveEvents, salvageFillsWithZeros));
    for (const uint32_t size : {uint32_t(sizeof(CabArchiveEvents)), earlierSize}) {
        const Result result = salvageInto(cabinet.path, 1, size == earlierSize ? 1 : 0, false, size);
        SCOPED_TRACE("size " + std::to_string(size));
        EXPECT_EQ(result.status, CabArchiveIncomplete);
        EXPECT_EQ(result.outcomes[0], CabOutcomeDamaged);
        EXPECT_EQ(result.outcomes[2], CabOutcomeExtracted);
        EXPECT_EQ(result.files.count("z.bin"), 0u);
        EXPECT_EQ(result.files.count("after.txt"), 1u);
    }
}

TEST(ArchiveSalvageDirectory, AFileGoingOnIntoACabinetTheArchiveLacksKeepsWhatItsCabinetHoldsFilledWithZeros) {
    // Only the first cabinet of the set is there: "b.bin" begins in it and
    // goes on into the missing second.
    const ThreeCabinetSet set;
    ScratchDirectory place;
    place.save(set.cabinets[0]);
    const std::string path = (place.path() / "set1.cab").string();
    const std::string b = set.contents("b.bin");
    for (const int32_t fill : {0, 1}) {
        SCOPED_TRACE(fill != 0 ? "filled with zeros" : "not filled");
        const Result result = salvageInto(path, 1, fill);
        EXPECT_EQ(result.status, CabArchiveIncomplete);
        ASSERT_EQ(result.outcomes.size(), 2u);  // a.txt, b.bin
        EXPECT_EQ(result.outcomes[0], CabOutcomeExtracted);
        EXPECT_TRUE(result.files.at("a.txt") == set.contents("a.txt"));
        if (fill == 0) {
            EXPECT_EQ(result.outcomes[1], CabOutcomeUnreachable);
            EXPECT_EQ(result.files.count("b.bin"), 0u);
            continue;
        }
        EXPECT_EQ(result.outcomes[1], CabOutcomeSalvaged);
        ASSERT_EQ(result.files.count("b.bin"), 1u);
        const std::string& kept = result.files.at("b.bin");
        ASSERT_EQ(kept.size(), b.size());
        // What the first cabinet holds of it is decoded; the rest is zeros.
        size_t same = 0;
        while (same < kept.size() && kept[same] == b[same]) ++same;
        EXPECT_GE(same, 10000u);
        EXPECT_LT(same, b.size());
        EXPECT_TRUE(kept.substr(same) == std::string(kept.size() - same, '\0'));
    }
}
