// cabtool as its users run it: list, test and extract over single cabinets
// and sets, with damaged, hostile and incomplete input.
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <ctime>
#include <set>
#include <string>

#include "cab/cab.h"
#include "tests/cabtool/cabinet_edit.h"
#include "tests/cabtool/test_cabinets.h"
#include "tests/cabtool/tool_runner.h"
#include "tools/cabwriter/cab_writer.h"

using cabtooltest::contains;
using cabtooltest::readFile;
using cabtooltest::runCabtool;
using cabtooltest::ScratchDirectory;
using cabtooltest::ToolResult;
using cabtooltest::makeFile;
using cabtooltest::save;
using cabtooltest::storedFolder;
using cabtooltest::text;
namespace fs = std::filesystem;

namespace {

// Every regular file below `root`, as paths relative to it.
std::set<std::string> filesBelow(const fs::path& root) {
    std::set<std::string> found;
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
        if (entry.is_regular_file()) found.insert(fs::relative(entry.path(), root).string());
    }
    return found;
}

std::time_t localTime(int year, int month, int day, int hour, int minute, int second) {
    std::tm tm{};
    tm.tm_year = year - 1900;
    tm.tm_mon = month - 1;
    tm.tm_mday = day;
    tm.tm_hour = hour;
    tm.tm_min = minute;
    tm.tm_sec = second;
    tm.tm_isdst = -1;
    return std::mktime(&tm);
}

}  // namespace

