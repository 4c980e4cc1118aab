// The writer's single cabinets, read back with an independent parser.
#include "tests/cabwriter/cabinet_parser.h"
#include "tools/cabwriter/cab_writer.h"

#include <gtest/gtest.h>

using cabwriter::Bytes;

namespace {

// Text-like bytes that compress, the same on every run.
Bytes sampleBytes(size_t size, uint32_t seed) {
    Bytes out(size);
    for (size_t i = 0; i < size; ++i) {
        seed = seed * 1664525u + 1013904223u;
        out[i] = uint8_t("abcdefgh \n"[(seed >> 24) % 10]);
    }
    return out;
}

Bytes noiseBytes(size_t size, uint32_t seed) {
    Bytes out(size);
    for (auto& b : out) b = uint8_t((seed = seed * 1664525u + 1013904223u) >> 24);
    return out;
}

cabwriter::File file(std::string name, Bytes data) {
    cabwriter::File f;
    f.name = std::move(name);
    f.data = std::move(data);
    return f;
}

}  // namespace

TEST(SingleCabinet, RecordsAndOffsetsMatchTheImage) {
    cabwriter::Folder stored;
    stored.blockSize = 100;
    stored.files = {file("a.txt", sampleBytes(150, 1)), file("docs\\b.txt", sampleBytes(60, 2))};
    stored.files[1].date = cabwriter::dosDate(2024, 5, 17);
    stored.files[1].time = cabwriter::dosTime(14, 30, 58);
    stored.files[1].attribs = 0x61;
    cabwriter::Folder raw;
    raw.method = cabwriter::Method::Raw;
    raw.typeCompress = 0x1503;
    raw.rawBlocks = {{{1, 2, 3}, 500}, {{4, 5}, 12}};
    raw.files = {file("raw.bin", Bytes(512))};
    cabwriter::Options options;
    options.setId = 0x1234;
    options.firstIndex = 7;

    const auto cab = cabwriter::writeCabinet({stored, raw}, options, "x.cab");
    const auto p = parsed::parse(cab.image);

    EXPECT_EQ(p.version, 0x0103);
    EXPECT_EQ(p.cbCabinet, cab.image.size());
    EXPECT_EQ(p.flags, 0);
    EXPECT_EQ(p.setId, 0x1234);
    EXPECT_EQ(p.iCabinet, 7);
    EXPECT_EQ(p.folderTableOffset, 36u);
    EXPECT_EQ(p.coffFiles, 36u + 2 * 8);
    EXPECT_EQ(cab.layout.coffFiles, p.coffFiles);
    ASSERT_EQ(p.cFolders, 2);
    ASSERT_EQ(p.cFiles, 3);

    // Stored blocks of 100 bytes carry the files' bytes as they are.
    EXPECT_EQ(p.folders[0].typeCompress, 0);
    ASSERT_EQ(p.folders[0].cCFData, 3);
    Bytes joined;
    for (const auto& b : p.folders[0].blocks) {
        EXPECT_TRUE(b.checksumOk);
        EXPECT_NE(b.csum, 0u);
        EXPECT_EQ(b.cbData, b.cbUncomp);
        joined.insert(joined.end(), b.data.begin(), b.data.end());
    }
    Bytes expected = stored.files[0].data;
    expected.insert(expected.end(), stored.files[1].data.begin(), stored.files[1].data.end());
    EXPECT_EQ(joined, expected);
    EXPECT_EQ(p.folders[0].blocks[2].cbUncomp, 10);

    // Raw blocks go in verbatim, with the caller's type word and sizes.
    EXPECT_EQ(p.folders[1].typeCompress, 0x1503);
    ASSERT_EQ(p.folders[1].cCFData, 2);
    EXPECT_EQ(p.folders[1].blocks[0].data, (Bytes{1, 2, 3}));
    EXPECT_EQ(p.folders[1].blocks[0].cbUncomp, 500);
    EXPECT_EQ(p.folders[1].blocks[1].cbUncomp, 12);
    EXPECT_TRUE(p.folders[1].blocks[1].checksumOk);

    EXPECT_EQ(p.files[1].name, "docs\\b.txt");
    EXPECT_EQ(p.files[1].cbFile, 60u);
    EXPECT_EQ(p.files[1].uoffFolderStart, 150u);
    EXPECT_EQ(p.files[1].iFolder, 0);
    EXPECT_EQ(p.files[1].date, (44 << 9) | (5 << 5) | 17);
    EXPECT_EQ(p.files[1].time, (14 << 11) | (30 << 5) | 29);
    EXPECT_EQ(p.files[1].attribs, 0x61);
    EXPECT_EQ(p.files[2].iFolder, 1);
    EXPECT_EQ(p.files[2].uoffFolderStart, 0u);

    // The layout points at the records the parser found.
    ASSERT_EQ(cab.layout.folderOffsets.size(), 2u);
    EXPECT_EQ(cab.layout.folderOffsets[1], p.folders[1].offset);
    ASSERT_EQ(cab.layout.fileOffsets.size(), 3u);
    EXPECT_EQ(cab.layout.fileOffsets[2], p.files[2].offset);
    ASSERT_EQ(cab.layout.blockOffsets.size(), 5u);
    EXPECT_EQ(cab.layout.blockOffsets[3], p.folders[1].blocks[0].offset);

    EXPECT_EQ(cabwriter::writeCabinet({stored, raw}, options, "x.cab").image, cab.image)
        << "the same input must give the same bytes";
}

