// --threads: whatever the count, extract and test print, write and exit
// exactly as one pass does.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <map>

#include "tests/cabtool/test_cabinets.h"
#include "tests/cabtool/tool_runner.h"

using namespace cabtooltest;
namespace fs = std::filesystem;

namespace {

// Six folders of three methods, files in subdirectories, one read-only.
cabwriter::Cabinet manyFolders(const std::string& name) {
    std::vector<cabwriter::Folder> folders;
    const cabwriter::Method methods[] = {cabwriter::Method::Mszip, cabwriter::Method::Lzx,
                                         cabwriter::Method::Stored};
    for (uint8_t f = 0; f < 6; ++f) {
        cabwriter::Folder folder = storedFolder(
            {makeFile("dir" + std::to_string(f % 2) + "\\a" + std::to_string(f) + ".bin", 40000 + f * 1000, f),
             makeFile("b" + std::to_string(f) + ".txt", 3000, uint8_t(f + 50), f == 3 ? 0x21 : 0x20)},
            32768);
        folder.method = methods[f % 3];
        folders.push_back(folder);
    }
    return cabwriter::writeCabinet(folders, {}, name);
}

// Everything a run left: status, both streams, and each path below the
// working directory with its kind, permissions, time and contents.
struct Run {
    ToolResult result;
    std::map<std::string, std::string> tree;
};

Run runIn(const fs::path& where, const std::vector<std::string>& args) {
    Run run;
    fs::create_directories(where);
    run.result = runCabtool(args, where);
    for (const auto& item : fs::recursive_directory_iterator(where)) {
        struct stat status {};
        lstat(item.path().c_str(), &status);
        std::string facts = std::to_string(status.st_mode);
        // A directory's time is when it was made; a file's is its entry's.
        if (item.is_regular_file()) facts += " " + std::to_string(status.st_mtime) + " " + readFile(item.path());
        run.tree[item.path().lexically_relative(where).string()] = facts;
    }
    return run;
}

// Runs `command` with -T 1 and with other counts, each in a directory of
// its own, and expects the very same of every run; returns the single
// pass's result.
ToolResult expectSameForEveryCount(const fs::path& scratch, const std::string& command,
                             const std::vector<std::string>& rest) {
    const auto argsWith = [&](const std::vector<std::string>& threads) {
        std::vector<std::string> args{command};
        args.insert(args.end(), threads.begin(), threads.end());
        args.insert(args.end(), rest.begin(), rest.end());
        return args;
    };
    const Run one = runIn(scratch / "one", argsWith({"-T", "1"}));
    EXPECT_NE(one.result.exitStatus, -1) << one.result.err;
    for (const std::vector<std::string>& threads :
         {std::vector<std::string>{"-T", "2"}, {"--threads", "4"}, {"-T3"}, {}}) {
        const std::string label = threads.empty() ? "default" : threads.back();
        SCOPED_TRACE(command + " with " + label + " threads");
        const Run many = runIn(scratch / ("many" + label), argsWith(threads));
        EXPECT_EQ(many.result.exitStatus, one.result.exitStatus);
        EXPECT_EQ(many.result.out, one.result.out);
        EXPECT_EQ(many.result.err, one.result.err);
        EXPECT_TRUE(many.tree == one.tree) << many.tree.size() << " paths against " << one.tree.size();
        fs::remove_all(scratch / ("many" + label));
    }
    fs::remove_all(scratch / "one");
    return one.result;
}

}  // namespace

TEST(CabtoolThreads, EveryCountPrintsWritesAndExitsAsOnePass) {
    ScratchDirectory scratch;
    const fs::path cabinets = scratch.path() / "cabinets";
    fs::create_directories(cabinets);
    save(manyFolders("many.cab"), cabinets);

    // Folder 1's second block fails its checksum; folder 3's third does
    // not decode at all (its checksum zeroed, its MSZIP signature broken).
    cabwriter::Cabinet damaged = manyFolders("damaged.cab");
    const size_t perFolder = damaged.layout.blockOffsets.size() / 6;
    damaged.image[damaged.layout.blockOffsets[perFolder + 1] + 8 + 20] ^= 0x40;
    const size_t broken = damaged.layout.blockOffsets[3 * perFolder + 2];
    for (size_t b = 0; b < 4; ++b) damaged.image[broken + b] = 0;
    damaged.image[broken + 8] ^= 0xFF;
    save(damaged, cabinets);

    // A set of three cabinets, folders continued across them.
    std::vector<cabwriter::Folder> spread;
    for (uint8_t f = 0; f < 4; ++f) {
        spread.push_back(storedFolder({makeFile("s" + std::to_string(f) + ".bin", 30000, uint8_t(f + 9)),
                                       makeFile("t" + std::to_string(f) + ".txt", 900, uint8_t(f + 90))}));
    }
    for (const cabwriter::Cabinet& member : cabwriter::writeCabinetSet(spread, 40000, "set%d.cab")) {
        save(member, cabinets);
    }

    const std::string many = (cabinets / "many.cab").string();
    const std::string bad = (cabinets / "damaged.cab").string();
    const std::string set2 = (cabinets / "set2.cab").string();
    std::vector<ToolResult> extracted;
    for (const std::vector<std::string>& rest :
         {std::vector<std::string>{"-d", "out", many}, {"-f", "*.txt", "-d", "out", many},
          {"-d", "out", bad}, {"-s", "-d", "out", bad}, {"-q", "-d", "out", set2}, {"-d", "out", set2, many}}) {
        extracted.push_back(expectSameForEveryCount(scratch.path(), "extract", rest));
    }
    // The runs compared are the ones meant: whole, filtered, damaged,
    // salvaged, a set started at its second cabinet.
    EXPECT_TRUE(contains(extracted[0].out, "12 files extracted")) << extracted[0].out;
    EXPECT_TRUE(contains(extracted[1].out, "6 files extracted")) << extracted[1].out;
    EXPECT_EQ(extracted[2].exitStatus, 1);
    EXPECT_TRUE(contains(extracted[2].err, "checksum mismatch in data block 1 of folder 1")) << extracted[2].err;
    EXPECT_TRUE(contains(extracted[3].out, "salvaged")) << extracted[3].out;
    EXPECT_TRUE(contains(extracted[5].err, "starting from the first cabinet of its set")) << extracted[5].err;
    EXPECT_TRUE(contains(extracted[5].out, "extracted  s3.bin")) << extracted[5].out;
    for (const std::string& cabinet : {many, bad, set2}) {
        expectSameForEveryCount(scratch.path(), "test", {cabinet});
    }
}

TEST(CabtoolThreads, ADirectoryTheFirstFailedFileMadeStaysWhicheverWorkerMadeItFirst) {
    // The first file, in dir0, fails at once; later folders' files go to
    // dir0 too, and workers decoding them may make dir0 before the first
    // file's worker does. One pass leaves dir0 (made for the failed file),
    // so every count must, however the workers were scheduled.
    ScratchDirectory scratch;
    cabwriter::Cabinet cabinet = manyFolders("first.cab");
    const size_t broken = cabinet.layout.blockOffsets[0];
    for (size_t b = 0; b < 4; ++b) cabinet.image[broken + b] = 0;
    cabinet.image[broken + 8] ^= 0xFF;
    save(cabinet, scratch.path());
    const std::string path = (scratch.path() / "first.cab").string();
    for (int attempt = 0; attempt < 12; ++attempt) {
        const ToolResult result = expectSameForEveryCount(scratch.path(), "extract", {"-d", "out", path});
        EXPECT_TRUE(contains(result.out, "1 failed, 11 not reached")) << result.out;
    }
}
