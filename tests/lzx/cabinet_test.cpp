// LZX folders made by the cabinet writer, extracted through the cabinet
// decoder: several folders and window sizes in one cabinet, reserve areas,
// and sets whose folders and blocks are split across cabinets.
#include "cab/cab.h"
#include "tests/support/sample_data.h"
#include "tests/support/memory_files.h"
#include "tools/cabwriter/cab_writer.h"

#include <gtest/gtest.h>

namespace {

using cabwriter::Bytes;
using sample_data::Kind;

cabwriter::File file(const std::string& name, Kind kind, size_t size, uint32_t seed) {
    cabwriter::File f;
    f.name = name;
    f.data = sample_data::make(kind, size, seed);
    return f;
}

cabwriter::Folder lzxFolder(std::vector<cabwriter::File> files, int windowBits,
                            uint32_t translation = 0) {
    cabwriter::Folder folder;
    folder.method = cabwriter::Method::Lzx;
    folder.files = std::move(files);
    folder.lzx.windowBits = windowBits;
    folder.lzx.translationSize = translation;
    folder.lzx.blockSize = 45000;  // blocks span frames and share them
    return folder;
}

int32_t extract(const std::vector<cabwriter::Cabinet>& cabinets, CabError& error) {
    memfiles::reset();
    for (const auto& cabinet : cabinets) memfiles::addFile(cabinet.name, cabinet.image);
    CabDecoder* decoder = memfiles::createDecoder(&error);
    int32_t result = cabExtract(decoder, cabinets.front().name.c_str(), "", memfiles::extractEveryFile, nullptr, nullptr);
    cabDestroy(decoder);
    return result;
}

void expectExtracted(const std::vector<cabwriter::Folder>& folders) {
    for (const auto& folder : folders) {
        for (const auto& f : folder.files) {
            ASSERT_TRUE(memfiles::hasOutput(f.name)) << f.name;
            EXPECT_TRUE(memfiles::output(f.name) == f.data) << f.name;
        }
    }
}

std::vector<cabwriter::Folder> sampleFolders() {
    return {
        lzxFolder({file("readme.txt", Kind::Text, 90000, 1), file("empty.txt", Kind::Text, 0, 2),
                   file("setup.exe", Kind::X86, 70001, 3)},
                  15, 20000000),
        lzxFolder({file("noise.bin", Kind::Random, 40000, 4)}, 21),
        lzxFolder({file("runs.bin", Kind::Runs, 150000, 5), file("one.txt", Kind::Text, 1, 6)}, 16),
        lzxFolder({file("table.dat", Kind::Binary, 66000, 7)}, 16),
    };
}

TEST(LzxCabinets, FoldersOfSeveralWindowsExtractByteExactly) {
    // Windows 15, 21, 16, 16: the codec is switched twice and reset at
    // every folder start, including the two that share a type word.
    auto folders = sampleFolders();
    CabError error{};
    ASSERT_EQ(extract({cabwriter::writeCabinet(folders)}, error), 1)
        << cabErrorText(error.errorCode);
    expectExtracted(folders);
}

TEST(LzxCabinets, ReserveAreasAroundLzxBlocks) {
    auto folders = sampleFolders();
    cabwriter::Options options;
    options.reserveFlag = true;
    options.cabinetReserve = Bytes(20, 0x11);
    options.cbCFFolder = 5;
    options.cbCFData = 3;
    for (auto& folder : folders) {
        folder.reserve = Bytes(5, 0x22);
        folder.blockReserve = Bytes(3, 0x33);
    }
    CabError error{};
    ASSERT_EQ(extract({cabwriter::writeCabinet(folders, options)}, error), 1)
        << cabErrorText(error.errorCode);
    expectExtracted(folders);
}

TEST(LzxCabinets, SetsWithFoldersAndBlocksSplitAcrossCabinets) {
    // Budgets that cut blocks in the middle: the codec sees the joined block
    // and keeps its state across the cabinet change (no reset there).
    std::vector<cabwriter::Folder> folders = {
        lzxFolder({file("readme.txt", Kind::Text, 90000, 1), file("setup.exe", Kind::X86, 70001, 3),
                   file("noise.bin", Kind::Random, 40000, 4), file("table.dat", Kind::Binary, 66000, 7)},
                  17, 20000000)};
    for (uint32_t budget : {7000u, 20000u}) {
        auto set = cabwriter::writeCabinetSet(folders, budget, "lzx%d.cab");
        ASSERT_GT(set.size(), 3u);
        CabError error{};
        ASSERT_EQ(extract(set, error), 1) << budget << ": " << cabErrorText(error.errorCode);
        expectExtracted(folders);
    }
}

TEST(LzxCabinets, DamagedLzxBlockEndsTheWalkWithCodecFailed) {
    auto folders = sampleFolders();
    auto cabinet = cabwriter::writeCabinet(folders);
    // Garble the middle of the second data block of the first folder and
    // checksum it again, so that only the codec can notice.
    const uint32_t block = cabinet.layout.blockOffsets[1];
    for (uint32_t k = 200; k < 260; ++k) cabinet.image[block + 8 + k] ^= 0x5A;
    cabwriter::rechecksumBlock(cabinet.image, block, 0);
    CabError error{};
    EXPECT_EQ(extract({cabinet}, error), 0);
    EXPECT_EQ(error.errorCode, CodecFailed);
}

}  // namespace
