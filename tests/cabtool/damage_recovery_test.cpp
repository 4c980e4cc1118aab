// Damaged cabinets and broken sets: every file that can still be read comes
// out byte for byte, and every file that cannot is counted and fails the run.
#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <functional>
#include <set>
#include <string>

#include "cab/cab.h"
#include "tests/cabtool/cabinet_edit.h"
#include "tests/cabtool/test_cabinets.h"
#include "tests/cabtool/tool_runner.h"
#include "tools/cabwriter/cab_writer.h"

using cabtooltest::contains;
using cabtooltest::makeFile;
using cabtooltest::readFile;
using cabtooltest::runCabtool;
using cabtooltest::save;
using cabtooltest::ScratchDirectory;
using cabtooltest::storedFolder;
using cabtooltest::text;
using cabtooltest::ToolResult;
namespace fs = std::filesystem;

namespace {

// Every entry below `root` (files, and temporary files left behind).
std::set<std::string> filesBelow(const fs::path& root) {
    std::set<std::string> found;
    if (!fs::exists(root)) return found;
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
        if (!entry.is_directory()) found.insert(fs::relative(entry.path(), root).string());
    }
    return found;
}

// Compares a file's contents with what was stored, saying where they first
// differ rather than printing both.
testing::AssertionResult holds(const fs::path& path, const cabwriter::File& file) {
    const std::string found = readFile(path);
    const std::string wanted = text(file.data);
    if (found == wanted) return testing::AssertionSuccess();
    size_t at = 0;
    while (at < found.size() && at < wanted.size() && found[at] == wanted[at]) ++at;
    return testing::AssertionFailure() << path << ": " << found.size() << " bytes, "
                                       << wanted.size() << " stored; first difference at " << at;
}

void saveAll(const std::vector<cabwriter::Cabinet>& set, const fs::path& directory) {
    for (const auto& cabinet : set) save(cabinet, directory);
}

}  // namespace

TEST(CabtoolDamage, EntriesReadInFullBeforeADamagedFileListAreListedTestedAndExtracted) {
    ScratchDirectory scratch;
    // Two folders; the last entry's name is long, so that the third entry's
    // name can be made to run 256 bytes without a NUL.
    cabwriter::Folder zipped = storedFolder(
        {makeFile("b.txt", 5000, 2), makeFile(std::string(250, 'd'), 300, 4)}, 32768);
    zipped.method = cabwriter::Method::Mszip;
    const std::vector<cabwriter::Folder> folders = {
        storedFolder({makeFile("a.txt", 1200, 1), makeFile("c.txt", 400, 3)}), zipped};
    // Directory order: a.txt, b.txt, c.txt, the long name.
    auto written = [&] {
        cabwriter::Cabinet cabinet = cabwriter::writeCabinet(folders, {}, "damaged.cab");
        cabtooltest::reorderDirectory(cabinet, {0, 2, 1, 3});
        return cabinet;
    };
    const size_t third = 2;

    struct Damage {
        const char* what;
        std::function<void(cabwriter::Cabinet&)> apply;
    };
    const std::vector<Damage> damages = {
        {"a name without a NUL in 256 bytes",
         [&](cabwriter::Cabinet& c) {
             const size_t name = c.layout.fileOffsets[third] + cabtooltest::kFileName;
             std::fill(c.image.begin() + long(name) + 5,
                       c.image.begin() + long(c.layout.fileOffsets[third + 1] + cabtooltest::kFileName),
                       uint8_t('x'));
         }},
        {"a name running past the end of the file",
         [&](cabwriter::Cabinet& c) {
             cabtooltest::moveFileListToEnd(c);
             c.image.resize(c.layout.fileOffsets[third] + cabtooltest::kFileName + 3);
         }},
        {"a file list cut short",
         [&](cabwriter::Cabinet& c) {
             cabtooltest::moveFileListToEnd(c);
             c.image.resize(c.layout.fileOffsets[third] + 9);
         }},
    };
    for (const Damage& damage : damages) {
        SCOPED_TRACE(damage.what);
        cabwriter::Cabinet cabinet = written();
        damage.apply(cabinet);
        save(cabinet, scratch.path());
        const std::string named =
            "damaged.cab: " + std::string(cabErrorText(DamagedCabinet)) + ": file entry 3 of 4";

        const ToolResult extracted = runCabtool({"extract", "-d", "out", "damaged.cab"}, scratch.path());
        EXPECT_EQ(extracted.exitStatus, 1);
        EXPECT_TRUE(contains(extracted.err, named)) << extracted.err;
        EXPECT_TRUE(contains(extracted.out, "2 files extracted, 6200 bytes, 2 not reached"))
            << extracted.out;
        EXPECT_EQ(filesBelow(scratch.path() / "out"), (std::set<std::string>{"a.txt", "b.txt"}));
        EXPECT_TRUE(holds(scratch.path() / "out/a.txt", folders[0].files[0]));
        EXPECT_TRUE(holds(scratch.path() / "out/b.txt", folders[1].files[0]));
        fs::remove_all(scratch.path() / "out");

        const ToolResult tested = runCabtool({"test", "damaged.cab"}, scratch.path());
        EXPECT_EQ(tested.exitStatus, 1);
        EXPECT_TRUE(contains(tested.err, named)) << tested.err;
        EXPECT_TRUE(contains(tested.out, "OK      a.txt\nOK      b.txt\n")) << tested.out;
        EXPECT_TRUE(contains(tested.out, "2 files good, 0 failed, 2 not reached")) << tested.out;

        const ToolResult listed = runCabtool({"list", "damaged.cab"}, scratch.path());
        EXPECT_EQ(listed.exitStatus, 1);
        EXPECT_TRUE(contains(listed.err, named)) << listed.err;
        EXPECT_TRUE(contains(listed.out, "2 files, 6200 bytes")) << listed.out;
    }
}

