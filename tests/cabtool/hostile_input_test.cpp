// cabtool against input that is damaged or meant to harm: it must answer
// with a clear message and exit status 1, never hang, and never leave a
// partial file behind.
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <set>
#include <string>

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
namespace fs = std::filesystem;

namespace {

std::set<std::string> namesIn(const fs::path& directory) {
    std::set<std::string> names;
    if (!fs::exists(directory)) return names;
    for (const auto& entry : fs::directory_iterator(directory)) {
        names.insert(entry.path().filename().string());
    }
    return names;
}

bool hasPartialFile(const fs::path& directory) {
    for (const std::string& name : namesIn(directory)) {
        if (name.rfind(".cabtool-", 0) == 0) return true;
    }
    return false;
}

}  // namespace

TEST(CabtoolHostileInput, FifoGivenOrNamedAsCabinetIsRefusedWithoutBlocking) {
    ScratchDirectory scratch;
    ASSERT_EQ(mkfifo((scratch.path() / "pipe.cab").c_str(), 0600), 0);
    for (const char* command : {"list", "test"}) {
        const ToolResult r = runCabtool({command, "pipe.cab"}, scratch.path());
        EXPECT_EQ(r.exitStatus, 2) << r.err;
        EXPECT_TRUE(contains(r.err, "pipe.cab: not a regular file")) << r.err;
    }

    const std::vector<cabwriter::Folder> folders = {
        storedFolder({makeFile("head.txt", 200, 1), makeFile("span.bin", 3000, 2)})};
    const auto set = cabwriter::writeCabinetSet(folders, 2000, "part%d.cab");
    ASSERT_EQ(set.size(), 2u);
    save(set[0], scratch.path());
    ASSERT_EQ(mkfifo((scratch.path() / "part2.cab").c_str(), 0600), 0);
    const ToolResult r = runCabtool({"extract", "-d", "out", "part1.cab"}, scratch.path());
    EXPECT_EQ(r.exitStatus, 1) << r.err;
    EXPECT_TRUE(contains(r.err, "part2.cab")) << r.err;
    EXPECT_EQ(namesIn(scratch.path() / "out"), std::set<std::string>{"head.txt"});
}

TEST(CabtoolHostileInput, DirectoryEntriesThatContradictTheCabinetAreDamage) {
    ScratchDirectory scratch;
    // Continued from a previous cabinet, in a cabinet that names none.
    cabwriter::File orphan = makeFile("orphan.bin", 100, 3);
    orphan.folderIndexOverride = 0xFFFD;
    // Going on into a next cabinet, in a cabinet that names none.
    cabwriter::File goesOn = makeFile("goes-on.bin", 100, 4);
    goesOn.folderIndexOverride = 0xFFFE;
    goesOn.sizeOverride = 5000;
    // An ordinary file claiming more bytes than its folder holds.
    cabwriter::File tooLong = makeFile("too-long.bin", 100, 5);
    tooLong.sizeOverride = 5000;
    // A folder the cabinet does not have.
    cabwriter::File noFolder = makeFile("no-folder.bin", 100, 6);
    noFolder.folderIndexOverride = 1;

    struct Case {
        cabwriter::File file;
        std::string message;
    };
    const std::vector<Case> cases = {
        {orphan, "orphan.bin: cabinet is damaged: the file is marked as continued"},
        {goesOn, "goes-on.bin: cabinet is damaged: a file goes on in a next cabinet, but the "
                 "cabinet names none"},
        {tooLong, "too-long.bin: cabinet is damaged: the file runs past the end of its folder"},
        {noFolder, "no-folder.bin: cabinet is damaged: the file names folder 1, but the cabinet has 1"},
    };
    for (const Case& c : cases) {
        save(cabwriter::writeCabinet({storedFolder({makeFile("good.txt", 300, 7), c.file})}, {},
                                     "bad.cab"),
             scratch.path());
        for (const char* command : {"test", "extract"}) {
            const ToolResult r = runCabtool({command, "bad.cab"}, scratch.path());
            EXPECT_EQ(r.exitStatus, 1) << command << " " << c.file.name;
            EXPECT_TRUE(contains(r.err, "bad.cab: " + c.message)) << command << "\n" << r.err;
        }
        // The sound file beside the damaged entry is still extracted.
        EXPECT_EQ(readFile(scratch.path() / "good.txt").size(), 300u) << c.file.name;
        fs::remove(scratch.path() / "good.txt");
    }
}

