// cabtool's finding, choosing, naming and reporting features, run as users
// run them: several cabinets and sets started anywhere, cabinets inside other
// files, filters, piping, lower-case names, code pages, hostile names,
// existing files and links, JSON, progress, version, and help against the
// manual page.
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <random>
#include <set>
#include <sstream>

#include "cab/cab.h"
#include "tests/cabtool/costly_candidates.h"
#include "tests/cabtool/terminal_runner.h"
#include "tests/cabtool/test_cabinets.h"
#include "tests/cabtool/tool_runner.h"
#include "tools/cabwriter/cab_writer.h"

using cabtooltest::contains;
using cabtooltest::readFile;
using cabtooltest::runCabtool;
using cabtooltest::runOnTerminal;
using cabtooltest::ScratchDirectory;
using cabtooltest::ToolResult;
using cabtooltest::makeFile;
using cabtooltest::save;
using cabtooltest::text;
namespace fs = std::filesystem;

namespace {

cabwriter::Folder folderOf(std::vector<cabwriter::File> files,
                           cabwriter::Method method = cabwriter::Method::Stored) {
    cabwriter::Folder folder;
    folder.method = method;
    // MSZIP blocks refer back into the previous block, which the decoder
    // keeps only when every block fills its whole output buffer.
    folder.blockSize = method == cabwriter::Method::Mszip ? 32768 : 1000;
    folder.files = std::move(files);
    return folder;
}

std::set<std::string> filesBelow(const fs::path& root) {
    std::set<std::string> found;
    if (!fs::exists(root)) return found;
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
        if (entry.is_regular_file()) found.insert(fs::relative(entry.path(), root).string());
    }
    return found;
}

bool isLower(char c) { return c >= 'a' && c <= 'z'; }
bool isDigit(char c) { return c >= '0' && c <= '9'; }

// The long options `text` names, each written as `marker` followed by a
// lower-case letter and more letters or dashes ("--name", or "\-\-name"
// in roff).
std::set<std::string> longOptions(const std::string& text, const std::string& marker) {
    std::set<std::string> names;
    for (size_t at = text.find(marker); at != std::string::npos; at = text.find(marker, at + 1)) {
        size_t end = at + marker.size();
        if (end >= text.size() || !isLower(text[end])) continue;
        while (end < text.size() && (isLower(text[end]) || text[end] == '-')) ++end;
        names.insert(text.substr(at + marker.size(), end - at - marker.size()));
    }
    return names;
}

// "cabtool" and a version of three numbers, on one line.
bool isVersionLine(const std::string& line) {
    const std::string prefix = "cabtool ";
    if (line.compare(0, prefix.size(), prefix) != 0) return false;
    size_t at = prefix.size();
    for (int part = 0; part < 3; ++part) {
        const size_t start = at;
        while (at < line.size() && isDigit(line[at])) ++at;
        if (at == start || at >= line.size() || line[at] != (part < 2 ? '.' : '\n')) return false;
        ++at;
    }
    return at == line.size();
}

size_t occurrences(const std::string& haystack, const std::string& needle) {
    size_t count = 0;
    for (size_t at = haystack.find(needle); at != std::string::npos; at = haystack.find(needle, at + 1)) {
        ++count;
    }
    return count;
}

// A set of four cabinets: a.txt and b.bin in cabinet 1, b.bin going on to 2,
// c.bin from 2 through 3 into 4, d.txt (MSZIP) in the last.
struct FourCabinetSet {
    std::vector<cabwriter::Folder> folders;
    size_t cabinets = 0;
};

FourCabinetSet writeFourCabinetSet(const fs::path& directory) {
    FourCabinetSet set;
    set.folders = {folderOf({makeFile("a.txt", 300, 1), makeFile("sub\\b.bin", 2500, 2),
                             makeFile("c.bin", 5000, 3)}),
                   folderOf({makeFile("d.txt", 700, 4)}, cabwriter::Method::Mszip)};
    const auto cabinets = cabwriter::writeCabinetSet(set.folders, 2000, "disk%d.cab");
    for (const auto& cabinet : cabinets) save(cabinet, directory);
    set.cabinets = cabinets.size();
    return set;
}

}  // namespace