TEST(CabtoolDamage, StartedAtALaterCabinetItsOwnFilesSurviveADamagedFirstCabinet) {
    ScratchDirectory scratch;
    // Folder 0 runs from cabinet 1 into cabinet 2 ("span"); folder 1
    // ("own.txt") lies wholly in cabinet 2. Blocks of 1,500 bytes: the cut
    // at 2,000 splits the second block.
    const std::vector<cabwriter::Folder> folders = {
        storedFolder({makeFile("head.txt", 500, 1), makeFile("span.bin", 2500, 2)}, 1500),
        storedFolder({makeFile("own.txt", 800, 3)})};
    const auto plain = cabwriter::writeCabinetSet(folders, 2000, "d%d.cab");
    ASSERT_EQ(plain.size(), 2u);
    cabwriter::Options reserved;
    reserved.reserveFlag = true;
    reserved.cbCFData = 4;
    const auto withReserve = cabwriter::writeCabinetSet(folders, 2000, "d%d.cab", reserved);

    struct Damage {
        const char* what;
        cabwriter::Cabinet first;
        std::string reason;
        std::string summary;
        bool headIntact;
    };
    cabwriter::Cabinet overlong = plain[0];
    cabtooltest::put16(overlong.image, overlong.layout.blockOffsets.back() + 4, 0xFFFF);  // cbData
    // A bad block in "head.txt": the walk stops before "span.bin", which is
    // counted as not reached there, and not again from cabinet 2.
    cabwriter::Cabinet badHead = plain[0];
    badHead.image[badHead.layout.blockOffsets[0] + 8 + 20] ^= 0x01;
    const std::vector<Damage> damages = {
        {"reserve sizes differ", withReserve[0], cabErrorText(ReserveSizeChanged),
         "2 files extracted, 1300 bytes, 1 failed\n", true},
        {"over-long split block", overlong, cabErrorText(DamagedCabinet),
         "2 files extracted, 1300 bytes, 1 failed\n", true},
        {"bad block before the split", badHead, cabErrorText(DamagedCabinet),
         "1 file extracted, 800 bytes, 1 failed, 1 not reached\n", false},
    };
    for (const Damage& damage : damages) {
        SCOPED_TRACE(damage.what);
        save(damage.first, scratch.path());
        save(plain[1], scratch.path());
        const ToolResult r = runCabtool({"extract", "-d", "out", "d2.cab"}, scratch.path());
        EXPECT_EQ(r.exitStatus, 1);
        EXPECT_TRUE(contains(r.err, damage.reason)) << r.err;
        EXPECT_TRUE(contains(r.err, "d2.cab: the walk from the first cabinet of its set failed"))
            << r.err;
        EXPECT_TRUE(holds(scratch.path() / "out/own.txt", folders[1].files[0]));
        if (damage.headIntact) {
            EXPECT_TRUE(holds(scratch.path() / "out/head.txt", folders[0].files[0]));
        } else {
            EXPECT_FALSE(fs::exists(scratch.path() / "out/head.txt"));
        }
        EXPECT_FALSE(fs::exists(scratch.path() / "out/span.bin"));
        // The file lost with cabinet 1 is reported or counted once.
        EXPECT_EQ(r.err.find("span.bin"), r.err.rfind("span.bin")) << r.err;
        EXPECT_TRUE(contains(r.out, damage.summary)) << r.out;
        fs::remove_all(scratch.path() / "out");

        const ToolResult tested = runCabtool({"test", "d2.cab"}, scratch.path());
        EXPECT_EQ(tested.exitStatus, 1);
        EXPECT_TRUE(contains(tested.out, "OK      own.txt")) << tested.out;
    }

    // One walk crossing cabinets 1, 2 and 3 with "long", failing in 3: the
    // walk again from 3 does not report "long" a second time.
    const std::vector<cabwriter::Folder> three = {
        storedFolder({makeFile("head.txt", 200, 4), makeFile("long.bin", 4000, 5)}),
        storedFolder({makeFile("own3.txt", 300, 6)})};
    auto longSet = cabwriter::writeCabinetSet(three, 1500, "l%d.cab");
    ASSERT_EQ(longSet.size(), 3u);
    longSet[2].image[longSet[2].layout.blockOffsets[0] + 8 + 10] ^= 0x01;
    saveAll(longSet, scratch.path());
    const ToolResult r = runCabtool({"extract", "-d", "out3", "l3.cab"}, scratch.path());
    EXPECT_EQ(r.exitStatus, 1);
    EXPECT_TRUE(holds(scratch.path() / "out3/own3.txt", three[1].files[0]));
    EXPECT_EQ(r.err.find("long.bin"), r.err.rfind("long.bin")) << r.err;
    EXPECT_TRUE(contains(r.out, "2 files extracted, 500 bytes, 1 failed\n")) << r.out;
}