TEST(CabtoolHostileInput, InterruptedOrOverlongExtractionLeavesNoPartialFile) {
    ScratchDirectory scratch;
    // 16 MB of MSZIP data in a small cabinet: long enough to interrupt.
    cabwriter::File big;
    big.name = "big.bin";
    big.data.assign(16u << 20, 0x5A);
    cabwriter::Folder folder;
    folder.method = cabwriter::Method::Mszip;
    folder.files = {makeFile("small.txt", 100, 8), big};
    save(cabwriter::writeCabinet({folder}, {}, "big.cab"), scratch.path());

    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
        const fs::path out = scratch.path() / "out";
        bool sawPartial = false;
        cabtooltest::RunHooks hooks;
        hooks.whileRunning = [&](int pid) {
            if (!sawPartial && hasPartialFile(out) && namesIn(out).count("small.txt") != 0) {
                sawPartial = true;
                kill(pid, signal);
            }
        };
        const ToolResult r = runCabtool({"extract", "-d", "out", "big.cab"}, scratch.path(), hooks);
        ASSERT_TRUE(sawPartial) << "the extraction ended before it could be interrupted";
        EXPECT_EQ(r.signal, signal);
        EXPECT_EQ(namesIn(out), std::set<std::string>{"small.txt"});
        fs::remove_all(out);
    }

    // A file size limit below the big file: the write fails, the file in
    // progress is removed and the failure is reported.
    cabtooltest::RunHooks limited;
    limited.fileSizeLimit = 1 << 20;
    const ToolResult r = runCabtool({"extract", "-d", "out", "big.cab"}, scratch.path(), limited);
    EXPECT_EQ(r.signal, 0);
    EXPECT_EQ(r.exitStatus, 1);
    EXPECT_TRUE(contains(r.err, "big.bin: not extracted")) << r.err;
    EXPECT_EQ(namesIn(scratch.path() / "out"), std::set<std::string>{"small.txt"});
}

TEST(CabtoolHostileInput, FileAppearingUnderTheNameDuringExtractionIsKeptWithKeep) {
    ScratchDirectory scratch;
    // 16 MB of MSZIP data: the file is in progress long enough for another
    // program to create one of the same name meanwhile.
    cabwriter::File big;
    big.name = "big.bin";
    big.data.assign(16u << 20, 0x3C);
    cabwriter::Folder folder;
    folder.method = cabwriter::Method::Mszip;
    folder.files = {big};
    save(cabwriter::writeCabinet({folder}, {}, "race.cab"), scratch.path());
    const fs::path out = scratch.path() / "out";

    bool planted = false;
    cabtooltest::RunHooks hooks;
    hooks.whileRunning = [&](int) {
        if (planted || !hasPartialFile(out)) return;
        const int fd = open((out / "big.bin").c_str(), O_WRONLY | O_CREAT | O_EXCL, 0644);
        if (fd < 0) return;
        planted = write(fd, "other", 5) == 5;
        close(fd);
    };
    const ToolResult r = runCabtool({"extract", "--keep", "-d", "out", "race.cab"}, scratch.path(), hooks);
    ASSERT_TRUE(planted) << "the extraction ended before another file could appear";
    EXPECT_EQ(r.exitStatus, 0) << r.err;
    EXPECT_TRUE(contains(r.err, "race.cab: big.bin: exists; kept")) << r.err;
    EXPECT_TRUE(contains(r.out, "0 files extracted, 0 bytes, 1 kept\n")) << r.out;
    EXPECT_EQ(readFile(out / "big.bin"), "other");
    EXPECT_EQ(namesIn(out), std::set<std::string>{"big.bin"});
}

TEST(CabtoolHostileInput, CabinetLargerThanTheFreeSpaceIsRefusedBeforeWriting) {
    ScratchDirectory scratch;
    // Two thousand entries of almost 4 GiB each over one small folder.
    cabwriter::Folder folder = storedFolder({makeFile("first.txt", 500, 9)});
    for (int i = 0; i < 2000; ++i) {
        cabwriter::File huge;
        huge.name = "huge" + std::to_string(i);
        huge.sizeOverride = 0xFFFFFFF0;
        huge.folderStartOverride = 0;
        folder.files.push_back(huge);
    }
    save(cabwriter::writeCabinet({folder}, {}, "huge.cab"), scratch.path());
    const ToolResult r = runCabtool({"extract", "-d", "out", "huge.cab"}, scratch.path());
    EXPECT_EQ(r.exitStatus, 1);
    EXPECT_TRUE(contains(r.err, "huge.cab: not extracted: its files need")) << r.err;
    EXPECT_TRUE(contains(r.out, "0 files extracted, 0 bytes, 2001 not reached")) << r.out;
    EXPECT_TRUE(namesIn(scratch.path() / "out").empty());
}
