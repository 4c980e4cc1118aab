// Sets of cabinets: continued folders, split blocks, NeedCabinet and its
// retries, the two states of the walk, and reserve areas across cabinets.
#include "tests/cab/fixtures.h"

#include <gtest/gtest.h>

using namespace fixtures;
using Events = std::vector<std::string>;

namespace {

// Three files in one stored folder of 100-byte blocks, cut after 260 data
// bytes: "middle" spans the cut, which falls inside the third block; a
// second folder lies wholly in the second cabinet.
struct ThreeFileSet {
    cabwriter::File head = file("head", 120, 1);
    cabwriter::File middle = file("middle", 200, 2);
    cabwriter::File tail = file("tail", 80, 3);
    cabwriter::File own = file("own", 30, 4);
    std::vector<cabwriter::Cabinet> cabinets = cabwriter::writeCabinetSet(
        {stored({head, middle, tail}, 100), stored({own})}, 260, "part%d.cab");
};

}  // namespace

TEST(CabinetSet, ExtractingFromTheFirstCabinetPullsInTheNext) {
    World w;
    ThreeFileSet set;
    ASSERT_EQ(set.cabinets.size(), 2u);
    recording::addCabinets(set.cabinets);
    recording::recordReserveEvents(true);

    ASSERT_EQ(recording::extract(w.decoder, "part1.cab"), 1);
    EXPECT_EQ(memfiles::output("head"), set.head.data);
    EXPECT_EQ(memfiles::output("middle"), set.middle.data);
    EXPECT_EQ(recording::eventsOfKind("NeedCabinet"),
              (Events{"NeedCabinet part2.cab index=1 lastError=0"}));
    // The block split at the cut arrives as two pieces, joined in the buffer.
    EXPECT_EQ(recording::eventsOfKind("DataBlock size=60"),
              (Events{"DataBlock size=60 split=1 first=0 reserve=0"}));
    EXPECT_EQ(recording::eventsOfKind("DataBlock size=100 split=1"),
              (Events{"DataBlock size=100 split=1 first=60 reserve=0"}));
    // After crossing, the rest of the continued folder comes from the stream
    // in progress: "tail" lies wholly in the second cabinet, but its folder
    // started in the first.
    EXPECT_EQ(memfiles::output("tail"), set.tail.data);
    // The first file of the new cabinet alone ends the walk.
    EXPECT_FALSE(memfiles::hasOutput("own"));
    EXPECT_EQ(recording::events().back(), "DirectoryCursor left=0");

    // Walking the next cabinet on its own reports those files as continued.
    recording::clearEvents();
    ASSERT_EQ(recording::extract(w.decoder, "part2.cab"), 1);
    EXPECT_EQ(recording::eventsOfKind("FileFromPrevious"),
              (Events{"FileFromPrevious middle size=200 folder=FFFD",
                      "FileFromPrevious tail size=80 folder=FFFD"}));
    EXPECT_EQ(recording::eventsOfKind("OpenOutput"), (Events{"OpenOutput own size=30 folder=0001"}));
    EXPECT_EQ(memfiles::output("own"), set.own.data);
}

TEST(CabinetSet, DeclinedSpanningFilesArePassedOverInTheNextCabinet) {
    World w;
    // Two files both reaching into the second cabinet's split block.
    auto a = file("a", 230, 1);
    auto b = file("b", 20, 2);
    auto c = file("c", 50, 3);
    auto cabinets = cabwriter::writeCabinetSet({stored({a, b, c}, 100)}, 240, "s%d.cab");
    recording::addCabinets(cabinets);
    recording::setAnswer([](int kind, CabNotification* n) {
        if (kind == OpenOutput && std::string(n->text1) == "a") return 0;
        return recording::kDefaultAnswer;
    });
    ASSERT_EQ(recording::extract(w.decoder, "s1.cab"), 1);
    EXPECT_EQ(memfiles::output("b"), b.data);
    EXPECT_FALSE(memfiles::hasOutput("a"));
    ASSERT_EQ(recording::extract(w.decoder, "s2.cab"), 1);
    EXPECT_EQ(memfiles::output("c"), c.data);
}

