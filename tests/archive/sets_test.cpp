// Sets of cabinets: opened from any member, from the neighbours beside a
// file or through the client's callback, and with a member missing.
#include <fstream>
#include <map>
#include <memory>
#include <set>

#include "tests/archive/archive_test_support.h"

using namespace archivetest;
using cabwriter::Method;

namespace {

CabArchive* openPath(const std::filesystem::path& path, const CabArchiveOptions* options = nullptr) {
    CabArchive* archive = nullptr;
    CabArchiveError error{};
    EXPECT_EQ(cabArchiveOpenPath(path.c_str(), options, &archive, &error), CabArchiveOk) << error.message;
    return archive;
}

// Every entry's name with its outcome after extracting them all to a sink.
std::map<std::string, int32_t> extractAll(CabArchive* archive, RecordingSink& sink, int32_t& status) {
    const CabArchiveSink s = sink.sink();
    CabArchiveExtraction extraction{};
    extraction.sink = &s;
    CabArchiveError error{};
    status = cabArchiveExtract(archive, &extraction, &error);
    std::map<std::string, int32_t> outcomes;
    for (uint32_t i = 0; i < cabArchiveEntryCount(archive); ++i) {
        CabArchiveEntry entry{};
        EXPECT_EQ(cabArchiveEntry(archive, i, &entry), CabArchiveOk);
        outcomes[entry.name] = cabArchiveOutcome(archive, i, nullptr);
    }
    return outcomes;
}

// The names of the archive's entries.
std::multiset<std::string> entryNames(const CabArchive* archive) {
    std::multiset<std::string> names;
    for (uint32_t i = 0; i < cabArchiveEntryCount(archive); ++i) {
        CabArchiveEntry entry{};
        EXPECT_EQ(cabArchiveEntry(archive, i, &entry), CabArchiveOk);
        names.insert(entry.name);
    }
    return names;
}

}  // namespace

TEST(ArchiveSets, OpenedFromAnyMemberListsEachFileOnceAndExtractsContinuedFilesWhole) {
    const ThreeCabinetSet set;
    ASSERT_EQ(set.cabinets.size(), 3u);
    ScratchDirectory scratch;
    for (const auto& cabinet : set.cabinets) scratch.save(cabinet);

    for (const char* member : {"set1.cab", "set2.cab", "set3.cab"}) {
        SCOPED_TRACE(member);
        CabArchive* archive = openPath(scratch.path() / member);
        ASSERT_NE(archive, nullptr);
        EXPECT_EQ(cabArchiveCabinetCount(archive), 3u);
        EXPECT_EQ(cabArchiveDamage(archive), nullptr);
        ASSERT_EQ(cabArchiveEntryCount(archive), 6u);
        const std::multiset<std::string> names = entryNames(archive);
        EXPECT_EQ(std::set<std::string>(names.begin(), names.end()).size(), 6u);
        CabArchiveEntry b{};
        ASSERT_EQ(cabArchiveEntry(archive, entryNamed(archive, "b.bin"), &b), CabArchiveOk);
        EXPECT_EQ(b.cabinet, 0u);
        EXPECT_EQ(b.continuesIntoNext, 1);
        // Wholly in the second cabinet's part of the continued folder: only
        // a decoder that crossed from the first can reach it.
        CabArchiveEntry c{};
        ASSERT_EQ(cabArchiveEntry(archive, entryNamed(archive, "c.txt"), &c), CabArchiveOk);
        EXPECT_EQ(c.cabinet, 1u);
        EXPECT_EQ(c.continuesFromPrevious, 1);

        RecordingSink sink;
        int32_t status = -1;
        const auto outcomes = extractAll(archive, sink, status);
        EXPECT_EQ(status, CabArchiveOk);
        for (const auto& [name, outcome] : outcomes) EXPECT_EQ(outcome, CabOutcomeExtracted) << name;
        for (uint32_t i = 0; i < 6; ++i) {
            CabArchiveEntry entry{};
            cabArchiveEntry(archive, i, &entry);
            EXPECT_EQ(sink.written[i], set.contents(entry.name)) << entry.name;
            EXPECT_EQ(sink.ended[i], CabOutcomeExtracted) << entry.name;
        }
        cabArchiveClose(archive);
    }
}

