// extract --salvage: every byte of a damaged cabinet that can be had is
// written, and every file that may be damaged is named and fails the run.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>

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

TEST(CabtoolSalvage, ABlockFailingItsChecksumIsDecodedAnywayAndItsFileNamed) {
    ScratchDirectory scratch;
    // Blocks of 1000 bytes: a.bin is block 0, b.bin block 1 and part of 2
    // (its byte 500 is byte 500 of block 1), c.bin the rest.
    const std::vector<cabwriter::File> files = {makeFile("a.bin", 1000, 1), makeFile("b.bin", 1200, 2),
                                                makeFile("c.bin", 800, 3)};
    cabwriter::Cabinet cabinet = cabwriter::writeCabinet({storedFolder(files)}, {}, "sum.cab");
    cabinet.image[cabinet.layout.blockOffsets[1] + 8 + 500] ^= 0x40;
    save(cabinet, scratch.path());

    const ToolResult plain = runCabtool({"extract", "-d", "plain", "sum.cab"}, scratch.path());
    EXPECT_EQ(plain.exitStatus, 1);
    EXPECT_FALSE(fs::exists(scratch.path() / "plain/b.bin")) << "damaged data written without --salvage";
    EXPECT_FALSE(contains(plain.out, "salvaged")) << plain.out;

    const ToolResult r = runCabtool({"extract", "--salvage", "-d", "out", "sum.cab"}, scratch.path());
    EXPECT_EQ(r.exitStatus, 1);
    EXPECT_TRUE(contains(r.err, "sum.cab: checksum mismatch in data block 1 of folder 0; decoded anyway"))
        << r.err;
    EXPECT_TRUE(contains(r.out, "extracted  a.bin\nsalvaged   b.bin  (may be damaged)\nextracted  c.bin\n"))
        << r.out;
    EXPECT_TRUE(contains(r.out, "3 files extracted, 3000 bytes, 1 salvaged, may be damaged\n")) << r.out;
    std::string damaged = text(files[1].data);
    damaged[500] = char(damaged[500] ^ 0x40);
    EXPECT_TRUE(readFile(scratch.path() / "out/b.bin") == damaged);
    EXPECT_TRUE(readFile(scratch.path() / "out/a.bin") == text(files[0].data));
    EXPECT_TRUE(readFile(scratch.path() / "out/c.bin") == text(files[2].data));

    // The short form, quiet: the salvaged file is named on standard error.
    const ToolResult quiet = runCabtool({"extract", "-qsd", "quiet", "sum.cab"}, scratch.path());
    EXPECT_EQ(quiet.exitStatus, 1);
    EXPECT_EQ(quiet.out, "");
    EXPECT_TRUE(contains(quiet.err, "sum.cab: b.bin: salvaged, may be damaged")) << quiet.err;
    EXPECT_TRUE(readFile(scratch.path() / "quiet/b.bin") == damaged);
}