TEST(CabtoolFinding, SeveralCabinetsAndSetsStartedAtAnyMember) {
    ScratchDirectory scratch;
    const FourCabinetSet set = writeFourCabinetSet(scratch.path());
    ASSERT_GE(set.cabinets, 4u);
    save(cabwriter::writeCabinet({folderOf({makeFile("lone.txt", 50, 9)})}, {}, "lone.cab"),
         scratch.path());

    // Started at the third cabinet, the whole set is read from the first.
    const ToolResult fromMiddle = runCabtool({"extract", "-d", "out", "disk3.cab"}, scratch.path());
    EXPECT_EQ(fromMiddle.exitStatus, 0) << fromMiddle.err;
    EXPECT_TRUE(contains(fromMiddle.err, "disk3.cab: starting from the first cabinet of its set, 'disk1.cab'"))
        << fromMiddle.err;
    for (const auto& folder : set.folders) {
        for (const auto& file : folder.files) {
            std::string path = file.name;
            std::replace(path.begin(), path.end(), '\\', '/');
            EXPECT_EQ(readFile(scratch.path() / "out" / path), text(file.data)) << path;
        }
    }

    // Several cabinets in turn; later members of a set already read are
    // recognised and not read again.
    const ToolResult listed =
        runCabtool({"list", "disk1.cab", "lone.cab", "disk2.cab", "disk4.cab"}, scratch.path());
    EXPECT_EQ(listed.exitStatus, 0) << listed.err;
    EXPECT_TRUE(contains(listed.err, "disk2.cab: already read as part of the set of 'disk1.cab'"))
        << listed.err;
    EXPECT_TRUE(contains(listed.err, "disk4.cab: already read as part of the set of 'disk1.cab'"))
        << listed.err;
    for (const char* name : {"a.txt", "c.bin", "d.txt", "lone.txt"}) {
        EXPECT_EQ(occurrences(listed.out, name), 1u) << name << "\n" << listed.out;
    }
    EXPECT_TRUE(contains(listed.out, "5 files, 8550 bytes")) << listed.out;

    // One unreadable argument fails the run before any cabinet is read.
    const ToolResult mixed = runCabtool({"test", "lone.cab", "missing.cab"}, scratch.path());
    EXPECT_EQ(mixed.exitStatus, 2);
    EXPECT_TRUE(contains(mixed.err, "missing.cab: cannot open")) << mixed.err;
    EXPECT_EQ(mixed.out, "");
}

TEST(CabtoolFinding, FilesOfACabinetInsideAnotherFileKeepTheirOwnData) {
    ScratchDirectory scratch;
    // Files of one size at different places in their folder, the cabinet
    // after bytes of padding: each file's folder offset is read from its
    // entry in the cabinet, not from the padding at the same position
    // counted from the host file's start.
    const cabwriter::Folder folder = folderOf(
        {makeFile("a.bin", 3000, 1), makeFile("b.bin", 3000, 2), makeFile("c.bin", 3000, 3)});
    const cabwriter::Cabinet cabinet = cabwriter::writeCabinet({folder});
    std::string host(8192, '\0');
    host += text(cabinet.image);
    cabtooltest::writeFile(scratch.path() / "padded.exe", host);

    const ToolResult r = runCabtool({"extract", "-d", "out", "padded.exe"}, scratch.path());
    EXPECT_EQ(r.exitStatus, 0) << r.err;
    for (size_t i = 0; i < folder.files.size(); ++i) {
        EXPECT_EQ(readFile(scratch.path() / "out" / folder.files[i].name), text(folder.files[i].data))
            << folder.files[i].name;
    }
}

