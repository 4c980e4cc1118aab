// Creating and destroying a decoder, the cabinet test and the block checksum.
#include "tests/cab/fixtures.h"

#include <gtest/gtest.h>

#include <random>

using namespace fixtures;

TEST(DecoderContext, CreationFailureIsRecordedAndDestroyReleasesOnlyTheContext) {
    memfiles::reset();
    CabError error{};
    memfiles::failAllocation(0);
    EXPECT_EQ(memfiles::createDecoder(&error), nullptr);
    EXPECT_EQ(error.errorCode, NoMemory);
    EXPECT_EQ(error.detail, 0);
    EXPECT_EQ(error.failed, 1);

    memfiles::reset();
    CabDecoder* d = memfiles::createDecoder(&error);
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(cabDestroy(d), 1);
    EXPECT_EQ(memfiles::stats().allocations, 1);
    EXPECT_EQ(memfiles::stats().frees, 1);
    EXPECT_EQ(memfiles::stats().closes, 0);
}

TEST(DecoderContext, IsCabinetReportsHeaderFactsAndRefusesOthers) {
    World w;
    auto cab = cabwriter::writeCabinet({stored({file("a", 10, 1)})});
    cab.image[30] = 0x07;  // flags: previous, next, reserve
    cab.image[32] = 0x34;  // setID 0x1234
    cab.image[33] = 0x12;
    cab.image[34] = 5;     // iCabinet 5
    memfiles::addFile("c", cab.image);
    int32_t h = memfiles::open("c", 0, 0);
    CabInfo info{};
    ASSERT_EQ(cabIsCabinet(w.decoder, h, &info), 1);
    EXPECT_EQ(info.cabinetSize, cab.image.size());
    EXPECT_EQ(info.folderCount, 1);
    EXPECT_EQ(info.fileCount, 1);
    EXPECT_EQ(info.setId, 0x1234);
    EXPECT_EQ(info.cabinetIndex, 5);
    EXPECT_EQ(info.hasReserve, 1);
    EXPECT_EQ(info.hasPrevious, 1);
    EXPECT_EQ(info.hasNext, 2);
    EXPECT_EQ(memfiles::seek(h, 0, 1), 36);  // left just past the header

    // Too short, or not "MSCF": refused without a record.
    memfiles::addFile("short", cabwriter::Bytes(cab.image.begin(), cab.image.begin() + 35));
    cabwriter::Bytes wrong = cab.image;
    wrong[0] = 'N';
    memfiles::addFile("wrong", wrong);
    for (const char* name : {"short", "wrong"}) {
        int32_t other = memfiles::open(name, 0, 0);
        EXPECT_EQ(cabIsCabinet(w.decoder, other, &info), 0) << name;
    }
    EXPECT_EQ(w.error.failed, 0);

    // Version 1.2 is named in the record.
    cabwriter::Bytes old = cab.image;
    old[24] = 0x02;
    memfiles::addFile("old", old);
    EXPECT_EQ(cabIsCabinet(w.decoder, memfiles::open("old", 0, 0), &info), 0);
    EXPECT_EQ(w.error.errorCode, BadVersion);
    EXPECT_EQ(w.error.detail, 0x0102);
    EXPECT_EQ(w.error.failed, 1);
}

// The sum written plainly: every whole little-endian word, then the tail
// bytes with the first one highest.
static uint32_t referenceChecksum(const uint8_t* p, uint32_t n, uint32_t seed) {
    uint32_t s = seed;
    uint32_t i = 0;
    for (; i + 4 <= n; i += 4) {
        s ^= uint32_t(p[i]) | uint32_t(p[i + 1]) << 8 | uint32_t(p[i + 2]) << 16 |
             uint32_t(p[i + 3]) << 24;
    }
    uint32_t tail = 0;
    for (; i < n; ++i) tail = (tail << 8) | p[i];
    return s ^ tail;
}

TEST(BlockChecksum, MatchesTheWordAndTailRule) {
    const uint8_t abc[] = {'a', 'b', 'c'};
    EXPECT_EQ(blockChecksum(abc, 3, 0), 0x00616263u);
    EXPECT_EQ(blockChecksum(abc, 0, 0xDEADBEEF), 0xDEADBEEFu);
    std::mt19937 random(7);
    for (uint32_t length = 0; length < 70; ++length) {
        auto data = pattern(length, length);
        uint32_t seed = random();
        EXPECT_EQ(blockChecksum(data.data(), length, seed),
                  referenceChecksum(data.data(), length, seed))
            << "length " << length;
    }
}
