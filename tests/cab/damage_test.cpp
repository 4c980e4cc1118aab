// Damaged and hostile cabinets: each failure ends the walk with its own
// error code, and nothing is read or written out of bounds.
#include "tests/cab/fixtures.h"

#include <gtest/gtest.h>

using namespace fixtures;

namespace {

cabwriter::Folder rawFolder(uint16_t type, std::vector<cabwriter::RawBlock> blocks, uint32_t size) {
    cabwriter::Folder folder;
    folder.method = cabwriter::Method::Raw;
    folder.typeCompress = type;
    folder.rawBlocks = std::move(blocks);
    cabwriter::File f;
    f.name = "f";
    f.sizeOverride = size;
    folder.files = {f};
    return folder;
}

// Extracts `image` as "d.cab" with a fresh decoder; returns the error code
// (0 when the walk succeeded).
int32_t extractImage(const cabwriter::Bytes& image, const std::string& path = "") {
    World w;
    memfiles::addFile(path + "d.cab", image);
    int32_t result = recording::extract(w.decoder, "d.cab", path);
    EXPECT_EQ(result == 1, w.error.failed == 0);
    return result == 1 ? 0 : w.error.errorCode;
}

cabwriter::Cabinet simple() {
    return cabwriter::writeCabinet({stored({file("a.txt", 300, 1), file("b.txt", 40, 2)}, 100)});
}

}  // namespace

TEST(DamagedCabinet, OpeningFailures) {
    {
        World w;
        EXPECT_EQ(recording::extract(w.decoder, "missing.cab"), 0);
        EXPECT_EQ(w.error.errorCode, CannotOpen);

        // A directory and name that together exceed 256 characters are
        // refused before anything is opened.
        std::string longPath(200, 'p');
        longPath += "/";
        std::string longName(80, 'n');
        memfiles::addFile(longPath + longName, simple().image);
        int opensBefore = memfiles::stats().opens;
        EXPECT_EQ(cabExtract(w.decoder, longName.c_str(), longPath.c_str(), recording::notify,
                             nullptr, nullptr),
                  0);
        EXPECT_EQ(w.error.errorCode, CannotOpen);
        EXPECT_EQ(memfiles::stats().opens, opensBefore);

        // At the limit: a joined path of 256 characters opens, 257 does not.
        const std::string directory = std::string(246, 'd') + "/";
        for (const std::string name : {"12345678.c", "123456789.c"}) {
            memfiles::addFile(directory + name, simple().image);
            const int32_t result = cabExtract(w.decoder, name.c_str(), directory.c_str(),
                                              recording::notify, nullptr, nullptr);
            EXPECT_EQ(result, directory.size() + name.size() <= 256 ? 1 : 0) << name;
        }
        EXPECT_EQ(w.error.errorCode, CannotOpen);
    }

    auto image = simple().image;
    EXPECT_EQ(extractImage(cabwriter::Bytes(image.begin(), image.begin() + 20)), BadSignature);
    auto badSignature = image;
    badSignature[3] = 'G';
    EXPECT_EQ(extractImage(badSignature), BadSignature);
    // Reserve flag set, but the file ends before the reserve sizes.
    auto noReserve = cabwriter::Bytes(image.begin(), image.begin() + 36);
    noReserve[30] |= 0x04;
    EXPECT_EQ(extractImage(noReserve), BadSignature);

    auto newer = image;
    newer[24] = 0x04;
    EXPECT_EQ(extractImage(newer), BadVersion);
}