TEST(CabtoolFinding, CabinetsInsideALargeFileAreFoundAndExtracted) {
    ScratchDirectory scratch;
    std::mt19937 random(2024);
    std::string host(7 << 20, '\0');
    for (auto& c : host) c = char(random());
    // Stray signatures that are not cabinets.
    for (size_t at = 777; at + 40 < host.size(); at += 300007) host.replace(at, 4, "MSCF");
    const cabwriter::Folder packed =
        folderOf({makeFile("inside\\one.dll", 70000, 5), makeFile("two.inf", 900, 6)},
                 cabwriter::Method::Mszip);
    const cabwriter::Cabinet first = cabwriter::writeCabinet({packed});
    const cabwriter::Cabinet second =
        cabwriter::writeCabinet({folderOf({makeFile("three.txt", 1234, 7)})});
    const size_t firstAt = 2500000, secondAt = 6000000;
    host.replace(firstAt, first.image.size(), text(first.image));
    host.replace(secondAt, second.image.size(), text(second.image));
    cabtooltest::writeFile(scratch.path() / "setup.exe", host);

    const ToolResult extracted = runCabtool({"extract", "-d", "out", "setup.exe"}, scratch.path());
    EXPECT_EQ(extracted.exitStatus, 0) << extracted.err;
    EXPECT_TRUE(contains(extracted.err, "setup.exe: cabinet found at offset 2500000")) << extracted.err;
    EXPECT_TRUE(contains(extracted.err, "setup.exe: cabinet found at offset 6000000")) << extracted.err;
    EXPECT_EQ(filesBelow(scratch.path() / "out"),
              (std::set<std::string>{"inside/one.dll", "two.inf", "three.txt"}));
    EXPECT_EQ(readFile(scratch.path() / "out/inside/one.dll"), text(packed.files[0].data));
    EXPECT_EQ(readFile(scratch.path() / "out/three.txt"), text(makeFile("three.txt", 1234, 7).data));

    const ToolResult tested = runCabtool({"test", "setup.exe"}, scratch.path());
    EXPECT_EQ(tested.exitStatus, 0) << tested.err;
    EXPECT_TRUE(contains(tested.out, "3 files tested, all good")) << tested.out;

    cabtooltest::writeFile(scratch.path() / "plain.bin", host.substr(0, 1 << 20));
    const ToolResult none = runCabtool({"list", "plain.bin"}, scratch.path());
    EXPECT_EQ(none.exitStatus, 1);
    EXPECT_TRUE(contains(none.err, "plain.bin: not a cabinet file, and no cabinet found inside"))
        << none.err;

    // A search given up on a file built to make it costly still walks what
    // it found, and says where it stopped.
    std::vector<uint8_t> costly(100, 'x');
    const std::vector<uint8_t> after = cabtooltest::costlyCandidatesAfter(second.image).bytes;
    costly.insert(costly.end(), after.begin(), after.end());
    cabtooltest::writeFile(scratch.path() / "costly.bin", std::string(costly.begin(), costly.end()));
    const ToolResult stopped = runCabtool({"list", "costly.bin"}, scratch.path());
    EXPECT_EQ(stopped.exitStatus, 1);
    EXPECT_TRUE(contains(stopped.out, "three.txt")) << stopped.out;
    EXPECT_TRUE(contains(stopped.err, "costly.bin: search stopped at offset")) << stopped.err;
}

// Going back from the cabinet named, the walk starts at the earliest member
// it can read as one of the set, and says why it stopped there.
TEST(CabtoolFinding, ASetStartsAtItsEarliestReadableMember) {
    ScratchDirectory scratch;
    const FourCabinetSet set = writeFourCabinetSet(scratch.path());
    ASSERT_GE(set.cabinets, 4u);
    const std::string stopped =
        "disk2.cab: its previous cabinet 'disk1.cab' cannot be read as one of its set; starting here";
    const std::string started = "disk3.cab: starting from the first cabinet of its set, 'disk2.cab'";

    fs::remove(scratch.path() / "disk1.cab");
    const ToolResult missing = runCabtool({"list", "disk3.cab"}, scratch.path());
    EXPECT_TRUE(contains(missing.err, stopped)) << missing.err;
    EXPECT_TRUE(contains(missing.err, started)) << missing.err;
    EXPECT_TRUE(contains(missing.out, "d.txt")) << missing.out;

    // A cabinet of another set under the previous one's name is not joined.
    cabwriter::Options otherSet;
    otherSet.setId = 77;
    save(cabwriter::writeCabinet({folderOf({makeFile("other.txt", 10, 3)})}, otherSet, "disk1.cab"),
         scratch.path());
    const ToolResult foreign = runCabtool({"list", "disk3.cab"}, scratch.path());
    EXPECT_TRUE(contains(foreign.err, stopped)) << foreign.err;
    EXPECT_FALSE(contains(foreign.out, "other.txt")) << foreign.out;

    const ToolResult quiet = runCabtool({"list", "-q", "disk3.cab"}, scratch.path());
    EXPECT_FALSE(contains(quiet.err, "starting here")) << quiet.err;
}