// Named beside the first cabinet of its set, a later member the walk from
// the first cannot reach is not "already read": it is tested itself. The
// first cabinet's header cannot be read, or the second belongs to another set.
TEST(CabtoolDamage, ALaterMemberNamedBesideItsFirstIsTestedWhenTheWalkCannotReachIt) {
    const std::vector<cabwriter::Folder> folders = {
        storedFolder({makeFile("head.txt", 200, 4), makeFile("long.bin", 4000, 5)}),
        storedFolder({makeFile("own3.txt", 300, 6)})};
    constexpr size_t kHeaderSetId = 32;
    const std::vector<std::pair<const char*, std::function<void(std::vector<cabwriter::Cabinet>&)>>>
        damages = {
            {"first header cut inside the next cabinet's name",
             [](std::vector<cabwriter::Cabinet>& set) { set[0].image.resize(40); }},
            {"second cabinet of another set",
             [](std::vector<cabwriter::Cabinet>& set) { cabtooltest::put16(set[1].image, kHeaderSetId, 0x5151); }},
        };
    for (const auto& [what, damage] : damages) {
        SCOPED_TRACE(what);
        ScratchDirectory scratch;
        auto set = cabwriter::writeCabinetSet(folders, 1500, "u%d.cab");
        ASSERT_EQ(set.size(), 3u);
        damage(set);
        saveAll(set, scratch.path());

        const ToolResult r = runCabtool({"test", "u1.cab", "u3.cab"}, scratch.path());
        EXPECT_EQ(r.exitStatus, 1);
        EXPECT_TRUE(contains(r.out, "OK      own3.txt")) << r.out << r.err;
        EXPECT_FALSE(contains(r.err, "already read")) << r.err;
    }
}

TEST(CabtoolDamage, FilesContinuedFromAnUnreadableCabinetFailTheRunEvenQuietly) {
    ScratchDirectory scratch;
    // "b.bin" runs from cabinet 1 through 2 into 3; "e.txt" is cabinet 3's own.
    const std::vector<cabwriter::Folder> folders = {
        storedFolder({makeFile("a.bin", 1500, 1), makeFile("b.bin", 2000, 2)}),
        storedFolder({makeFile("e.txt", 400, 3)})};
    const auto set = cabwriter::writeCabinetSet(folders, 1500, "t%d.cab");
    ASSERT_EQ(set.size(), 3u);
    save(set[0], scratch.path());
    save(set[2], scratch.path());  // the second is missing
    // A set of two whose first cabinet belongs to another set.
    cabwriter::Options otherSet;
    otherSet.setId = 77;
    const std::vector<cabwriter::Folder> pair = {
        storedFolder({makeFile("c.bin", 3000, 4)}), storedFolder({makeFile("f.txt", 400, 5)})};
    save(cabwriter::writeCabinetSet(pair, 2000, "o%d.cab", otherSet)[0], scratch.path());
    save(cabwriter::writeCabinetSet(pair, 2000, "o%d.cab")[1], scratch.path());

    struct Case {
        std::string start, continued, own;
    };
    for (const Case& c : {Case{"t3.cab", "b.bin", "e.txt"}, Case{"o2.cab", "c.bin", "f.txt"}}) {
        SCOPED_TRACE(c.start);
        const ToolResult extracted = runCabtool({"extract", "-d", "out", c.start}, scratch.path());
        EXPECT_EQ(extracted.exitStatus, 1);
        EXPECT_TRUE(contains(extracted.err, c.start + ": " + c.continued + ": not extracted"))
            << extracted.err;
        EXPECT_TRUE(contains(extracted.out, "1 file extracted, 400 bytes, 1 failed")) << extracted.out;
        EXPECT_EQ(filesBelow(scratch.path() / "out"), std::set<std::string>{c.own});

        const ToolResult quiet = runCabtool({"extract", "-q", "-d", "out", c.start}, scratch.path());
        EXPECT_EQ(quiet.exitStatus, 1);
        EXPECT_TRUE(contains(quiet.err, c.continued + ": not extracted")) << quiet.err;
        fs::remove_all(scratch.path() / "out");

        const ToolResult tested = runCabtool({"test", c.start}, scratch.path());
        EXPECT_EQ(tested.exitStatus, 1);
        EXPECT_TRUE(contains(tested.out, "1 file good, 1 failed")) << tested.out;
        const ToolResult quietTest = runCabtool({"test", "-q", c.start}, scratch.path());
        EXPECT_EQ(quietTest.exitStatus, 1);
        EXPECT_TRUE(contains(quietTest.err, c.continued)) << quietTest.err;
    }
}

