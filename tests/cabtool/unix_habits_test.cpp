// cabtool behaves as Unix users expect of an archiver: combined short
// options, "--", early failure on a bad argument, filters that match
// nothing, '/' in every printed name, per-cabinet listings, damage named
// precisely, and tidy interrupts.
#include <signal.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "tests/cabtool/cabinet_edit.h"
#include "tests/cabtool/terminal_runner.h"
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

// "docs.cab": "dir\a.txt" and "b.txt" in one stored folder.
std::vector<cabwriter::File> saveDocs(const fs::path& directory, const char* name = "docs.cab") {
    std::vector<cabwriter::File> files = {makeFile("dir\\a.txt", 300, 1), makeFile("b.txt", 200, 2)};
    save(cabwriter::writeCabinet({storedFolder(files)}, {}, name), directory);
    return files;
}

}  // namespace

TEST(CabtoolUnixHabits, ShortOptionsCombineAndDoubleDashEndsOptions) {
    ScratchDirectory scratch;
    const auto files = saveDocs(scratch.path());

    const ToolResult joined = runCabtool({"extract", "-qd", "out", "docs.cab"}, scratch.path());
    EXPECT_EQ(joined.exitStatus, 0) << joined.err;
    EXPECT_EQ(joined.out, "");
    EXPECT_EQ(readFile(scratch.path() / "out/dir/a.txt"), text(files[0].data));

    // The value may follow in the same word; a word after a value-taking
    // option is its value even when it looks like options.
    const ToolResult attached = runCabtool({"extract", "-qkdout2", "docs.cab"}, scratch.path());
    EXPECT_EQ(attached.exitStatus, 0) << attached.err;
    EXPECT_EQ(readFile(scratch.path() / "out2/b.txt"), text(files[1].data));
    const ToolResult dashValue = runCabtool({"extract", "-qd", "-kL", "docs.cab"}, scratch.path());
    EXPECT_EQ(dashValue.exitStatus, 0) << dashValue.err;
    EXPECT_TRUE(fs::exists(scratch.path() / "-kL/b.txt"));

    const ToolResult json = runCabtool({"list", "-qjf", "b*", "docs.cab"}, scratch.path());
    EXPECT_EQ(json.exitStatus, 0) << json.err;
    EXPECT_TRUE(contains(json.out, "\"name\": \"b.txt\"")) << json.out;
    EXPECT_FALSE(contains(json.out, "a.txt")) << json.out;

    const ToolResult unknown = runCabtool({"list", "-qz", "docs.cab"}, scratch.path());
    EXPECT_EQ(unknown.exitStatus, 2);
    EXPECT_TRUE(contains(unknown.err, "unknown option '-z'")) << unknown.err;

    fs::copy_file(scratch.path() / "docs.cab", scratch.path() / "-q.cab");
    const ToolResult dashed = runCabtool({"list", "--", "-q.cab"}, scratch.path());
    EXPECT_EQ(dashed.exitStatus, 0) << dashed.err;
    EXPECT_TRUE(contains(dashed.out, "b.txt")) << dashed.out;
}

TEST(CabtoolUnixHabits, AnArgumentThatIsNoReadableFileFailsBeforeAnythingIsWritten) {
    ScratchDirectory scratch;
    saveDocs(scratch.path());
    fs::create_directory(scratch.path() / "folder.cab");

    for (const char* wrong : {"b.txt", "folder.cab"}) {
        const ToolResult r = runCabtool({"extract", "-d", "out", "docs.cab", wrong}, scratch.path());
        EXPECT_EQ(r.exitStatus, 2) << wrong;
        EXPECT_TRUE(contains(r.err, std::string(wrong) + ": ")) << r.err;
        EXPECT_TRUE(contains(r.err, "files inside a cabinet are chosen with -f")) << r.err;
        EXPECT_TRUE(contains(r.err, "usage: cabtool")) << r.err;
        EXPECT_EQ(r.out, "");
        EXPECT_FALSE(fs::exists(scratch.path() / "out")) << wrong;
    }
}