// More cabinets stored in one file than a single search has room for: every
// one is still walked, and a message about the search names the file once.
TEST(CabtoolFinding, EveryCabinetOfAFileHoldingManyIsWalked) {
    ScratchDirectory scratch;
    constexpr int kCabinets = 70;
    std::string host(100, 'x');
    for (int i = 0; i < kCabinets; ++i) {
        const std::string name = "part" + std::to_string(i) + ".txt";
        host += text(cabwriter::writeCabinet({folderOf({makeFile(name, 50, uint8_t(i))})}).image);
        host += std::string(20, 'x');
    }
    cabtooltest::writeFile(scratch.path() / "many.bin", host);
    const ToolResult listed = runCabtool({"list", "many.bin"}, scratch.path());
    EXPECT_EQ(listed.exitStatus, 0) << listed.err;
    EXPECT_TRUE(contains(listed.out, "part0.txt")) << listed.out;
    EXPECT_TRUE(contains(listed.out, "part69.txt")) << listed.out;
    EXPECT_TRUE(contains(listed.out, "70 files, 3500 bytes in all")) << listed.out;

    std::vector<uint8_t> costly(100, 'x');
    const std::vector<uint8_t> after =
        cabtooltest::costlyCandidatesAfter(cabwriter::writeCabinet({folderOf({makeFile("a.txt", 5, 1)})}).image)
            .bytes;
    costly.insert(costly.end(), after.begin(), after.end());
    cabtooltest::writeFile(scratch.path() / "costly.bin", std::string(costly.begin(), costly.end()));
    const ToolResult stopped = runCabtool({"list", "costly.bin"}, scratch.path());
    EXPECT_TRUE(contains(stopped.err, "cabtool: costly.bin: search stopped at offset")) << stopped.err;
    EXPECT_FALSE(contains(stopped.err, "costly.bin: costly.bin")) << stopped.err;
}