TEST(CabtoolDamage, FilesAfterTheFailureInTheirCabinetAreCountedAsNotReached) {
    ScratchDirectory scratch;
    cabwriter::Cabinet cabinet = cabwriter::writeCabinet(
        {storedFolder({makeFile("fine.txt", 100, 1), makeFile("victim.bin", 5000, 2),
                       makeFile("after.bin", 500, 3)})},
        {}, "broken.cab");
    cabinet.image[cabinet.layout.blockOffsets[3] + 8] ^= 0x01;  // inside victim.bin
    save(cabinet, scratch.path());

    const ToolResult extracted = runCabtool({"extract", "-d", "out", "broken.cab"}, scratch.path());
    EXPECT_EQ(extracted.exitStatus, 1);
    EXPECT_TRUE(contains(extracted.out, "1 file extracted, 100 bytes, 1 failed, 1 not reached\n"))
        << extracted.out;
    const ToolResult tested = runCabtool({"test", "broken.cab"}, scratch.path());
    EXPECT_EQ(tested.exitStatus, 1);
    EXPECT_TRUE(contains(tested.out, "1 file good, 1 failed, 1 not reached\n"))
        << tested.out;
}

TEST(CabtoolDamage, FilesTheFilterLeavesOutAreNeverCountedAsNotReached) {
    ScratchDirectory scratch;
    cabwriter::Cabinet cabinet = cabwriter::writeCabinet(
        {storedFolder({makeFile("fine.txt", 100, 1), makeFile("victim.bin", 5000, 2),
                       makeFile("after.bin", 500, 3), makeFile("later.txt", 300, 4)})},
        {}, "broken.cab");
    cabinet.image[cabinet.layout.blockOffsets[3] + 8] ^= 0x01;  // inside victim.bin
    save(cabinet, scratch.path());

    // Only the damaged file chosen: the files after it were never asked for.
    const ToolResult alone = runCabtool({"test", "-f", "victim.bin", "broken.cab"}, scratch.path());
    EXPECT_EQ(alone.exitStatus, 1);
    EXPECT_TRUE(contains(alone.out, "0 files good, 1 failed\n")) << alone.out;
    const ToolResult extracted =
        runCabtool({"extract", "-f", "victim.bin", "-d", "out", "broken.cab"}, scratch.path());
    EXPECT_EQ(extracted.exitStatus, 1);
    EXPECT_TRUE(contains(extracted.out, "0 files extracted, 0 bytes, 1 failed\n")) << extracted.out;

    // A chosen file after the failure is still counted, the others are not.
    const ToolResult texts = runCabtool({"test", "-f", "*.txt", "-f", "victim.bin", "broken.cab"},
                                        scratch.path());
    EXPECT_EQ(texts.exitStatus, 1);
    EXPECT_TRUE(contains(texts.out, "1 file good, 1 failed, 1 not reached\n")) << texts.out;
}

TEST(CabtoolDamage, FilesGoingOnThatTheCrossingHandsOutAreCountedOnlyWhenNeverHandedOut) {
    ScratchDirectory scratch;
    // Blocks of 1,000, cabinets of 1,500: block 2 (1,000-2,000) is split.
    // "a" lies in its first piece, "b" crosses the cut, "c" begins in its
    // second piece: cabinet 1 lists all three as going on, and the decoder,
    // crossing with "a", hands out "b" and "c" from cabinet 2.
    const std::vector<cabwriter::Folder> folders = {storedFolder(
        {makeFile("x", 1000, 1), makeFile("a", 200, 2), makeFile("b", 500, 3), makeFile("c", 800, 4)})};
    const auto set = cabwriter::writeCabinetSet(folders, 1500, "g%d.cab");
    ASSERT_EQ(set.size(), 2u);
    ASSERT_EQ(set[1].layout.blockOffsets.size(), 2u);

    // Damage in "c"'s last block: "b" and "c" were handed out, "c" failed.
    auto lateDamage = set;
    lateDamage[1].image[lateDamage[1].layout.blockOffsets[1] + 8 + 100] ^= 0x01;
    saveAll(lateDamage, scratch.path());
    const ToolResult late = runCabtool({"extract", "-d", "late", "g1.cab"}, scratch.path());
    EXPECT_EQ(late.exitStatus, 1);
    EXPECT_TRUE(contains(late.out, "3 files extracted, 1700 bytes, 1 failed\n")) << late.out;
    EXPECT_TRUE(holds(scratch.path() / "late/b", folders[0].files[2]));

    // Damage in the second piece of block 2: "a" fails while crossing, and
    // "b" and "c" are never handed out.
    auto earlyDamage = set;
    earlyDamage[1].image[earlyDamage[1].layout.blockOffsets[0] + 8 + 10] ^= 0x01;
    saveAll(earlyDamage, scratch.path());
    const ToolResult early = runCabtool({"test", "g1.cab"}, scratch.path());
    EXPECT_EQ(early.exitStatus, 1);
    EXPECT_TRUE(contains(early.out, "1 file good, 1 failed, 2 not reached")) << early.out;
}

