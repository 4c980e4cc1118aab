// The directory reader on sound cabinets from the writer, on sets with their
// names and reserve areas, and on every kind of damage it names.
#include "cab/cab_reader.h"
#include "cab/format.h"
#include "tests/cab/fixtures.h"
#include "tests/cab/reader_from_c.h"

#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>

using namespace fixtures;

namespace {

// An in-memory cabinet with a reader over the test callbacks and one handle
// open on it at its start.
struct OpenedImage {
    CabReader reader;
    int32_t handle;
    CabSetNames names;
    cabwriter::Bytes reserve;  // the buffer the cabinet's reserve area is read into
    explicit OpenedImage(const cabwriter::Bytes& image, size_t reserveCapacity = 0)
        : reserve(reserveCapacity, 0xEE) {
        memfiles::reset();
        memfiles::addFile("r.cab", image);
        cabReaderInit(&reader, memfiles::read, memfiles::seek);
        handle = memfiles::open("r.cab", kCabOpenFlags, kCabOpenMode);
    }
    ~OpenedImage() { memfiles::reset(); }
    OpenedImage(const OpenedImage&) = delete;
    OpenedImage& operator=(const OpenedImage&) = delete;

    int32_t position() const { return memfiles::seek(handle, 0, 1); }

    // Header, reserve sizes, reserve area and names in order; the first
    // status that is not CabReadOk.
    CabReadStatus readDirectoryHeader() {
        CabReadStatus status = cabReadHeader(&reader, handle);
        if (status == CabReadOk) status = cabReadReserveSizes(&reader, handle);
        if (status == CabReadOk) {
            status = cabReadCabinetReserve(&reader, handle, reserve.data(), uint32_t(reserve.size()));
        }
        if (status == CabReadOk) status = cabReadSetNames(&reader, handle, &names);
        return status;
    }
};

CabReadStatus headerStatusOf(const cabwriter::Bytes& image) {
    OpenedImage opened(image, 4);
    return opened.readDirectoryHeader();
}

// The status of reading the first file entry of `image` (whose header is sound).
CabReadStatus firstEntryStatus(const cabwriter::Bytes& image, CabFileRecord& entry) {
    OpenedImage opened(image);
    EXPECT_EQ(opened.readDirectoryHeader(), CabReadOk);
    return cabReadFileEntry(&opened.reader, opened.handle, &entry);
}

void put16(cabwriter::Bytes& image, size_t at, uint16_t value) {
    image[at] = uint8_t(value);
    image[at + 1] = uint8_t(value >> 8);
}

void put32(cabwriter::Bytes& image, size_t at, uint32_t value) {
    put16(image, at, uint16_t(value));
    put16(image, at + 2, uint16_t(value >> 16));
}

cabwriter::Cabinet twoFolders() {
    cabwriter::File late = file("sub\\late.bin", 500, 3, 0x61);
    late.date = cabwriter::dosDate(2024, 2, 29);
    late.time = cabwriter::dosTime(23, 59, 58);
    return cabwriter::writeCabinet(
        {stored({file("a.txt", 300, 1), file("b.txt", 40, 2)}, 100), stored({late, file("e", 0, 4)})},
        {}, "two.cab");
}

}  // namespace