TEST(CabtoolUnixHabits, AFilterThatMatchesNoFileSaysSoAndFailsTheRun) {
    ScratchDirectory scratch;
    saveDocs(scratch.path());

    for (const char* command : {"list", "test", "extract"}) {
        const ToolResult r =
            runCabtool({command, "-f", "*.txt", "-f", "*.dll", "docs.cab"}, scratch.path());
        EXPECT_EQ(r.exitStatus, 1) << command << "\n" << r.err;
        EXPECT_TRUE(contains(r.err, "no file matches *.dll")) << r.err;
        EXPECT_FALSE(contains(r.err, "no file matches *.txt")) << r.err;
        EXPECT_TRUE(contains(r.out, "b.txt")) << command << "\n" << r.out;
    }
    const ToolResult matched = runCabtool({"test", "-f", "a.txt", "docs.cab"}, scratch.path());
    EXPECT_EQ(matched.exitStatus, 0) << matched.err;
    EXPECT_EQ(matched.err, "");
}

TEST(CabtoolUnixHabits, NamesArePrintedWithSlashesAndFiltersTakeEitherSeparator) {
    ScratchDirectory scratch;
    std::vector<cabwriter::File> files = {makeFile("dir\\a.txt", 300, 1), makeFile("b.txt", 200, 2),
                                          makeFile("..\\up.txt", 20, 3), makeFile("v[1].txt", 10, 4)};
    save(cabwriter::writeCabinet({storedFolder(files)}, {}, "docs.cab"), scratch.path());

    const ToolResult listed = runCabtool({"list", "docs.cab"}, scratch.path());
    EXPECT_TRUE(contains(listed.out, "  dir/a.txt\n")) << listed.out;
    const ToolResult tested = runCabtool({"test", "docs.cab"}, scratch.path());
    EXPECT_TRUE(contains(tested.out, "OK      dir/a.txt\n")) << tested.out;
    const ToolResult extracted = runCabtool({"extract", "-d", "out", "docs.cab"}, scratch.path());
    EXPECT_TRUE(contains(extracted.out, "extracted  dir/a.txt\n")) << extracted.out;
    EXPECT_TRUE(contains(extracted.err, "docs.cab: ../up.txt: refused")) << extracted.err;
    for (const std::string& out : {listed.out, tested.out, extracted.out, extracted.err}) {
        EXPECT_FALSE(contains(out, "\\")) << out;
    }

    for (const char* pattern : {"dir\\a.txt", "dir/a.txt", "dir\\*", "**\\a.txt"}) {
        const ToolResult chosen = runCabtool({"test", "-f", pattern, "docs.cab"}, scratch.path());
        EXPECT_EQ(chosen.exitStatus, 0) << pattern << "\n" << chosen.err;
        EXPECT_TRUE(contains(chosen.out, "OK      dir/a.txt")) << pattern << "\n" << chosen.out;
        EXPECT_FALSE(contains(chosen.out, "b.txt")) << pattern << "\n" << chosen.out;
    }
    // A backslash before a bracket still makes it literal.
    const ToolResult literal = runCabtool({"test", "-f", "v\\[1].txt", "docs.cab"}, scratch.path());
    EXPECT_EQ(literal.exitStatus, 0) << literal.err;
    EXPECT_TRUE(contains(literal.out, "OK      v[1].txt\n1 file tested")) << literal.out;
}

