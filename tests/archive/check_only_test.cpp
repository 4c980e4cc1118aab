// Entries chosen only to be checked: decoded, written nowhere, and leading
// the decoder on into the next cabinet of a set.
#include <filesystem>
#include <set>

#include "tests/archive/archive_test_support.h"

using namespace archivetest;

namespace {

// Writes the set into a fresh directory, b.bin's bytes in the second
// cabinet damaged when asked.
struct SavedSet {
    ThreeCabinetSet set;
    ScratchDirectory place;

    explicit SavedSet(bool damageSecond) {
        if (damageSecond) {
            cabwriter::Cabinet& second = set.cabinets[1];
            second.image[second.layout.blockOffsets[0] + 8 + 10] ^= 0x55;  // checksum no longer matches
        }
        for (const auto& cabinet : set.cabinets) place.save(cabinet);
    }
};

struct Choice {
    const CabArchive* archive;
    std::set<std::string> written;  // answered 1
    std::string checked;            // answered CAB_CHOOSE_CHECK_ONLY
    std::string notes;              // "|cabinet: message" for each note
};

int choose(void* context, uint32_t, const CabArchiveEntry* entry) {
    const Choice& choice = *static_cast<Choice*>(context);
    if (choice.checked == entry->name) return CAB_CHOOSE_CHECK_ONLY;
    return choice.written.count(entry->name) != 0 ? 1 : 0;
}

std::set<std::string> filesIn(const std::filesystem::path& directory) {
    std::set<std::string> names;
    for (const auto& item : std::filesystem::directory_iterator(directory)) {
        names.insert(item.path().filename().string());
    }
    return names;
}

}  // namespace

TEST(ArchiveCheckOnly, AnEntryCheckedOnlyIsDecodedIntoTheNextCabinetButNeverWritten) {
    const SavedSet saved(false);
    CabArchive* archive = nullptr;
    const std::string first = (saved.place.path() / "set1.cab").string();
    ASSERT_EQ(cabArchiveOpenPath(first.c_str(), nullptr, &archive, nullptr), CabArchiveOk);
    const uint32_t b = entryNamed(archive, "b.bin");
    const uint32_t e = entryNamed(archive, "e.txt");
    Choice choice{archive, {"e.txt"}, "b.bin", ""};

    // Into a directory: b.bin's data is checked whole, no file is made.
    ScratchDirectory out;
    const std::string directory = out.path().string();
    CabArchiveExtraction extraction{};
    extraction.directory = directory.c_str();
    extraction.choose = choose;
    extraction.context = &choice;
    ASSERT_EQ(cabArchiveExtract(archive, &extraction, nullptr), CabArchiveOk);
    EXPECT_EQ(cabArchiveOutcome(archive, b, nullptr), CabOutcomeExtracted);
    EXPECT_EQ(cabArchiveOutcome(archive, e, nullptr), CabOutcomeExtracted);
    EXPECT_EQ(filesIn(out.path()), std::set<std::string>{"e.txt"});
    EXPECT_EQ(readFile(out.path() / "e.txt"), saved.set.contents("e.txt"));

    // Into a sink: its begin is never asked about b.bin.
    RecordingSink sink;
    const CabArchiveSink recording = sink.sink();
    extraction.directory = nullptr;
    extraction.sink = &recording;
    ASSERT_EQ(cabArchiveExtract(archive, &extraction, nullptr), CabArchiveOk);
    EXPECT_EQ(sink.begun, std::vector<uint32_t>{e});
    EXPECT_EQ(cabArchiveOutcome(archive, b, nullptr), CabOutcomeExtracted);
    cabArchiveClose(archive);
}

TEST(ArchiveCheckOnly, DamageInTheCabinetACheckedEntryLeadsIntoIsFoundAndToldWithWorkers) {
    const SavedSet saved(true);
    for (const uint32_t threads : {1u, 2u}) {
        SCOPED_TRACE("threads " + std::to_string(threads));
        CabArchive* archive = nullptr;
        const std::string first = (saved.place.path() / "set1.cab").string();
        ASSERT_EQ(cabArchiveOpenPath(first.c_str(), nullptr, &archive, nullptr), CabArchiveOk);
        Choice choice{archive, {"a.txt"}, "b.bin", ""};
        ScratchDirectory out;
        const std::string directory = out.path().string();
        CabArchiveExtraction extraction{};
        extraction.directory = directory.c_str();
        extraction.choose = choose;
        extraction.context = &choice;
        extraction.threads = threads;
        extraction.note = [](void* context, const char* cabinet, const char* message) {
            static_cast<Choice*>(context)->notes += std::string("|") + cabinet + ": " + message;
        };
        EXPECT_EQ(cabArchiveExtract(archive, &extraction, nullptr), CabArchiveIncomplete);
        EXPECT_EQ(cabArchiveOutcome(archive, entryNamed(archive, "a.txt"), nullptr), CabOutcomeExtracted);
        EXPECT_EQ(cabArchiveOutcome(archive, entryNamed(archive, "b.bin"), nullptr), CabOutcomeDamaged);
        // The damage is told as the second cabinet's.
        EXPECT_NE(choice.notes.find("|" + (saved.place.path() / "set2.cab").string() +
                                      ": the cabinet is damaged: checksum mismatch in data block 0 of folder 0"),
                  std::string::npos)
            << choice.notes;
        EXPECT_EQ(filesIn(out.path()), std::set<std::string>{"a.txt"});
        cabArchiveClose(archive);
    }
}