TEST(CabtoolDamage, ContinuedFileNamedOtherwiseInTheNextCabinetIsNotReportedLost) {
    ScratchDirectory scratch;
    const std::vector<cabwriter::Folder> folders = {
        storedFolder({makeFile("x", 50, 1), makeFile("span", 3000, 2)})};
    auto set = cabwriter::writeCabinetSet(folders, 2000, "r%d.cab");
    ASSERT_EQ(set.size(), 2u);
    // Cabinet 2 lists the continued file as "SPAN": the crossing alone
    // accounts for it.
    const size_t name = set[1].layout.fileOffsets[0] + cabtooltest::kFileName;
    ASSERT_EQ(std::string(set[1].image.begin() + long(name), set[1].image.begin() + long(name) + 4), "span");
    std::copy_n("SPAN", 4, set[1].image.begin() + long(name));
    saveAll(set, scratch.path());

    const ToolResult tested = runCabtool({"test", "r1.cab"}, scratch.path());
    EXPECT_EQ(tested.exitStatus, 0) << tested.err;
    EXPECT_TRUE(contains(tested.out, "2 files tested, all good")) << tested.out;
}

TEST(CabtoolDamage, FileOfAFolderContinuedFromTheCabinetBeforeIsNeverDecodedFromHere) {
    ScratchDirectory scratch;
    // "second" goes on from cabinet 1 into 2. Cabinet 2 is edited to list
    // only "third", as a file of folder 0 starting at offset 0: nothing in it
    // says its folder 0 continues, but the crossing from cabinet 1 does.
    const std::vector<cabwriter::Folder> folders = {storedFolder(
        {makeFile("first", 300, 1), makeFile("second", 2500, 2), makeFile("third", 1000, 3)})};
    cabwriter::Options keepsIndex;
    keepsIndex.continuedFolderKeepsIndex = true;
    auto set = cabwriter::writeCabinetSet(folders, 2000, "p%d.cab", keepsIndex);
    ASSERT_EQ(set.size(), 2u);
    ASSERT_EQ(set[1].layout.fileOffsets.size(), 2u);
    cabtooltest::reorderDirectory(set[1], {1, 0});
    cabtooltest::put16(set[1].image, cabtooltest::kHeaderFileCount, 1);
    cabtooltest::put32(set[1].image, set[1].layout.fileOffsets[0] + cabtooltest::kFileFolderStart, 0);
    saveAll(set, scratch.path());

    const ToolResult r = runCabtool({"extract", "-d", "out", "p1.cab"}, scratch.path());
    EXPECT_EQ(r.exitStatus, 1);
    EXPECT_TRUE(contains(r.err, "p2.cab: third: cannot be extracted")) << r.err;
    EXPECT_TRUE(holds(scratch.path() / "out/second", folders[0].files[1]));
    EXPECT_FALSE(fs::exists(scratch.path() / "out/third")) << "decoded from the wrong place";
}

TEST(CabtoolDamage, ALaterCabinetWithOtherRecordReservesIsRefusedBeforeItsFilesAreCounted) {
    ScratchDirectory scratch;
    // A set of two whose files all lie in one cabinet each: the walk reaches
    // the second by its name alone, and its folder and data records carry
    // reserve bytes that the first cabinet's do not.
    cabwriter::Options first;
    first.setId = 9;
    first.nextCabinet = "r2.cab";
    cabwriter::Options second;
    second.setId = 9;
    second.firstIndex = 1;
    second.previousCabinet = "r1.cab";
    second.reserveFlag = true;
    second.cbCFData = 4;
    save(cabwriter::writeCabinet({storedFolder({makeFile("a.txt", 700, 1)})}, first, "r1.cab"),
         scratch.path());
    save(cabwriter::writeCabinet({storedFolder({makeFile("b.txt", 900, 2)})}, second, "r2.cab"),
         scratch.path());

    const ToolResult r = runCabtool({"extract", "-d", "out", "r1.cab"}, scratch.path());
    EXPECT_EQ(r.exitStatus, 1);
    EXPECT_TRUE(contains(r.err, "r2.cab: " + std::string(cabErrorText(ReserveSizeChanged)))) << r.err;
    EXPECT_TRUE(contains(r.out, "1 file extracted, 700 bytes\n")) << r.out;
    EXPECT_EQ(filesBelow(scratch.path() / "out"), std::set<std::string>{"a.txt"});
}