TEST(CabtoolChoosing, FilterPipeLowercaseAndQuiet) {
    ScratchDirectory scratch;
    const cabwriter::Folder folder =
        folderOf({makeFile("Docs\\Read.ME", 100, 1), makeFile("Bin\\Tool.DLL", 3000, 2),
                  makeFile("Bin\\x86\\Other.dll", 500, 3), makeFile("notes.txt", 40, 4)});
    save(cabwriter::writeCabinet({folder}, {}, "pick.cab"), scratch.path());

    const ToolResult listed = runCabtool({"list", "--filter", "*.dll", "pick.cab"}, scratch.path());
    EXPECT_EQ(listed.exitStatus, 0) << listed.err;
    EXPECT_TRUE(contains(listed.out, "Tool.DLL") && contains(listed.out, "Other.dll")) << listed.out;
    EXPECT_FALSE(contains(listed.out, "Read.ME") || contains(listed.out, "notes.txt")) << listed.out;
    EXPECT_TRUE(contains(listed.out, "2 files, 3500 bytes")) << listed.out;

    const ToolResult some = runCabtool(
        {"extract", "-d", "out", "--lowercase", "-f", "docs/*", "--filter=bin/*.dll", "pick.cab"},
        scratch.path());
    EXPECT_EQ(some.exitStatus, 0) << some.err;
    EXPECT_EQ(filesBelow(scratch.path() / "out"), (std::set<std::string>{"docs/read.me", "bin/tool.dll"}));
    EXPECT_EQ(readFile(scratch.path() / "out/bin/tool.dll"), text(folder.files[1].data));

    // Only the contents on standard output, in order; messages elsewhere.
    const ToolResult piped = runCabtool({"extract", "--pipe", "--filter", "*.dll", "pick.cab"}, scratch.path());
    EXPECT_EQ(piped.exitStatus, 0) << piped.err;
    EXPECT_EQ(piped.out, text(folder.files[1].data) + text(folder.files[2].data));
    EXPECT_TRUE(contains(piped.err, "2 files extracted, 3500 bytes\n")) << piped.err;
    EXPECT_FALSE(fs::exists(scratch.path() / "Bin"));

    const ToolResult quiet = runCabtool({"extract", "-q", "-d", "q", "pick.cab"}, scratch.path());
    EXPECT_EQ(quiet.exitStatus, 0) << quiet.err;
    EXPECT_EQ(quiet.out, "");
    EXPECT_EQ(quiet.err, "");
    EXPECT_EQ(filesBelow(scratch.path() / "q").size(), 4u);
    const ToolResult quietFailure = runCabtool({"test", "--quiet", "nothing.cab"}, scratch.path());
    EXPECT_EQ(quietFailure.exitStatus, 2);
    EXPECT_EQ(quietFailure.out, "");
    EXPECT_TRUE(contains(quietFailure.err, "nothing.cab: cannot open")) << quietFailure.err;

    const ToolResult version = runCabtool({"--version"}, scratch.path());
    EXPECT_EQ(version.exitStatus, 0);
    EXPECT_TRUE(isVersionLine(version.out)) << version.out;

    EXPECT_EQ(runCabtool({"list", "--pipe", "pick.cab"}, scratch.path()).exitStatus, 2);
    EXPECT_EQ(runCabtool({"extract", "--pipe", "-d", "x", "pick.cab"}, scratch.path()).exitStatus, 2);
    EXPECT_EQ(runCabtool({"list", "--encoding", "no-such-page", "pick.cab"}, scratch.path()).exitStatus, 2);
    EXPECT_EQ(runCabtool({"list", "--filter"}, scratch.path()).exitStatus, 2);
}

TEST(CabtoolNames, CodePageUtf8AndHostileNames) {
    ScratchDirectory scratch;
    const std::string hostile = "\x1B]0;owned\x07mal\x1B[2Jware\x9B" "1m.txt";
    const cabwriter::Folder folder = folderOf({
        makeFile("caf\xE9 \x80.txt", 10, 1),                 // Windows-1252
        makeFile("\xE6\x97\xA5\xE6\x9C\xAC.txt", 20, 2, 0xA0),  // UTF-8 attribute
        makeFile(hostile, 30, 3),
        makeFile("bad\xC3(utf.txt", 40, 4, 0xA0),           // invalid UTF-8
    });
    save(cabwriter::writeCabinet({folder}, {}, "names.cab"), scratch.path());

    const ToolResult extracted = runCabtool({"extract", "-d", "out", "names.cab"}, scratch.path());
    EXPECT_EQ(extracted.exitStatus, 0) << extracted.err;
    EXPECT_EQ(filesBelow(scratch.path() / "out"),
              (std::set<std::string>{"caf\xC3\xA9 \xE2\x82\xAC.txt", "\xE6\x97\xA5\xE6\x9C\xAC.txt",
                                     "_]0;owned_mal_[2Jware\xE2\x80\xBA" "1m.txt",
                                     "bad\xEF\xBF\xBD(utf.txt"}));
    EXPECT_EQ(readFile(scratch.path() / "out/caf\xC3\xA9 \xE2\x82\xAC.txt"), text(folder.files[0].data));

    // Another code page on request: 0xE9 is 'Ú' in code page 850.
    const ToolResult dos = runCabtool({"list", "--encoding", "cp850", "names.cab"}, scratch.path());
    EXPECT_TRUE(contains(dos.out, "caf\xC3\x9A")) << dos.out;

    // Nothing a terminal acts on reaches standard output or error.
    for (const char* command : {"list", "test"}) {
        const ToolResult r = runCabtool({command, "names.cab"}, scratch.path());
        EXPECT_EQ(r.exitStatus, 0) << r.err;
        for (const std::string& stream : {r.out, r.err}) {
            EXPECT_FALSE(contains(stream, "\x1B")) << command;
            EXPECT_FALSE(contains(stream, "\x07")) << command;
            EXPECT_FALSE(contains(stream, "\xC2\x9B")) << command;
        }
        EXPECT_TRUE(contains(r.out, "mal")) << r.out;
    }
}