TEST(SingleCabinet, MszipBlocksInflateWithThePreviousBlockAsHistory) {
    cabwriter::Folder text;
    text.method = cabwriter::Method::Mszip;
    Bytes data = sampleBytes(70000, 3);
    // A repeat of the first block's start late in the folder, so that the
    // second block refers back into the first.
    std::copy(data.begin(), data.begin() + 4000, data.begin() + 33000);
    text.files = {file("t1", Bytes(data.begin(), data.begin() + 50000)),
                  file("t2", Bytes(data.begin() + 50000, data.end()))};
    cabwriter::Folder noise;
    noise.method = cabwriter::Method::Mszip;
    noise.zlibLevel = 9;
    noise.files = {file("n", noiseBytes(2 * 32768, 4))};

    const auto p = parsed::parse(cabwriter::writeCabinet({text, noise}).image);
    ASSERT_EQ(p.folders.size(), 2u);
    EXPECT_EQ(p.folders[0].typeCompress, 1);

    Bytes folderOut;
    for (const auto& b : p.folders[0].blocks) {
        EXPECT_TRUE(b.checksumOk);
        const size_t history = std::min<size_t>(folderOut.size(), 32768);
        const Bytes previous(folderOut.end() - long(history), folderOut.end());
        Bytes out = parsed::inflateMszip(b.data, previous);
        EXPECT_EQ(out.size(), b.cbUncomp);
        folderOut.insert(folderOut.end(), out.begin(), out.end());
    }
    ASSERT_EQ(p.folders[0].cCFData, 3);
    EXPECT_EQ(p.folders[0].blocks[0].cbUncomp, 32768);
    EXPECT_EQ(p.folders[0].blocks[2].cbUncomp, 70000 - 2 * 32768);
    EXPECT_EQ(folderOut, data);

    // Noise does not compress; its blocks must still fit a decoder's
    // 32,780-byte input buffer.
    for (const auto& b : p.folders[1].blocks) {
        EXPECT_LE(b.cbData, 32780);
        EXPECT_EQ(parsed::inflateMszip(b.data, {}).size(), 32768u);
    }
}

TEST(SingleCabinet, ReservesNamesOverridesAndChecksumSwitch) {
    cabwriter::Folder folder;
    folder.reserve = {0xF1, 0xF2};
    folder.blockReserve = {0xD1};
    folder.files = {file("f", sampleBytes(40, 5))};
    folder.files[0].sizeOverride = 99999;
    folder.files[0].folderStartOverride = 7;
    folder.files[0].folderIndexOverride = 0xFFFD;
    cabwriter::Options options;
    options.reserveFlag = true;
    options.cabinetReserve = {1, 2, 3, 4, 5};
    options.cbCFFolder = 3;
    options.cbCFData = 2;
    options.previousCabinet = "prev.cab";
    options.previousDisk = "Disk A";
    options.nextCabinet = "next.cab";
    options.nextDisk = "Disk C";

    const auto cab = cabwriter::writeCabinet({folder}, options);
    const auto p = parsed::parse(cab.image);
    EXPECT_EQ(p.flags, 0x0007);
    EXPECT_EQ(p.cbCFHeader, 5);
    EXPECT_EQ(p.cabinetReserve, options.cabinetReserve);
    EXPECT_EQ(p.previousDisk, "Disk A");
    EXPECT_EQ(p.nextCabinet, "next.cab");
    EXPECT_EQ(p.folderTableOffset, 36u + 4 + 5 + 9 + 7 + 9 + 7);
    EXPECT_EQ(p.coffFiles, p.folderTableOffset + 8 + 3);
    EXPECT_EQ(p.folders[0].reserve, (Bytes{0xF1, 0xF2, 0}));
    ASSERT_EQ(p.folders[0].blocks.size(), 1u);
    const auto& block = p.folders[0].blocks[0];
    EXPECT_EQ(block.reserve, (Bytes{0xD1, 0}));
    EXPECT_TRUE(block.checksumOk);
    EXPECT_EQ(p.files[0].cbFile, 99999u);
    EXPECT_EQ(p.files[0].uoffFolderStart, 7u);
    EXPECT_EQ(p.files[0].iFolder, 0xFFFD);

    // The checksum covers the reserve bytes; rechecksumBlock repairs it.
    Bytes damaged = cab.image;
    damaged[block.offset + 8] ^= 0x10;
    EXPECT_FALSE(parsed::parse(damaged).folders[0].blocks[0].checksumOk);
    cabwriter::rechecksumBlock(damaged, block.offset, 2);
    EXPECT_TRUE(parsed::parse(damaged).folders[0].blocks[0].checksumOk);
    EXPECT_NE(parsed::parse(damaged).folders[0].blocks[0].csum, block.csum);

    options.checksums = false;
    EXPECT_EQ(parsed::parse(cabwriter::writeCabinet({folder}, options).image)
                  .folders[0].blocks[0].csum, 0u);

    cabwriter::Folder tooMuch = folder;
    tooMuch.reserve = {1, 2, 3, 4};
    EXPECT_THROW(cabwriter::writeCabinet({tooMuch}, options), std::invalid_argument);
}
