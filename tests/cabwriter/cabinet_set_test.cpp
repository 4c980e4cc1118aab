// Sets of cabinets: where the cuts fall, the split block pieces, and the
// folder indices that tell a decoder which files cross a cut.
#include "tests/cabwriter/cabinet_parser.h"
#include "tools/cabwriter/cab_writer.h"

#include <gtest/gtest.h>

#include <string>

using cabwriter::Bytes;

namespace {

cabwriter::File file(std::string name, size_t size, uint8_t fill) {
    cabwriter::File f;
    f.name = std::move(name);
    for (size_t i = 0; i < size; ++i) f.data.push_back(uint8_t(fill + i % 7));
    return f;
}

struct Entry {
    std::string name;
    uint16_t iFolder;
    uint32_t uoffFolderStart;
};

std::vector<Entry> entries(const parsed::Cabinet& cab) {
    std::vector<Entry> out;
    for (const auto& f : cab.files) out.push_back({f.name, f.iFolder, f.uoffFolderStart});
    return out;
}

bool operator==(const Entry& a, const Entry& b) {
    return a.name == b.name && a.iFolder == b.iFolder && a.uoffFolderStart == b.uoffFolderStart;
}

void PrintTo(const Entry& e, std::ostream* os) {
    *os << e.name << "/" << std::hex << e.iFolder << std::dec << "@" << e.uoffFolderStart;
}

// All blocks of the set in order, each split block joined from its pieces.
std::vector<parsed::Block> joinedBlocks(const std::vector<parsed::Cabinet>& set) {
    std::vector<parsed::Block> out;
    bool pendingPiece = false;
    for (const auto& cab : set) {
        for (const auto& folder : cab.folders) {
            for (const auto& block : folder.blocks) {
                EXPECT_TRUE(block.checksumOk);
                if (pendingPiece) {
                    out.back().data.insert(out.back().data.end(), block.data.begin(),
                                           block.data.end());
                    out.back().cbData = uint16_t(out.back().data.size());
                    out.back().cbUncomp = block.cbUncomp;
                } else {
                    out.push_back(block);
                }
                pendingPiece = block.cbUncomp == 0;
            }
        }
    }
    EXPECT_FALSE(pendingPiece) << "the set ends with the first piece of a block";
    return out;
}

}  // namespace