TEST(DamagedCabinet, DirectoryDamage) {
    auto cab = simple();
    // The file list starts past the end of the file.
    auto farFiles = cab.image;
    farFiles[16] = 0xF0;
    farFiles[17] = 0xFF;
    EXPECT_EQ(extractImage(farFiles), DamagedCabinet);

    // A name with no NUL within 256 bytes.
    auto unterminated = cab.image;
    uint32_t name = cab.layout.fileOffsets[1] + 16;
    unterminated.resize(name);
    unterminated.insert(unterminated.end(), 300, 'x');
    EXPECT_EQ(extractImage(unterminated), DamagedCabinet);

    // Names of exactly 255 characters are whole names.
    {
        std::string longest(255, 'L');
        auto ok = cabwriter::writeCabinet({stored({file(longest, 3, 1), file("next", 2, 2)})});
        World w;
        memfiles::addFile("ok.cab", ok.image);
        ASSERT_EQ(recording::extract(w.decoder, "ok.cab"), 1);
        EXPECT_EQ(memfiles::output(longest).size(), 3u);
        EXPECT_EQ(memfiles::output("next").size(), 2u);
    }

    // A file naming a folder the cabinet does not have: far past the table,
    // or just past it (index cFolders).
    for (int folder : {3, 1}) {
        auto stray = file("stray", 10, 1);
        stray.folderIndexOverride = folder;
        EXPECT_EQ(extractImage(cabwriter::writeCabinet({stored({stray})}).image), DamagedCabinet)
            << folder;
    }
    // A file "continued into the next cabinet" in a cabinet with no folders.
    auto spanning = file("spanning", 10, 1);
    spanning.folderIndexOverride = 0xFFFE;
    cabwriter::Folder empty = stored({spanning});
    auto withFile = cabwriter::writeCabinet({empty});
    withFile.image[26] = 0;  // cFolders = 0
    EXPECT_EQ(extractImage(withFile.image), DamagedCabinet);

    // Such an entry is refused only when its folder is needed: an empty
    // file is written without one, and a declined file is passed over.
    {
        auto emptyStray = file("empty", 0, 1);
        emptyStray.folderIndexOverride = 7;
        auto stray = file("declined", 10, 2);
        stray.folderIndexOverride = 7;
        World w;
        memfiles::addFile("d.cab", cabwriter::writeCabinet({stored({emptyStray, stray, file("last", 5, 3)})}).image);
        recording::setAnswer([](int kind, CabNotification* n) {
            if (kind == OpenOutput && std::string(n->text1) == "declined") return 0;
            return recording::kDefaultAnswer;
        });
        ASSERT_EQ(recording::extract(w.decoder, "d.cab"), 1);
        EXPECT_TRUE(memfiles::hasOutput("empty"));
        EXPECT_FALSE(memfiles::hasOutput("declined"));
        EXPECT_EQ(memfiles::output("last").size(), 5u);
    }
}

TEST(DamagedCabinet, DataBlockDamage) {
    auto cab = simple();
    uint32_t block = cab.layout.blockOffsets[1];
    // One changed byte of data, of cbUncomp, or of the stored checksum.
    for (uint32_t offset : {block + 8 + 5, block + 6, block + 0}) {
        auto damaged = cab.image;
        damaged[offset] ^= 0x01;
        EXPECT_EQ(extractImage(damaged), DamagedCabinet) << "offset " << offset;
    }
    // Without a checksum the same change is not noticed by the decoder.
    cabwriter::Options unchecked;
    unchecked.checksums = false;
    auto plain = cabwriter::writeCabinet({stored({file("a.txt", 300, 1)}, 100)}, unchecked);
    plain.image[plain.layout.blockOffsets[1] + 8 + 5] ^= 0x01;
    EXPECT_EQ(extractImage(plain.image), 0);

    // A changed per-block reserve byte, covered by the checksum too.
    {
        cabwriter::Options reserved;
        reserved.reserveFlag = true;
        reserved.cbCFData = 4;
        auto folder = stored({file("a.txt", 300, 1)}, 100);
        folder.blockReserve = {1, 2, 3, 4};
        auto withReserve = cabwriter::writeCabinet({folder}, reserved);
        EXPECT_EQ(extractImage(withReserve.image), 0);
        withReserve.image[withReserve.layout.blockOffsets[1] + 8 + 2] ^= 0x40;
        EXPECT_EQ(extractImage(withReserve.image), DamagedCabinet);
    }

    // The file ends inside a block.
    EXPECT_EQ(extractImage(cabwriter::Bytes(cab.image.begin(), cab.image.begin() + block + 50)),
              DamagedCabinet);

    // A stored block larger than the 32,768-byte input buffer.
    cabwriter::RawBlock big{cabwriter::Bytes(32769, 'x'), 32769};
    EXPECT_EQ(extractImage(cabwriter::writeCabinet({rawFolder(0, {big}, 10)}).image),
              DamagedCabinet);
}