TEST(CabinetSet, MissingNextCabinetIsAskedForAgainUntilTheClientGivesUp) {
    ThreeFileSet set;
    {
    World w;
    memfiles::addFile("part1.cab", set.cabinets[0].image);
    int requests = 0;
    recording::setAnswer([&](int kind, CabNotification* n) {
        if (kind != NeedCabinet) return recording::kDefaultAnswer;
        if (++requests > 5) return -1;  // never ask for ever, whatever goes wrong
        if (requests == 3) {
            // Supply the cabinet from another directory on the third request.
            memfiles::addFile("disk2/part2.cab", set.cabinets[1].image);
            snprintf(n->text3, kCabNameBufferSize, "disk2/");
        }
        return 0;
    });
    ASSERT_EQ(recording::extract(w.decoder, "part1.cab"), 1);
    EXPECT_EQ(recording::eventsOfKind("NeedCabinet"),
              (Events{"NeedCabinet part2.cab index=1 lastError=0",
                      "NeedCabinet part2.cab index=1 lastError=1",
                      "NeedCabinet part2.cab index=1 lastError=1"}));
    EXPECT_EQ(memfiles::output("middle"), set.middle.data);
    }

    // A client that answers -1 ends the walk with ClientAbort.
    World w;
    memfiles::addFile("part1.cab", set.cabinets[0].image);
    recording::setAnswer([](int kind, CabNotification*) {
        return kind == NeedCabinet ? -1 : recording::kDefaultAnswer;
    });
    EXPECT_EQ(recording::extract(w.decoder, "part1.cab"), 0);
    EXPECT_EQ(w.error.errorCode, ClientAbort);
}

TEST(CabinetSet, AWrongNextCabinetIsReportedToTheClient) {
    World w;
    ThreeFileSet set;
    cabwriter::Options other;
    other.setId = 77;
    auto foreign = cabwriter::writeCabinetSet({stored({file("z", 300, 9)}, 100)}, 150, "x%d.cab",
                                              other);
    memfiles::addFile("part1.cab", set.cabinets[0].image);
    memfiles::addFile("part2.cab", foreign[1].image);  // right index, wrong set
    ASSERT_EQ(recording::extract(w.decoder, "part1.cab"), 0);
    EXPECT_EQ(recording::eventsOfKind("NeedCabinet"),
              (Events{"NeedCabinet part2.cab index=1 lastError=0",
                      "NeedCabinet part2.cab index=1 lastError=10"}));
    EXPECT_EQ(w.error.errorCode, ClientAbort);  // the recorder gives up after one failure
}

TEST(CabinetSet, FailingToCloseACabinetEndsTheWalk) {
    World w;
    ThreeFileSet set;
    recording::addCabinets(set.cabinets);
    memfiles::failCloseOfOpen(1);  // the first cabinet's directory handle
    EXPECT_EQ(recording::extract(w.decoder, "part1.cab"), 0);
    EXPECT_EQ(w.error.errorCode, DamagedCabinet);
    EXPECT_TRUE(recording::eventsOfKind("NeedCabinet").empty());
}

TEST(CabinetSet, ReserveSizesAreFixedByTheFirstCabinet) {
    World w;
    cabwriter::Options options;
    options.reserveFlag = true;
    options.cabinetReserve = {1, 2, 3, 4};
    options.cbCFFolder = 2;
    options.cbCFData = 3;
    auto folder = stored({file("r", 300, 5)}, 100);
    folder.reserve = {9, 9};
    folder.blockReserve = {7, 7, 7};
    auto cabinets = cabwriter::writeCabinetSet({folder}, 150, "r%d.cab", options);
    recording::addCabinets(cabinets);
    recording::recordReserveEvents(true);
    ASSERT_EQ(recording::extract(w.decoder, "r1.cab"), 1);
    EXPECT_EQ(memfiles::output("r"), folder.files[0].data);
    EXPECT_EQ(recording::eventsOfKind("Cabinet reserve"),
              (Events{"Cabinet reserve=4 index=0", "Cabinet reserve=4 index=1"}));
    EXPECT_EQ(recording::eventsOfKind("Folder"), (Events{"Folder 0 reserve=2", "Folder 0 reserve=2"}));

    // A cabinet with other folder or block reserve sizes cannot follow.
    cabwriter::Options changed = options;
    changed.cbCFData = 4;
    folder.blockReserve = {7, 7, 7, 7};
    auto other = cabwriter::writeCabinet({folder}, changed, "other.cab");
    recording::addCabinets({other});
    EXPECT_EQ(recording::extract(w.decoder, "other.cab"), 0);
    EXPECT_EQ(w.error.errorCode, ReserveSizeChanged);

    // Only the cabinet reserve differs: the cabinet is still read correctly.
    changed = options;
    changed.cabinetReserve = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
    auto small = stored({file("w", 40, 6)});
    small.reserve = {1, 1};
    small.blockReserve = {2, 2, 2};
    recording::addCabinets({cabwriter::writeCabinet({small}, changed, "wider.cab")});
    EXPECT_EQ(recording::extract(w.decoder, "wider.cab"), 1);
    EXPECT_EQ(memfiles::output("w").size(), 40u);
    // A narrower one: only its own two bytes are read as its area.
    changed.cabinetReserve = {1, 2};
    recording::addCabinets({cabwriter::writeCabinet({small}, changed, "narrower.cab")});
    EXPECT_EQ(recording::extract(w.decoder, "narrower.cab"), 1);
    EXPECT_EQ(memfiles::output("w").size(), 40u);
}