TEST(ArchiveSets, ANeighbourNamedInAnotherLetterCaseJoinsTheSet) {
    const ThreeCabinetSet set;
    ScratchDirectory scratch;
    scratch.save(set.cabinets[0]);
    scratch.save(set.cabinets[1], "SET2.CAB");
    scratch.save(set.cabinets[2], "Set3.Cab");
    CabArchive* archive = openPath(scratch.path() / "set1.cab");
    ASSERT_NE(archive, nullptr);
    ASSERT_EQ(cabArchiveCabinetCount(archive), 3u);
    CabArchiveCabinet third{};
    ASSERT_EQ(cabArchiveCabinet(archive, 2, &third), CabArchiveOk);
    EXPECT_EQ(std::string(third.name), (scratch.path() / "Set3.Cab").string());
    EXPECT_EQ(third.indexInSet, 2u);
    EXPECT_EQ(extractText(archive, entryNamed(archive, "d.bin")), set.contents("d.bin"));
    cabArchiveClose(archive);
}

TEST(ArchiveSets, TheNeighbourCallbackSuppliesTheOtherMembers) {
    const ThreeCabinetSet set;
    struct Library {
        std::map<std::string, std::unique_ptr<CountingStream>> streams;
        std::vector<std::string> asked;
    } library;
    for (size_t i = 1; i < set.cabinets.size(); ++i) {
        auto stream = std::make_unique<CountingStream>();
        stream->bytes = set.cabinets[i].image;
        library.streams[set.cabinets[i].name] = std::move(stream);
    }
    CabArchiveOptions options;
    cabArchiveDefaultOptions(&options);
    options.neighbourContext = &library;
    options.neighbour = [](void* context, const char* name, CabArchiveStream* stream) -> int {
        auto& lib = *static_cast<Library*>(context);
        lib.asked.push_back(name);
        const auto found = lib.streams.find(name);
        if (found == lib.streams.end()) return 0;
        *stream = found->second->stream();
        return 1;
    };
    CabArchive* archive = openMemory(set.cabinets[0].image, &options);
    ASSERT_NE(archive, nullptr);
    EXPECT_EQ(library.asked, (std::vector<std::string>{"set2.cab", "set3.cab"}));
    ASSERT_EQ(cabArchiveCabinetCount(archive), 3u);
    CabArchiveCabinet second{};
    ASSERT_EQ(cabArchiveCabinet(archive, 1, &second), CabArchiveOk);
    EXPECT_STREQ(second.name, "set2.cab");
    RecordingSink sink;
    int32_t status = -1;
    extractAll(archive, sink, status);
    EXPECT_EQ(status, CabArchiveOk);
    EXPECT_EQ(sink.written[entryNamed(archive, "c.txt")], set.contents("c.txt"));
    cabArchiveClose(archive);
    EXPECT_TRUE(library.streams["set2.cab"]->closed);
    EXPECT_TRUE(library.streams["set3.cab"]->closed);
}

// The names a member gives its neighbours are told whether or not those
// neighbours joined, so a client can name the one that is missing.
TEST(ArchiveSets, EachCabinetTellsTheNeighboursItNames) {
    const ThreeCabinetSet set;
    ScratchDirectory scratch;
    scratch.save(set.cabinets[1]);
    scratch.save(set.cabinets[2]);
    CabArchive* archive = openPath(scratch.path() / "set3.cab");
    ASSERT_NE(archive, nullptr);
    ASSERT_EQ(cabArchiveCabinetCount(archive), 2u);
    const char* previous = "unset";
    const char* next = "unset";
    ASSERT_EQ(cabArchiveCabinetLinks(archive, 0, &previous, &next), CabArchiveOk);
    ASSERT_NE(previous, nullptr);
    EXPECT_STREQ(previous, "set1.cab");  // missing, yet named
    ASSERT_NE(next, nullptr);
    EXPECT_STREQ(next, "set3.cab");
    ASSERT_EQ(cabArchiveCabinetLinks(archive, 1, &previous, nullptr), CabArchiveOk);
    ASSERT_NE(previous, nullptr);
    EXPECT_STREQ(previous, "set2.cab");
    ASSERT_EQ(cabArchiveCabinetLinks(archive, 1, nullptr, &next), CabArchiveOk);
    EXPECT_EQ(next, nullptr);  // the last of its set names none
    EXPECT_EQ(cabArchiveCabinetLinks(archive, 2, &previous, &next), CabArchiveBadArgument);
    cabArchiveClose(archive);
}