TEST(CabinetSet, BlocksSplitInsideAndFilesMarkedAcrossThreeCabinets) {
    cabwriter::Folder first;
    first.files = {file("first.txt", 50, 1)};
    cabwriter::Folder spanning;
    spanning.blockSize = 1000;
    spanning.files = {file("z", 200, 10), file("a", 1300, 20), file("b", 300, 30),
                      file("c", 2500, 40), file("d", 200, 50), file("e", 100, 60)};
    cabwriter::Folder last;
    last.method = cabwriter::Method::Mszip;
    last.files = {file("f", 300, 70)};
    cabwriter::Options options;
    options.setId = 0xBEEF;
    options.firstIndex = 4;

    // Data: 50 | 1000 1000 1000 1000 600 | small MSZIP block. A budget of
    // 1750 cuts the second block after 700 bytes and the fourth after 450.
    const auto cabinets =
        cabwriter::writeCabinetSet({first, spanning, last}, 1750, "part%d.cab", options);
    ASSERT_EQ(cabinets.size(), 3u);
    std::vector<parsed::Cabinet> set;
    for (const auto& c : cabinets) set.push_back(parsed::parse(c.image));

    for (size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(cabinets[i].name, "part" + std::to_string(i + 1) + ".cab");
        EXPECT_EQ(set[i].setId, 0xBEEF);
        EXPECT_EQ(set[i].iCabinet, 4 + i);
        EXPECT_EQ(set[i].cbCabinet, cabinets[i].image.size());
    }
    EXPECT_EQ(set[0].flags, 0x0002);
    EXPECT_EQ(set[1].flags, 0x0003);
    EXPECT_EQ(set[2].flags, 0x0001);
    EXPECT_EQ(set[0].nextCabinet, "part2.cab");
    EXPECT_EQ(set[0].nextDisk, "disk2");
    EXPECT_EQ(set[2].previousCabinet, "part2.cab");
    EXPECT_EQ(set[1].previousDisk, "disk1");

    // Pieces: each cut block is a first piece (cbUncomp 0) ending one cabinet
    // and a second piece, with the whole cbUncomp, opening folder 0 of the next.
    ASSERT_EQ(set[0].cFolders, 2);
    ASSERT_EQ(set[1].cFolders, 1);
    ASSERT_EQ(set[2].cFolders, 2);
    const auto& cut1 = set[0].folders[1].blocks.back();
    const auto& rest1 = set[1].folders[0].blocks.front();
    EXPECT_EQ(cut1.cbUncomp, 0);
    EXPECT_EQ(cut1.cbData, 700);
    EXPECT_EQ(rest1.cbData, 300);
    EXPECT_EQ(rest1.cbUncomp, 1000);
    EXPECT_EQ(set[1].folders[0].blocks.back().cbData, 450);
    EXPECT_EQ(set[2].folders[0].blocks.front().cbData, 550);
    EXPECT_EQ(set[2].folders[0].blocks.front().cbUncomp, 1000);

    // Joined, the stored blocks give back the folders' bytes.
    const auto blocks = joinedBlocks(set);
    ASSERT_EQ(blocks.size(), 7u);
    Bytes spanned;
    for (size_t i = 1; i <= 5; ++i) {
        EXPECT_EQ(blocks[i].cbData, blocks[i].cbUncomp);
        spanned.insert(spanned.end(), blocks[i].data.begin(), blocks[i].data.end());
    }
    Bytes expected;
    for (const auto& f : spanning.files) expected.insert(expected.end(), f.data.begin(), f.data.end());
    EXPECT_EQ(spanned, expected);

    using E = std::vector<Entry>;
    EXPECT_EQ(entries(set[0]), (E{{"first.txt", 0, 0},
                                  {"z", 1, 0},
                                  {"a", 0xFFFE, 200},
                                  {"b", 0xFFFE, 1500},
                                  {"c", 0xFFFE, 1800}}));
    EXPECT_EQ(entries(set[1]), (E{{"a", 0xFFFD, 200}, {"b", 0xFFFD, 1500}, {"c", 0xFFFF, 1800}}));
    // d and e lie wholly in the continued folder's part, which decodes only
    // as the continuation of the folder begun in the first cabinet.
    EXPECT_EQ(entries(set[2]),
              (E{{"c", 0xFFFD, 1800}, {"d", 0xFFFD, 4300}, {"e", 0xFFFD, 4500}, {"f", 1, 0}}));

    options.continuedFolderKeepsIndex = true;
    const auto bare = parsed::parse(
        cabwriter::writeCabinetSet({first, spanning, last}, 1750, "part%d.cab", options)[2].image);
    EXPECT_EQ(entries(bare),
              (E{{"c", 0xFFFD, 1800}, {"d", 0, 4300}, {"e", 0, 4500}, {"f", 1, 0}}));
}

TEST(CabinetSet, SecondPiecesLargerThanTheBudgetAreNotCutAgain) {
    cabwriter::Folder folder;
    folder.blockSize = 1000;
    folder.files = {file("big", 3500, 5)};
    const auto cabinets = cabwriter::writeCabinetSet({folder}, 300);
    std::vector<parsed::Cabinet> set;
    for (const auto& c : cabinets) set.push_back(parsed::parse(c.image));

    // Each block: a 300-byte first piece, then its rest alone in the next
    // cabinet, which is then over budget and takes nothing more.
    ASSERT_EQ(set.size(), 8u);
    for (size_t i = 0; i < set.size(); ++i) {
        ASSERT_EQ(set[i].folders.size(), 1u);
        ASSERT_EQ(set[i].folders[0].blocks.size(), 1u);
        const auto& block = set[i].folders[0].blocks[0];
        const bool firstPiece = i % 2 == 0;
        EXPECT_EQ(block.cbData, firstPiece ? 300 : i == 7 ? 200 : 700) << "cabinet " << i;
        EXPECT_EQ(block.cbUncomp, firstPiece ? 0 : i == 7 ? 500 : 1000) << "cabinet " << i;
        EXPECT_EQ(set[i].files[0].iFolder, i == 0 ? 0xFFFE : i == 7 ? 0xFFFD : 0xFFFF);
    }

    Bytes joined;
    for (const auto& b : joinedBlocks(set)) joined.insert(joined.end(), b.data.begin(), b.data.end());
    EXPECT_EQ(joined, folder.files[0].data);
}

