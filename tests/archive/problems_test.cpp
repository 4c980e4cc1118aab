// What an archive can tell before extracting: the problems met while
// opening it, one by one, and the entries no extraction can reach.
#include <string>

#include "tests/archive/archive_test_support.h"

using namespace archivetest;

namespace {

CabArchive* openPath(const std::filesystem::path& path) {
    CabArchive* archive = nullptr;
    CabArchiveError error{};
    EXPECT_EQ(cabArchiveOpenPath(path.c_str(), nullptr, &archive, &error), CabArchiveOk) << error.message;
    return archive;
}

CabArchiveProblem problemAt(const CabArchive* archive, uint32_t index) {
    CabArchiveProblem problem{};
    problem.size = sizeof problem;
    EXPECT_EQ(cabArchiveProblem(archive, index, &problem), CabArchiveOk);
    return problem;
}

// The cabinet with its file list cut off after its first record.
cabwriter::Cabinet withFileListCut(cabwriter::Cabinet cabinet) {
    cabinet.image.resize(cabinet.layout.fileOffsets.at(1) + 4);
    return cabinet;
}

}  // namespace

TEST(ArchiveProblems, MissingAndForeignNeighboursAreToldApartWithTheirSide) {
    const ThreeCabinetSet set;
    ScratchDirectory scratch;
    scratch.save(set.cabinets[1]);
    // Where set3.cab should be lies the first cabinet of another set.
    const cabwriter::Cabinet other = cabwriter::writeCabinet(
        {folderOf(cabwriter::Method::Stored, {makeFile("x.txt", 100, 9)})});
    scratch.save(other, "set3.cab");

    CabArchive* archive = openPath(scratch.path() / "set2.cab");
    ASSERT_NE(archive, nullptr);
    ASSERT_EQ(cabArchiveProblemCount(archive), 2u) << cabArchiveDamage(archive);

    const CabArchiveProblem missing = problemAt(archive, 0);
    EXPECT_EQ(missing.kind, CabProblemMissingCabinet);
    EXPECT_EQ(missing.cabinet, -1);
    EXPECT_EQ(missing.before, 1);
    EXPECT_STREQ(missing.name, "set1.cab");

    const CabArchiveProblem foreign = problemAt(archive, 1);
    EXPECT_EQ(foreign.kind, CabProblemForeignCabinet);
    EXPECT_EQ(foreign.cabinet, -1);
    EXPECT_EQ(foreign.before, 0);
    EXPECT_EQ(std::string(foreign.name), (scratch.path() / "set3.cab").string());
    EXPECT_NE(std::string(foreign.detail).find("expected set"), std::string::npos) << foreign.detail;

    // The one text joins the same problems.
    const std::string damage = cabArchiveDamage(archive);
    EXPECT_NE(damage.find("set1.cab"), std::string::npos) << damage;
    EXPECT_NE(damage.find(foreign.detail), std::string::npos) << damage;
    cabArchiveClose(archive);
}

TEST(ArchiveProblems, ADamagedMemberIsNamedByItsPlaceInTheFinishedSet) {
    const ThreeCabinetSet set;
    ScratchDirectory scratch;
    scratch.save(set.cabinets[0]);
    scratch.save(withFileListCut(set.cabinets[1]), "set2.cab");
    scratch.save(set.cabinets[2]);

    // Opened from the last member, the damaged one joins before set1.cab is
    // put in front of it.
    CabArchive* archive = openPath(scratch.path() / "set3.cab");
    ASSERT_NE(archive, nullptr);
    ASSERT_EQ(cabArchiveCabinetCount(archive), 3u);
    ASSERT_EQ(cabArchiveProblemCount(archive), 1u) << cabArchiveDamage(archive);
    const CabArchiveProblem damaged = problemAt(archive, 0);
    EXPECT_EQ(damaged.kind, CabProblemDamagedDirectory);
    EXPECT_EQ(damaged.cabinet, 1);
    EXPECT_EQ(std::string(damaged.name), (scratch.path() / "set2.cab").string());
    cabArchiveClose(archive);
}

TEST(ArchiveProblems, ProblemQueriesRefuseBadArguments) {
    const ThreeCabinetSet set;
    CabArchive* archive = openMemory(set.cabinets[0].image);
    ASSERT_NE(archive, nullptr);
    // From memory the next cabinet cannot be had: one problem.
    ASSERT_EQ(cabArchiveProblemCount(archive), 1u);
    CabArchiveProblem problem{};
    problem.size = sizeof problem;
    EXPECT_EQ(cabArchiveProblem(archive, 0, &problem), CabArchiveOk);
    EXPECT_EQ(problem.kind, CabProblemMissingCabinet);
    EXPECT_EQ(cabArchiveProblem(archive, 1, &problem), CabArchiveBadArgument);
    problem.size = sizeof problem - 1;
    EXPECT_EQ(cabArchiveProblem(archive, 0, &problem), CabArchiveBadArgument);
    EXPECT_EQ(cabArchiveProblemCount(nullptr), 0u);
    cabArchiveClose(archive);
}

