// The extraction walk over a single cabinet: notification order, the
// client's answers, folder selection and restarts.
#include "tests/cab/fixtures.h"

#include <gtest/gtest.h>

using namespace fixtures;
using Events = std::vector<std::string>;

TEST(ExtractionWalk, NotifiesInOrderAndWritesEveryFile) {
    World w;
    auto one = file("one.txt", 150, 1);
    auto two = file("two.txt", 60, 2);
    recording::addCabinets({cabwriter::writeCabinet({stored({one, two}, 100)}, {}, "a.cab")});
    recording::recordReserveEvents(true);

    ASSERT_EQ(recording::extract(w.decoder, "a.cab"), 1);
    EXPECT_EQ(recording::events(), (Events{
                                       "CabinetOpened next= set=0 index=0",
                                       "Cabinet reserve=65535 index=0",
                                       "DirectoryCursor left=2",
                                       "OpenOutput one.txt size=150 folder=0000",
                                       "Folder 0 reserve=0",
                                       "DataBlock size=100 split=0 first=0 reserve=0",
                                       "DataBlock size=100 split=0 first=0 reserve=0",
                                       "CloseOutput one.txt attributes=20 run=0",
                                       "OpenOutput two.txt size=60 folder=0000",
                                       "DataBlock size=10 split=0 first=0 reserve=0",
                                       "CloseOutput two.txt attributes=20 run=0",
                                       "DirectoryCursor left=0",
                                   }));
    EXPECT_EQ(memfiles::output("one.txt"), one.data);
    EXPECT_EQ(memfiles::output("two.txt"), two.data);
    // Both cabinet handles are closed when the walk ends.
    EXPECT_EQ(memfiles::stats().opens, 2);
    EXPECT_EQ(memfiles::stats().closes, 2 + 2);  // two cabinet handles, two outputs
}

TEST(ExtractionWalk, EmptyCabinetsAndTheDirectoryCursor) {
    World w;
    recording::addCabinets({cabwriter::writeCabinet({}, {}, "empty.cab")});
    ASSERT_EQ(recording::extract(w.decoder, "empty.cab"), 1);
    EXPECT_EQ(recording::events(),
              (Events{"CabinetOpened next= set=0 index=0", "DirectoryCursor left=0"}));

    // A client that sets the count to 0 at the first cursor gets no files.
    recording::clearEvents();
    recording::addCabinets({cabwriter::writeCabinet({stored({file("x", 5, 1)})}, {}, "x.cab")});
    recording::setAnswer([](int kind, CabNotification* n) {
        if (kind == DirectoryCursor) n->folderIndex = 0;
        return recording::kDefaultAnswer;
    });
    ASSERT_EQ(recording::extract(w.decoder, "x.cab"), 1);
    EXPECT_TRUE(recording::eventsOfKind("OpenOutput").empty());
}

TEST(ExtractionWalk, DirectoryCursorCanRewindTheFileList) {
    World w;
    auto cab = cabwriter::writeCabinet({stored({file("a", 5, 1), file("b", 7, 2)})}, {}, "r.cab");
    recording::addCabinets({cab});
    int cursors = 0;
    recording::setAnswer([&](int kind, CabNotification* n) {
        // At the end of the list, go back to the second entry once more.
        if (kind == DirectoryCursor && ++cursors == 2) {
            n->folderIndex = 1;
            n->size = int32_t(cab.layout.fileOffsets[1]);
        }
        return recording::kDefaultAnswer;
    });
    ASSERT_EQ(recording::extract(w.decoder, "r.cab"), 1);
    EXPECT_EQ(recording::eventsOfKind("OpenOutput"),
              (Events{"OpenOutput a size=5 folder=0000", "OpenOutput b size=7 folder=0000",
                      "OpenOutput b size=7 folder=0000"}));
}

TEST(ExtractionWalk, EmptyFilesAndRunAfterExtractionAttribute) {
    World w;
    auto empty = file("empty", 0, 0);
    auto runMe = file("run.exe", 20, 3, 0x60);
    recording::addCabinets({cabwriter::writeCabinet({stored({empty, runMe})}, {}, "e.cab")});
    recording::recordReserveEvents(true);
    ASSERT_EQ(recording::extract(w.decoder, "e.cab"), 1);
    const Events& e = recording::events();
    // The empty file touches no folder: its close follows its open at once.
    auto open = std::find(e.begin(), e.end(), "OpenOutput empty size=0 folder=0000");
    ASSERT_NE(open, e.end());
    EXPECT_EQ(*(open + 1), "CloseOutput empty attributes=20 run=0");
    EXPECT_EQ(recording::eventsOfKind("CloseOutput run.exe"),
              (Events{"CloseOutput run.exe attributes=20 run=1"}));
    EXPECT_TRUE(memfiles::output("empty").empty());
}