TEST(CabtoolDamage, ListingSaysWhyACabinetWasNotTakenAndStartsAgainAtTheCabinetNamed) {
    ScratchDirectory scratch;
    // Folder 0 runs from cabinet 1 into 2 ("span.bin"), folder 2 from 2
    // into 3 ("tail.txt").
    const std::vector<cabwriter::Folder> folders = {
        storedFolder({makeFile("head.txt", 500, 1), makeFile("span.bin", 2500, 2)}, 1500),
        storedFolder({makeFile("own.txt", 800, 3)}), storedFolder({makeFile("tail.txt", 900, 4)})};
    const auto set = cabwriter::writeCabinetSet(folders, 2000, "s%d.cab");
    ASSERT_EQ(set.size(), 3u);

    // A member of another version: named with the version it declares.
    auto versioned = set;
    cabtooltest::put16(versioned[1].image, 24, 0x0102);
    saveAll(versioned, scratch.path());
    const ToolResult version = runCabtool({"list", "s1.cab"}, scratch.path());
    EXPECT_EQ(version.exitStatus, 1);
    EXPECT_TRUE(contains(version.err, "s2.cab: unsupported cabinet version (version 1.2)")) << version.err;

    // Record reserves that differ from the first cabinet's end the walk
    // there; listed from cabinet 2, the walk starts again at it, and the
    // file begun in cabinet 1 is listed once.
    cabwriter::Options reserved;
    reserved.reserveFlag = true;
    reserved.cbCFData = 4;
    saveAll(set, scratch.path());
    save(cabwriter::writeCabinetSet(folders, 2000, "s%d.cab", reserved)[0], scratch.path());
    const ToolResult again = runCabtool({"list", "s2.cab"}, scratch.path());
    EXPECT_EQ(again.exitStatus, 1);
    EXPECT_TRUE(contains(again.err, "s2.cab: the cabinet's reserve sizes differ from the first cabinet's\n"
                                    "cabtool: s2.cab: the walk from the first cabinet of its set failed"))
        << again.err;
    EXPECT_TRUE(contains(again.out, "  own.txt\n")) << again.out;
    EXPECT_EQ(again.out.find("span.bin"), again.out.rfind("span.bin")) << again.out;
    EXPECT_TRUE(contains(again.out, "4 files, 4700 bytes\n")) << again.out;

    // Listed from cabinet 3 after cabinet 1 failed: the file begun in
    // cabinet 2, which no walk read, is listed as continued from it.
    const ToolResult third = runCabtool({"list", "s3.cab"}, scratch.path());
    EXPECT_EQ(third.exitStatus, 1);
    EXPECT_TRUE(contains(third.out, "  tail.txt  (continued from s2.cab)\n")) << third.out;
}

TEST(CabtoolDamage, TestingStopsWhereTheDataCannotGoOnIntoTheNextCabinetAndCountsTheFilesBeyond) {
    ScratchDirectory scratch;
    // Blocks of 1000 cut at 1700: the split block holds the end of "a", all
    // of "b" and the start of "c", so all three go on into p2.cab.
    const std::vector<cabwriter::Folder> folders = {
        storedFolder({makeFile("head.txt", 500, 1), makeFile("a", 1000, 2), makeFile("b", 300, 3),
                      makeFile("c", 2000, 4)},
                     1000)};
    const auto set = cabwriter::writeCabinetSet(folders, 1700, "p%d.cab");
    ASSERT_GE(set.size(), 2u);
    save(set[0], scratch.path());
    const std::string next = (scratch.path() / "p2.cab").string();

    // The first file going on is decoded up to the crossing and fails there;
    // the others going on are never reached.
    const ToolResult missing = runCabtool({"test", "p1.cab"}, scratch.path());
    EXPECT_EQ(missing.exitStatus, 1);
    EXPECT_EQ(missing.out, "OK      head.txt\nFAILED  a\n1 file good, 1 failed, 2 not reached\n");
    EXPECT_EQ(
        missing.err,
        "cabtool: p1.cab: cannot continue into next cabinet 'p2.cab': No such file or directory\n");

    const ToolResult quiet = runCabtool({"test", "-q", "p1.cab"}, scratch.path());
    EXPECT_EQ(quiet.exitStatus, 1);
    EXPECT_EQ(quiet.out, "");
    EXPECT_TRUE(contains(quiet.err, "cabtool: p1.cab: a: failed the test\n")) << quiet.err;

    // Not chosen, "a" still leads the walk to the crossing; "c" is counted.
    const ToolResult chosen = runCabtool({"test", "-f", "c", "p1.cab"}, scratch.path());
    EXPECT_EQ(chosen.exitStatus, 1);
    EXPECT_EQ(chosen.out, "0 files good, 0 failed, 1 not reached\n");
    EXPECT_TRUE(contains(chosen.err, "cannot continue into next cabinet 'p2.cab'")) << chosen.err;

    // A next cabinet that is no cabinet: the decoder's own reason.
    std::ofstream(next) << "not a cabinet at all, just some text";
    const ToolResult garbage = runCabtool({"test", "p1.cab"}, scratch.path());
    EXPECT_EQ(garbage.exitStatus, 1);
    EXPECT_EQ(garbage.err, "cabtool: p1.cab: cannot continue into next cabinet 'p2.cab': " +
                               std::string(cabErrorText(CabErrBadSignature)) + "\n");
}