TEST(Cabtool, WholeSetIsExtractedTestedAndListedFromItsFirstCabinet) {
    ScratchDirectory scratch;
    cabwriter::File data = makeFile("sub\\dir\\data.bin", 2500, 2, 0x21);  // read-only
    data.date = cabwriter::dosDate(2021, 3, 4);
    data.time = cabwriter::dosTime(5, 6, 8);
    // Cabinets of 2000 data bytes: data.bin goes on into cabinet 2, big.bin
    // (same folder) from 2 through 3 into 4, tail.txt (MSZIP) into the last.
    std::vector<cabwriter::Folder> folders = {
        storedFolder({makeFile("readme.txt", 300, 1), data, makeFile("big.bin", 5000, 3)}),
        storedFolder({makeFile("tail.txt", 700, 4)})};
    folders[1].method = cabwriter::Method::Mszip;
    // The headers name the cabinets in capitals; on disk they are lower case.
    auto set = cabwriter::writeCabinetSet(folders, 2000, "DISK%d.CAB");
    ASSERT_GE(set.size(), 4u);
    for (auto& cabinet : set) {
        std::transform(cabinet.name.begin(), cabinet.name.end(), cabinet.name.begin(), ::tolower);
        save(cabinet, scratch.path());
    }

    const ToolResult extracted = runCabtool({"extract", "-d", "out", "disk1.cab"}, scratch.path());
    EXPECT_EQ(extracted.exitStatus, 0) << extracted.err;
    const fs::path out = scratch.path() / "out";
    for (const auto& folder : folders) {
        for (const auto& file : folder.files) {
            std::string path = file.name;
            std::replace(path.begin(), path.end(), '\\', '/');
            EXPECT_EQ(readFile(out / path), text(file.data)) << path;
        }
    }
    EXPECT_EQ(filesBelow(out).size(), 4u);
    struct stat status {};
    ASSERT_EQ(stat((out / "sub/dir/data.bin").c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 0222, 0u) << "read-only attribute not applied";
    EXPECT_EQ(status.st_mtime, localTime(2021, 3, 4, 5, 6, 8));
    ASSERT_EQ(stat((out / "readme.txt").c_str(), &status), 0);
    EXPECT_NE(status.st_mode & S_IWUSR, 0u);

    const ToolResult tested = runCabtool({"test", "disk1.cab"}, scratch.path());
    EXPECT_EQ(tested.exitStatus, 0) << tested.err;
    EXPECT_TRUE(contains(tested.out, "4 files tested, all good")) << tested.out;

    const ToolResult listed = runCabtool({"list", "disk1.cab"}, scratch.path());
    EXPECT_EQ(listed.exitStatus, 0) << listed.err;
    EXPECT_TRUE(contains(listed.out, "4 files, 8500 bytes")) << listed.out;
    for (const char* name : {"readme.txt", "sub/dir/data.bin", "big.bin", "tail.txt"}) {
        const size_t first = listed.out.find(name);
        EXPECT_NE(first, std::string::npos) << name;
        EXPECT_EQ(listed.out.find(name, first + 1), std::string::npos) << name << " listed twice";
    }
}

TEST(Cabtool, ListShowsSizeDateTimeAttributesAndName) {
    ScratchDirectory scratch;
    cabwriter::File plain = makeFile("notes\\a.txt", 12, 5, 0x21);
    cabwriter::File special = makeFile("setup.exe", 3000, 6, 0x46);
    special.date = cabwriter::dosDate(1999, 12, 31);
    special.time = cabwriter::dosTime(23, 59, 58);
    save(cabwriter::writeCabinet({storedFolder({plain, special})}, {}, "two.cab"), scratch.path());

    const ToolResult r = runCabtool({"list", "two.cab"}, scratch.path());
    EXPECT_EQ(r.exitStatus, 0) << r.err;
    EXPECT_TRUE(contains(r.out, "        12  2006-09-01 22:39:48  r--a-  notes/a.txt\n")) << r.out;
    EXPECT_TRUE(contains(r.out, "      3000  1999-12-31 23:59:58  -hs-x  setup.exe\n")) << r.out;
    EXPECT_TRUE(contains(r.out, "\n2 files, 3012 bytes\n")) << r.out;
}

TEST(Cabtool, TestReportsDamagedMissingAndForeignCabinetsByName) {
    ScratchDirectory scratch;
    cabwriter::Cabinet cabinet =
        cabwriter::writeCabinet({storedFolder({makeFile("x.bin", 3000, 7)})}, {}, "damaged.cab");
    cabinet.image[cabinet.layout.blockOffsets[1] + 8 + 5] ^= 0x10;  // one data byte of block 2
    save(cabinet, scratch.path());
    cabtooltest::writeFile(scratch.path() / "plain.txt", "no cabinet here, just some words");

    const ToolResult damaged = runCabtool({"test", "damaged.cab"}, scratch.path());
    EXPECT_EQ(damaged.exitStatus, 1);
    EXPECT_TRUE(contains(damaged.err, "damaged.cab: " + std::string(cabErrorText(DamagedCabinet))))
        << damaged.err;
    EXPECT_TRUE(contains(damaged.out, "FAILED  x.bin")) << damaged.out;

    const ToolResult missing = runCabtool({"test", "nothing.cab"}, scratch.path());
    EXPECT_EQ(missing.exitStatus, 2);
    EXPECT_TRUE(contains(missing.err, "nothing.cab: cannot open: No such file")) << missing.err;

    const ToolResult foreign = runCabtool({"list", "plain.txt"}, scratch.path());
    EXPECT_EQ(foreign.exitStatus, 1);
    EXPECT_TRUE(contains(foreign.err, "plain.txt: not a cabinet file")) << foreign.err;
}

TEST(Cabtool, HostileNamesAreRefusedWhileTheOtherFilesExtract) {
    ScratchDirectory scratch;
    const std::vector<std::string> hostile = {"..\\escape.txt", "/abs.txt", "C:\\drive.txt",
                                              "sub/../../up.txt", "\\rooted.txt"};
    std::vector<cabwriter::File> files = {makeFile("good.txt", 40, 8)};
    for (const auto& name : hostile) files.push_back(makeFile(name, 30, 9));
    files.push_back(makeFile("deep\\ok.txt", 50, 10));
    save(cabwriter::writeCabinet({storedFolder(files)}, {}, "hostile.cab"), scratch.path());
    fs::create_directory(scratch.path() / "work");

    const ToolResult r = runCabtool({"extract", "-d", "out", "../hostile.cab"}, scratch.path() / "work");
    EXPECT_EQ(r.exitStatus, 1);
    for (const auto& name : hostile) {
        std::string shown = name;  // printed with '/' between directories
        std::replace(shown.begin(), shown.end(), '\\', '/');
        EXPECT_TRUE(contains(r.err, "hostile.cab: " + shown + ": refused")) << name << "\n" << r.err;
    }
    const std::set<std::string> expected = {"hostile.cab", "work/out/good.txt", "work/out/deep/ok.txt"};
    EXPECT_EQ(filesBelow(scratch.path()), expected);
    EXPECT_FALSE(fs::exists("/abs.txt"));

    // A refused file that goes on into the next cabinet: the files after it
    // in the continued folder are still extracted from that cabinet.
    const std::vector<cabwriter::Folder> folders = {storedFolder(
        {makeFile("..\\spans.bin", 2500, 11), makeFile("after.txt", 400, 12)})};
    for (const auto& cabinet : cabwriter::writeCabinetSet(folders, 2000, "h%d.cab")) {
        save(cabinet, scratch.path());
    }
    const ToolResult set = runCabtool({"extract", "-d", "out2", "h1.cab"}, scratch.path());
    EXPECT_EQ(set.exitStatus, 1);
    EXPECT_TRUE(contains(set.err, "h1.cab: ../spans.bin: refused")) << set.err;
    EXPECT_EQ(filesBelow(scratch.path() / "out2"), std::set<std::string>{"after.txt"});
    EXPECT_EQ(readFile(scratch.path() / "out2/after.txt"), text(folders[0].files[1].data));
    EXPECT_FALSE(fs::exists(scratch.path() / "spans.bin"));
}

TEST(Cabtool, MissingOrWrongNextCabinetEndsWithMessageNamingIt) {
    ScratchDirectory scratch;
    const std::vector<cabwriter::Folder> folders = {
        storedFolder({makeFile("head.txt", 200, 11), makeFile("span.bin", 3000, 12)})};
    const auto set = cabwriter::writeCabinetSet(folders, 2000, "part%d.cab");
    ASSERT_EQ(set.size(), 2u);
    save(set[0], scratch.path());

    const ToolResult missing = runCabtool({"extract", "-d", "out", "part1.cab"}, scratch.path());
    EXPECT_EQ(missing.exitStatus, 1) << missing.err;
    EXPECT_TRUE(contains(missing.err, "next cabinet 'part2.cab'")) << missing.err;
    EXPECT_TRUE(contains(missing.err, "No such file")) << missing.err;
    EXPECT_EQ(filesBelow(scratch.path() / "out"), std::set<std::string>{"head.txt"});

    const ToolResult listed = runCabtool({"list", "part1.cab"}, scratch.path());
    EXPECT_EQ(listed.exitStatus, 1);
    EXPECT_TRUE(contains(listed.err, "part2.cab: cannot open")) << listed.err;

    cabwriter::Options otherSet;
    otherSet.setId = 77;
    save(cabwriter::writeCabinetSet(folders, 2000, "part%d.cab", otherSet)[1], scratch.path());
    const ToolResult wrong = runCabtool({"test", "part1.cab"}, scratch.path());
    EXPECT_EQ(wrong.exitStatus, 1) << wrong.err;
    EXPECT_TRUE(contains(wrong.err, "part2.cab': " + std::string(cabErrorText(NotNextInSet))))
        << wrong.err;
}

TEST(Cabtool, FileBeginningInsideAFolderFromThePreviousCabinetIsRefusedNotCorrupted) {
    ScratchDirectory scratch;
    // One folder over two cabinets: "second" spans the cut, "third" begins
    // in cabinet 2 at folder offset 2800 but is listed there as a file of
    // folder 0, which a decoder would start at that cabinet's first block.
    const std::vector<cabwriter::Folder> folders = {storedFolder(
        {makeFile("first", 300, 16), makeFile("second", 2500, 17), makeFile("third", 1000, 18)})};
    cabwriter::Options options;
    options.continuedFolderKeepsIndex = true;
    for (const auto& cabinet : cabwriter::writeCabinetSet(folders, 2000, "f%d.cab", options)) {
        save(cabinet, scratch.path());
    }

    const ToolResult r = runCabtool({"extract", "-d", "out", "f1.cab"}, scratch.path());
    EXPECT_EQ(r.exitStatus, 1);
    EXPECT_TRUE(contains(r.err, "f2.cab: third: cannot be extracted")) << r.err;
    EXPECT_EQ(filesBelow(scratch.path() / "out"), (std::set<std::string>{"first", "second"}));
    EXPECT_EQ(readFile(scratch.path() / "out/second"), text(folders[0].files[1].data));
}

TEST(Cabtool, SetsCutOnAFileBoundaryNeverGiveWrongBytesOrLoseFilesSilently) {
    ScratchDirectory scratch;
    // One folder of "first" (200 bytes), "third" (100) and "fourth" (300) in
    // stored blocks of 100, cut into cabinets of 200: both cuts fall where a
    // file begins.
    const std::vector<cabwriter::Folder> folders = {storedFolder(
        {makeFile("first", 200, 40), makeFile("third", 100, 41), makeFile("fourth", 300, 42)}, 100)};
    for (const auto& cabinet : cabwriter::writeCabinetSet(folders, 200, "b%d.cab")) {
        save(cabinet, scratch.path());
    }
    const ToolResult whole = runCabtool({"extract", "-d", "whole", "b1.cab"}, scratch.path());
    EXPECT_EQ(whole.exitStatus, 0) << whole.err;
    for (const auto& file : folders[0].files) {
        EXPECT_EQ(readFile(scratch.path() / "whole" / file.name), text(file.data)) << file.name;
    }

    // The later parts keep folder index 0: "fourth" would be read from the
    // start of cabinet 2's blocks, so it is refused by name, not written.
    cabwriter::Options keepsIndex;
    keepsIndex.continuedFolderKeepsIndex = true;
    for (const auto& cabinet : cabwriter::writeCabinetSet(folders, 200, "k%d.cab", keepsIndex)) {
        save(cabinet, scratch.path());
    }
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"extract", "-d", "kept", "k1.cab"}, {"test", "k1.cab"}}) {
        const ToolResult run = runCabtool(args, scratch.path());
        EXPECT_EQ(run.exitStatus, 1) << args[0];
        EXPECT_TRUE(contains(run.err, "k2.cab: fourth: cannot be extracted")) << run.err;
        EXPECT_EQ(run.err.find("fourth", run.err.find("fourth") + 1), std::string::npos)
            << "reported once: " << run.err;
    }
    EXPECT_EQ(filesBelow(scratch.path() / "kept"), (std::set<std::string>{"first", "third"}));
    EXPECT_EQ(readFile(scratch.path() / "kept/third"), text(folders[0].files[1].data));

    // Cabinet 1 not listing "third" at all: nothing leads into cabinet 2, so
    // its continued files are reported by name and counted.
    auto unlisted = cabwriter::writeCabinetSet(folders, 200, "u%d.cab");
    unlisted[0].image[28] = 1;  // cFiles: "first" only
    for (const auto& cabinet : unlisted) save(cabinet, scratch.path());
    const ToolResult tested = runCabtool({"test", "u1.cab"}, scratch.path());
    EXPECT_EQ(tested.exitStatus, 1);
    EXPECT_TRUE(contains(tested.err, "u2.cab: third: not reached")) << tested.err;
    EXPECT_TRUE(contains(tested.err, "u2.cab: fourth: not reached")) << tested.err;
    EXPECT_TRUE(contains(tested.out, "1 file good, 2 failed")) << tested.out;
    const ToolResult listed = runCabtool({"list", "u1.cab"}, scratch.path());
    EXPECT_EQ(listed.exitStatus, 1);
    EXPECT_TRUE(contains(listed.out, "3 files, 600 bytes, 2 cannot be extracted")) << listed.out;
}