TEST(ArchiveSets, AMissingMemberLeavesWhatNeedsItUnreachable) {
    const ThreeCabinetSet set;
    ScratchDirectory scratch;
    scratch.save(set.cabinets[0]);
    scratch.save(set.cabinets[2]);

    CabArchive* first = openPath(scratch.path() / "set1.cab");
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(cabArchiveCabinetCount(first), 1u);
    ASSERT_NE(cabArchiveDamage(first), nullptr);
    EXPECT_NE(std::string(cabArchiveDamage(first)).find("set2.cab"), std::string::npos)
        << cabArchiveDamage(first);
    RecordingSink sink;
    int32_t status = -1;
    auto outcomes = extractAll(first, sink, status);
    EXPECT_EQ(status, CabArchiveIncomplete);
    EXPECT_EQ(outcomes["a.txt"], CabOutcomeExtracted);
    EXPECT_EQ(outcomes["b.bin"], CabOutcomeUnreachable);
    const char* reason = nullptr;
    cabArchiveOutcome(first, entryNamed(first, "b.bin"), &reason);
    ASSERT_NE(reason, nullptr);
    EXPECT_NE(std::string(reason).find("set2.cab"), std::string::npos) << reason;
    EXPECT_EQ(sink.written.count(entryNamed(first, "b.bin")), 0u);  // never begun
    cabArchiveClose(first);

    CabArchive* last = openPath(scratch.path() / "set3.cab");
    ASSERT_NE(last, nullptr);
    EXPECT_EQ(cabArchiveCabinetCount(last), 1u);
    CabArchiveEntry d{};
    ASSERT_EQ(cabArchiveEntry(last, entryNamed(last, "d.bin"), &d), CabArchiveOk);
    EXPECT_EQ(d.continuesFromPrevious, 1);
    outcomes = extractAll(last, sink, status);
    EXPECT_EQ(status, CabArchiveIncomplete);
    EXPECT_EQ(outcomes["d.bin"], CabOutcomeUnreachable);
    EXPECT_EQ(outcomes["e.txt"], CabOutcomeExtracted);
    EXPECT_EQ(outcomes["f.txt"], CabOutcomeExtracted);
    cabArchiveClose(last);
}

TEST(ArchiveSets, WithoutFollowingTheSetACabinetStandsAlone) {
    const ThreeCabinetSet set;
    ScratchDirectory scratch;
    for (const auto& cabinet : set.cabinets) scratch.save(cabinet);
    CabArchiveOptions options;
    cabArchiveDefaultOptions(&options);
    options.followSet = 0;
    CabArchive* archive = openPath(scratch.path() / "set2.cab", &options);
    ASSERT_NE(archive, nullptr);
    EXPECT_EQ(cabArchiveCabinetCount(archive), 1u);
    EXPECT_EQ(cabArchiveDamage(archive), nullptr);
    RecordingSink sink;
    int32_t status = -1;
    const auto outcomes = extractAll(archive, sink, status);
    EXPECT_EQ(status, CabArchiveIncomplete);
    EXPECT_EQ(outcomes.at("b.bin"), CabOutcomeUnreachable);
    EXPECT_EQ(outcomes.at("c.txt"), CabOutcomeUnreachable);
    cabArchiveClose(archive);
}

TEST(ArchiveSets, ASetInADirectoryDeeperThanTheDecoderPathLimitIsReadWhole) {
    // The decoder holds cabinet paths of 256 characters at most; the archive
    // names its cabinets to the decoder by handle, so any path the system
    // accepts works, neighbours included.
    const ThreeCabinetSet set;
    ScratchDirectory scratch;
    std::filesystem::path deep = scratch.path();
    for (int i = 0; i < 6; ++i) deep /= std::string(60, char('a' + i));
    std::filesystem::create_directories(deep);
    for (const auto& cabinet : set.cabinets) {
        std::ofstream(deep / cabinet.name, std::ios::binary)
            .write(reinterpret_cast<const char*>(cabinet.image.data()), std::streamsize(cabinet.image.size()));
    }
    ASSERT_GT((deep / "set2.cab").string().size(), 256u);
    CabArchive* archive = openPath(deep / "set2.cab");
    ASSERT_NE(archive, nullptr);
    EXPECT_EQ(cabArchiveCabinetCount(archive), 3u);
    RecordingSink sink;
    int32_t status = -1;
    const auto outcomes = extractAll(archive, sink, status);
    EXPECT_EQ(status, CabArchiveOk);
    EXPECT_EQ(outcomes.at("d.bin"), CabOutcomeExtracted);
    EXPECT_EQ(sink.written[entryNamed(archive, "b.bin")], set.contents("b.bin"));
    cabArchiveClose(archive);
}

