// Salvage: which entries a data block with a bad checksum marks as possibly
// damaged. Only the checksum field is changed, so every byte still decodes as
// stored and the outcomes show the marking alone.
#include <algorithm>

#include "tests/archive/archive_test_support.h"

using namespace archivetest;
using cabwriter::Method;

namespace {

// A file of bytes that do not compress, so that a set cuts where its sizes say.
cabwriter::File noiseFile(std::string name, size_t size, uint32_t seed) {
    cabwriter::File file;
    file.name = std::move(name);
    for (size_t i = 0; i < size; ++i) {
        seed = seed * 1103515245u + 12345u;
        file.data.push_back(uint8_t(seed >> 16));
    }
    return file;
}

// Changes the checksum field of the data block at `blockOffset`, leaving it
// non-zero (zero would mean "no checksum").
void spoilChecksum(cabwriter::Cabinet& cabinet, size_t blockOffset) {
    cabinet.image[blockOffset] ^= 0x01;
    ASSERT_NE(cabinet.image[blockOffset] | cabinet.image[blockOffset + 1] | cabinet.image[blockOffset + 2] |
                  cabinet.image[blockOffset + 3],
              0);
}

// What a salvage of every entry to a sink gave, by entry name.
struct Salvaged {
    int32_t status = -1;
    std::map<std::string, int32_t> outcomes;
    std::map<std::string, std::string> reasons;
    std::map<std::string, std::string> written;
};

// Extracts every entry of the cabinet at `path` (and its set) to a sink,
// with salvage.
Salvaged salvageToSink(const std::filesystem::path& path) {
    Salvaged result;
    CabArchive* archive = nullptr;
    EXPECT_EQ(cabArchiveOpenPath(path.c_str(), nullptr, &archive, nullptr), CabArchiveOk);
    if (archive == nullptr) return result;
    RecordingSink recording;
    const CabArchiveSink sink = recording.sink();
    CabArchiveExtraction extraction{};
    extraction.sink = &sink;
    extraction.salvage = 1;
    result.status = cabArchiveExtract(archive, &extraction, nullptr);
    for (uint32_t index = 0; index < cabArchiveEntryCount(archive); ++index) {
        CabArchiveEntry entry{};
        cabArchiveEntry(archive, index, &entry);
        const char* reason = nullptr;
        result.outcomes[entry.name] = cabArchiveOutcome(archive, index, &reason);
        result.reasons[entry.name] = reason != nullptr ? reason : "";
        result.written[entry.name] = recording.written[index];
    }
    cabArchiveClose(archive);
    return result;
}

// The outcomes of salvaging the set whose first cabinet is `first` in
// `place`, having checked that every file came out as stored.
std::map<std::string, int32_t> salvageOutcomes(const ScratchDirectory& place, const std::string& first,
                                               const std::vector<cabwriter::File>& files) {
    const Salvaged result = salvageToSink(place.path() / first);
    EXPECT_EQ(result.status, CabArchiveIncomplete);
    for (const cabwriter::File& file : files) {
        EXPECT_TRUE(result.written.count(file.name) != 0 && result.written.at(file.name) == text(file.data))
            << file.name;
    }
    return result.outcomes;
}

}  // namespace

TEST(ArchiveSalvageMarks, ABadBlockMarksWhatItHoldsAndInACompressedFolderEverythingAfter) {
    // Blocks of 32768 bytes; block 2 holds folder bytes 65536..98304: "a"
    // and "b" end before it, "c" crosses it, "d" lies wholly after it.
    const std::vector<cabwriter::File> files{makeFile("a", 40000, 1), makeFile("b", 24000, 2),
                                             makeFile("c", 48000, 3), makeFile("d", 32000, 4)};
    for (const Method method : {Method::Stored, Method::Mszip, Method::Quantum, Method::Lzx}) {
        SCOPED_TRACE("method " + std::to_string(int(method)));
        cabwriter::Cabinet cabinet = cabwriter::writeCabinet({folderOf(method, files, 32768)}, {}, "one.cab");
        ASSERT_EQ(cabinet.layout.blockOffsets.size(), 5u);
        spoilChecksum(cabinet, cabinet.layout.blockOffsets[2]);
        ScratchDirectory place;
        place.save(cabinet);
        const std::map<std::string, int32_t> outcomes = salvageOutcomes(place, "one.cab", files);
        EXPECT_EQ(outcomes.at("a"), CabOutcomeExtracted);
        EXPECT_EQ(outcomes.at("b"), CabOutcomeExtracted);
        EXPECT_EQ(outcomes.at("c"), CabOutcomeSalvaged);
        // Decoded history carries a compressed block's damage into later
        // matches; stored bytes stand alone.
        EXPECT_EQ(outcomes.at("d"), method == Method::Stored ? CabOutcomeExtracted : CabOutcomeSalvaged);
    }
}