TEST(CabtoolDamage, AFileDecodedOnAcrossSeveralCabinetsFailsTheTestWhenItsDataIsDamagedThere) {
    ScratchDirectory scratch;
    // "b" goes on from p1 into p2; "c" begins in p2's part of the continued
    // folder and goes on into p3, so the walk from p1 decodes it after
    // crossing. A data block of p3 is damaged.
    const std::vector<cabwriter::Folder> folders = {
        storedFolder({makeFile("a", 200, 1), makeFile("b", 2500, 2), makeFile("c", 2500, 3),
                      makeFile("d", 300, 4)},
                     1000)};
    auto set = cabwriter::writeCabinetSet(folders, 2000, "q%d.cab");
    ASSERT_EQ(set.size(), 3u);
    auto& last = set[2];
    ASSERT_FALSE(last.layout.blockOffsets.empty());
    last.image[last.layout.blockOffsets[0] + 8 + 100] ^=
        0x55;  // past the header of its first block
    saveAll(set, scratch.path());

    const ToolResult r = runCabtool({"test", "q1.cab"}, scratch.path());
    EXPECT_EQ(r.exitStatus, 1) << r.out << r.err;
    EXPECT_TRUE(contains(r.out, "FAILED  c\n")) << r.out;
    EXPECT_TRUE(contains(r.out, "2 files good, 1 failed\n")) << r.out;
    EXPECT_TRUE(contains(
        r.err, "q3.cab: the cabinet is damaged: checksum mismatch in data block 0 of folder 0"))
        << r.err;
}

TEST(CabtoolDamage, FilesContinuedFromAFirstCabinetThatIsNoCabinetAreReportedWhenStartedLater) {
    ScratchDirectory scratch;
    const std::vector<cabwriter::Folder> folders = {
        storedFolder({makeFile("head.txt", 200, 1), makeFile("span.bin", 3000, 2)})};
    auto set = cabwriter::writeCabinetSet(folders, 2000, "u%d.cab");
    ASSERT_EQ(set.size(), 2u);
    // The first cabinet claims reserve fields it does not have: its header
    // runs on into its set names, and no walk can start there.
    set[0].image[30] |= 0x04;
    saveAll(set, scratch.path());

    const ToolResult r = runCabtool({"test", "-q", "u2.cab"}, scratch.path());
    EXPECT_EQ(r.exitStatus, 1);
    EXPECT_TRUE(contains(
        r.err, "u2.cab: the walk from the first cabinet of its set failed; starting again here"))
        << r.err;
    EXPECT_TRUE(contains(
        r.err, "u2.cab: span.bin: not tested: it is continued from the earlier cabinet 'u1.cab'"))
        << r.err;
    EXPECT_TRUE(contains(r.err, "u2.cab: span.bin: failed the test")) << r.err;
}

TEST(CabtoolDamage, AFileContinuedThroughSeveralCabinetsOfASetWithoutItsFirstIsCountedOnce) {
    ScratchDirectory scratch;
    // "b" goes on from v1 into v2, "c" from v2 into v3; v1 is missing.
    const std::vector<cabwriter::Folder> folders = {
        storedFolder({makeFile("a", 200, 1), makeFile("b", 2500, 2), makeFile("c", 2500, 3),
                      makeFile("d", 300, 4)},
                     1000)};
    auto set = cabwriter::writeCabinetSet(folders, 2000, "v%d.cab");
    ASSERT_EQ(set.size(), 3u);
    save(set[1], scratch.path());
    save(set[2], scratch.path());

    // v2 lists "c" as continued from v1 and going on into v3, which lists
    // it again: one file, failed once.
    const ToolResult r = runCabtool({"test", "v2.cab"}, scratch.path());
    EXPECT_EQ(r.exitStatus, 1);
    EXPECT_EQ(r.out, "FAILED  b\nFAILED  c\nFAILED  d\n0 files good, 3 failed\n");
    EXPECT_TRUE(
        contains(r.err, "v2.cab: c: not tested: it is continued from the earlier cabinet 'v1.cab'"))
        << r.err;
}