// The code page asked for names every file alike: listed, chosen by a
// pattern, and written under that name.
TEST(CabtoolNames, EveryCommandUsesTheCodePageAsked) {
    ScratchDirectory scratch;
    const cabwriter::Folder folder = folderOf({makeFile("caf\xE9.txt", 10, 1), makeFile("plain.txt", 20, 2)});
    save(cabwriter::writeCabinet({folder}, {}, "dos.cab"), scratch.path());
    const std::string dosName = "caf\xC3\x9A.txt";  // 0xE9 is 'U' with acute in code page 850

    const ToolResult listed = runCabtool({"list", "-e", "cp850", "dos.cab"}, scratch.path());
    EXPECT_TRUE(contains(listed.out, dosName)) << listed.out;
    const ToolResult chosen =
        runCabtool({"extract", "-e", "cp850", "-f", "*\xC3\x9A*", "-d", "out", "dos.cab"}, scratch.path());
    EXPECT_EQ(chosen.exitStatus, 0) << chosen.err;
    EXPECT_EQ(filesBelow(scratch.path() / "out"), (std::set<std::string>{dosName}));
    EXPECT_EQ(readFile(scratch.path() / "out" / dosName), text(folder.files[0].data));

    const ToolResult tested = runCabtool({"test", "-e", "cp850", "dos.cab"}, scratch.path());
    EXPECT_EQ(tested.exitStatus, 0) << tested.err;
    EXPECT_TRUE(contains(tested.out, dosName)) << tested.out;
}

TEST(CabtoolPlacing, KeepAndSymbolicLinksNeverLeadOutOfTheTarget) {
    ScratchDirectory scratch;
    const cabwriter::Folder folder =
        folderOf({makeFile("kept.txt", 100, 1), makeFile("link.txt", 200, 2),
                  makeFile("linkdir\\inner.txt", 300, 3), makeFile("fresh.txt", 50, 4)});
    save(cabwriter::writeCabinet({folder}, {}, "place.cab"), scratch.path());
    const fs::path out = scratch.path() / "out";
    const fs::path outside = scratch.path() / "outside";
    fs::create_directories(out);
    fs::create_directories(outside);
    cabtooltest::writeFile(out / "kept.txt", "older");
    cabtooltest::writeFile(outside / "target.txt", "do not touch");
    fs::create_symlink(outside / "target.txt", out / "link.txt");
    fs::create_symlink(outside, out / "linkdir");

    const ToolResult kept = runCabtool({"extract", "--keep", "-d", "out", "place.cab"}, scratch.path());
    EXPECT_EQ(kept.exitStatus, 1) << kept.err;  // linkdir/inner.txt cannot be placed
    EXPECT_TRUE(contains(kept.err, "place.cab: kept.txt: exists; kept")) << kept.err;
    EXPECT_TRUE(contains(kept.out, "1 file extracted, 50 bytes, 2 kept, 1 failed\n")) << kept.out;
    EXPECT_TRUE(contains(kept.err, "place.cab: linkdir/inner.txt:")) << kept.err;
    EXPECT_EQ(readFile(out / "kept.txt"), "older");
    EXPECT_TRUE(fs::is_symlink(out / "link.txt"));
    EXPECT_EQ(readFile(out / "fresh.txt"), text(folder.files[3].data));

    const ToolResult replaced = runCabtool({"extract", "-d", "out", "place.cab"}, scratch.path());
    EXPECT_EQ(replaced.exitStatus, 1);
    EXPECT_EQ(readFile(out / "kept.txt"), text(folder.files[0].data));
    // The link itself is replaced by the file; what it pointed to is not written.
    EXPECT_FALSE(fs::is_symlink(out / "link.txt"));
    EXPECT_EQ(readFile(out / "link.txt"), text(folder.files[1].data));
    EXPECT_EQ(readFile(outside / "target.txt"), "do not touch");
    EXPECT_EQ(filesBelow(outside), std::set<std::string>{"target.txt"});
}