TEST(ArchiveProblems, EntriesWhoseDataLiesInAbsentCabinetsAreKnownBeforeExtracting) {
    const ThreeCabinetSet set;
    ScratchDirectory scratch;
    scratch.save(set.cabinets[1]);
    CabArchive* archive = openPath(scratch.path() / "set2.cab");
    ASSERT_NE(archive, nullptr);

    // Every entry the directories alone condemn ends the extraction the
    // same way, with the same reason; the others have no known problem.
    RecordingSink sink;
    const CabArchiveSink s = sink.sink();
    CabArchiveExtraction extraction{};
    extraction.sink = &s;
    cabArchiveExtract(archive, &extraction, nullptr);
    uint32_t known = 0;
    for (uint32_t i = 0; i < cabArchiveEntryCount(archive); ++i) {
        const char* reason = nullptr;
        const int32_t problem = cabArchiveEntryProblem(archive, i, &reason);
        if (problem == CabOutcomeNotChosen) {
            EXPECT_EQ(reason, nullptr);
            continue;
        }
        ++known;
        const char* extracted = nullptr;
        EXPECT_EQ(cabArchiveOutcome(archive, i, &extracted), problem);
        ASSERT_NE(reason, nullptr);
        ASSERT_NE(extracted, nullptr);
        EXPECT_STREQ(reason, extracted);
    }
    EXPECT_EQ(cabArchiveEntryProblem(archive, entryNamed(archive, "b.bin"), nullptr), CabOutcomeUnreachable);
    EXPECT_EQ(cabArchiveEntryProblem(archive, entryNamed(archive, "d.bin"), nullptr), CabOutcomeUnreachable);
    EXPECT_GE(known, 2u);
    EXPECT_EQ(cabArchiveEntryProblem(archive, cabArchiveEntryCount(archive), nullptr), CabOutcomeNotChosen);
    cabArchiveClose(archive);
}

TEST(ArchiveProblems, CodePagesAreKnownAsTheOpenAcceptsThem) {
    for (const char* name : {"windows-1252", "cp437", "cp850", "iso-8859-1", "utf-8"}) {
        EXPECT_EQ(cabArchiveCodePageKnown(name), 1) << name;
    }
    EXPECT_EQ(cabArchiveCodePageKnown("no-such-code-page"), 0);
    EXPECT_EQ(cabArchiveCodePageKnown(nullptr), 0);

    const ThreeCabinetSet set;
    CabArchiveOptions options;
    cabArchiveDefaultOptions(&options);
    options.codePage = "no-such-code-page";
    CabArchive* archive = nullptr;
    EXPECT_EQ(cabArchiveOpenMemory(set.cabinets[0].image.data(), set.cabinets[0].image.size(), &options,
                                   &archive, nullptr),
              CabArchiveBadArgument);
}

TEST(ArchiveProblems, ADamagedFolderTableStillListsTheFileList) {
    // Two folders; the header then declares far more folders than the file
    // holds, so the table runs past its end while the file list, which has
    // a place of its own, is intact.
    cabwriter::Cabinet cabinet = cabwriter::writeCabinet(
        {folderOf(cabwriter::Method::Stored, {makeFile("one.txt", 300, 1)}),
         folderOf(cabwriter::Method::Stored, {makeFile("two.txt", 400, 2)})});
    const uint16_t manyFolders = 60000;
    cabinet.image[26] = uint8_t(manyFolders & 0xFF);  // cFolders
    cabinet.image[27] = uint8_t(manyFolders >> 8);

    CabArchive* archive = openMemory(cabinet.image);
    ASSERT_NE(archive, nullptr);
    ASSERT_EQ(cabArchiveProblemCount(archive), 1u) << cabArchiveDamage(archive);
    const CabArchiveProblem problem = problemAt(archive, 0);
    EXPECT_EQ(problem.kind, CabProblemDamagedDirectory);
    EXPECT_EQ(std::string(problem.detail).rfind("folder ", 0), 0u) << problem.detail;
    ASSERT_EQ(cabArchiveEntryCount(archive), 2u);
    CabArchiveEntry entry{};
    ASSERT_EQ(cabArchiveEntry(archive, 1, &entry), CabArchiveOk);
    EXPECT_STREQ(entry.name, "two.txt");
    EXPECT_EQ(entry.method, CabMethodStored);
    cabArchiveClose(archive);
}

TEST(ArchiveProblems, AFolderWhoseDataLiesPastAnyPositionFailsOnlyItsOwnFiles) {
    cabwriter::Cabinet cabinet = cabwriter::writeCabinet(
        {folderOf(cabwriter::Method::Stored, {makeFile("one.txt", 300, 1)}),
         folderOf(cabwriter::Method::Stored, {makeFile("two.txt", 400, 2)})});
    const uint32_t folder1 = cabinet.layout.folderOffsets.at(1);
    for (int i = 0; i < 4; ++i) cabinet.image[folder1 + i] = 0xFF;  // coffCabStart

    CabArchive* archive = openMemory(cabinet.image);
    ASSERT_NE(archive, nullptr);
    EXPECT_EQ(cabArchiveProblemCount(archive), 0u) << cabArchiveDamage(archive);
    ASSERT_EQ(cabArchiveEntryCount(archive), 2u);
    EXPECT_EQ(extractText(archive, entryNamed(archive, "one.txt")), text(makeFile("one.txt", 300, 1).data));
    void* data = nullptr;
    size_t size = 0;
    CabArchiveError error{};
    EXPECT_EQ(cabArchiveExtractToMemory(archive, entryNamed(archive, "two.txt"), &data, &size, &error),
              CabArchiveIncomplete);
    EXPECT_EQ(data, nullptr);
    cabArchiveClose(archive);
}
