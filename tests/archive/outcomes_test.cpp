// Every way an extraction can end for an entry, to a sink, to memory and
// into a directory.
#include <sys/stat.h>

#include <fstream>

#include "cab/cab.h"
#include "tests/archive/archive_test_support.h"

using namespace archivetest;
using cabwriter::Method;

namespace {

constexpr uint32_t kBlockHeaderSize = 8;

// Folder 0 (stored, 1000-byte blocks) holds p.txt in blocks 0-2 and q.txt in
// blocks 3-5; folder 1 holds r.txt. `damageBlock` >= 0 flips a byte of that
// block of folder 0, so that its checksum no longer matches.
cabwriter::Cabinet twoFolderCabinet(int damageBlock = -1) {
    cabwriter::Cabinet cabinet = cabwriter::writeCabinet(
        {folderOf(Method::Stored, {makeFile("p.txt", 3000, 1), makeFile("q.txt", 3000, 2)}, 1000),
         folderOf(Method::Mszip, {makeFile("r.txt", 2000, 3)})});
    if (damageBlock >= 0) cabinet.image[cabinet.layout.blockOffsets[size_t(damageBlock)] + kBlockHeaderSize + 10] ^= 0x55;
    return cabinet;
}

struct Extracted {
    int32_t status = -1;
    std::vector<int32_t> outcomes;
    std::vector<std::string> reasons;
    std::vector<std::pair<uint32_t, int32_t>> settled;  // in the order told
    std::vector<std::string> notes;
};

Extracted extract(CabArchive* archive, CabArchiveExtraction extraction, RecordingSink* sink) {
    Extracted result;
    const CabArchiveSink s = sink != nullptr ? sink->sink() : CabArchiveSink{};
    if (sink != nullptr) extraction.sink = &s;
    if (extraction.context == nullptr) extraction.context = &result;
    extraction.settled = [](void* context, uint32_t index, int32_t outcome, const char* reason) {
        auto& r = *static_cast<Extracted*>(context);
        r.settled.emplace_back(index, outcome);
        EXPECT_EQ(reason == nullptr, outcome == CabOutcomeExtracted);
    };
    extraction.note = [](void* context, const char* cabinet, const char* message) {
        static_cast<Extracted*>(context)->notes.push_back(std::string(cabinet) + "|" + message);
    };
    CabArchiveError error{};
    result.status = cabArchiveExtract(archive, &extraction, &error);
    for (uint32_t i = 0; i < cabArchiveEntryCount(archive); ++i) {
        const char* reason = nullptr;
        result.outcomes.push_back(cabArchiveOutcome(archive, i, &reason));
        result.reasons.push_back(reason != nullptr ? reason : "");
    }
    return result;
}

}  // namespace

TEST(ArchiveOutcomes, ADamagedBlockEndsOnlyTheEntriesItsFolderFeedsFromThere) {
    const cabwriter::Cabinet damaged = twoFolderCabinet(4);
    CabArchive* archive = openMemory(damaged.image);
    ASSERT_NE(archive, nullptr);
    RecordingSink sink;
    const Extracted result = extract(archive, CabArchiveExtraction{}, &sink);
    EXPECT_EQ(result.status, CabArchiveIncomplete);
    EXPECT_EQ(result.outcomes, (std::vector<int32_t>{CabOutcomeExtracted, CabOutcomeDamaged, CabOutcomeExtracted}));
    EXPECT_NE(result.reasons[1].find("data block 4 of folder 0"), std::string::npos) << result.reasons[1];
    EXPECT_EQ(sink.ended[1], CabOutcomeDamaged);
    EXPECT_EQ(sink.written[2], text(makeFile("", 2000, 3).data));
    ASSERT_EQ(result.notes.size(), 1u);
    EXPECT_NE(result.notes[0].find("data block 4"), std::string::npos) << result.notes[0];
    EXPECT_EQ(result.settled.size(), 3u);

    void* data = reinterpret_cast<void*>(1);
    size_t size = 7;
    CabArchiveError error{};
    EXPECT_EQ(cabArchiveExtractToMemory(archive, 1, &data, &size, &error), CabArchiveIncomplete);
    EXPECT_EQ(data, nullptr);
    EXPECT_NE(std::string(error.message).find("q.txt"), std::string::npos) << error.message;
    cabArchiveClose(archive);
}