TEST(DirectoryReader, ReadsEveryRecordOfASoundCabinet) {
    cabwriter::Cabinet cab = twoFolders();
    OpenedImage opened(cab.image);
    ASSERT_EQ(opened.readDirectoryHeader(), CabReadOk);

    const CabHeaderRecord& h = opened.reader.header;
    EXPECT_EQ(h.cbCabinet, cab.image.size());
    EXPECT_EQ(h.coffFiles, cab.layout.coffFiles);
    EXPECT_EQ(h.version, 0x0103);
    EXPECT_EQ(h.cFolders, 2);
    EXPECT_EQ(h.cFiles, 4);
    EXPECT_EQ(h.flags, 0);
    EXPECT_EQ(h.cbCFHeader + h.cbCFFolder + h.cbCFData, 0);
    EXPECT_STREQ(opened.names.previousCabinet, "");
    EXPECT_STREQ(opened.names.nextDisk, "");
    EXPECT_EQ(uint32_t(opened.reader.folderTableOffset), cab.layout.folderTableOffset);
    EXPECT_EQ(uint32_t(opened.position()), cab.layout.coffFiles);

    struct Expected {
        const char* name;
        uint32_t size, offset;
        uint16_t folder, attribs, date, time;
    };
    const uint16_t date = cabwriter::File().date, time = cabwriter::File().time;
    const Expected files[] = {{"a.txt", 300, 0, 0, 0x20, date, time},
                              {"b.txt", 40, 300, 0, 0x20, date, time},
                              {"sub\\late.bin", 500, 0, 1, 0x61, cabwriter::dosDate(2024, 2, 29),
                               cabwriter::dosTime(23, 59, 58)},
                              {"e", 0, 500, 1, 0x20, date, time}};
    for (size_t i = 0; i < 4; i++) {
        SCOPED_TRACE(files[i].name);
        EXPECT_EQ(uint32_t(opened.position()), cab.layout.fileOffsets[i]);
        CabFileRecord entry;
        ASSERT_EQ(cabReadFileEntry(&opened.reader, opened.handle, &entry), CabReadOk);
        EXPECT_STREQ(entry.name, files[i].name);
        EXPECT_EQ(entry.cbFile, files[i].size);
        EXPECT_EQ(entry.uoffFolderStart, files[i].offset);
        EXPECT_EQ(entry.iFolder, files[i].folder);
        EXPECT_EQ(entry.attribs, files[i].attribs);
        EXPECT_EQ(entry.date, files[i].date);
        EXPECT_EQ(entry.time, files[i].time);
    }

    // Folder records, read in any order through the same handle.
    const uint32_t firstBlocks[] = {cab.layout.blockOffsets[0], cab.layout.blockOffsets[4]};
    const uint16_t blockCounts[] = {4, 1};
    for (int index : {1, 0}) {
        CabFolderRecord folder;
        ASSERT_EQ(cabReadFolder(&opened.reader, opened.handle, uint16_t(index), &folder, nullptr, 0),
                  CabReadOk);
        EXPECT_EQ(folder.coffCabStart, firstBlocks[index]);
        EXPECT_EQ(folder.cCFData, blockCounts[index]);
        EXPECT_EQ(folder.typeCompress, 0);
    }
}

TEST(DirectoryReader, SetNamesReserveAreasAndContinuedFiles) {
    cabwriter::Options options;
    options.setId = 0x4242;
    options.reserveFlag = true;
    options.cabinetReserve = {9, 8, 7, 6, 5};
    options.cbCFFolder = 3;
    options.cbCFData = 2;
    options.diskNamePattern = "Disk %d";
    cabwriter::Folder folder = stored({file("one", 5000, 1), file("two", 5000, 2)}, 1000);
    folder.reserve = {0xA1, 0xA2, 0xA3};
    std::vector<cabwriter::Cabinet> set = cabwriter::writeCabinetSet({folder}, 4000, "part%d.cab", options);
    ASSERT_GE(set.size(), 3u);

    OpenedImage opened(set[1].image, 5);
    ASSERT_EQ(opened.readDirectoryHeader(), CabReadOk);
    const CabHeaderRecord& h = opened.reader.header;
    EXPECT_EQ(h.flags, 0x0007);
    EXPECT_EQ(h.setID, 0x4242);
    EXPECT_EQ(h.iCabinet, 1);
    EXPECT_EQ(h.cbCFHeader, 5);
    EXPECT_EQ(h.cbCFFolder, 3);
    EXPECT_EQ(h.cbCFData, 2);
    EXPECT_EQ(opened.reserve, (cabwriter::Bytes{9, 8, 7, 6, 5}));
    EXPECT_STREQ(opened.names.previousCabinet, "part1.cab");
    EXPECT_STREQ(opened.names.previousDisk, "Disk 1");
    EXPECT_STREQ(opened.names.nextCabinet, "part3.cab");
    EXPECT_STREQ(opened.names.nextDisk, "Disk 3");
    EXPECT_EQ(uint32_t(opened.reader.folderTableOffset), set[1].layout.folderTableOffset);

    uint8_t folderReserve[3] = {};
    CabFolderRecord record;
    ASSERT_EQ(cabReadFolder(&opened.reader, opened.handle, 0, &record, folderReserve, 3), CabReadOk);
    EXPECT_EQ(folderReserve[0], 0xA1);
    EXPECT_EQ(folderReserve[2], 0xA3);
    EXPECT_EQ(record.coffCabStart, set[1].layout.blockOffsets[0]);

    // The middle cabinet lists files continued from and into its neighbours:
    // the markers are accepted although they lie past the folder table.
    ASSERT_NE(memfiles::seek(opened.handle, int32_t(h.coffFiles), 0), -1);
    std::set<uint16_t> markers;
    for (uint16_t i = 0; i < h.cFiles; i++) {
        CabFileRecord entry;
        ASSERT_EQ(cabReadFileEntry(&opened.reader, opened.handle, &entry), CabReadOk) << i;
        markers.insert(entry.iFolder);
    }
    EXPECT_TRUE(markers.count(0xFFFD) || markers.count(0xFFFF));
    EXPECT_TRUE(markers.count(0xFFFE) || markers.count(0xFFFF));
}