TEST(Cabtool, FailedExtractionLeavesNoPartialFileAndKeepsTheOlderOne) {
    ScratchDirectory scratch;
    cabwriter::Cabinet cabinet = cabwriter::writeCabinet(
        {storedFolder({makeFile("fine.txt", 100, 13), makeFile("victim.bin", 5000, 14),
                       makeFile("fresh.bin", 500, 15)})},
        {}, "broken.cab");
    cabinet.image[cabinet.layout.blockOffsets[3] + 8] ^= 0x01;  // inside victim.bin's data
    save(cabinet, scratch.path());
    fs::create_directory(scratch.path() / "out");
    cabtooltest::writeFile(scratch.path() / "out/victim.bin", "older contents");

    const ToolResult r = runCabtool({"extract", "-d", "out", "broken.cab"}, scratch.path());
    EXPECT_EQ(r.exitStatus, 1);
    EXPECT_TRUE(contains(r.err, "broken.cab: victim.bin: not extracted")) << r.err;
    EXPECT_TRUE(contains(r.err, "broken.cab: " + std::string(cabErrorText(DamagedCabinet)))) << r.err;
    EXPECT_EQ(readFile(scratch.path() / "out/victim.bin"), "older contents");
    // Nothing else: no temporary file, and nothing past the damage.
    EXPECT_EQ(filesBelow(scratch.path() / "out"), (std::set<std::string>{"fine.txt", "victim.bin"}));
}