TEST(CabtoolSalvage, UndecodableDataIsWrittenAsZerosAndTheOtherFoldersStillExtract) {
    ScratchDirectory scratch;
    // Folder 0: MSZIP blocks of 32768 bytes, the second one broken and not
    // checksummed; folder 1: stored, intact.
    cabwriter::Folder zipped = storedFolder({makeFile("z.bin", 80000, 4), makeFile("y.bin", 100, 5)}, 32768);
    zipped.method = cabwriter::Method::Mszip;
    const cabwriter::Folder stored = storedFolder({makeFile("after.txt", 400, 6)});
    cabwriter::Cabinet cabinet = cabwriter::writeCabinet({zipped, stored}, {}, "zip.cab");
    const size_t broken = cabinet.layout.blockOffsets[1];
    cabtooltest::put32(cabinet.image, broken, 0);
    cabinet.image[broken + 8] ^= 0xFF;  // the block's "CK"
    save(cabinet, scratch.path());

    const ToolResult plain = runCabtool({"extract", "-d", "plain", "zip.cab"}, scratch.path());
    EXPECT_EQ(plain.exitStatus, 1);
    EXPECT_FALSE(fs::exists(scratch.path() / "plain/z.bin"));

    const ToolResult r = runCabtool({"extract", "-s", "-d", "out", "zip.cab"}, scratch.path());
    EXPECT_EQ(r.exitStatus, 1);
    // Reported once: y.bin, which lies wholly past the damage, is written off
    // without decoding the folder up to it again.
    const std::string failure = "could not be decoded in data block 1 of folder 0";
    const size_t first = r.err.find(failure);
    EXPECT_NE(first, std::string::npos) << r.err;
    EXPECT_EQ(r.err.find(failure, first + 1), std::string::npos) << r.err;
    const std::string z = readFile(scratch.path() / "out/z.bin");
    ASSERT_EQ(z.size(), 80000u);
    EXPECT_TRUE(z.substr(0, 32768) == text(zipped.files[0].data).substr(0, 32768));
    EXPECT_TRUE(z.substr(32768) == std::string(80000 - 32768, '\0'));
    // y.bin's data lies past the broken block: nothing of it can be had.
    EXPECT_EQ(readFile(scratch.path() / "out/y.bin"), std::string(100, '\0'));
    EXPECT_TRUE(readFile(scratch.path() / "out/after.txt") == text(stored.files[0].data));
    EXPECT_TRUE(contains(r.out, "salvaged   z.bin  (may be damaged)")) << r.out;
    EXPECT_TRUE(contains(r.out, "extracted  after.txt")) << r.out;
    EXPECT_TRUE(contains(r.out, "3 files extracted, 80500 bytes, 2 salvaged, may be damaged\n")) << r.out;
}

TEST(CabtoolSalvage, OnlyExtractTakesItAndNotWithPipe) {
    ScratchDirectory scratch;
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"list", "--salvage", "x.cab"},
          std::vector<std::string>{"extract", "-s", "-p", "x.cab"}}) {
        const ToolResult r = runCabtool(args, scratch.path());
        EXPECT_EQ(r.exitStatus, 2) << args[0];
    }
}

TEST(CabtoolSalvage, AFileGoingOnIntoAMissingCabinetKeepsWhatItsCabinetHoldsAndTheMissingOneIsNamed) {
    ScratchDirectory scratch;
    // One stored folder over two cabinets, of which only the first is there:
    // span.bin begins in it and goes on into the missing part2.cab.
    const std::vector<cabwriter::File> files = {makeFile("head.txt", 200, 11), makeFile("span.bin", 3000, 12)};
    const auto set = cabwriter::writeCabinetSet({storedFolder(files)}, 2000, "part%d.cab");
    ASSERT_EQ(set.size(), 2u);
    save(set[0], scratch.path());

    for (const bool quiet : {false, true}) {
        SCOPED_TRACE(quiet ? "quiet" : "told");
        const std::string out = quiet ? "quiet" : "out";
        const ToolResult r = runCabtool({"extract", quiet ? "-qs" : "-s", "-d", out, "part1.cab"}, scratch.path());
        EXPECT_EQ(r.exitStatus, 1);
        // Why the rest is zeros is still said.
        EXPECT_TRUE(contains(r.err, "next cabinet 'part2.cab'")) << r.err;
        EXPECT_TRUE(contains(r.err, "No such file")) << r.err;
        EXPECT_TRUE(contains(quiet ? r.err : r.out, quiet ? "span.bin: salvaged, may be damaged"
                                                          : "salvaged   span.bin  (may be damaged)"))
            << r.out << r.err;
        EXPECT_TRUE(readFile(scratch.path() / out / "head.txt") == text(files[0].data));
        const std::string span = readFile(scratch.path() / out / "span.bin");
        ASSERT_EQ(span.size(), 3000u);
        // The first cabinet holds 1800 bytes of it: those, then zeros.
        EXPECT_TRUE(span.substr(0, 1800) == text(files[1].data).substr(0, 1800));
        EXPECT_TRUE(span.substr(1800) == std::string(1200, '\0'));
    }
}

