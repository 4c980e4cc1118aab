// Finding cabinets inside other files: which candidates pass the header
// checks, a search over megabytes of other data, and reading a found cabinet
// through handles that start at its offset.
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <random>

#include "tests/cabtool/costly_candidates.h"
#include "tests/cabtool/tool_runner.h"
#include "tests/cabtool/library_internals.h"
#include "tools/cabwriter/cab_writer.h"

using cabtooltest::ScratchDirectory;
using cabwriter::Bytes;
namespace fs = std::filesystem;

namespace {

cabwriter::Cabinet sampleCabinet(cabwriter::Method method = cabwriter::Method::Stored,
                                 size_t size = 5000) {
    cabwriter::Folder folder;
    folder.method = method;
    folder.blockSize = 2000;
    for (int i = 0; i < 2; ++i) {
        cabwriter::File file;
        file.name = "dir\\file" + std::to_string(i) + ".txt";
        for (size_t j = 0; j < size; ++j) file.data.push_back(uint8_t('a' + (j * 7 + i) % 26));
        folder.files.push_back(file);
    }
    return cabwriter::writeCabinet({folder});
}

void put16(Bytes& b, size_t at, uint16_t v) {
    b[at] = uint8_t(v);
    b[at + 1] = uint8_t(v >> 8);
}
void put32(Bytes& b, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + i] = uint8_t(v >> (8 * i));
}

bool sound(const Bytes& bytes) {
    cabtool::CabinetHeader header;
    return cabtool::isSoundCabinet(bytes.data(), bytes.size(), header);
}

// The first `length` bytes of `image`, after `offset` bytes of other data.
Bytes embedded(const Bytes& image, size_t offset, size_t length) {
    Bytes host(offset + length, 0x55);
    std::copy(image.begin(), image.begin() + long(length), host.begin() + long(offset));
    return host;
}

void writeBytes(const fs::path& path, const Bytes& bytes) {
    cabtooltest::writeFile(path, std::string(bytes.begin(), bytes.end()));
}

}  // namespace

TEST(EmbeddedSearch, HeaderChecksRejectEachInconsistentField) {
    const cabwriter::Cabinet cabinet = sampleCabinet();
    ASSERT_TRUE(sound(cabinet.image));
    const uint32_t files = cabinet.layout.coffFiles;
    const uint32_t folder = cabinet.layout.folderOffsets[0];
    const struct {
        const char* what;
        std::function<void(Bytes&)> damage;
    } cases[] = {
        {"declared size past the end", [](Bytes& b) { put32(b, 8, uint32_t(b.size() + 1)); }},
        {"declared size below a header", [](Bytes& b) { put32(b, 8, 20); }},
        {"version 1.2", [](Bytes& b) { put16(b, 24, 0x0102); }},
        {"unknown header flag", [](Bytes& b) { put16(b, 30, 0x0010); }},
        {"no folders", [](Bytes& b) { put16(b, 26, 0); }},
        {"no files", [](Bytes& b) { put16(b, 28, 0); }},
        {"file list inside the folder table", [&](Bytes& b) { put32(b, 16, folder + 2); }},
        {"file list past the end", [](Bytes& b) { put32(b, 16, uint32_t(b.size() - 10)); }},
        {"unknown method", [&](Bytes& b) { put16(b, folder + 6, 0x0005); }},
        {"data before the file list", [&](Bytes& b) { put32(b, folder, files); }},
        {"blocks past the end", [&](Bytes& b) { put16(b, folder + 4, 60000); }},
        {"first file in a missing folder", [&](Bytes& b) { put16(b, files + 8, 3); }},
        {"first file name empty", [&](Bytes& b) { b[files + 16] = 0; }},
    };
    for (const auto& c : cases) {
        Bytes damaged = cabinet.image;
        c.damage(damaged);
        EXPECT_FALSE(sound(damaged)) << c.what;
    }
    // The declared size decides: bytes after the cabinet do not matter, a
    // cabinet cut short is refused.
    Bytes longer = cabinet.image;
    longer.resize(longer.size() + 100, 0xEE);
    EXPECT_TRUE(sound(longer));
    Bytes shorter(cabinet.image.begin(), cabinet.image.end() - 1);
    EXPECT_FALSE(sound(shorter));
}