TEST(CabtoolUnixHabits, ListingSeveralCabinetsGivesEachItsTableThenAGrandTotal) {
    ScratchDirectory scratch;
    saveDocs(scratch.path(), "one.cab");
    save(cabwriter::writeCabinet({storedFolder({makeFile("c.txt", 50, 3)})}, {}, "two.cab"),
         scratch.path());
    const std::string heading = "      Size  Date       Time      Attr   Name\n";

    const ToolResult r = runCabtool({"list", "one.cab", "two.cab"}, scratch.path());
    EXPECT_EQ(r.exitStatus, 0) << r.err;
    const size_t one = r.out.find("one.cab:\n" + heading);
    const size_t oneTotal = r.out.find("2 files, 500 bytes\n\ntwo.cab:\n" + heading);
    const size_t twoTotal = r.out.find("c.txt\n1 file, 50 bytes\n\n3 files, 550 bytes in all\n");
    EXPECT_EQ(one, 0u) << r.out;
    EXPECT_NE(oneTotal, std::string::npos) << r.out;
    EXPECT_NE(twoTotal, std::string::npos) << r.out;
    EXPECT_LT(one, oneTotal);
    EXPECT_LT(oneTotal, twoTotal);

    // One cabinet: one table, no heading.
    const ToolResult single = runCabtool({"list", "two.cab"}, scratch.path());
    EXPECT_EQ(single.out.rfind(heading, 0), 0u) << single.out;
    EXPECT_TRUE(contains(single.out, "c.txt\n1 file, 50 bytes\n")) << single.out;
    EXPECT_FALSE(contains(single.out, "in all")) << single.out;
}