TEST(CabtoolDamage, AFileKeptBeyondACabinetWithADamagedFileListIsStillToldAndCounted) {
    ScratchDirectory scratch;
    // One folder over three cabinets: "b" runs from the first through the
    // second into the third, where "c" follows it. The second cabinet's
    // file list is cut short after its one entry, so the walk stops there
    // after the crossing has handed out "c".
    const std::vector<cabwriter::File> files = {makeFile("a", 700, 1), makeFile("b", 3500, 2),
                                                makeFile("c", 500, 3)};
    auto set = cabwriter::writeCabinetSet({storedFolder(files)}, 2000, "m%d.cab");
    ASSERT_EQ(set.size(), 3u);
    cabtooltest::moveFileListToEnd(set[1]);
    cabtooltest::put16(set[1].image, cabtooltest::kHeaderFileCount, 2);
    saveAll(set, scratch.path());

    const ToolResult fresh = runCabtool({"extract", "-d", "out", "m1.cab"}, scratch.path());
    EXPECT_EQ(fresh.exitStatus, 1);
    EXPECT_TRUE(contains(fresh.out, "extracted  c\n")) << fresh.out;
    EXPECT_TRUE(contains(fresh.out, "3 files extracted, 4700 bytes, 1 not reached")) << fresh.out;
    EXPECT_TRUE(holds(scratch.path() / "out/c", files[2]));

    // Every name is taken now: each file the walk came to is said to be
    // kept and counted, "c" too.
    const ToolResult kept = runCabtool({"extract", "-k", "-d", "out", "m1.cab"}, scratch.path());
    EXPECT_EQ(kept.exitStatus, 1);
    EXPECT_TRUE(contains(kept.err, "m3.cab: c: exists; kept")) << kept.err;
    EXPECT_TRUE(contains(kept.out, "0 files extracted, 0 bytes, 3 kept, 1 not reached")) << kept.out;
}

TEST(CabtoolDamage, AFileExtractedIsNotCountedLostWhenTheNextCabinetListsItUnpaired) {
    ScratchDirectory scratch;
    // Blocks of 2500 bytes cut every 2000: the first block, split between
    // the first two cabinets, holds "s.txt" and the start of "f.bin", which
    // runs through the second cabinet into the third. The entry of "s.txt"
    // in the first cabinet names a folder that does not exist: the second
    // cabinet then lists one continued file more than go on into it.
    const std::vector<cabwriter::File> files = {makeFile("s.txt", 300, 1), makeFile("f.bin", 3000, 2),
                                                makeFile("g.bin", 2000, 3)};
    auto set = cabwriter::writeCabinetSet({storedFolder(files, 2500)}, 2000, "u%d.cab");
    ASSERT_EQ(set.size(), 3u);
    cabtooltest::put16(set[0].image, set[0].layout.fileOffsets[0] + cabtooltest::kFileFolderIndex, 0x1234);
    saveAll(set, scratch.path());

    const ToolResult r = runCabtool({"extract", "-d", "out", "u1.cab"}, scratch.path());
    EXPECT_EQ(r.exitStatus, 1);
    EXPECT_TRUE(contains(r.err, "u1.cab: s.txt: ")) << r.err;
    EXPECT_TRUE(holds(scratch.path() / "out/f.bin", files[1]));
    // f.bin came out whole: no cabinet may report it lost as well.
    EXPECT_FALSE(contains(r.err, "f.bin")) << r.err;
    EXPECT_TRUE(contains(r.out, "2 files extracted, 5000 bytes, 1 failed\n")) << r.out;
}

TEST(CabtoolDamage, AFileThatCouldNotCrossIsNotCountedAgainByAWalkStartedLater) {
    ScratchDirectory scratch;
    // "f.bin" runs from the first cabinet through the second into the
    // third; the first cabinet names its next one wrongly, so a walk from
    // it cannot cross, and one started again at the third meets "f.bin"
    // continued there.
    const std::vector<cabwriter::File> files = {makeFile("a.txt", 500, 1), makeFile("f.bin", 5000, 2),
                                                makeFile("g.txt", 300, 3)};
    auto set = cabwriter::writeCabinetSet({storedFolder(files, 1000)}, 2000, "w%d.cab");
    ASSERT_EQ(set.size(), 3u);
    const std::string next = "w2.cab";
    const auto at = std::search(set[0].image.begin(), set[0].image.end(), next.begin(), next.end());
    ASSERT_NE(at, set[0].image.end());
    *(at + 4) = 'X';  // "w2.cXb"
    saveAll(set, scratch.path());

    const ToolResult r = runCabtool({"extract", "-d", "out", "w3.cab"}, scratch.path());
    EXPECT_EQ(r.exitStatus, 1);
    EXPECT_TRUE(contains(r.err, "w1.cab: f.bin: not extracted")) << r.err;
    EXPECT_FALSE(contains(r.err, "w3.cab: f.bin")) << r.err << r.out;
}