TEST(CabtoolReporting, JsonListingHasOneObjectPerFile) {
    ScratchDirectory scratch;
    cabwriter::File dated = makeFile("sub\\x.bin", 2500, 1, 0x21);
    dated.date = cabwriter::dosDate(2021, 3, 4);
    dated.time = cabwriter::dosTime(5, 6, 8);
    cabwriter::Folder lzx = folderOf({makeFile("q\"uote\x1B.txt", 10, 2)}, cabwriter::Method::Raw);
    lzx.typeCompress = 0x1303;  // LZX, 2^19 window: listed without decoding
    lzx.rawBlocks.push_back({cabwriter::Bytes(10, 0), 10});
    save(cabwriter::writeCabinet({folderOf({dated}, cabwriter::Method::Mszip), lzx}, {}, "j.cab"),
         scratch.path());

    const ToolResult r = runCabtool({"list", "--json", "j.cab"}, scratch.path());
    EXPECT_EQ(r.exitStatus, 0) << r.err;
    EXPECT_EQ(r.out,
              "[\n"
              "{\"name\": \"sub/x.bin\", \"size\": 2500, \"modified\": \"2021-03-04T05:06:08\", "
              "\"attributes\": [\"read-only\", \"archive\"], \"folder\": 0, \"method\": \"MSZIP\", "
              "\"window\": 32768, \"cabinet\": \"j.cab\"},\n"
              "{\"name\": \"q\\\"uote\\u001b.txt\", \"size\": 10, \"modified\": \"2006-09-01T22:39:48\", "
              "\"attributes\": [\"archive\"], \"folder\": 1, \"method\": \"LZX\", \"window\": 524288, "
              "\"cabinet\": \"j.cab\"}\n"
              "]\n");

    // A file going on into the next cabinet is in its cabinet's last folder.
    const auto set = cabwriter::writeCabinetSet(
        {folderOf({makeFile("first.txt", 300, 3)}), folderOf({makeFile("spans.bin", 3000, 4)})}, 2000,
        "js%d.cab");
    ASSERT_EQ(set.size(), 2u);
    for (const auto& cabinet : set) save(cabinet, scratch.path());
    const ToolResult spanning = runCabtool({"list", "--json", "js1.cab"}, scratch.path());
    EXPECT_EQ(spanning.exitStatus, 0) << spanning.err;
    EXPECT_TRUE(contains(spanning.out, "\"name\": \"spans.bin\", \"size\": 3000, ")) << spanning.out;
    EXPECT_TRUE(contains(spanning.out, "\"folder\": 1, \"method\": \"stored\", \"window\": null, "
                                       "\"cabinet\": \"js1.cab\"}\n]")) << spanning.out;
}

TEST(CabtoolReporting, ProgressOnATerminalOnlyForLongRuns) {
    ScratchDirectory scratch;
    // Twelve cabinets of one folder each.
    std::vector<cabwriter::Folder> folders;
    for (int i = 0; i < 12; ++i) {
        folders.push_back(folderOf({makeFile("part" + std::to_string(i) + ".bin", 1500, uint8_t(i))}));
    }
    const auto cabinets = cabwriter::writeCabinetSet(folders, 1500, "many%d.cab");
    ASSERT_EQ(cabinets.size(), 12u);
    for (const auto& cabinet : cabinets) save(cabinet, scratch.path());
    save(cabwriter::writeCabinet({folderOf({makeFile("small.txt", 10, 1)})}, {}, "small.cab"),
         scratch.path());
    const std::string clearLine = "\r\x1B[K";

    const auto shown = runOnTerminal({"test", "many1.cab"}, scratch.path());
    EXPECT_EQ(shown.exitStatus, 0) << shown.screen;
    EXPECT_TRUE(contains(shown.screen, "% ")) << shown.screen;
    EXPECT_TRUE(contains(shown.screen, "of 0.0 MB") || contains(shown.screen, "MB of")) << shown.screen;
    EXPECT_TRUE(contains(shown.screen, "part11.bin")) << shown.screen;
    // The last drawing is cleared before the summary.
    const size_t lastDrawn = shown.screen.rfind("MB of");
    const size_t lastCleared = shown.screen.rfind(clearLine);
    const size_t summary = shown.screen.find("12 files tested, all good");
    ASSERT_NE(summary, std::string::npos) << shown.screen;
    EXPECT_LT(lastDrawn, lastCleared);
    EXPECT_LT(lastCleared, summary);

    EXPECT_FALSE(contains(runOnTerminal({"test", "small.cab"}, scratch.path()).screen, clearLine));
    EXPECT_FALSE(contains(runOnTerminal({"test", "-q", "many1.cab"}, scratch.path()).screen, clearLine));
    const ToolResult notTerminal = runCabtool({"test", "many1.cab"}, scratch.path());
    EXPECT_FALSE(contains(notTerminal.err, clearLine) || contains(notTerminal.out, clearLine));
}