TEST(ArchiveSets, AContinuedFileIsPairedByItsPlaceNotByTheNameTheNextCabinetStores) {
    ThreeCabinetSet set;
    ASSERT_EQ(set.cabinets.size(), 3u);
    // The second cabinet lists the continuation of "b.bin" first, as
    // "x.bin" with another size; the third lists that of "d.bin" as "y.bin".
    // A decoder crossing between them takes the first continued file for
    // the file that led it there, whatever it is called.
    constexpr size_t kRecordSize = 0;
    constexpr size_t kRecordName = 16;
    auto rename = [](cabwriter::Cabinet& cabinet, const std::string& from, const std::string& to) {
        const size_t name = cabinet.layout.fileOffsets[0] + kRecordName;
        ASSERT_EQ(std::string(cabinet.image.begin() + long(name),
                              cabinet.image.begin() + long(name + from.size())),
                  from);
        std::copy(to.begin(), to.end(), cabinet.image.begin() + long(name));
    };
    rename(set.cabinets[1], "b.bin", "x.bin");
    set.cabinets[1].image[set.cabinets[1].layout.fileOffsets[0] + kRecordSize] ^= 0x01;
    rename(set.cabinets[2], "d.bin", "y.bin");
    ScratchDirectory scratch;
    for (const auto& cabinet : set.cabinets) scratch.save(cabinet);

    for (const char* member : {"set1.cab", "set3.cab"}) {
        SCOPED_TRACE(member);
        CabArchive* archive = openPath(scratch.path() / member);
        ASSERT_NE(archive, nullptr);
        ASSERT_EQ(cabArchiveEntryCount(archive), 6u);
        EXPECT_EQ(entryNames(archive), (std::multiset<std::string>{"a.txt", "b.bin", "c.txt",
                                                                   "d.bin", "e.txt", "f.txt"}));

        // Each place of a file list tells the entry it continues and the
        // name stored there.
        const uint32_t b = entryNamed(archive, "b.bin");
        const uint32_t d = entryNamed(archive, "d.bin");
        EXPECT_EQ(cabArchiveListedCount(archive, 1),
                  uint32_t(set.cabinets[1].layout.fileOffsets.size()));
        CabArchiveListing listed{};
        listed.size = sizeof listed;
        ASSERT_EQ(cabArchiveListed(archive, 1, 0, &listed), CabArchiveOk);
        EXPECT_EQ(listed.entry, b);
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(listed.rawName), listed.rawNameLength),
                  "x.bin");
        ASSERT_EQ(cabArchiveListed(archive, 2, 0, &listed), CabArchiveOk);
        EXPECT_EQ(listed.entry, d);
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(listed.rawName), listed.rawNameLength),
                  "y.bin");
        EXPECT_EQ(cabArchiveListed(archive, 1, cabArchiveListedCount(archive, 1), &listed),
                  CabArchiveBadArgument);
        listed.size = sizeof listed - 1;
        EXPECT_EQ(cabArchiveListed(archive, 1, 0, &listed), CabArchiveBadArgument);

        RecordingSink sink;
        int32_t status = -1;
        const auto outcomes = extractAll(archive, sink, status);
        EXPECT_EQ(status, CabArchiveOk);
        for (uint32_t i = 0; i < 6; ++i) {
            CabArchiveEntry entry{};
            cabArchiveEntry(archive, i, &entry);
            EXPECT_EQ(sink.ended[i], CabOutcomeExtracted) << entry.name;
            EXPECT_EQ(sink.written[i], set.contents(entry.name)) << entry.name;
        }
        cabArchiveClose(archive);
    }
}