TEST(CabinetSet, CutOnABlockBoundarySplitsNothing) {
    cabwriter::Folder folder;
    folder.method = cabwriter::Method::Mszip;
    folder.blockSize = 32768;
    Bytes data(3 * 32768);
    for (size_t i = 0; i < data.size(); ++i) data[i] = uint8_t((i * 7) ^ (i >> 9));
    folder.files = {cabwriter::File{"p", Bytes(data.begin(), data.begin() + 40000)},
                    cabwriter::File{"q", Bytes(data.begin() + 40000, data.end())}};

    // Size the budget to end exactly after the second block.
    const auto single = parsed::parse(cabwriter::writeCabinet({folder}).image);
    ASSERT_EQ(single.folders[0].blocks.size(), 3u);
    const uint32_t twoBlocks =
        single.folders[0].blocks[0].cbData + single.folders[0].blocks[1].cbData;

    const auto cabinets = cabwriter::writeCabinetSet({folder}, twoBlocks);
    ASSERT_EQ(cabinets.size(), 2u);
    const auto one = parsed::parse(cabinets[0].image);
    const auto two = parsed::parse(cabinets[1].image);
    ASSERT_EQ(one.folders[0].blocks.size(), 2u);
    ASSERT_EQ(two.folders[0].blocks.size(), 1u);
    for (const auto& b : one.folders[0].blocks) EXPECT_EQ(b.cbUncomp, 32768);
    EXPECT_EQ(two.folders[0].blocks[0].data, single.folders[0].blocks[2].data);
    EXPECT_TRUE(two.folders[0].blocks[0].checksumOk);

    using E = std::vector<Entry>;
    EXPECT_EQ(entries(one), (E{{"p", 0, 0}, {"q", 0xFFFE, 40000}}));
    EXPECT_EQ(entries(two), (E{{"q", 0xFFFD, 40000}}));

    // The continued folder's blocks still chain through their history.
    Bytes out;
    for (const auto* cab : {&one, &two}) {
        for (const auto& b : cab->folders[0].blocks) {
            const size_t history = std::min<size_t>(out.size(), 32768);
            Bytes block = parsed::inflateMszip(b.data, Bytes(out.end() - long(history), out.end()));
            out.insert(out.end(), block.begin(), block.end());
        }
    }
    EXPECT_EQ(out, data);
}

TEST(CabinetSet, CutOnAFileBoundaryLeadsTheWalkOnAndFilesGoingOnAreListedLast) {
    // Stored blocks of 100 and cabinets of 200 data bytes: both cuts fall
    // where a file begins. That file is listed in the earlier cabinet as
    // going on, or no walk would lead into the next cabinet.
    cabwriter::Folder folder;
    folder.blockSize = 100;
    folder.files = {file("first", 200, 1), file("third", 100, 2), file("fourth", 300, 3)};
    const auto cabinets = cabwriter::writeCabinetSet({folder}, 200);
    ASSERT_EQ(cabinets.size(), 3u);
    using E = std::vector<Entry>;
    EXPECT_EQ(entries(parsed::parse(cabinets[0].image)), (E{{"first", 0, 0}, {"third", 0xFFFE, 200}}));
    EXPECT_EQ(entries(parsed::parse(cabinets[1].image)),
              (E{{"third", 0xFFFD, 200}, {"fourth", 0xFFFF, 300}}));
    EXPECT_EQ(entries(parsed::parse(cabinets[2].image)), (E{{"fourth", 0xFFFD, 300}}));

    // A file of no bytes after one that goes on: listed before it.
    cabwriter::Folder withEmpty;
    withEmpty.blockSize = 32768;
    withEmpty.files = {file("a.bin", 3000, 4), file("empty.txt", 0, 0), file("b.bin", 1000, 5)};
    const auto set = cabwriter::writeCabinetSet({withEmpty}, 2000);
    ASSERT_EQ(set.size(), 2u);
    EXPECT_EQ(entries(parsed::parse(set[0].image)),
              (E{{"empty.txt", 0, 3000}, {"a.bin", 0xFFFE, 0}, {"b.bin", 0xFFFE, 3000}}));
    EXPECT_EQ(entries(parsed::parse(set[1].image)), (E{{"a.bin", 0xFFFD, 0}, {"b.bin", 0xFFFD, 3000}}));
}

TEST(CabinetSet, ChecksumCoversDataThenHeaderFields) {
    // "abc" stored: its data sums to 0x00616263 (tail bytes packed high
    // first), then cbData = 3 and cbUncomp = 3 as one little-endian word.
    cabwriter::Folder folder;
    folder.files = {cabwriter::File{"abc", Bytes{'a', 'b', 'c'}}};
    const auto cab = parsed::parse(cabwriter::writeCabinet({folder}).image);
    ASSERT_EQ(cab.folders[0].blocks.size(), 1u);
    EXPECT_EQ(cab.folders[0].blocks[0].csum, 0x00616263u ^ 0x00030003u);

    // Five bytes: one whole word, little-endian, and one tail byte.
    folder.files = {cabwriter::File{"five", Bytes{1, 2, 3, 4, 5}}};
    const auto five = parsed::parse(cabwriter::writeCabinet({folder}).image);
    EXPECT_EQ(five.folders[0].blocks[0].csum, 0x04030201u ^ 0x05u ^ 0x00050005u);
}
