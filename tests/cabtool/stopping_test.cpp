// How an extraction ends early: at a file the system will not take, and at
// an interrupt, which only asks the extraction to stop and tidy up.
#include <sys/resource.h>

#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <filesystem>
#include <set>
#include <vector>

#include "tests/cabtool/test_cabinets.h"
#include "tests/cabtool/tool_runner.h"
#include "tools/cabtool/files/interrupt_cleanup.h"
#include "tools/cabwriter/cab_writer.h"

using cabtooltest::contains;
using cabtooltest::makeFile;
using cabtooltest::runCabtool;
using cabtooltest::save;
using cabtooltest::ScratchDirectory;
using cabtooltest::storedFolder;
using cabtooltest::ToolResult;
namespace fs = std::filesystem;

namespace {

std::set<std::string> namesBelow(const fs::path& directory) {
    std::set<std::string> names;
    if (!fs::exists(directory)) return names;
    for (const auto& item : fs::recursive_directory_iterator(directory)) {
        names.insert(fs::relative(item.path(), directory).string());
    }
    return names;
}

}  // namespace

// A file over the size limit fails to be written: that ends the
// extraction, the files after it in the cabinet are counted as not reached
// (not as failed, not silently dropped), and neither the big file nor a
// temporary of it is left; a second cabinet named after it is still
// extracted (for test, the same file decodes fine).
TEST(CabtoolStopping, AFileTheSystemWillNotTakeEndsTheCabinetAndTheRestAreNotReached) {
    ScratchDirectory scratch;
    save(cabwriter::writeCabinet({storedFolder({makeFile("a.txt", 100, 1),
                                                makeFile("big.bin", 200000, 2),
                                                makeFile("c.txt", 100, 3), makeFile("d.txt", 100, 4)})},
                                 {}, "one.cab"),
         scratch.path());
    save(cabwriter::writeCabinet({storedFolder({makeFile("e.txt", 100, 5)})}, {}, "two.cab"),
         scratch.path());

    cabtooltest::RunHooks limited;
    limited.fileSizeLimit = 64 * 1024;
    const ToolResult r =
        runCabtool({"extract", "-d", "out", "one.cab", "two.cab"}, scratch.path(), limited);
    EXPECT_EQ(r.signal, 0);
    EXPECT_EQ(r.exitStatus, 1);
    EXPECT_TRUE(contains(r.err, "one.cab: an output file could not be written\n")) << r.err;
    EXPECT_TRUE(contains(r.err, "one.cab: big.bin: not extracted\n")) << r.err;
    EXPECT_TRUE(contains(r.out, "2 files extracted, 200 bytes, 1 failed, 2 not reached\n")) << r.out;
    EXPECT_EQ(namesBelow(scratch.path() / "out"), (std::set<std::string>{"a.txt", "e.txt"}));

    const ToolResult tested = runCabtool({"test", "one.cab"}, scratch.path(), limited);
    EXPECT_EQ(tested.exitStatus, 0) << tested.err;
}

// The interrupt handler in stop mode only raises the flag the library
// reads; the process ends with the signal once the extraction has stopped.
// A stop cabtool asks for itself at a failure never ends the process.
TEST(CabtoolStopping, AnInterruptDuringAnExtractionOnlyAsksItToStop) {
    cabtool::installInterruptCleanup();
    cabtool::stopOnInterrupt(true);
    cabtool::stopForFailure();
    EXPECT_LT(*cabtool::interruptStop(), 0);
    cabtool::endIfInterrupted();  // still here: no signal came
    cabtool::clearFailureStop();
    EXPECT_EQ(*cabtool::interruptStop(), 0);

    EXPECT_EXIT(
        {
            std::raise(SIGTERM);
            if (*cabtool::interruptStop() == SIGTERM) std::fputs("asked to stop\n", stderr);
            cabtool::endIfInterrupted();
            std::fputs("still running\n", stderr);
            std::_Exit(0);
        },
        testing::KilledBySignal(SIGTERM), "asked to stop");
    cabtool::stopOnInterrupt(false);
}

// A filter chooses files; a file that only leads the extraction into the
// next cabinet of a set is decoded at most, never written.
TEST(CabtoolStopping, AFilteredExtractionOfASetWritesOnlyTheChosenFiles) {
    ScratchDirectory scratch;
    const std::vector<cabwriter::Folder> folders = {storedFolder(
        {makeFile("lead.bin", 3000, 1), makeFile("chosen.txt", 300, 2), makeFile("other.bin", 2500, 3)})};
    const auto set = cabwriter::writeCabinetSet(folders, 2000, "part%d.cab");
    ASSERT_GE(set.size(), 2u);
    for (const auto& cabinet : set) save(cabinet, scratch.path());

    const ToolResult r = runCabtool({"extract", "-d", "out", "-f", "chosen*", "part1.cab"}, scratch.path());
    EXPECT_EQ(r.exitStatus, 0) << r.err;
    EXPECT_TRUE(contains(r.out, "1 file extracted, 300 bytes\n")) << r.out;
    EXPECT_EQ(namesBelow(scratch.path() / "out"), std::set<std::string>{"chosen.txt"});
}
