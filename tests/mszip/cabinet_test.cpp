// zlib-made MSZIP folders wrapped as cabinets and extracted through the
// cabinet decoder with in-memory callbacks.
#include "cab/cab.h"
#include "tests/mszip/test_data.h"
#include "tests/support/memory_files.h"
#include "tools/cabwriter/cab_writer.h"

#include <gtest/gtest.h>

namespace {

using cabwriter::Bytes;
using test_data::Kind;

cabwriter::File file(const std::string& name, Kind kind, size_t size, uint32_t seed) {
    cabwriter::File f;
    f.name = name;
    f.data = test_data::make(kind, size, seed);
    return f;
}

cabwriter::Folder mszipFolder(std::vector<cabwriter::File> files, int level, int strategy) {
    cabwriter::Folder folder;
    folder.method = cabwriter::Method::Mszip;
    folder.files = std::move(files);
    folder.zlibLevel = level;
    folder.zlibStrategy = strategy;
    return folder;
}

struct Extraction {
    CabError error{};
    int32_t result = 0;
};

Extraction extract(const std::vector<cabwriter::Cabinet>& cabinets) {
    memfiles::reset();
    for (const auto& cabinet : cabinets) memfiles::addFile(cabinet.name, cabinet.image);
    Extraction e;
    CabDecoder* decoder = memfiles::createDecoder(&e.error);
    e.result = cabExtract(decoder, cabinets.front().name.c_str(), "", memfiles::extractEveryFile, nullptr, nullptr);
    cabDestroy(decoder);
    return e;
}

void expectExtracted(const std::vector<cabwriter::Folder>& folders) {
    for (const auto& folder : folders) {
        for (const auto& f : folder.files) {
            ASSERT_TRUE(memfiles::hasOutput(f.name)) << f.name;
            EXPECT_TRUE(memfiles::output(f.name) == f.data) << f.name;
        }
    }
}

TEST(MszipCabinets, ZlibFoldersExtractByteExactly) {
    // Several MSZIP folders in one cabinet: the codec stays loaded and is
    // reset at each folder start.
    std::vector<cabwriter::Folder> folders = {
        mszipFolder({file("readme.txt", Kind::Text, 100000, 1), file("empty.txt", Kind::Text, 0, 2),
                     file("data.bin", Kind::Binary, 70001, 3)},
                    6, Z_DEFAULT_STRATEGY),
        mszipFolder({file("noise.bin", Kind::Random, 65536 + 17, 4)}, 9, Z_FILTERED),
        mszipFolder({file("runs.bin", Kind::Runs, 200000, 5), file("one.bin", Kind::Text, 1, 6)},
                    1, Z_RLE),
        mszipFolder({file("skewed.bin", Kind::Skewed, 50000, 7)}, 9, Z_HUFFMAN_ONLY),
        mszipFolder({file("fixed.txt", Kind::Text, 40000, 8)}, 4, Z_FIXED),
    };
    Extraction e = extract({cabwriter::writeCabinet(folders)});
    ASSERT_EQ(e.result, 1) << cabErrorText(e.error.errorCode);
    expectExtracted(folders);
}

TEST(MszipCabinets, FolderContinuedAcrossACabinetSet) {
    std::vector<cabwriter::Folder> folders = {
        mszipFolder({file("big.txt", Kind::Text, 300000, 11)}, 6, Z_DEFAULT_STRATEGY)};
    std::vector<cabwriter::Cabinet> set = cabwriter::writeCabinetSet(folders, 20000, "part%d.cab");
    ASSERT_GT(set.size(), 2u);
    Extraction e = extract(set);
    ASSERT_EQ(e.result, 1) << cabErrorText(e.error.errorCode);
    expectExtracted(folders);
}

TEST(MszipCabinets, DamagedMszipDataFailsTheExtraction) {
    // A stored block that claims more bytes than the block holds.
    cabwriter::Folder folder;
    folder.method = cabwriter::Method::Raw;
    folder.typeCompress = 1;
    folder.files = {file("cut.bin", Kind::Text, 10, 1)};
    folder.rawBlocks = {{Bytes{'C', 'K', 0x01, 0x0A, 0x00, 0xF5, 0xFF, 'a', 'b', 'c'}, 10}};
    Extraction e = extract({cabwriter::writeCabinet({folder})});
    EXPECT_EQ(e.result, 0);
    EXPECT_EQ(e.error.errorCode, CodecFailed);

    // The same block with its bytes present extracts.
    folder.rawBlocks[0].data.insert(folder.rawBlocks[0].data.end(), 7, 'z');
    folder.files[0].data = Bytes{'a', 'b', 'c', 'z', 'z', 'z', 'z', 'z', 'z', 'z'};
    e = extract({cabwriter::writeCabinet({folder})});
    ASSERT_EQ(e.result, 1) << cabErrorText(e.error.errorCode);
    EXPECT_EQ(memfiles::output("cut.bin"), folder.files[0].data);
}

}  // namespace