// The name a later cabinet stores for a continued file comes in UTF-8 too,
// decoded from the code page the archive was opened with, or as UTF-8 when
// that place carries the UTF-8 attribute.
TEST(ArchiveSets, AListedPlaceGivesItsOwnNameInUtf8ByTheCodePageAsked) {
    ThreeCabinetSet set;
    cabwriter::Cabinet& third = set.cabinets[2];
    constexpr size_t kRecordAttributes = 14;
    constexpr size_t kRecordName = 16;
    const size_t record = third.layout.fileOffsets[0];
    ASSERT_EQ(third.image[record + kRecordName], uint8_t('d'));
    third.image[record + kRecordName] = 0xE9;  // "\xE9.bin"
    ScratchDirectory scratch;
    for (const auto& cabinet : set.cabinets) scratch.save(cabinet);

    struct Case {
        const char* codePage;
        const char* name;
    };
    for (const Case& c : {Case{nullptr, "\xC3\xA9.bin"}, Case{"cp437", "\xCE\x98.bin"}}) {
        SCOPED_TRACE(c.codePage != nullptr ? c.codePage : "default");
        CabArchiveOptions options;
        cabArchiveDefaultOptions(&options);
        options.codePage = c.codePage;
        CabArchive* archive = openPath(scratch.path() / "set1.cab", &options);
        ASSERT_NE(archive, nullptr);
        CabArchiveListing listed{};
        listed.size = sizeof listed;
        ASSERT_EQ(cabArchiveListed(archive, 2, 0, &listed), CabArchiveOk);
        EXPECT_STREQ(listed.name, c.name);
        EXPECT_EQ(listed.entry, entryNamed(archive, "d.bin")) << "the entry keeps its first name";
        cabArchiveClose(archive);
    }

    // The same byte under the UTF-8 attribute is no UTF-8 sequence.
    const uint16_t attributes = uint16_t(third.image[record + kRecordAttributes] |
                                         third.image[record + kRecordAttributes + 1] << 8);
    third.image[record + kRecordAttributes] = uint8_t(attributes | CabAttributeNameIsUtf8);
    scratch.save(third);
    CabArchive* archive = openPath(scratch.path() / "set1.cab");
    ASSERT_NE(archive, nullptr);
    CabArchiveListing listed{};
    listed.size = sizeof listed;
    ASSERT_EQ(cabArchiveListed(archive, 2, 0, &listed), CabArchiveOk);
    EXPECT_STREQ(listed.name, "\xEF\xBF\xBD.bin");
    EXPECT_EQ(listed.attributes & CabAttributeNameIsUtf8, CabAttributeNameIsUtf8);
    cabArchiveClose(archive);
}

// A file begun in one cabinet and listed again by the next with another
// size: where the decoder comes to it after crossing, it would decode the
// later size. The cabinets disagree on where the file ends, so it is
// damaged, never handed out with a byte too many or too few.
TEST(ArchiveSets, AContinuedFileListedWithAnotherSizeByTheNextCabinetIsDamaged) {
    const std::vector<cabwriter::File> files = {makeFile("a.txt", 700, 1), makeFile("b.bin", 40000, 2),
                                                makeFile("c.bin", 30000, 3), makeFile("d.txt", 2000, 4)};
    for (const int32_t grown : {0, 1, -1}) {
        SCOPED_TRACE(grown);
        // Blocks of 32 KB split between cabinets: a.txt's block completes
        // in the second cabinet and b.bin's in the third, so the decoder is
        // in the third when it comes to c.bin, listed first in the second.
        auto cabinets = cabwriter::writeCabinetSet({folderOf(Method::Stored, files, 32768)}, 30000);
        ASSERT_EQ(cabinets.size(), 3u);
        Bytes& third = cabinets[2].image;
        const std::string name = "c.bin";
        const auto at = std::search(third.begin(), third.end(), name.begin(), name.end());
        ASSERT_NE(at, third.end());
        constexpr size_t kRecordName = 16;
        const size_t record = size_t(at - third.begin()) - kRecordName;
        ASSERT_EQ(third[record] | third[record + 1] << 8, 30000);
        const uint32_t size = uint32_t(30000 + grown);
        third[record] = uint8_t(size);
        third[record + 1] = uint8_t(size >> 8);

        ScratchDirectory scratch;
        for (const auto& cabinet : cabinets) scratch.save(cabinet);
        CabArchive* archive = openPath(scratch.path() / "set1.cab");
        ASSERT_NE(archive, nullptr);
        ASSERT_EQ(cabArchiveCabinetCount(archive), 3u);
        RecordingSink sink;
        int32_t status = -1;
        const auto outcomes = extractAll(archive, sink, status);
        EXPECT_EQ(outcomes.at("a.txt"), CabOutcomeExtracted);
        EXPECT_EQ(outcomes.at("b.bin"), CabOutcomeExtracted);
        const uint32_t c = entryNamed(archive, "c.bin");
        if (grown == 0) {
            EXPECT_EQ(status, CabArchiveOk);
            EXPECT_EQ(outcomes.at("c.bin"), CabOutcomeExtracted);
            EXPECT_EQ(sink.written[c], text(files[2].data));
        } else {
            EXPECT_EQ(status, CabArchiveIncomplete);
            EXPECT_EQ(outcomes.at("c.bin"), CabOutcomeDamaged);
            const char* reason = nullptr;
            cabArchiveOutcome(archive, c, &reason);
            EXPECT_NE(std::string(reason != nullptr ? reason : "").find("different sizes"), std::string::npos)
                << (reason != nullptr ? reason : "");
            // The file after it is decoded all the same.
            EXPECT_EQ(outcomes.at("d.txt"), CabOutcomeExtracted);
            EXPECT_EQ(sink.written[entryNamed(archive, "d.txt")], text(files[3].data));

            // Salvaging, the file is handed out as decoded, marked so.
            RecordingSink salvaged;
            const CabArchiveSink salvageSink = salvaged.sink();
            CabArchiveExtraction extraction{};
            extraction.sink = &salvageSink;
            extraction.salvage = 1;
            CabArchiveError error{};
            EXPECT_EQ(cabArchiveExtract(archive, &extraction, &error), CabArchiveIncomplete);
            EXPECT_EQ(cabArchiveOutcome(archive, c, nullptr), CabOutcomeSalvaged);
            EXPECT_EQ(salvaged.written[c].substr(0, 30000 + std::min(grown, 0)),
                      text(files[2].data).substr(0, 30000 + std::min(grown, 0)));
        }
        cabArchiveClose(archive);
    }
}