TEST(ExtractionWalk, DeclinedFilesAreNotDecompressed) {
    World w;
    recording::addCabinets(
        {cabwriter::writeCabinet({stored({file("skip", 300, 1)}), stored({file("keep", 10, 2)})},
                                 {}, "s.cab")});
    recording::recordReserveEvents(true);
    recording::setAnswer([](int kind, CabNotification* n) {
        if (kind == OpenOutput && std::string(n->text1) == "skip") return 0;
        return recording::kDefaultAnswer;
    });
    ASSERT_EQ(recording::extract(w.decoder, "s.cab"), 1);
    EXPECT_EQ(recording::eventsOfKind("Folder"), (Events{"Folder 1 reserve=0"}));
    EXPECT_EQ(recording::eventsOfKind("DataBlock").size(), 1u);
    EXPECT_FALSE(memfiles::hasOutput("skip"));
}

TEST(ExtractionWalk, CloseOutputAnswers) {
    for (int answer : {-1, 0}) {
        World w;
        recording::addCabinets({cabwriter::writeCabinet({stored({file("f", 10, 1)})}, {}, "c.cab")});
        int32_t handle = -1;
        recording::setAnswer([&](int kind, CabNotification* n) {
            if (kind == OpenOutput) return handle = memfiles::createOutput(n->text1);
            if (kind == CloseOutput) return answer;
            return recording::kDefaultAnswer;
        });
        EXPECT_EQ(recording::extract(w.decoder, "c.cab"), 0);
        if (answer == -1) {
            EXPECT_EQ(w.error.errorCode, ClientAbort);
            EXPECT_FALSE(memfiles::isOpen(handle)) << "the decoder closes the output itself";
        } else {
            EXPECT_EQ(w.error.errorCode, OutputFailed);
            EXPECT_TRUE(memfiles::isOpen(handle)) << "the client owns a handle it answered 0 for";
        }
    }
}

TEST(ExtractionWalk, FilesOutOfFolderOrderRestartTheFolder) {
    World w;
    auto first = file("fileA", 250, 1);
    auto second = file("fileB", 250, 2);
    auto cab = cabwriter::writeCabinet({stored({first, second}, 100)}, {}, "o.cab");
    recording::addCabinets({cab});
    recording::recordReserveEvents(true);
    // In folder order, each of the five blocks is read once.
    ASSERT_EQ(recording::extract(w.decoder, "o.cab"), 1);
    EXPECT_EQ(recording::eventsOfKind("DataBlock").size(), 5u);

    // List the entries the other way round: the second entry starts before
    // the block in hand, so the folder is read again from its first block.
    cabwriter::Bytes swapped = cab.image;
    uint32_t a = cab.layout.fileOffsets[0];
    uint32_t b = cab.layout.fileOffsets[1];
    // Both entries have the same length, so they can trade places.
    std::swap_ranges(swapped.begin() + a, swapped.begin() + b, swapped.begin() + b);
    memfiles::addFile("swapped.cab", swapped);
    recording::clearEvents();
    ASSERT_EQ(recording::extract(w.decoder, "swapped.cab"), 1);
    EXPECT_EQ(recording::eventsOfKind("Folder").size(), 2u);
    EXPECT_EQ(memfiles::output("fileA"), first.data);
    EXPECT_EQ(memfiles::output("fileB"), second.data);
}

TEST(ExtractionWalk, FilesFromAPreviousCabinetAreReportedAndSkipped) {
    World w;
    auto orphan = file("orphan", 10, 1);
    orphan.folderIndexOverride = 0xFFFD;
    recording::addCabinets(
        {cabwriter::writeCabinet({stored({orphan, file("mine", 10, 2)})}, {}, "p.cab")});
    ASSERT_EQ(recording::extract(w.decoder, "p.cab"), 1);
    EXPECT_EQ(recording::eventsOfKind("FileFromPrevious"),
              (Events{"FileFromPrevious orphan size=10 folder=FFFD"}));
    EXPECT_FALSE(memfiles::hasOutput("orphan"));
    EXPECT_EQ(memfiles::output("mine").size(), 10u);
}
