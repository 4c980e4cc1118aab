// The order in which the decoder drives a codec: size query and creation,
// a reset at every folder start (never when a folder goes on in the next
// cabinet), one call per block, and destroy; with codec results mapped to
// the decoder's error codes.
#include "cab/codec.h"
#include "tests/cab/fake_codec.h"
#include "tests/cab/fixtures.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace fixtures;
using Calls = std::vector<std::string>;

namespace {

// A folder of the fake copy codec: each block holds its bytes as they are.
cabwriter::Folder copied(uint16_t typeWord, std::vector<cabwriter::File> files,
                         size_t blockSize = 1000) {
    cabwriter::Folder folder;
    folder.method = cabwriter::Method::Raw;
    folder.typeCompress = typeWord;
    cabwriter::Bytes all;
    for (const auto& f : files) all.insert(all.end(), f.data.begin(), f.data.end());
    for (size_t at = 0; at < all.size(); at += blockSize) {
        size_t n = std::min(blockSize, all.size() - at);
        folder.rawBlocks.push_back(
            {cabwriter::Bytes(all.begin() + long(at), all.begin() + long(at + n)), uint16_t(n)});
    }
    folder.files = std::move(files);
    return folder;
}

// Extracts the cabinet, destroys the decoder and returns the codec's calls.
Calls run(World& w, const cabwriter::Bytes& image, int32_t expected = 1) {
    memfiles::addFile("a.cab", image);
    EXPECT_EQ(recording::extract(w.decoder, "a.cab"), expected);
    cabDestroy(w.decoder);
    w.decoder = nullptr;
    EXPECT_EQ(memfiles::stats().liveBytes, 0) << "every buffer and instance is released";
    return fakecodec::calls();
}

}  // namespace

TEST(CodecOrder, EqualTypeWordsShareOneInstanceResetPerFolder) {
    fakecodec::reset();
    World w;
    auto a = file("a", 1500, 1), b = file("b", 700, 2);
    Calls calls = run(w, cabwriter::writeCabinet({copied(0x0F03, {a}), copied(0x0F03, {b})}).image);
    EXPECT_EQ(calls, (Calls{"query 32768", "create 32768 files", "reset", "block 1000", "block 500",
                            "reset", "block 700", "destroy"}));
    EXPECT_EQ(memfiles::output("a"), a.data);
    EXPECT_EQ(memfiles::output("b"), b.data);
}

TEST(CodecOrder, ADifferentWindowDestroysAndCreatesWithTheNewWindow) {
    fakecodec::reset();
    World w;
    Calls calls = run(w, cabwriter::writeCabinet({copied(0x0F03, {file("a", 10, 1)}),
                                                  copied(0x1503, {file("b", 20, 2)})})
                             .image);
    EXPECT_EQ(calls, (Calls{"query 32768", "create 32768 files", "reset", "block 10", "destroy",
                            "query 2097152", "create 2097152 files", "reset", "block 20",
                            "destroy"}));
}

TEST(CodecOrder, AFolderGoingOnInTheNextCabinetIsNotReset) {
    fakecodec::reset();
    World w;
    auto big = file("big", 5000, 3);
    auto cabinets = cabwriter::writeCabinetSet({copied(0x0F03, {big})}, 2500, "s%d.cab");
    ASSERT_EQ(cabinets.size(), 2u);
    recording::addCabinets(cabinets);
    ASSERT_EQ(recording::extract(w.decoder, "s1.cab"), 1);
    EXPECT_EQ(memfiles::output("big"), big.data);
    Calls calls = fakecodec::calls();
    EXPECT_EQ(std::count(calls.begin(), calls.end(), "reset"), 1);
    EXPECT_EQ(std::count(calls.begin(), calls.end(), "block 1000"), 5);
}

TEST(CodecOrder, CodecResultsMapToDecoderErrors) {
    struct Case {
        fakecodec::Behaviour behaviour;
        int32_t error;
        Calls calls;
    };
    const Case cases[] = {
        {{CodecNoMemory, 0, 0}, NoMemory, {"query 32768", "create 32768 files"}},
        {{CodecBadParameter, 0, 0}, CodecFailed, {"query 32768", "create 32768 files"}},
        {{0, CodecBadData, 0}, CodecFailed, {"query 32768", "create 32768 files", "reset", "destroy"}},
        {{0, 0, CodecBadData},
         CodecFailed,
         {"query 32768", "create 32768 files", "reset", "block 10", "destroy"}},
    };
    for (const Case& c : cases) {
        fakecodec::reset(c.behaviour);
        World w;
        Calls calls =
            run(w, cabwriter::writeCabinet({copied(0x0F03, {file("a", 10, 1)})}).image, 0);
        EXPECT_EQ(w.error.errorCode, c.error);
        EXPECT_EQ(calls, c.calls);
    }
}

TEST(CodecOrder, AMethodWithoutACodecFailsAndLeavesNothingLoaded) {
    fakecodec::reset();
    World w;
    cabwriter::Folder quantum = copied(0x0F02, {file("q", 100, 1)});
    memfiles::addFile("q.cab", cabwriter::writeCabinet({quantum}).image);
    EXPECT_EQ(recording::extract(w.decoder, "q.cab"), 0);
    EXPECT_EQ(w.error.errorCode, CodecFailed);
    // Nothing stayed loaded: the next cabinet's codec is created afresh.
    auto a = file("a", 10, 2);
    Calls calls = run(w, cabwriter::writeCabinet({copied(0x0F03, {a})}).image);
    EXPECT_EQ(calls, (Calls{"query 32768", "create 32768 files", "reset", "block 10", "destroy"}));
    EXPECT_EQ(memfiles::output("a"), a.data);
}