// A member that joined the set when it was opened but was cut short before
// its directory when the decoder crosses into it: the file going on there is
// damaged, named by the cabinet it could not continue into, whether that
// cabinet is the set's last or not. (The archive holds its members open, so
// a member removed after opening is still read whole.)
TEST(ArchiveSets, AJoinedMemberCutShortBeforeExtractionFailsTheFileGoingOnIntoIt) {
    const ThreeCabinetSet set;
    for (const char* lost : {"set2.cab", "set3.cab"}) {
        SCOPED_TRACE(lost);
        ScratchDirectory scratch;
        for (const auto& cabinet : set.cabinets) scratch.save(cabinet);
        CabArchive* archive = openPath(scratch.path() / "set1.cab");
        ASSERT_NE(archive, nullptr);
        ASSERT_EQ(cabArchiveCabinetCount(archive), 3u);
        std::filesystem::resize_file(scratch.path() / lost, 36);  // the header's fixed part only
        RecordingSink sink;
        int32_t status = -1;
        extractAll(archive, sink, status);
        EXPECT_EQ(status, CabArchiveIncomplete);
        std::string reasons;
        for (uint32_t i = 0; i < cabArchiveEntryCount(archive); ++i) {
            const char* reason = nullptr;
            if (cabArchiveOutcome(archive, i, &reason) != CabOutcomeDamaged) continue;
            reasons += std::string(reason != nullptr ? reason : "") + "\n";
        }
        EXPECT_NE(reasons.find("cannot continue into next cabinet '" + (scratch.path() / lost).string() + "'"),
                  std::string::npos)
            << reasons;
        EXPECT_EQ(reasons.find("does not have"), std::string::npos) << reasons;
        cabArchiveClose(archive);
    }
}

// Each folder's second file lies wholly in the part of the folder the next
// cabinet holds, and each cabinet's last folder goes on: the files after
// the first crossing are reached only by crossing from their own folder's
// cabinet, whatever an earlier crossing met.
class FourCabinetChain : public ::testing::Test {
protected:
    void SetUp() override {
        std::vector<cabwriter::Folder> folders;
        for (uint8_t k = 0; k < 4; ++k) {
            cabwriter::File big = makeFile("s" + std::to_string(k) + ".bin", 30000, uint8_t(2 * k + 1));
            cabwriter::File small = makeFile("t" + std::to_string(k) + ".txt", 900, uint8_t(2 * k + 2));
            contents[big.name] = text(big.data);
            contents[small.name] = text(small.data);
            folders.push_back(folderOf(cabwriter::Method::Stored, {big, small}));
        }
        cabinets = cabwriter::writeCabinetSet(folders, 40000);
        ASSERT_EQ(cabinets.size(), 4u);
    }