TEST(EmbeddedSearch, FindsOnlyTheRealCabinetsInMegabytesOfOtherData) {
    ScratchDirectory scratch;
    std::mt19937 random(12345);
    Bytes host(6 << 20);
    for (auto& byte : host) byte = uint8_t(random());
    // Stray signatures, some even with the right version word after them.
    for (size_t at = 1000; at + 64 < host.size(); at += 99991) {
        std::memcpy(&host[at], "MSCF", 4);
        if (at % 2 == 0) put16(host, at + 24, 0x0103);
    }
    const cabwriter::Cabinet stored = sampleCabinet();
    const cabwriter::Cabinet packed = sampleCabinet(cabwriter::Method::Mszip, 40000);
    const size_t firstAt = 3333333, secondAt = 5000001;
    std::copy(stored.image.begin(), stored.image.end(), host.begin() + long(firstAt));
    std::copy(packed.image.begin(), packed.image.end(), host.begin() + long(secondAt));
    // A cabinet cut off by the end of the file is not one.
    std::copy(stored.image.begin(), stored.image.end() - 30, host.end() - long(stored.image.size() - 30));
    writeBytes(scratch.path() / "setup.exe", host);

    std::vector<cabtool::EmbeddedCabinet> found;
    std::string problem;
    ASSERT_TRUE(cabtool::findEmbeddedCabinets((scratch.path() / "setup.exe").string(), found, problem))
        << problem;
    ASSERT_EQ(found.size(), 2u);
    EXPECT_EQ(found[0].offset, firstAt);
    EXPECT_EQ(found[0].size, stored.image.size());
    EXPECT_EQ(found[1].offset, secondAt);
    EXPECT_EQ(found[1].size, packed.image.size());
    EXPECT_EQ(problem, "");
}

TEST(EmbeddedSearch, CandidatesSharingAHugeFolderTableStopTheSearchNotTheMachine) {
    const cabwriter::Cabinet real = sampleCabinet();
    cabtooltest::CostlyCandidates host = cabtooltest::costlyCandidatesAfter(real.image);
    ScratchDirectory scratch;
    writeBytes(scratch.path() / "hostile.bin", host.bytes);

    std::vector<cabtool::EmbeddedCabinet> found;
    std::string problem;
    ASSERT_TRUE(
        cabtool::findEmbeddedCabinets((scratch.path() / "hostile.bin").string(), found, problem));
    ASSERT_EQ(found.size(), 1u);  // what was found before stopping is kept
    EXPECT_EQ(found[0].offset, 0u);
    EXPECT_NE(problem.find("search stopped at offset"), std::string::npos) << problem;

    // Each candidate alone is refused at its last folder record, and made
    // sound by mending that record.
    const uint8_t* candidate = &host.bytes[host.firstCandidate];
    const size_t available = host.bytes.size() - host.firstCandidate;
    cabtool::CabinetHeader header;
    uint64_t checked = 0;
    EXPECT_FALSE(cabtool::isSoundCabinet(candidate, available, header, &checked));
    EXPECT_EQ(checked, cabtooltest::CostlyCandidates::kFolders);
    put16(host.bytes, host.lastRecord + 6, 0x0000);
    EXPECT_TRUE(cabtool::isSoundCabinet(candidate, available, header));
}

TEST(EmbeddedSearch, ACabinetStoredInsideAFoundOneIsNotReportedAgain) {
    ScratchDirectory scratch;
    const cabwriter::Cabinet inner = sampleCabinet();
    cabwriter::Folder folder;
    cabwriter::File carried;
    carried.name = "inner.cab";
    carried.data = inner.image;
    folder.files.push_back(carried);
    const cabwriter::Cabinet outer = cabwriter::writeCabinet({folder});
    Bytes host(777, 0x90);
    host.insert(host.end(), outer.image.begin(), outer.image.end());
    host.insert(host.end(), 500, 0x00);
    writeBytes(scratch.path() / "host.bin", host);

    std::vector<cabtool::EmbeddedCabinet> found;
    std::string problem;
    ASSERT_TRUE(cabtool::findEmbeddedCabinets((scratch.path() / "host.bin").string(), found, problem));
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].offset, 777u);

    EXPECT_FALSE(cabtool::findEmbeddedCabinets((scratch.path() / "missing").string(), found, problem));
    EXPECT_NE(problem.find("cannot open"), std::string::npos) << problem;
}