TEST(ArchiveSalvageMarks, ACompressedFolderCarriesABadBlockIntoTheFilesOfTheCabinetsItGoesOnIn) {
    // One MSZIP folder over three cabinets; the first block of the first
    // cabinet is bad. "z" lies wholly in the last cabinet; the stored
    // folder after it is untouched.
    const std::vector<cabwriter::File> zipped{noiseFile("w", 30000, 1), noiseFile("x", 30000, 2),
                                              noiseFile("y", 30000, 3), noiseFile("z", 4000, 4)};
    const std::vector<cabwriter::File> stored{noiseFile("s", 2000, 5)};
    std::vector<cabwriter::Cabinet> cabinets = cabwriter::writeCabinetSet(
        {folderOf(Method::Mszip, zipped, 4096), folderOf(Method::Stored, stored)}, 40000, "set%d.cab");
    ASSERT_GE(cabinets.size(), 3u);
    spoilChecksum(cabinets[0], cabinets[0].layout.blockOffsets[0]);
    ScratchDirectory place;
    for (const auto& cabinet : cabinets) place.save(cabinet);
    {
        // "z" lies wholly in a later cabinet.
        CabArchive* archive = nullptr;
        ASSERT_EQ(cabArchiveOpenPath((place.path() / "set1.cab").c_str(), nullptr, &archive, nullptr), CabArchiveOk);
        CabArchiveEntry z{};
        ASSERT_EQ(cabArchiveEntry(archive, entryNamed(archive, "z"), &z), CabArchiveOk);
        EXPECT_GE(z.cabinet, 2u);
        cabArchiveClose(archive);
    }
    std::vector<cabwriter::File> all = zipped;
    all.insert(all.end(), stored.begin(), stored.end());
    const std::map<std::string, int32_t> outcomes = salvageOutcomes(place, "set1.cab", all);
    for (const cabwriter::File& file : zipped) EXPECT_EQ(outcomes.at(file.name), CabOutcomeSalvaged) << file.name;
    EXPECT_EQ(outcomes.at("s"), CabOutcomeExtracted);
}

TEST(ArchiveSalvageMarks, ABlockLyingOverTheCabinetsRecordsIsDamageAndLeavesTheRecordsReadable) {
    // Folder 1's first block is said to begin at the cabinet's first byte:
    // its "checksum" is the signature. Salvage must not read that as 0.
    const std::vector<cabwriter::File> first{makeFile("a", 3000, 1)};
    const std::vector<cabwriter::File> second{makeFile("b", 3000, 2)};
    cabwriter::Cabinet cabinet = cabwriter::writeCabinet(
        {folderOf(Method::Stored, first), folderOf(Method::Stored, second)}, {}, "over.cab");
    const size_t record = cabinet.layout.folderOffsets[1];
    for (size_t b = 0; b < 4; ++b) cabinet.image[record + b] = 0;  // coffCabStart
    ScratchDirectory place;
    place.save(cabinet);
    const Salvaged result = salvageToSink(place.path() / "over.cab");
    EXPECT_EQ(result.status, CabArchiveIncomplete);
    EXPECT_EQ(result.outcomes.at("a"), CabOutcomeExtracted);
    EXPECT_TRUE(result.written.at("a") == text(first[0].data));
    EXPECT_EQ(result.outcomes.at("b"), CabOutcomeDamaged);
    EXPECT_EQ(result.reasons.at("b").find("not a cabinet"), std::string::npos) << result.reasons.at("b");
}

TEST(ArchiveSalvageMarks, ABadBlockInACabinetAFileReachesThroughAWholeCabinetIsToldBeforeThatFileSettles) {
    // Stored blocks of 1000 bytes cut every 2000: "long" runs from the
    // first cabinet through the whole second into the third, where a block
    // of it has a bad checksum. The decoder reaches that block in the pass
    // over the first cabinet.
    const std::vector<cabwriter::File> files{makeFile("head", 500, 1), makeFile("long", 5000, 2)};
    std::vector<cabwriter::Cabinet> cabinets =
        cabwriter::writeCabinetSet({folderOf(Method::Stored, files, 1000)}, 2000, "t%d.cab");
    ASSERT_EQ(cabinets.size(), 3u);
    spoilChecksum(cabinets[2], cabinets[2].layout.blockOffsets[0]);
    ScratchDirectory place;
    for (const auto& cabinet : cabinets) place.save(cabinet);
    CabArchive* archive = nullptr;
    ASSERT_EQ(cabArchiveOpenPath((place.path() / "t1.cab").c_str(), nullptr, &archive, nullptr), CabArchiveOk);
    std::vector<std::string> told;  // in order
    RecordingSink recording;
    const CabArchiveSink sink = recording.sink();
    CabArchiveExtraction extraction{};
    extraction.sink = &sink;
    extraction.salvage = 1;
    extraction.context = &told;
    extraction.note = [](void* context, const char* cabinet, const char*) {
        static_cast<std::vector<std::string>*>(context)->push_back(
            "note " + std::filesystem::path(cabinet).filename().string());
    };
    extraction.settled = [](void* context, uint32_t index, int32_t, const char*) {
        static_cast<std::vector<std::string>*>(context)->push_back("settled " + std::to_string(index));
    };
    EXPECT_EQ(cabArchiveExtract(archive, &extraction, nullptr), CabArchiveIncomplete);
    const uint32_t longIndex = entryNamed(archive, "long");
    EXPECT_EQ(cabArchiveOutcome(archive, longIndex, nullptr), CabOutcomeSalvaged);
    const auto note = std::find(told.begin(), told.end(), "note t3.cab");
    const auto settled = std::find(told.begin(), told.end(), "settled " + std::to_string(longIndex));
    ASSERT_NE(note, told.end());
    ASSERT_NE(settled, told.end());
    EXPECT_LT(note - told.begin(), settled - told.begin());
    cabArchiveClose(archive);
}