    // Extracts every entry of the archive opened from `member` and checks
    // each outcome against `damaged` (those expected to fail) and each
    // extracted entry's bytes.
    void extractAndCheck(const char* member, const std::set<std::string>& damaged) {
        SCOPED_TRACE(member);
        for (const auto& cabinet : cabinets) scratch.save(cabinet);
        CabArchive* archive = openPath(scratch.path() / member);
        ASSERT_NE(archive, nullptr);
        ASSERT_EQ(cabArchiveEntryCount(archive), 8u);
        RecordingSink sink;
        int32_t status = -1;
        for (const auto& [name, outcome] : extractAll(archive, sink, status)) {
            EXPECT_EQ(outcome, damaged.count(name) ? CabOutcomeDamaged : CabOutcomeExtracted) << name;
        }
        EXPECT_EQ(status, damaged.empty() ? CabArchiveOk : CabArchiveIncomplete);
        for (uint32_t i = 0; i < 8; ++i) {
            CabArchiveEntry entry{};
            cabArchiveEntry(archive, i, &entry);
            if (damaged.count(entry.name) == 0) {
                EXPECT_TRUE(sink.written[i] == contents[entry.name]) << entry.name;
            }
        }
        cabArchiveClose(archive);
    }

    std::vector<cabwriter::Cabinet> cabinets;
    std::map<std::string, std::string> contents;
    ScratchDirectory scratch;
};

TEST_F(FourCabinetChain, FilesBehindASecondCrossingAreExtractedWhereverTheArchiveIsOpened) {
    for (const char* member : {"set1.cab", "set2.cab", "set4.cab"}) extractAndCheck(member, {});
}

TEST_F(FourCabinetChain, ADamagedFirstCrossingCostsOnlyTheFilesInItsOwnFolder) {
    // Flip a byte of s1.bin where the second cabinet holds it.
    const Bytes s1(contents["s1.bin"].begin(), contents["s1.bin"].end());
    Bytes& image = cabinets[1].image;
    const auto at = std::search(image.begin(), image.end(), s1.begin() + 20000, s1.begin() + 20016);
    ASSERT_NE(at, image.end());
    *at ^= 0x55;
    extractAndCheck("set1.cab", {"s1.bin", "t1.txt"});
}

// A cabinet holding nothing but the middle of one file is crossed through
// by the pass that began the file's folder: a file after it is that pass's
// to reach, or to lose with the damage the crossing met.
TEST(ArchiveSets, AFileAfterOneRunningThroughAWholeCabinetSharesTheFateOfTheCrossing) {
    const cabwriter::File big = makeFile("through.bin", 90000, 3);
    const cabwriter::File small = makeFile("after.txt", 900, 4);
    auto cabinets = cabwriter::writeCabinetSet({folderOf(Method::Stored, {big, small})}, 40000);
    ASSERT_EQ(cabinets.size(), 3u);
    for (const bool damaged : {false, true}) {
        SCOPED_TRACE(damaged ? "middle damaged" : "whole");
        if (damaged) {
            Bytes& middle = cabinets[1].image;
            const auto at = std::search(middle.begin(), middle.end(), big.data.begin() + 60000,
                                        big.data.begin() + 60016);
            ASSERT_NE(at, middle.end());
            *at ^= 0x55;
        }
        ScratchDirectory scratch;
        for (const auto& cabinet : cabinets) scratch.save(cabinet);
        CabArchive* archive = openPath(scratch.path() / "set1.cab");
        ASSERT_NE(archive, nullptr);
        RecordingSink sink;
        int32_t status = -1;
        const auto outcomes = extractAll(archive, sink, status);
        const int32_t expected = damaged ? CabOutcomeDamaged : CabOutcomeExtracted;
        EXPECT_EQ(outcomes.at("through.bin"), expected);
        EXPECT_EQ(outcomes.at("after.txt"), expected);
        const char* reason = nullptr;
        cabArchiveOutcome(archive, entryNamed(archive, "after.txt"), &reason);
        if (damaged) {
            EXPECT_NE(std::string(reason != nullptr ? reason : "").find("set2.cab"), std::string::npos)
                << (reason != nullptr ? reason : "");
        } else {
            EXPECT_TRUE(sink.written[entryNamed(archive, "after.txt")] == text(small.data));
        }
        cabArchiveClose(archive);
    }
}
