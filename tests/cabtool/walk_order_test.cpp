// The order in which cabtool hands a cabinet's files to the decoder, seen
// from the codec: the decoder runs on a logging copy codec (method 3), so
// every folder start (reset) and every decoded block is counted.
#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>
#include <random>
#include <string>

#include "tests/cab/fake_codec.h"
#include "tests/cabtool/cabinet_edit.h"
#include "tests/cabtool/tool_runner.h"
#include "tools/cabtool/commands/commands.h"
#include "tools/cabwriter/cab_writer.h"

namespace fs = std::filesystem;

namespace {

constexpr uint16_t kCopyCodecType = 0x0F03;  // method 3, window 2^15: the logging codec
constexpr size_t kFileSize = 100;

std::vector<cabtool::CabinetSource> sourcesOf(const std::string& path) {
    return cabtool::planSources({path}, true).sources;
}

cabtool::RunOptions extractInto(const std::filesystem::path& directory) {
    cabtool::RunOptions options;
    options.directory = directory.string();
    return options;
}
constexpr size_t kBlockSize = 1000;

cabwriter::File numberedFile(size_t index) {
    cabwriter::File file;
    file.name = "f" + std::to_string(index) + ".bin";
    for (size_t i = 0; i < kFileSize; ++i) file.data.push_back(uint8_t(index * 31 + i));
    return file;
}

// One folder of `count` files of kFileSize bytes in blocks of kBlockSize,
// each block stored as is (the copy codec decodes it to itself).
cabwriter::Folder copyFolder(size_t count) {
    cabwriter::Folder folder;
    folder.method = cabwriter::Method::Raw;
    folder.typeCompress = kCopyCodecType;
    cabwriter::Bytes all;
    for (size_t i = 0; i < count; ++i) {
        folder.files.push_back(numberedFile(i));
        all.insert(all.end(), folder.files.back().data.begin(), folder.files.back().data.end());
    }
    for (size_t at = 0; at < all.size(); at += kBlockSize) {
        const size_t size = std::min(kBlockSize, all.size() - at);
        folder.rawBlocks.push_back({cabwriter::Bytes(all.begin() + long(at),
                                                     all.begin() + long(at + size)),
                                    uint16_t(size)});
    }
    return folder;
}

size_t countCalls(const std::string& prefix) {
    const auto& calls = fakecodec::calls();
    return size_t(std::count_if(calls.begin(), calls.end(), [&](const std::string& call) {
        return call.rfind(prefix, 0) == 0;
    }));
}

std::vector<size_t> shuffledOrder(size_t count) {
    std::vector<size_t> order(count);
    std::iota(order.begin(), order.end(), 0);
    std::shuffle(order.begin(), order.end(), std::mt19937(7));
    return order;
}

}  // namespace

TEST(CabtoolWalkOrder, ShuffledAndReversedDirectoriesDecodeEachFolderOnce) {
    cabtooltest::ScratchDirectory scratch;
    constexpr size_t kFiles = 60;  // 6,000 bytes: six blocks
    const std::vector<cabwriter::Folder> folders = {copyFolder(kFiles), copyFolder(kFiles / 2)};
    std::vector<size_t> reversed(kFiles + kFiles / 2);
    std::iota(reversed.rbegin(), reversed.rend(), 0);
    const std::vector<std::vector<size_t>> orders = {shuffledOrder(kFiles + kFiles / 2), reversed};
    for (const auto& order : orders) {
        cabwriter::Cabinet cabinet = cabwriter::writeCabinet(folders, {}, "order.cab");
        cabtooltest::reorderDirectory(cabinet, order);
        ASSERT_TRUE(cabwriter::saveCabinet(cabinet, scratch.path().string()));
        const std::string path = (scratch.path() / "order.cab").string();

        fakecodec::reset();
        EXPECT_EQ(cabtool::testCabinets(sourcesOf(path), {}), cabtool::kExitSuccess);
        EXPECT_EQ(countCalls("reset"), 2u) << "one start per folder";
        EXPECT_EQ(countCalls("block"), 6u + 3u) << "each block decoded once";

        fakecodec::reset();
        const fs::path out = scratch.path() / "out";
        EXPECT_EQ(cabtool::extractCabinets(sourcesOf(path), extractInto(out)), cabtool::kExitSuccess);
        EXPECT_EQ(countCalls("reset"), 2u);
        for (const auto& folder : folders) {
            for (const auto& file : folder.files) {
                EXPECT_EQ(cabtooltest::readFile(out / file.name),
                          std::string(file.data.begin(), file.data.end()))
                    << file.name;
            }
        }
        fs::remove_all(out);
    }
}

TEST(CabtoolWalkOrder, EntriesSharingOneRangeAreDecodedOnceAndCopied) {
    cabtooltest::ScratchDirectory scratch;
    cabwriter::Folder folder = copyFolder(20);  // 2,000 bytes: two blocks
    // Twelve more entries all covering the whole folder, listed first.
    for (int i = 0; i < 12; ++i) {
        cabwriter::File whole;
        whole.name = "whole" + std::to_string(i);
        whole.sizeOverride = 20 * kFileSize;
        whole.folderStartOverride = 0;
        folder.files.push_back(whole);
    }
    cabwriter::Cabinet cabinet = cabwriter::writeCabinet({folder}, {}, "same.cab");
    std::vector<size_t> wholeFirst(32);
    std::iota(wholeFirst.begin(), wholeFirst.end(), 0);
    std::rotate(wholeFirst.begin(), wholeFirst.begin() + 20, wholeFirst.end());
    cabtooltest::reorderDirectory(cabinet, wholeFirst);
    ASSERT_TRUE(cabwriter::saveCabinet(cabinet, scratch.path().string()));
    const std::string path = (scratch.path() / "same.cab").string();

    // One pass for the small files, one for the shared range: the twelve
    // entries cost what one costs.
    fakecodec::reset();
    EXPECT_EQ(cabtool::testCabinets(sourcesOf(path), {}), cabtool::kExitSuccess);
    EXPECT_EQ(countCalls("reset"), 2u);
    EXPECT_EQ(countCalls("block"), 4u);

    fakecodec::reset();
    const fs::path out = scratch.path() / "out";
    EXPECT_EQ(cabtool::extractCabinets(sourcesOf(path), extractInto(out)), cabtool::kExitSuccess);
    EXPECT_EQ(countCalls("block"), 4u);
    std::string whole;
    for (size_t i = 0; i < 20; ++i) whole += cabtooltest::readFile(out / numberedFile(i).name);
    for (int i = 0; i < 12; ++i) {
        EXPECT_EQ(cabtooltest::readFile(out / ("whole" + std::to_string(i))), whole) << i;
    }
}