TEST(Cabtool, FilesListedAfterTheCrossingFileAreStillExtracted) {
    ScratchDirectory scratch;
    // Cabinet 1 lists "span" (going on into cabinet 2) before "x", a file of
    // its own: a walk that follows the directory leaves for cabinet 2 with
    // "span" and never comes back for "x".
    const std::vector<cabwriter::Folder> folders = {
        storedFolder({makeFile("x", 50, 30), makeFile("span", 3000, 31)})};
    auto set = cabwriter::writeCabinetSet(folders, 2000, "s%d.cab");
    ASSERT_EQ(set.size(), 2u);
    cabtooltest::reorderDirectory(set[0], {1, 0});
    for (const auto& cabinet : set) save(cabinet, scratch.path());

    const ToolResult extracted = runCabtool({"extract", "-d", "out", "s1.cab"}, scratch.path());
    EXPECT_EQ(extracted.exitStatus, 0) << extracted.err;
    EXPECT_EQ(readFile(scratch.path() / "out/x"), text(folders[0].files[0].data));
    EXPECT_EQ(readFile(scratch.path() / "out/span"), text(folders[0].files[1].data));
    const ToolResult tested = runCabtool({"test", "s1.cab"}, scratch.path());
    EXPECT_EQ(tested.exitStatus, 0) << tested.err;
    EXPECT_TRUE(contains(tested.out, "2 files tested, all good")) << tested.out;
    // What is printed keeps the directory's order.
    EXPECT_LT(tested.out.find("OK      span"), tested.out.find("OK      x")) << tested.out;

    // The writer's own set: an empty file between two that cross the cut.
    const std::vector<cabwriter::Folder> withEmpty = {storedFolder(
        {makeFile("a.bin", 3000, 32), makeFile("empty.txt", 0, 0), makeFile("b.bin", 1000, 33)},
        32768)};
    for (const auto& cabinet : cabwriter::writeCabinetSet(withEmpty, 2000, "e%d.cab")) {
        save(cabinet, scratch.path());
    }
    const ToolResult fromWriter = runCabtool({"extract", "-d", "out2", "e1.cab"}, scratch.path());
    EXPECT_EQ(fromWriter.exitStatus, 0) << fromWriter.err;
    EXPECT_EQ(filesBelow(scratch.path() / "out2"),
              (std::set<std::string>{"a.bin", "empty.txt", "b.bin"}));
    EXPECT_EQ(readFile(scratch.path() / "out2/b.bin"), text(withEmpty[0].files[2].data));
    const ToolResult listed = runCabtool({"list", "e1.cab"}, scratch.path());
    EXPECT_EQ(listed.exitStatus, 0) << listed.err;
    EXPECT_TRUE(contains(listed.out, "3 files, 4000 bytes")) << listed.out;
}