TEST(DamagedCabinet, CompressionFailures) {
    cabwriter::RawBlock block{cabwriter::Bytes(100, 'x'), 100};
    EXPECT_EQ(extractImage(cabwriter::writeCabinet({rawFolder(0x0004, {block}, 10)}).image),
              UnknownMethod);
    EXPECT_EQ(extractImage(cabwriter::writeCabinet({rawFolder(0x000F, {block}, 10)}).image),
              UnknownMethod);
    // A stored block whose sizes disagree.
    cabwriter::RawBlock uneven{cabwriter::Bytes(100, 'x'), 99};
    EXPECT_EQ(extractImage(cabwriter::writeCabinet({rawFolder(0, {uneven}, 10)}).image),
              CodecFailed);
    // MSZIP data that is not Deflate.
    cabwriter::RawBlock garbage{cabwriter::Bytes{'C', 'K', 0xFF, 0xFF, 0xFF}, 100};
    EXPECT_EQ(extractImage(cabwriter::writeCabinet({rawFolder(1, {garbage}, 10)}).image),
              CodecFailed);
}

TEST(DamagedCabinet, UnknownMethodLeavesNothingLoaded) {
    World w;
    cabwriter::RawBlock block{cabwriter::Bytes(100, 'x'), 100};
    memfiles::addFile("bad.cab", cabwriter::writeCabinet({rawFolder(4, {block}, 10)}).image);
    memfiles::addFile("good.cab", simple().image);
    EXPECT_EQ(recording::extract(w.decoder, "bad.cab"), 0);
    EXPECT_EQ(w.error.errorCode, UnknownMethod);
    // The same decoder goes on to extract a good cabinet.
    EXPECT_EQ(recording::extract(w.decoder, "good.cab"), 1);
    cabDestroy(w.decoder);
    w.decoder = nullptr;
    EXPECT_EQ(memfiles::stats().liveBytes, 0);
}

TEST(DamagedCabinet, ResourceAndClientFailures) {
    // Every allocation the walk makes, failed in turn, is reported as NoMemory
    // and leaks nothing.
    for (int n = 0;; ++n) {
        World w;
        memfiles::addFile("d.cab", simple().image);
        memfiles::failAllocation(n);
        int32_t result = recording::extract(w.decoder, "d.cab");
        if (result == 1) break;
        EXPECT_EQ(w.error.errorCode, NoMemory) << "allocation " << n;
        cabDestroy(w.decoder);
        w.decoder = nullptr;
        EXPECT_EQ(memfiles::stats().liveBytes, 0);
        ASSERT_LT(n, 20);
    }

    {
        World w;
        memfiles::addFile("d.cab", simple().image);
        memfiles::limitWrites(10);
        EXPECT_EQ(recording::extract(w.decoder, "d.cab"), 0);
        EXPECT_EQ(w.error.errorCode, OutputFailed);
    }
    World w;
    memfiles::addFile("d.cab", simple().image);
    recording::setAnswer([](int kind, CabNotification*) {
        return kind == CabinetOpened ? -1 : recording::kDefaultAnswer;
    });
    EXPECT_EQ(recording::extract(w.decoder, "d.cab"), 0);
    EXPECT_EQ(w.error.errorCode, ClientAbort);
    EXPECT_EQ(memfiles::stats().closes, 2);  // both cabinet handles
}