TEST(DirectoryReader, CabinetReserveIsReadIntoTheCapacityGiven) {
    cabwriter::Options options;
    options.reserveFlag = true;
    options.cabinetReserve = {1, 2, 3, 4, 5, 6};
    options.nextCabinet = "after.cab";
    options.nextDisk = "d";
    cabwriter::Cabinet cab = cabwriter::writeCabinet({stored({file("x", 10, 1)})}, options);

    {
        SCOPED_TRACE("smaller buffer: the rest of the area is passed over");
        OpenedImage opened(cab.image, 2);
        ASSERT_EQ(opened.readDirectoryHeader(), CabReadOk);
        EXPECT_EQ(opened.reserve, (cabwriter::Bytes{1, 2}));
        EXPECT_STREQ(opened.names.nextCabinet, "after.cab");
    }
    {
        SCOPED_TRACE("larger buffer: the bytes past the area read as zero");
        OpenedImage opened(cab.image, 9);
        ASSERT_EQ(opened.readDirectoryHeader(), CabReadOk);
        EXPECT_EQ(opened.reserve, (cabwriter::Bytes{1, 2, 3, 4, 5, 6, 0, 0, 0}));
        EXPECT_STREQ(opened.names.nextCabinet, "after.cab");
    }
}

TEST(DirectoryReader, NamesUpTo255CharactersAndNoLonger) {
    const std::string longest(255, 'n');
    cabwriter::Options options;
    options.previousCabinet = longest;
    options.previousDisk = "p";
    cabwriter::Cabinet cab = cabwriter::writeCabinet({stored({file(longest, 10, 1)})}, options);
    {
        OpenedImage opened(cab.image);
        ASSERT_EQ(opened.readDirectoryHeader(), CabReadOk);
        EXPECT_EQ(opened.names.previousCabinet, longest);
        EXPECT_STREQ(opened.names.previousDisk, "p") << "the next name starts just past the NUL";
        CabFileRecord entry;
        ASSERT_EQ(cabReadFileEntry(&opened.reader, opened.handle, &entry), CabReadOk);
        EXPECT_EQ(entry.name, longest);
    }

    cabwriter::Bytes tooLong = cab.image;
    tooLong[kHeaderSize + 255] = 'n';  // the previous cabinet name's NUL
    EXPECT_EQ(headerStatusOf(tooLong), CabReadNameTooLong);

    const long cutAt = long(cab.layout.fileOffsets[0] + kFileFixedSize + 200);
    cabwriter::Bytes cutName(cab.image.begin(), cab.image.begin() + cutAt);
    CabFileRecord entry;
    memset(&entry, 'z', sizeof entry);
    EXPECT_EQ(firstEntryStatus(cutName, entry), CabReadNameUnterminated);
    EXPECT_EQ(strnlen(entry.name, sizeof entry.name), 200u) << "the bytes read, terminated";
}

