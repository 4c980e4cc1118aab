// Salvage over a data block split between two cabinets: the entries its
// first piece feeds are told as salvaged.
#include "tests/archive/archive_test_support.h"

using namespace archivetest;
using cabwriter::Method;

TEST(ArchiveSalvageSplitBlock, AFileFedByTheFirstPieceOfASplitBlockWithABadChecksumIsSalvagedNotExtracted) {
    // Stored blocks of 1000 bytes cut every 2500: block 2 (2000..3000) is
    // split, its first piece ending set1. A byte of that piece is changed
    // without its checksum: folder byte 2150, inside "late" (2100..3600),
    // which begins past the 2000 bytes set1 completes.
    const std::vector<cabwriter::File> files{makeFile("early", 1200, 1), makeFile("mid", 900, 2),
                                             makeFile("late", 1500, 3)};
    std::vector<cabwriter::Cabinet> cabinets =
        cabwriter::writeCabinetSet({folderOf(Method::Stored, files, 1000)}, 2500);
    ASSERT_EQ(cabinets.size(), 2u);
    ASSERT_EQ(cabinets[0].layout.blockOffsets.size(), 3u);
    cabinets[0].image[cabinets[0].layout.blockOffsets[2] + 8 + 150] ^= 0x5A;
    ScratchDirectory place;
    for (const auto& cabinet : cabinets) place.save(cabinet);
    CabArchive* archive = nullptr;
    ASSERT_EQ(cabArchiveOpenPath((place.path() / "set1.cab").c_str(), nullptr, &archive, nullptr),
              CabArchiveOk);
    RecordingSink recording;
    const CabArchiveSink sink = recording.sink();
    CabArchiveExtraction extraction{};
    extraction.sink = &sink;
    extraction.salvage = 1;
    cabArchiveExtract(archive, &extraction, nullptr);
    // Whatever else is flagged, no file whose bytes changed passes as sound.
    for (const cabwriter::File& file : files) {
        const uint32_t index = entryNamed(archive, file.name);
        const int32_t outcome = cabArchiveOutcome(archive, index, nullptr);
        if (recording.written[index] != text(file.data)) {
            EXPECT_EQ(outcome, CabOutcomeSalvaged) << file.name;
        }
    }
    EXPECT_NE(recording.written[entryNamed(archive, "late")], text(files[2].data));
    EXPECT_EQ(cabArchiveOutcome(archive, entryNamed(archive, "early"), nullptr), CabOutcomeExtracted);
    cabArchiveClose(archive);
}