TEST(CabtoolSalvage, AFileSalvagedWhereACrossingEndedIsStillToldAndCounted) {
    ScratchDirectory scratch;
    // One MSZIP folder of bytes that do not compress, blocks of 32768, cut
    // every 26000: "b.bin" runs from the first cabinet through the second
    // into the third, and the pass over the first cabinet reads on with
    // "c.bin", which the second lists and which goes on into the third.
    // The third's last block, holding the end of "c.bin", is broken (no
    // checksum, its "CK" spoilt).
    auto noise = [](std::string name, size_t size, uint32_t seed) {
        cabwriter::File file = makeFile(std::move(name), 0, 0);
        for (size_t i = 0; i < size; ++i) {
            seed = seed * 1103515245u + 12345u;
            file.data.push_back(uint8_t(seed >> 16));
        }
        return file;
    };
    cabwriter::Folder zipped = storedFolder({noise("a.bin", 700, 1), noise("b.bin", 40000, 2),
                                             noise("c.bin", 30000, 3), noise("d.bin", 2000, 4)},
                                            32768);
    zipped.method = cabwriter::Method::Mszip;
    auto set = cabwriter::writeCabinetSet({zipped}, 26000, "z%d.cab");
    ASSERT_EQ(set.size(), 3u);
    const size_t broken = set[2].layout.blockOffsets.back();
    cabtooltest::put32(set[2].image, broken, 0);
    set[2].image[broken + 8] ^= 0xFF;
    for (const auto& cabinet : set) save(cabinet, scratch.path());

    const ToolResult r = runCabtool({"extract", "-s", "-d", "out", "z1.cab"}, scratch.path());
    EXPECT_EQ(r.exitStatus, 1);
    EXPECT_TRUE(contains(r.out, "salvaged   c.bin  (may be damaged)")) << r.out << r.err;
    EXPECT_TRUE(contains(r.out, "3 files extracted, 70700 bytes, 1 salvaged, may be damaged")) << r.out;
    EXPECT_EQ(readFile(scratch.path() / "out/c.bin").size(), 30000u);
}

// A file continued into a cabinet that lists it with a byte more than where
// it begins: plainly a failure, never written with the later size; salvaged,
// written at the size listed, and the file after it extracted.
TEST(CabtoolSalvage, AContinuedFileListedWithAnotherSizeLaterFailsOrIsSalvagedAtItsListedSize) {
    ScratchDirectory scratch;
    const std::vector<cabwriter::File> files = {makeFile("a.txt", 700, 1), makeFile("b.bin", 40000, 2),
                                                makeFile("c.bin", 30000, 3), makeFile("d.txt", 2000, 4)};
    // Blocks of 32 KB split between cabinets: the decoder is in the third
    // cabinet when it comes to c.bin, which begins in the second.
    auto set = cabwriter::writeCabinetSet({storedFolder(files, 32768)}, 30000, "z%d.cab");
    ASSERT_EQ(set.size(), 3u);
    cabwriter::Bytes& third = set[2].image;
    const std::string name = "c.bin";
    const auto at = std::search(third.begin(), third.end(), name.begin(), name.end());
    ASSERT_NE(at, third.end());
    constexpr size_t kRecordName = 16;
    third[size_t(at - third.begin()) - kRecordName] ^= 0x01;  // 30000 becomes 30001
    for (const auto& cabinet : set) save(cabinet, scratch.path());

    const ToolResult plain = runCabtool({"extract", "-d", "out", "z1.cab"}, scratch.path());
    EXPECT_EQ(plain.exitStatus, 1);
    EXPECT_TRUE(contains(plain.err, "z3.cab: cabinet is damaged: a file continued here is listed with "
                                    "another size where it begins")) << plain.err;
    EXPECT_TRUE(contains(plain.err, "c.bin: not extracted")) << plain.err;
    EXPECT_FALSE(fs::exists(scratch.path() / "out/c.bin"));
    EXPECT_EQ(readFile(scratch.path() / "out/b.bin"), text(files[1].data));

    const ToolResult salvaged = runCabtool({"extract", "-s", "-d", "kept", "z1.cab"}, scratch.path());
    EXPECT_EQ(salvaged.exitStatus, 1);
    EXPECT_TRUE(contains(salvaged.out, "salvaged   c.bin  (may be damaged)\nextracted  d.txt\n")) << salvaged.out;
    EXPECT_EQ(readFile(scratch.path() / "kept/c.bin"), text(files[2].data));
    EXPECT_EQ(readFile(scratch.path() / "kept/d.txt"), text(files[3].data));
}