TEST(CabtoolUnixHabits, ListingAFileWithoutACabinetPrintsOnlyTheError) {
    ScratchDirectory scratch;
    cabtooltest::writeFile(scratch.path() / "plain.txt", "no cabinet here, just some words");
    const ToolResult r = runCabtool({"list", "plain.txt"}, scratch.path());
    EXPECT_EQ(r.exitStatus, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_TRUE(contains(r.err, "plain.txt: not a cabinet file")) << r.err;
}

TEST(CabtoolUnixHabits, DamageMessagesSayWhatWasFoundAndWhere) {
    ScratchDirectory scratch;
    const std::vector<cabwriter::Folder> folders = {
        storedFolder({makeFile("first.bin", 500, 1)}),
        storedFolder({makeFile("second.bin", 3500, 2)})};
    const cabwriter::Cabinet written = cabwriter::writeCabinet(folders, {}, "x.cab");
    // Folder 0 has one block; folder 1's blocks follow it.
    const size_t folder1Block2 = written.layout.blockOffsets[3];

    cabwriter::Cabinet flipped = written;
    flipped.image[folder1Block2 + 8 + 7] ^= 0x20;
    flipped.name = "flipped.cab";
    save(flipped, scratch.path());
    const ToolResult mismatch = runCabtool({"test", "flipped.cab"}, scratch.path());
    EXPECT_EQ(mismatch.exitStatus, 1);
    EXPECT_TRUE(contains(mismatch.err, "flipped.cab: the cabinet is damaged: checksum mismatch in "
                                       "data block 2 of folder 1\n"))
        << mismatch.err;
    EXPECT_TRUE(contains(mismatch.out, "1 file good, 1 failed\n")) << mismatch.out;
    EXPECT_FALSE(contains(mismatch.out + mismatch.err, "stopped early"));

    cabwriter::Cabinet cut = written;
    cut.image.resize(folder1Block2 + 8 + 100);
    cut.name = "cut.cab";
    save(cut, scratch.path());
    const ToolResult shortened = runCabtool({"extract", "-d", "out", "cut.cab"}, scratch.path());
    EXPECT_EQ(shortened.exitStatus, 1);
    EXPECT_TRUE(contains(shortened.err, "cut.cab: the cabinet is damaged: data block 2 of folder 1 "
                                        "is cut short\n"))
        << shortened.err;

    // A block without a checksum whose compressed data is broken.
    cabwriter::Folder zipped = storedFolder({makeFile("z.bin", 3000, 3)}, 32768);
    zipped.method = cabwriter::Method::Mszip;
    cabwriter::Cabinet broken = cabwriter::writeCabinet({zipped}, {}, "zip.cab");
    cabtooltest::put32(broken.image, broken.layout.blockOffsets[0], 0);
    broken.image[broken.layout.blockOffsets[0] + 8] ^= 0xFF;  // the block's "CK"
    save(broken, scratch.path());
    const ToolResult undecodable = runCabtool({"test", "zip.cab"}, scratch.path());
    EXPECT_EQ(undecodable.exitStatus, 1);
    EXPECT_TRUE(contains(undecodable.err, "zip.cab: the compressed data could not be decoded in "
                                          "data block 0 of folder 0\n"))
        << undecodable.err;
}

namespace {

// A cabinet whose one large MSZIP folder takes long enough to decode to be
// interrupted: `small` (100 bytes, when given), then `big` of `bigSize` bytes.
void saveLongCabinet(const fs::path& directory, const char* name, const std::string& small,
                     const std::string& big, size_t bigSize) {
    cabwriter::Folder folder;
    folder.method = cabwriter::Method::Mszip;
    if (!small.empty()) folder.files.push_back(makeFile(small, 100, 8));
    cabwriter::File large;
    large.name = big;
    large.data.assign(bigSize, 0x5A);
    folder.files.push_back(large);
    save(cabwriter::writeCabinet({folder}, {}, name), directory);
}

bool holdsTemporaryFile(const fs::path& directory) {
    if (!fs::exists(directory)) return false;
    for (const auto& entry : fs::directory_iterator(directory)) {
        if (entry.path().filename().string().rfind(".cabtool-", 0) == 0) return true;
    }
    return false;
}

}  // namespace

TEST(CabtoolUnixHabits, AnInterruptRemovesTheDirectoriesItCreatedThatAreLeftEmpty) {
    ScratchDirectory scratch;
    saveLongCabinet(scratch.path(), "deep.cab", "small.txt", "deep\\sub\\big.bin", 16u << 20);
    saveLongCabinet(scratch.path(), "lone.cab", "", "deep\\big.bin", 16u << 20);
    fs::create_directories(scratch.path() / "existing/empty");

    struct Case {
        std::vector<std::string> args;
        fs::path inProgress;  // where the big file is written
        std::vector<std::string> stay;
        std::vector<std::string> gone;
    };
    const Case cases[] = {
        // The file done keeps its directories; the empty ones made for the
        // file in progress go.
        {{"extract", "-d", "new/out", "deep.cab"}, "new/out/deep/sub",
         {"new/out/small.txt"}, {"new/out/deep"}},
        // Nothing done: every directory the run made goes, those already
        // there stay, empty or not.
        {{"extract", "-d", "existing/out", "lone.cab"}, "existing/out/deep",
         {"existing/empty"}, {"existing/out"}},
    };
    for (const Case& c : cases) {
        bool interrupted = false;
        cabtooltest::RunHooks hooks;
        hooks.whileRunning = [&](int pid) {
            if (!interrupted && holdsTemporaryFile(scratch.path() / c.inProgress)) {
                interrupted = true;
                kill(pid, SIGINT);
            }
        };
        const ToolResult r = runCabtool(c.args, scratch.path(), hooks);
        ASSERT_TRUE(interrupted) << "the extraction ended before it could be interrupted";
        EXPECT_EQ(r.signal, SIGINT);
        for (const std::string& path : c.stay) EXPECT_TRUE(fs::exists(scratch.path() / path)) << path;
        for (const std::string& path : c.gone) EXPECT_FALSE(fs::exists(scratch.path() / path)) << path;
    }
}

TEST(CabtoolUnixHabits, AnInterruptClearsTheProgressLine) {
    ScratchDirectory scratch;
    saveLongCabinet(scratch.path(), "huge.cab", "", "huge.bin", 96u << 20);
    const std::string clearLine = "\r\x1B[K";
    bool interrupted = false;
    const auto shown = cabtooltest::runOnTerminal(
        {"test", "huge.cab"}, scratch.path(), [&](int pid, const std::string& screen) {
            if (!interrupted && contains(screen, "MB of")) {
                interrupted = true;
                kill(pid, SIGINT);
            }
        });
    ASSERT_TRUE(interrupted) << shown.screen;
    EXPECT_FALSE(contains(shown.screen, "tested")) << "the test finished before the interrupt";
    EXPECT_LT(shown.screen.rfind("MB of"), shown.screen.rfind(clearLine)) << shown.screen;
}