TEST(EmbeddedSearch, HeaderReaderGivesNamesOfNeighboursAndFolderMethods) {
    ScratchDirectory scratch;
    cabwriter::Folder folder;
    folder.method = cabwriter::Method::Mszip;
    cabwriter::File file;
    file.name = "a.txt";
    file.data = Bytes(10000, 'q');
    folder.files = {file};
    cabwriter::Options options;
    options.reserveFlag = true;
    options.cabinetReserve = Bytes(300, 7);
    options.cbCFFolder = 5;
    options.previousCabinet = "zero.cab";
    options.previousDisk = "Disk 0";
    options.nextCabinet = "two.cab";
    options.nextDisk = "Disk 2";
    options.setId = 4242;
    options.firstIndex = 1;
    const cabwriter::Cabinet cabinet = cabwriter::writeCabinet({folder, folder}, options, "one.cab");
    Bytes host(100, 0);
    host.insert(host.end(), cabinet.image.begin(), cabinet.image.end());
    writeBytes(scratch.path() / "one.bin", host);

    const auto header = cabtool::readCabinetHeader((scratch.path() / "one.bin").string(), 100);
    ASSERT_TRUE(header.has_value());
    EXPECT_EQ(header->previousCabinet, "zero.cab");
    EXPECT_EQ(header->previousDisk, "Disk 0");
    EXPECT_EQ(header->nextCabinet, "two.cab");
    EXPECT_EQ(header->setId, 4242);
    EXPECT_EQ(header->cabinetIndex, 1);
    ASSERT_EQ(header->folders.size(), 2u);
    EXPECT_EQ(header->folders[1].typeCompress, 1);
    EXPECT_EQ(header->folders[1].firstBlockOffset, cabinet.layout.blockOffsets[header->folders[0].blockCount]);
    EXPECT_FALSE(cabtool::readCabinetHeader((scratch.path() / "one.bin").string(), 0).has_value());
}

TEST(EmbeddedSearch, AHeaderWhoseReserveAreaRunsPastTheEndIsRefused) {
    ScratchDirectory scratch;
    cabwriter::Options options;
    options.reserveFlag = true;
    options.cabinetReserve = Bytes(300, 7);
    Bytes image = cabwriter::writeCabinet({}, options, "r.cab").image;
    put16(image, 26, 0);  // no folders: nothing after the reserve area is read
    const size_t reserveEnd = 36 + 4 + 300;
    ASSERT_EQ(image.size(), reserveEnd);
    const std::string path = (scratch.path() / "host.bin").string();
    // Embedded at offset 100, the file ending where the reserve area ends
    // and then one byte short of it.
    for (const size_t cut : {reserveEnd, reserveEnd - 1}) {
        SCOPED_TRACE(cut);
        writeBytes(path, embedded(image, 100, cut));
        const auto header = cabtool::readCabinetHeader(path, 100);
        EXPECT_EQ(header.has_value(), cut == reserveEnd);
        // In memory, a buffer of exactly the cabinet's declared size: the
        // check reads nothing past it (the sanitizer build watches).
        Bytes candidate = embedded(image, 0, cut);
        put32(candidate, 8, uint32_t(candidate.size()));
        put16(candidate, 26, 1);
        cabtool::CabinetHeader found;
        EXPECT_FALSE(cabtool::isSoundCabinet(candidate.data(), candidate.size(), found));
    }
}

TEST(EmbeddedSearch, FileListReaderKeepsTheEntriesReadWhole) {
    ScratchDirectory scratch;
    const cabwriter::Cabinet cabinet = sampleCabinet();
    const uint32_t last = cabinet.layout.fileOffsets[1];
    const std::string path = (scratch.path() / "host.bin").string();
    struct Cut {
        size_t at;
        size_t files;
    };
    // Whole; cut inside the last entry's name; cut inside its fixed part.
    for (const Cut cut : {Cut{cabinet.image.size(), 2}, Cut{last + 16 + 4, 1}, Cut{last + 9, 1}}) {
        SCOPED_TRACE(cut.at);
        writeBytes(path, embedded(cabinet.image, 64, cut.at));
        const auto header = cabtool::readCabinetHeader(path, 64);
        ASSERT_TRUE(header.has_value());
        const std::vector<cabtool::FileFacts> files = cabtool::readCabinetFiles(path, 64, *header);
        ASSERT_EQ(files.size(), cut.files);
        EXPECT_EQ(files[0].name, "dir\\file0.txt");
        EXPECT_EQ(files[0].size, 5000u);
        if (cut.files == 2) {
            EXPECT_EQ(files[1].name, "dir\\file1.txt");
        }
    }
}