TEST(Cabtool, FilesReachedByOneWalkCrossingManyCabinetsAreNotReportedAgain) {
    // Files of 1,500 bytes in blocks of 1,000 and cabinets of 1,500: every
    // other cabinet's files all continue from the one before, and one walk
    // from the first cabinet crosses all the way to the last.
    ScratchDirectory scratch;
    std::vector<cabwriter::File> files;
    for (int i = 0; i < 12; ++i) files.push_back(makeFile("f" + std::to_string(i), 1500, uint8_t(i)));
    const std::vector<cabwriter::Folder> folders = {storedFolder(files)};
    const auto set = cabwriter::writeCabinetSet(folders, 1500, "m%d.cab");
    ASSERT_GT(set.size(), 4u);
    for (const auto& cabinet : set) save(cabinet, scratch.path());

    const ToolResult tested = runCabtool({"test", "m1.cab"}, scratch.path());
    EXPECT_EQ(tested.exitStatus, 0) << tested.err;
    EXPECT_TRUE(contains(tested.out, "12 files tested, all good")) << tested.out;
    const ToolResult extracted = runCabtool({"extract", "-d", "out", "m1.cab"}, scratch.path());
    EXPECT_EQ(extracted.exitStatus, 0) << extracted.err;
    for (const auto& f : files) EXPECT_EQ(readFile(scratch.path() / "out" / f.name), text(f.data));
}