// A folder the decoder cannot even start (its method is unknown) is lost on
// its own: the intact folder after it is still extracted.
TEST(ArchiveOutcomes, AFolderThatCannotStartLeavesTheNextFolderIntact) {
    cabwriter::Folder unknown = folderOf(Method::Stored, {makeFile("p.txt", 3000, 1)});
    unknown.typeCompress = 0x000F;
    const cabwriter::Cabinet cabinet =
        cabwriter::writeCabinet({unknown, folderOf(Method::Mszip, {makeFile("r.txt", 2000, 3)})});
    CabArchive* archive = openMemory(cabinet.image);
    ASSERT_NE(archive, nullptr);
    RecordingSink sink;
    const Extracted result = extract(archive, CabArchiveExtraction{}, &sink);
    EXPECT_EQ(result.status, CabArchiveIncomplete);
    EXPECT_EQ(result.outcomes, (std::vector<int32_t>{CabOutcomeDamaged, CabOutcomeExtracted}));
    EXPECT_EQ(sink.written[1], text(makeFile("", 2000, 3).data));
    cabArchiveClose(archive);
}

TEST(ArchiveOutcomes, TheClientSkipsStopsOrLeavesEntries) {
    const cabwriter::Cabinet cabinet = twoFolderCabinet();
    CabArchive* archive = openMemory(cabinet.image);
    ASSERT_NE(archive, nullptr);

    RecordingSink skipping;
    skipping.beginAnswer[0] = 0;
    Extracted result = extract(archive, CabArchiveExtraction{}, &skipping);
    EXPECT_EQ(result.status, CabArchiveIncomplete);
    EXPECT_EQ(result.outcomes, (std::vector<int32_t>{CabOutcomeSkipped, CabOutcomeExtracted, CabOutcomeExtracted}));
    EXPECT_EQ(skipping.written[1], text(makeFile("", 3000, 2).data));

    RecordingSink stopping;
    stopping.stopAfterBytes = 1;
    result = extract(archive, CabArchiveExtraction{}, &stopping);
    EXPECT_EQ(result.status, CabArchiveStopped);
    EXPECT_EQ(result.outcomes, (std::vector<int32_t>{CabOutcomeStopped, CabOutcomeStopped, CabOutcomeStopped}));
    EXPECT_EQ(stopping.ended[0], CabOutcomeStopped);
    EXPECT_EQ(stopping.begun.size(), 1u);

    RecordingSink refusing;
    refusing.beginAnswer[1] = -1;
    result = extract(archive, CabArchiveExtraction{}, &refusing);
    EXPECT_EQ(result.status, CabArchiveStopped);
    EXPECT_EQ(result.outcomes[0], CabOutcomeExtracted);
    EXPECT_EQ(result.outcomes[1], CabOutcomeStopped);

    RecordingSink choosing;
    CabArchiveExtraction chosen{};
    chosen.choose = [](void*, uint32_t, const CabArchiveEntry* entry) {
        return std::string(entry->name) == "q.txt" ? 0 : 1;
    };
    result = extract(archive, chosen, &choosing);
    EXPECT_EQ(result.status, CabArchiveOk);
    EXPECT_EQ(result.outcomes, (std::vector<int32_t>{CabOutcomeExtracted, CabOutcomeNotChosen, CabOutcomeExtracted}));
    EXPECT_EQ(choosing.begun, (std::vector<uint32_t>{0, 2}));

    const uint32_t listed[] = {2, 2, 0};
    CabArchiveExtraction some{};
    some.entries = listed;
    some.entryCount = 3;
    RecordingSink few;
    result = extract(archive, some, &few);
    EXPECT_EQ(result.status, CabArchiveOk);
    EXPECT_EQ(few.begun, (std::vector<uint32_t>{0, 2}));  // duplicates ignored, folder order

    const uint32_t outOfRange[] = {3};
    some.entries = outOfRange;
    some.entryCount = 1;
    EXPECT_EQ(extract(archive, some, &few).status, CabArchiveBadArgument);
    cabArchiveClose(archive);
}