TEST(DirectoryReader, DamagedHeadersAreNamed) {
    cabwriter::Options options;
    options.reserveFlag = true;
    options.cabinetReserve = {1, 2, 3, 4};
    options.nextCabinet = "n.cab";
    options.nextDisk = "n";
    const cabwriter::Bytes sound =
        cabwriter::writeCabinet({stored({file("x", 10, 1)})}, options).image;
    ASSERT_EQ(headerStatusOf(sound), CabReadOk);
    const size_t reserveSizesAt = kHeaderSize;
    const size_t reserveAreaAt = reserveSizesAt + kReserveSizesSize;
    const size_t namesAt = reserveAreaAt + 4;

    auto cut = [&](size_t size) { return cabwriter::Bytes(sound.begin(), sound.begin() + long(size)); };
    EXPECT_EQ(headerStatusOf(cut(35)), CabReadShortHeader);
    EXPECT_EQ(headerStatusOf(cut(reserveSizesAt + 3)), CabReadShortReserveSizes);
    EXPECT_EQ(headerStatusOf(cut(reserveAreaAt + 3)), CabReadShortReserveArea);
    EXPECT_EQ(headerStatusOf(cut(namesAt + 2)), CabReadNameUnterminated);
    EXPECT_EQ(headerStatusOf(cut(namesAt)), CabReadNameUnterminated) << "nothing left to read";

    cabwriter::Bytes badSignature = sound;
    badSignature[3] = 'G';
    EXPECT_EQ(headerStatusOf(badSignature), CabReadBadSignature);

    cabwriter::Bytes version12 = sound;
    put16(version12, 24, 0x0102);
    {
        OpenedImage opened(version12);
        EXPECT_EQ(cabReadHeader(&opened.reader, opened.handle), CabReadBadVersion);
        EXPECT_EQ(opened.reader.header.version, 0x0102) << "the version found is reported";
        EXPECT_EQ(opened.position(), 36) << "the header is read where the handle stands";
    }

    cabwriter::Bytes filesOutOfReach = sound;
    put32(filesOutOfReach, 16, 0x80000000u);  // coffFiles
    EXPECT_EQ(headerStatusOf(filesOutOfReach), CabReadBadPosition);
}

TEST(DirectoryReader, DamagedFolderRecordsAreNamed) {
    cabwriter::Cabinet cab = cabwriter::writeCabinet({stored({file("x", 10, 1)})});
    const uint32_t recordAt = cab.layout.folderOffsets[0];
    CabFolderRecord folder;

    {
        OpenedImage opened(twoFolders().image);
        ASSERT_EQ(cabReadHeader(&opened.reader, opened.handle), CabReadOk);
        EXPECT_EQ(cabReadFolder(&opened.reader, opened.handle, 1, &folder, nullptr, 0),
                  CabReadBadPosition)
            << "the folder table is not located before the names are read";
    }
    {
        OpenedImage opened(cab.image);
        ASSERT_EQ(opened.readDirectoryHeader(), CabReadOk);
        EXPECT_EQ(cabReadFolder(&opened.reader, opened.handle, 1, &folder, nullptr, 0),
                  CabReadFolderPastTable);
        EXPECT_EQ(cabReadFolder(&opened.reader, opened.handle, 0xFFFF, &folder, nullptr, 0),
                  CabReadFolderPastTable);

        // The reader holds no handle: the same layout read through a handle
        // on a copy cut inside the record.
        memfiles::addFile("cut.cab", cabwriter::Bytes(cab.image.begin(), cab.image.begin() + recordAt + 7));
        int32_t cutHandle = memfiles::open("cut.cab", kCabOpenFlags, kCabOpenMode);
        EXPECT_EQ(cabReadFolder(&opened.reader, cutHandle, 0, &folder, nullptr, 0), CabReadShortFolder);
    }

    cabwriter::Bytes farData = cab.image;
    put32(farData, recordAt, 0x80000000u);  // coffCabStart
    OpenedImage opened(farData);
    ASSERT_EQ(opened.readDirectoryHeader(), CabReadOk);
    EXPECT_EQ(cabReadFolder(&opened.reader, opened.handle, 0, &folder, nullptr, 0),
              CabReadBlockOffsetTooLarge);
}