TEST(CabinetSet, SecondPieceOfASplitBlockIsChecksummedToo) {
    World w;
    ThreeFileSet set;
    auto second = set.cabinets[1].image;
    second[set.cabinets[1].layout.blockOffsets[0] + 8 + 10] ^= 0x08;  // a byte of the second piece
    memfiles::addFile("part1.cab", set.cabinets[0].image);
    memfiles::addFile("part2.cab", second);
    EXPECT_EQ(recording::extract(w.decoder, "part1.cab"), 0);
    EXPECT_EQ(w.error.errorCode, DamagedCabinet);
    EXPECT_FALSE(memfiles::hasOutput("middle") && memfiles::output("middle") == set.middle.data);
}

TEST(CabinetSet, LargestCabinetReserveIsAllocatedOnceForEveryCabinet) {
    // 65,535 reserve bytes: the largest size, not a marker for "unknown".
    World w;
    cabwriter::Options options;
    options.reserveFlag = true;
    options.cabinetReserve.assign(65535, 0xA5);
    auto cabinets = cabwriter::writeCabinetSet({stored({file("r", 300, 5)}, 100)}, 150, "r%d.cab",
                                               options);
    ASSERT_EQ(cabinets.size(), 2u);
    recording::addCabinets(cabinets);
    recording::recordReserveEvents(true);
    ASSERT_EQ(recording::extract(w.decoder, "r1.cab"), 1);
    ASSERT_EQ(recording::extract(w.decoder, "r2.cab"), 1);
    // Three cabinets opened: the first, the second while crossing, the second again.
    EXPECT_EQ(recording::eventsOfKind("Cabinet reserve=65535").size(), 3u);
    cabDestroy(w.decoder);
    w.decoder = nullptr;
    EXPECT_EQ(memfiles::stats().liveBytes, 0) << "a reserve area was allocated more than once";
    EXPECT_EQ(memfiles::stats().allocations, memfiles::stats().frees);
}

TEST(CabinetSet, NextCabinetThatCannotContinueTheFolderIsAskedForAgain) {
    ThreeFileSet set;
    struct Damage {
        const char* what;
        size_t offset;  // in the second cabinet's image
        uint8_t value;
    };
    // No folders at all; or a folder 0 whose compression differs from the
    // folder in progress (stored, here MSZIP).
    const size_t typeCompress = set.cabinets[1].layout.folderOffsets[0] + 6;
    for (const Damage& damage : {Damage{"cFolders 0", 26, 0}, Damage{"MSZIP", typeCompress, 1}}) {
        World w;
        auto second = set.cabinets[1].image;
        second[damage.offset] = damage.value;
        second[damage.offset + 1] = 0;
        memfiles::addFile("part1.cab", set.cabinets[0].image);
        memfiles::addFile("part2.cab", second);
        std::vector<std::string> disks;
        recording::setAnswer([&](int kind, CabNotification* n) {
            if (kind != NeedCabinet) return recording::kDefaultAnswer;
            disks.push_back(n->text2);
            return n->lastError != 0 ? -1 : 0;
        });
        EXPECT_EQ(recording::extract(w.decoder, "part1.cab"), 0) << damage.what;
        EXPECT_EQ(recording::eventsOfKind("NeedCabinet"),
                  (Events{"NeedCabinet part2.cab index=1 lastError=0",
                          "NeedCabinet part2.cab index=1 lastError=4"}))
            << damage.what;
        // The request is repeated as it was made, disk name included, even
        // though the rejected cabinet named no next disk.
        EXPECT_EQ(disks, (std::vector<std::string>{"disk2", "disk2"})) << damage.what;
        EXPECT_FALSE(memfiles::hasOutput("tail")) << damage.what;
    }
}
