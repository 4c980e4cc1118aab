// Loading, keeping, switching and releasing folder codecs.
#include "tests/cab/fixtures.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace fixtures;

namespace {

cabwriter::Folder mszip(std::vector<cabwriter::File> files) {
    cabwriter::Folder folder;
    folder.method = cabwriter::Method::Mszip;
    folder.files = std::move(files);
    return folder;
}

// Text-like bytes that Deflate shrinks and references across blocks.
cabwriter::Bytes text(size_t size, uint32_t seed) {
    static const char* const words[] = {"cabinet ", "folder ", "block ", "stream ", "file ",
                                        "window ", "checksum ", "set "};
    cabwriter::Bytes out;
    uint32_t x = seed;
    while (out.size() < size) {
        x = x * 1103515245u + 12345u;
        const char* w = words[(x >> 16) % 8];
        out.insert(out.end(), w, w + strlen(w));
    }
    out.resize(size);
    return out;
}

int allocationsFor(const std::vector<cabwriter::Folder>& folders) {
    World w;
    memfiles::addFile("a.cab", cabwriter::writeCabinet(folders).image);
    EXPECT_EQ(recording::extract(w.decoder, "a.cab"), 1);
    return memfiles::stats().allocations;
}

}  // namespace

TEST(CodecDispatch, EqualTypeWordsKeepTheCodecAndOthersSwitchIt) {
    cabwriter::File f1{"1", text(70000, 1)};
    cabwriter::File f2{"2", text(50000, 2)};
    int one = allocationsFor({mszip({f1})});
    int two = allocationsFor({mszip({f1}), mszip({f2})});
    EXPECT_EQ(one, two) << "a second folder of the same type reuses the loaded codec";
    int switching = allocationsFor({mszip({f1}), stored({f2}), mszip({f1})});
    EXPECT_GT(switching, two) << "each change of type word releases and creates";

    World w;
    memfiles::addFile("a.cab",
                      cabwriter::writeCabinet({mszip({f1}), stored({f2}), mszip({f1})}).image);
    ASSERT_EQ(recording::extract(w.decoder, "a.cab"), 1);
    EXPECT_EQ(memfiles::output("1"), f1.data);
    EXPECT_EQ(memfiles::output("2"), f2.data);
    // Destroying the decoder releases the codec and every buffer.
    cabDestroy(w.decoder);
    w.decoder = nullptr;
    EXPECT_EQ(memfiles::stats().liveBytes, 0);
    EXPECT_EQ(memfiles::stats().allocations, memfiles::stats().frees);
}

TEST(CodecDispatch, MszipHistoryCarriesAcrossASplitBlockIntoTheNextCabinet) {
    World w;
    cabwriter::File big{"big.txt", text(200000, 3)};
    auto cabinets = cabwriter::writeCabinetSet({mszip({big})}, 9000, "m%d.cab");
    ASSERT_GT(cabinets.size(), 2u);
    recording::addCabinets(cabinets);
    ASSERT_EQ(recording::extract(w.decoder, "m1.cab"), 1);
    EXPECT_EQ(memfiles::output("big.txt"), big.data);
    EXPECT_EQ(recording::eventsOfKind("NeedCabinet").size(), cabinets.size() - 1);
}