TEST(DirectoryReader, DamagedFileEntriesAreNamed) {
    cabwriter::Cabinet cab = cabwriter::writeCabinet({stored({file("x", 10, 1), file("y", 10, 2)})});
    CabFileRecord entry;
    const uint32_t first = cab.layout.fileOffsets[0];

    cabwriter::Bytes cut(cab.image.begin(), cab.image.begin() + first + 15);
    EXPECT_EQ(firstEntryStatus(cut, entry), CabReadShortFile);

    // A folder index past the table that is no continuation marker: the
    // entry is still read in full and the handle moves on to the next one.
    for (uint16_t iFolder : {uint16_t(1), uint16_t(0xFFFC)}) {
        SCOPED_TRACE(iFolder);
        cabwriter::Bytes pastTable = cab.image;
        put16(pastTable, first + 8, iFolder);
        OpenedImage opened(pastTable);
        ASSERT_EQ(opened.readDirectoryHeader(), CabReadOk);
        EXPECT_EQ(cabReadFileEntry(&opened.reader, opened.handle, &entry), CabReadFileFolderPastTable);
        EXPECT_STREQ(entry.name, "x");
        EXPECT_EQ(entry.cbFile, 10u);
        EXPECT_EQ(uint32_t(opened.position()), cab.layout.fileOffsets[1]);
    }

    // With no folder at all, not even a continued file has one to lie in.
    cabwriter::Bytes noFolders = cab.image;
    put16(noFolders, 26, 0);
    put16(noFolders, first + 8, 0xFFFD);
    EXPECT_EQ(firstEntryStatus(noFolders, entry), CabReadFileFolderPastTable);
}

TEST(DirectoryReader, EveryStatusHasItsOwnText) {
    std::set<std::string> texts;
    for (int status = CabReadOk; status <= CabReadFileFolderPastTable; status++) {
        texts.insert(cabReadStatusText(CabReadStatus(status)));
    }
    EXPECT_EQ(texts.size(), size_t(CabReadFileFolderPastTable) + 1);
    EXPECT_EQ(texts.count(cabReadStatusText(CabReadStatus(99))), 0u);
}

TEST(DirectoryReader, AClientInCSeesWhatCppSees) {
    cabwriter::Options options;
    options.reserveFlag = true;
    options.cabinetReserve = {1, 2, 3};
    options.cbCFData = 4;
    options.previousCabinet = "before.cab";
    options.previousDisk = "first disk";
    options.setId = 77;
    cabwriter::File f = file("from c.txt", 1234, 5, 0x21);
    cabwriter::Cabinet cab = cabwriter::writeCabinet({stored({f})}, options);
    OpenedImage opened(cab.image);
    ReadFromC c;
    ASSERT_EQ(readFirstEntryFromC(memfiles::read, memfiles::seek, opened.handle, &c), CabReadOk);
    EXPECT_EQ(c.setID, 77u);
    EXPECT_EQ(c.cbCFHeader, 3u);
    EXPECT_EQ(c.cbCFData, 4u);
    EXPECT_EQ(c.cFiles, 1u);
    EXPECT_EQ(uint32_t(c.folderTableOffset), cab.layout.folderTableOffset);
    EXPECT_STREQ(c.previousCabinet, "before.cab");
    EXPECT_STREQ(c.previousDisk, "first disk");
    EXPECT_STREQ(c.fileName, "from c.txt");
    EXPECT_EQ(c.cbFile, 1234u);
    EXPECT_EQ(c.attribs, 0x21u);
    EXPECT_EQ(c.date, f.date);
    EXPECT_EQ(c.time, f.time);
}