TEST(Cabtool, StoredNamesNeverReachTheTerminalRaw) {
    ScratchDirectory scratch;
    // A title-setting escape, a forged listing row, a C1 control sequence
    // introducer in a UTF-8 name, and one that is refused (so that it appears
    // in an error message); the last is a plain UTF-8 name.
    const std::vector<std::string> names = {"t\x1b]0;owned\x07.txt", "a\n   666  forged.txt",
                                            "c\xc2\x9b" "2J.txt", "..\\e\x1b[2J.txt", "caf\xc3\xa9.txt"};
    std::vector<cabwriter::File> files;
    for (size_t i = 0; i < names.size(); ++i) files.push_back(makeFile(names[i], 20, uint8_t(i)));
    files[2].attribs |= 0x80;  // names stored as UTF-8
    files[4].attribs |= 0x80;
    save(cabwriter::writeCabinet({storedFolder(files)}, {}, "names.cab"), scratch.path());

    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"list", "names.cab"}, {"test", "names.cab"},
          {"extract", "-d", "out", "names.cab"}}) {
        const ToolResult r = runCabtool(args, scratch.path());
        for (const std::string* stream : {&r.out, &r.err}) {
            for (const char c : *stream) {
                const auto byte = uint8_t(c);
                EXPECT_FALSE((byte < 0x20 && c != '\n') || byte == 0x7F || byte == 0x9B)
                    << args[0] << " printed byte " << int(byte) << ":\n" << *stream;
            }
            EXPECT_EQ(stream->find("\n   666  forged"), std::string::npos) << *stream;
        }
        const std::string all = r.out + r.err;
        // Listed and tested names are escaped; extracted files are named
        // with '_' for each control character, and printed so.
        const bool extracted = args[0] == "extract";
        EXPECT_TRUE(contains(all, extracted ? "t_]0;owned_.txt" : "t\\x1B]0;owned\\x07.txt")) << args[0] << "\n" << all;
        EXPECT_TRUE(contains(all, extracted ? "a_   666  forged.txt" : "a\\x0A   666  forged.txt")) << all;
        EXPECT_TRUE(contains(all, extracted ? "c_2J.txt" : "c\\xC2\\x9B2J.txt")) << all;
        EXPECT_TRUE(contains(all, "caf\xc3\xa9.txt")) << all;
    }
    // Files get printable names: controls become '_'.
    EXPECT_EQ(readFile(scratch.path() / "out" / "a_   666  forged.txt"), text(files[1].data));
}

TEST(Cabtool, UsageErrorsExitWithTwoAndHelpExplains) {
    ScratchDirectory scratch;
    const std::vector<std::vector<std::string>> wrong = {
        {},
        {"unpack", "a.cab"},
        {"extract"},
        {"list", "--json", "--json=x", "a.cab"},
        {"extract", "a.cab", "-d"},
        {"list", "-d", "out", "a.cab"},
        {"test", "--verbose", "a.cab"},
    };
    for (const auto& args : wrong) {
        const ToolResult r = runCabtool(args, scratch.path());
        EXPECT_EQ(r.exitStatus, 2) << testing::PrintToString(args);
        EXPECT_TRUE(contains(r.err, "usage: cabtool")) << r.err;
    }
    const ToolResult help = runCabtool({"--help"}, scratch.path());
    EXPECT_EQ(help.exitStatus, 0);
    for (const char* topic : {"list", "test", "extract [-d DIR", "set", "read-only", "exit status"}) {
        EXPECT_TRUE(contains(help.out, topic)) << topic;
    }
}