TEST(CabtoolReporting, PagedQuantumWindowWithoutATemporaryFileSaysWhereAndWhy) {
    ScratchDirectory scratch;
    cabwriter::Folder quantum = folderOf({makeFile("q.bin", 70000, 1)}, cabwriter::Method::Quantum);
    quantum.quantumWindowBits = 16;
    save(cabwriter::writeCabinet({quantum}, {}, "q.cab"), scratch.path());
    const std::string missing = (scratch.path() / "no-such-directory").string();

    cabtooltest::RunHooks hooks;
    hooks.environment = {{"QMORA_QUANTUM_PAGES", "4"}, {"TMPDIR", missing}};
    const ToolResult r = runCabtool({"extract", "-d", "out", "q.cab"}, scratch.path(), hooks);

    EXPECT_EQ(r.exitStatus, 1);
    EXPECT_TRUE(contains(r.err, "q.cab: cannot create the temporary file for the Quantum window in '" +
                                    missing + "': No such file or directory"))
        << r.err;
    EXPECT_FALSE(contains(r.err, cabErrorText(NoMemory))) << r.err;
    EXPECT_TRUE(filesBelow(scratch.path() / "out").empty());
}

TEST(CabtoolReporting, HelpAndManualPageDescribeTheSameOptions) {
    ScratchDirectory scratch;
    const ToolResult help = runCabtool({"--help"}, scratch.path());
    ASSERT_EQ(help.exitStatus, 0);
    std::ifstream manual(CABTOOL_MANUAL);
    std::stringstream page;
    page << manual.rdbuf();
    ASSERT_FALSE(page.str().empty());
    // Long options as each writes them: "--name" in the help, "\-\-name" in
    // the roff source.
    const std::string roff = page.str();
    const std::set<std::string> inHelp = longOptions(help.out, "--");
    const std::set<std::string> inManual = longOptions(roff, "\\-\\-");
    EXPECT_GE(inHelp.size(), 10u);
    EXPECT_EQ(inHelp, inManual);
    for (const char* command : {"list", "test", "extract"}) {
        EXPECT_TRUE(contains(roff, ".B cabtool " + std::string(command))) << command;
    }
}

TEST(CabtoolFeatures, PipedWithAFilterOverASetOnlyTheChosenFilesReachStandardOutput) {
    ScratchDirectory scratch;
    // "lead.bin" goes on from the first cabinet into the second, where
    // "wanted.txt" lies: the decoder must decode the one to reach the other.
    const std::vector<cabwriter::File> files = {makeFile("head.txt", 300, 1), makeFile("lead.bin", 3000, 2),
                                                makeFile("wanted.txt", 400, 3)};
    for (const auto& cabinet : cabwriter::writeCabinetSet({cabtooltest::storedFolder(files)}, 2000, "p%d.cab")) {
        cabtooltest::save(cabinet, scratch.path());
    }
    const ToolResult piped = runCabtool({"extract", "-p", "-f", "wanted.txt", "p1.cab"}, scratch.path());
    EXPECT_EQ(piped.exitStatus, 0) << piped.err;
    EXPECT_EQ(piped.out.size(), files[2].data.size());
    EXPECT_TRUE(piped.out == text(files[2].data));
    EXPECT_TRUE(contains(piped.err, "1 file extracted, 400 bytes\n")) << piped.err;
}
