// Quantum folders made by the test encoder, wrapped as cabinets by the
// cabinet writer and extracted through the whole decoder: several window
// sizes in one cabinet, sets that split blocks across cabinets, reserve
// areas, and damaged blocks.
#include "cab/cab.h"
#include "tests/mszip/test_data.h"
#include "tests/support/memory_files.h"
#include "tools/cabwriter/cab_writer.h"
#include "tools/cabwriter/quantum_encoder.h"

#include <gtest/gtest.h>

namespace {

using test_data::Kind;

cabwriter::File file(const std::string& name, Kind kind, size_t size, uint32_t seed) {
    cabwriter::File f;
    f.name = name;
    f.data = test_data::make(kind, size, seed);
    return f;
}

cabwriter::Folder quantumFolder(uint32_t bits, std::vector<cabwriter::File> files,
                                uint32_t blockSize = 32768) {
    cabwriter::Folder folder;
    folder.method = cabwriter::Method::Quantum;
    folder.quantumWindowBits = bits;
    folder.blockSize = blockSize;
    folder.files = std::move(files);
    return folder;
}

CabError extract(const std::vector<cabwriter::Cabinet>& cabinets, int32_t* result) {
    memfiles::reset();
    for (const auto& cabinet : cabinets) memfiles::addFile(cabinet.name, cabinet.image);
    CabError error{};
    CabDecoder* decoder = memfiles::createDecoder(&error);
    *result = cabExtract(decoder, cabinets.front().name.c_str(), "", memfiles::extractEveryFile, nullptr, nullptr);
    cabDestroy(decoder);
    return error;
}

void expectExtracted(const std::vector<cabwriter::Folder>& folders) {
    for (const auto& folder : folders) {
        for (const auto& f : folder.files) {
            ASSERT_TRUE(memfiles::hasOutput(f.name)) << f.name;
            EXPECT_TRUE(memfiles::output(f.name) == f.data) << f.name;
        }
    }
}

const std::vector<cabwriter::Folder> kFolders = {
    quantumFolder(10, {file("small.txt", Kind::Text, 30000, 1), file("e", Kind::Text, 0, 2)}),
    quantumFolder(10, {file("again.bin", Kind::Binary, 20000, 3)}, 1000),
    quantumFolder(21, {file("big.bin", Kind::Binary, 150000, 4),
                       file("noise.bin", Kind::Random, 40000, 5)}),
    quantumFolder(16, {file("runs.bin", Kind::Runs, 90000, 6), file("one", Kind::Text, 1, 7)},
                  7777),
};

TEST(QuantumCabinets, FoldersOfSeveralWindowSizesExtractByteExactly) {
    int32_t result = 0;
    const CabError error = extract({cabwriter::writeCabinet(kFolders)}, &result);
    ASSERT_EQ(result, 1) << cabErrorText(error.errorCode);
    expectExtracted(kFolders);
}

// One folder running on through a set: the codec is not reset when the
// folder continues into the next cabinet, and split blocks are joined.
const std::vector<cabwriter::Folder> kSetFolder = {
    quantumFolder(16, {file("text.txt", Kind::Text, 60000, 11), file("noise", Kind::Random, 30000, 12),
                       file("records.bin", Kind::Binary, 50000, 13)},
                  7777),
};

TEST(QuantumCabinets, SetsSplitBlocksAcrossCabinets) {
    for (uint32_t budget : {4000u, 11111u}) {
        const auto cabinets = cabwriter::writeCabinetSet(kSetFolder, budget);
        ASSERT_GT(cabinets.size(), 2u);
        int32_t result = 0;
        const CabError error = extract(cabinets, &result);
        ASSERT_EQ(result, 1) << budget << ": " << cabErrorText(error.errorCode);
        expectExtracted(kSetFolder);
    }
}

TEST(QuantumCabinets, ReserveAreasDoNotDisturbTheBlocks) {
    cabwriter::Options options;
    options.reserveFlag = true;
    options.cabinetReserve = cabwriter::Bytes(17, 0xAB);
    options.cbCFFolder = 5;
    options.cbCFData = 9;
    std::vector<cabwriter::Folder> folders = kSetFolder;
    for (auto& folder : folders) {
        folder.reserve = cabwriter::Bytes(5, 0x11);
        folder.blockReserve = cabwriter::Bytes(9, 0x22);
    }
    int32_t result = 0;
    const CabError error = extract(cabwriter::writeCabinetSet(folders, 9000, "r%d.cab", options),
                                   &result);
    ASSERT_EQ(result, 1) << cabErrorText(error.errorCode);
    expectExtracted(folders);
}

TEST(QuantumCabinets, ABlockCutShortFailsWithCodecFailedAfterTheFilesBeforeIt) {
    // Three blocks; the second loses its last byte (its checksum is made
    // over what remains), so its decoding runs out of input.
    const cabwriter::Bytes a = test_data::make(Kind::Text, 30000, 1);
    const cabwriter::Bytes b = test_data::make(Kind::Text, 60000, 2);
    cabwriter::Bytes all = a;
    all.insert(all.end(), b.begin(), b.end());
    cabwriter::QuantumEncoder encoder(15);
    cabwriter::Folder folder;
    folder.method = cabwriter::Method::Raw;
    folder.typeCompress = 0x0F02;
    for (size_t start = 0; start < all.size(); start += 30000) {
        cabwriter::Bytes block = encoder.encodeBlock(all.data() + start, 30000);
        if (start == 30000) block.pop_back();
        folder.rawBlocks.push_back({block, 30000});
    }
    folder.files = {{"a.txt", a}, {"b.txt", b}};
    int32_t result = 0;
    const CabError error = extract({cabwriter::writeCabinet({folder})}, &result);
    EXPECT_EQ(result, 0);
    EXPECT_EQ(error.errorCode, CodecFailed);
    ASSERT_TRUE(memfiles::hasOutput("a.txt"));
    EXPECT_TRUE(memfiles::output("a.txt") == a);
}

}  // namespace
