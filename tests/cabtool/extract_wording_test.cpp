// How extract names what it meets in sets and damaged cabinets: the
// cabinet a kept file is named with, and when a damaged block is named.
#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "tests/cabtool/cabinet_edit.h"
#include "tests/cabtool/test_cabinets.h"
#include "tests/cabtool/tool_runner.h"
#include "tools/cabwriter/cab_writer.h"

using cabtooltest::contains;
using cabtooltest::makeFile;
using cabtooltest::runCabtool;
using cabtooltest::save;
using cabtooltest::ScratchDirectory;
using cabtooltest::storedFolder;
using cabtooltest::ToolResult;

TEST(CabtoolExtractWording, AKeptFileIsNamedWithTheCabinetTheDecoderComesToItsDataIn) {
    ScratchDirectory scratch;
    // Stored blocks of 1000 bytes cut every 2500: the third block
    // (2000..3000) is split, its first piece (no bytes counted) ending k1.
    // "late" begins in that piece, so the decoder comes to it in k2;
    // "early" goes on into k2 too, but begins in a block k1 completes.
    const std::vector<cabwriter::Folder> folders = {storedFolder(
        {makeFile("early", 1200, 1), makeFile("mid", 900, 2), makeFile("late", 1500, 3)}, 1000)};
    const auto set = cabwriter::writeCabinetSet(folders, 2500, "k%d.cab");
    ASSERT_EQ(set.size(), 2u);
    for (const auto& cabinet : set) save(cabinet, scratch.path());
    const auto out = scratch.path() / "out";
    std::filesystem::create_directories(out);
    for (const char* name : {"early", "mid", "late"}) std::ofstream(out / name) << "mine";

    const ToolResult r = runCabtool({"extract", "-k", "-d", "out", "k1.cab"}, scratch.path());
    EXPECT_EQ(r.exitStatus, 0) << r.out << r.err;
    EXPECT_TRUE(contains(r.err, "k1.cab: early: exists; kept\n")) << r.err;
    EXPECT_TRUE(contains(r.err, "k1.cab: mid: exists; kept\n")) << r.err;
    EXPECT_TRUE(contains(r.err, "k2.cab: late: exists; kept\n")) << r.err;
    EXPECT_TRUE(contains(r.out, "3 kept")) << r.out;
}

TEST(CabtoolExtractWording, ExtractNamesADamagedBlockOnlyInACabinetWhoseFolderTableIsReadWhole) {
    for (const bool tableWhole : {true, false}) {
        ScratchDirectory scratch;
        cabwriter::Cabinet cabinet = cabwriter::writeCabinet(
            {storedFolder({makeFile("a.txt", 1500, 1), makeFile("b.txt", 700, 2)}, 1000)}, {},
            "d.cab");
        cabinet.image[cabinet.layout.blockOffsets[0] + 8 + 10] ^= 0x55;  // block 0's data
        if (!tableWhole) {
            // Far more folders declared than the file holds records for.
            cabtooltest::put16(cabinet.image, 26, 0xFFF0);
        }
        save(cabinet, scratch.path());
        const ToolResult r = runCabtool({"extract", "-d", "out", "d.cab"}, scratch.path());
        EXPECT_EQ(r.exitStatus, 1) << r.out << r.err;
        const std::string named =
            "d.cab: the cabinet is damaged: checksum mismatch in data block 0 of folder 0\n";
        const std::string plain = "d.cab: the cabinet is damaged\n";
        EXPECT_EQ(contains(r.err, named), tableWhole) << r.err;
        EXPECT_EQ(contains(r.err, plain), !tableWhole) << r.err;
        // test names the block either way.
        const ToolResult tested = runCabtool({"test", "d.cab"}, scratch.path());
        EXPECT_EQ(tested.exitStatus, 1) << tested.out << tested.err;
        EXPECT_TRUE(contains(tested.err, named)) << tested.err;
    }
}