TEST(ArchiveOutcomes, IntoADirectoryNamesAreCheckedAndExistingFilesKeptOnRequest) {
    std::vector<cabwriter::File> files{makeFile("a.txt", 100, 1), makeFile("Sub\\B.TXT", 200, 2),
                                       makeFile("..\\x", 300, 3), makeFile("ro.txt", 400, 4),
                                       makeFile("empty", 0, 5)};
    files[3].attribs = 0x21;
    files[3].date = cabwriter::dosDate(2001, 2, 3);
    files[3].time = cabwriter::dosTime(4, 5, 6);
    const cabwriter::Cabinet cabinet = cabwriter::writeCabinet({folderOf(Method::Lzx, files)});
    CabArchive* archive = openMemory(cabinet.image);
    ASSERT_NE(archive, nullptr);
    ScratchDirectory scratch;
    const std::filesystem::path out = scratch.path() / "out";
    std::filesystem::create_directory(out);
    { std::ofstream(out / "a.txt") << "old"; }

    CabArchiveExtraction extraction{};
    const std::string directory = out.string();
    extraction.directory = directory.c_str();
    extraction.keepExisting = 1;
    extraction.lowercase = 1;
    Extracted result = extract(archive, extraction, nullptr);
    EXPECT_EQ(result.status, CabArchiveIncomplete);
    EXPECT_EQ(result.outcomes[0], CabOutcomeOutputFailed);
    EXPECT_EQ(result.reasons[0], "exists; kept");
    EXPECT_EQ(readFile(out / "a.txt"), "old");
    EXPECT_EQ(result.outcomes[1], CabOutcomeExtracted);
    EXPECT_EQ(readFile(out / "sub" / "b.txt"), text(files[1].data));
    EXPECT_EQ(result.outcomes[2], CabOutcomeRefusedName);
    EXPECT_FALSE(std::filesystem::exists(scratch.path() / "x"));
    EXPECT_EQ(result.outcomes[3], CabOutcomeExtracted);
    struct stat status{};
    ASSERT_EQ(stat((out / "ro.txt").c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 0222, 0u);
    EXPECT_EQ(int64_t(status.st_mtime), cabArchiveDosTimeToUnix(files[3].date, files[3].time));
    EXPECT_EQ(result.outcomes[4], CabOutcomeExtracted);
    EXPECT_TRUE(std::filesystem::exists(out / "empty"));
    for (const auto& entry : std::filesystem::recursive_directory_iterator(scratch.path())) {
        EXPECT_EQ(entry.path().filename().string().rfind(".cab-", 0), std::string::npos) << entry.path();
    }

    const uint32_t first[] = {0};
    extraction.entries = first;
    extraction.entryCount = 1;
    extraction.keepExisting = 0;
    result = extract(archive, extraction, nullptr);
    EXPECT_EQ(result.status, CabArchiveOk);
    EXPECT_EQ(readFile(out / "a.txt"), text(files[0].data));

    const std::string missing = (scratch.path() / "missing").string();
    extraction.directory = missing.c_str();
    EXPECT_EQ(extract(archive, extraction, nullptr).status, CabArchiveCannotOpen);
    cabArchiveClose(archive);
}

TEST(ArchiveOutcomes, AnEmptyEntryComesToMemoryAsABuffer) {
    const cabwriter::Cabinet cabinet =
        cabwriter::writeCabinet({folderOf(Method::Mszip, {makeFile("empty", 0, 1), makeFile("x", 10, 2)})});
    CabArchive* archive = openMemory(cabinet.image);
    ASSERT_NE(archive, nullptr);
    void* data = nullptr;
    size_t size = 9;
    CabArchiveError error{};
    ASSERT_EQ(cabArchiveExtractToMemory(archive, 0, &data, &size, &error), CabArchiveOk);
    EXPECT_NE(data, nullptr);
    EXPECT_EQ(size, 0u);
    cabArchiveFree(data);
    EXPECT_EQ(cabArchiveExtractToMemory(archive, 2, &data, &size, &error), CabArchiveBadArgument);
    cabArchiveClose(archive);
}

TEST(ArchiveOutcomes, SalvageDecodesABlockWhoseChecksumDoesNotMatchAndSaysSo) {
    const cabwriter::Cabinet damaged = twoFolderCabinet(4);
    CabArchive* archive = openMemory(damaged.image);
    ASSERT_NE(archive, nullptr);
    RecordingSink sink;
    CabArchiveExtraction extraction{};
    extraction.salvage = 1;
    Extracted result = extract(archive, extraction, &sink);
    EXPECT_EQ(result.status, CabArchiveIncomplete);
    EXPECT_EQ(result.outcomes, (std::vector<int32_t>{CabOutcomeExtracted, CabOutcomeSalvaged, CabOutcomeExtracted}));
    EXPECT_EQ(sink.ended[1], CabOutcomeSalvaged);
    // Every byte came through, the flipped one as stored.
    std::string expected = text(makeFile("", 3000, 2).data);
    expected[1000 + 10] = char(expected[1000 + 10] ^ 0x55);
    EXPECT_EQ(sink.written[1], expected);
    ASSERT_EQ(result.notes.size(), 1u);
    EXPECT_NE(result.notes[0].find("checksum mismatch in data block 4 of folder 0; decoded anyway"),
              std::string::npos)
        << result.notes[0];

    // The checksums count again once the salvage is over.
    result = extract(archive, CabArchiveExtraction{}, &sink);
    EXPECT_EQ(result.outcomes[1], CabOutcomeDamaged);
    cabArchiveClose(archive);
}

TEST(ArchiveOutcomes, ARefusedBlockIsNamedForWhatItsBytesShowAndTheNoteDoesNotRepeatTheCabinet) {
    ScratchDirectory scratch;
    const cabwriter::Cabinet mismatched = twoFolderCabinet(4);
    scratch.save(mismatched, "mismatch.cab");
    cabwriter::Cabinet cut = twoFolderCabinet();
    cut.image.resize(cut.layout.blockOffsets[4] + kBlockHeaderSize + 500);  // inside block 4
    scratch.save(cut, "cut.cab");
    const std::string damaged = cabErrorText(DamagedCabinet);

    for (const auto& [file, finding] :
         {std::pair<std::string, std::string>{"mismatch.cab", "checksum mismatch in data block 4 of folder 0"},
          {"cut.cab", "data block 4 of folder 0 is cut short"}}) {
        SCOPED_TRACE(file);
        const std::string path = (scratch.path() / file).string();
        CabArchive* archive = nullptr;
        ASSERT_EQ(cabArchiveOpenPath(path.c_str(), nullptr, &archive, nullptr), CabArchiveOk);
        RecordingSink sink;
        const Extracted result = extract(archive, CabArchiveExtraction{}, &sink);
        EXPECT_EQ(result.outcomes[1], CabOutcomeDamaged);
        EXPECT_EQ(result.reasons[1], path + ": " + damaged + ": " + finding);
        ASSERT_FALSE(result.notes.empty());  // the cut also ends folder 1
        EXPECT_EQ(result.notes[0], path + "|" + damaged + ": " + finding);
        cabArchiveClose(archive);
    }
}
