// Opening an archive from a file, memory or a stream, at an offset or found
// inside another file.
#include <algorithm>
#include <unistd.h>

#include "tests/archive/archive_test_support.h"

using namespace archivetest;
using cabwriter::Method;

namespace {

cabwriter::Cabinet threeFileCabinet() {
    return cabwriter::writeCabinet(
        {folderOf(Method::Mszip, {makeFile("one.txt", 5000, 1), makeFile("dir\\two.bin", 70000, 2),
                                  makeFile("three", 0, 3)})});
}

std::vector<std::string> namesAndBytes(CabArchive* archive) {
    std::vector<std::string> result;
    for (uint32_t i = 0; i < cabArchiveEntryCount(archive); ++i) {
        CabArchiveEntry entry{};
        EXPECT_EQ(cabArchiveEntry(archive, i, &entry), CabArchiveOk);
        result.push_back(std::string(entry.name) + "=" + extractText(archive, i));
    }
    return result;
}

}  // namespace

TEST(ArchiveSources, MemoryStreamAndPathGiveTheSameEntriesAndBytes) {
    const cabwriter::Cabinet cabinet = threeFileCabinet();
    CabArchive* fromMemory = openMemory(cabinet.image);
    ASSERT_NE(fromMemory, nullptr);
    ASSERT_EQ(cabArchiveEntryCount(fromMemory), 3u);
    CabArchiveEntry entry{};
    ASSERT_EQ(cabArchiveEntry(fromMemory, 1, &entry), CabArchiveOk);
    EXPECT_STREQ(entry.name, "dir\\two.bin");
    EXPECT_EQ(entry.size, 70000u);
    EXPECT_EQ(entry.method, CabMethodMszip);
    EXPECT_EQ(entry.windowBits, 15u);
    EXPECT_EQ(entry.folderOffset, 5000u);
    EXPECT_EQ(extractText(fromMemory, 1), text(makeFile("", 70000, 2).data));

    CountingStream counting;
    counting.bytes = cabinet.image;
    const CabArchiveStream stream = counting.stream();
    CabArchive* fromStream = nullptr;
    CabArchiveError error{};
    ASSERT_EQ(cabArchiveOpenStream(&stream, nullptr, &fromStream, &error), CabArchiveOk) << error.message;

    ScratchDirectory scratch;
    scratch.save(cabinet);
    CabArchive* fromPath = nullptr;
    ASSERT_EQ(cabArchiveOpenPath((scratch.path() / cabinet.name).c_str(), nullptr, &fromPath, &error),
              CabArchiveOk)
        << error.message;
    CabArchiveCabinet facts{};
    ASSERT_EQ(cabArchiveCabinet(fromPath, 0, &facts), CabArchiveOk);
    EXPECT_EQ(std::string(facts.name), (scratch.path() / cabinet.name).string());
    EXPECT_EQ(facts.fileCount, 3u);

    EXPECT_EQ(namesAndBytes(fromStream), namesAndBytes(fromMemory));
    EXPECT_EQ(namesAndBytes(fromPath), namesAndBytes(fromMemory));
    EXPECT_EQ(cabArchiveDamage(fromMemory), nullptr);
    EXPECT_FALSE(counting.closed);
    cabArchiveClose(fromStream);
    EXPECT_TRUE(counting.closed);
    cabArchiveClose(fromMemory);
    cabArchiveClose(fromPath);
}

TEST(ArchiveSources, WhatIsNotACabinetIsRefusedAndAStreamClosedAnyway) {
    CountingStream counting;
    counting.bytes = Bytes(4000, 'x');
    const CabArchiveStream stream = counting.stream();
    CabArchive* archive = nullptr;
    CabArchiveError error{};
    EXPECT_EQ(cabArchiveOpenStream(&stream, nullptr, &archive, &error), CabArchiveNotCabinet);
    EXPECT_EQ(error.code, CabArchiveNotCabinet);
    EXPECT_NE(std::string(error.message).find("not a cabinet"), std::string::npos) << error.message;
    EXPECT_EQ(archive, nullptr);
    EXPECT_TRUE(counting.closed);

    EXPECT_EQ(cabArchiveOpenPath("/nonexistent/none.cab", nullptr, &archive, &error), CabArchiveCannotOpen);
    EXPECT_NE(std::string(error.message).find("/nonexistent/none.cab"), std::string::npos);

    const cabwriter::Cabinet cabinet = threeFileCabinet();
    CabArchiveOptions options;
    cabArchiveDefaultOptions(&options);
    options.codePage = "no-such-code-page";
    EXPECT_EQ(cabArchiveOpenMemory(cabinet.image.data(), cabinet.image.size(), &options, &archive, &error),
              CabArchiveBadArgument);
}

TEST(ArchiveSources, ACabinetInsideOtherBytesIsFoundAtItsOffsetOrBySearching) {
    const cabwriter::Cabinet cabinet = threeFileCabinet();
    Bytes host(3001, 0x90);
    host.insert(host.end(), cabinet.image.begin(), cabinet.image.end());
    host.insert(host.end(), 500, 0x00);

    CabArchive* archive = nullptr;
    CabArchiveError error{};
    EXPECT_EQ(cabArchiveOpenMemory(host.data(), host.size(), nullptr, &archive, &error), CabArchiveNotCabinet);

    CabArchiveOptions options;
    cabArchiveDefaultOptions(&options);
    options.offset = 3001;
    archive = openMemory(host, &options);
    ASSERT_NE(archive, nullptr);
    EXPECT_EQ(extractText(archive, 0), text(makeFile("", 5000, 1).data));
    cabArchiveClose(archive);

    options.offset = 0;
    options.searchEmbedded = 1;
    CountingStream counting;
    counting.bytes = host;
    const CabArchiveStream stream = counting.stream();
    ASSERT_EQ(cabArchiveOpenStream(&stream, &options, &archive, &error), CabArchiveOk) << error.message;
    CabArchiveCabinet facts{};
    ASSERT_EQ(cabArchiveCabinet(archive, 0, &facts), CabArchiveOk);
    EXPECT_EQ(facts.offset, 3001u);
    EXPECT_EQ(facts.size, cabinet.image.size());
    EXPECT_EQ(extractText(archive, 1), text(makeFile("", 70000, 2).data));
    cabArchiveClose(archive);
}

TEST(ArchiveSources, FindEmbeddedListsEveryCabinetOfAFile) {
    const cabwriter::Cabinet first = threeFileCabinet();
    const cabwriter::Cabinet second =
        cabwriter::writeCabinet({folderOf(Method::Stored, {makeFile("x", 100, 9)})});
    Bytes host(777, 'M');
    host.insert(host.end(), first.image.begin(), first.image.end());
    host.insert(host.end(), 123, 'S');
    host.insert(host.end(), second.image.begin(), second.image.end());
    ScratchDirectory scratch;
    cabwriter::Cabinet hostFile{"setup.exe", host, {}};
    scratch.save(hostFile);

    uint64_t offsets[1] = {};
    uint32_t found = 0;
    CabArchiveError error{};
    const std::string path = (scratch.path() / "setup.exe").string();
    ASSERT_EQ(cabArchiveFindEmbedded(path.c_str(), offsets, 1, &found, &error), CabArchiveOk);
    EXPECT_EQ(found, 2u);  // more than the room given
    EXPECT_EQ(offsets[0], 777u);
    uint64_t both[2] = {};
    ASSERT_EQ(cabArchiveFindEmbedded(path.c_str(), both, 2, &found, &error), CabArchiveOk);
    EXPECT_EQ(both[1], 777u + first.image.size() + 123u);

    CabArchiveOptions options;
    cabArchiveDefaultOptions(&options);
    options.offset = both[1];
    CabArchive* archive = nullptr;
    ASSERT_EQ(cabArchiveOpenPath(path.c_str(), &options, &archive, &error), CabArchiveOk) << error.message;
    EXPECT_EQ(extractText(archive, 0), text(makeFile("", 100, 9).data));
    cabArchiveClose(archive);
    EXPECT_EQ(cabArchiveFindEmbedded("/nonexistent", both, 2, &found, &error), CabArchiveCannotOpen);
}

TEST(ArchiveSources, HeaderFactsAreReadAtAnOffsetWhateverTheVersion) {
    cabwriter::Options options;
    options.setId = 4242;
    options.firstIndex = 3;
    options.reserveFlag = true;
    options.cabinetReserve = Bytes(6, 0xAA);
    options.cbCFFolder = 2;
    options.cbCFData = 5;
    cabwriter::Cabinet cabinet =
        cabwriter::writeCabinet({folderOf(Method::Stored, {makeFile("x", 100, 9)})}, options);
    cabinet.image[24] = 2;  // versionMinor: 1.2, which no archive opens
    Bytes host(500 + cabinet.image.size(), 'M');
    std::copy(cabinet.image.begin(), cabinet.image.end(), host.begin() + 500);
    ScratchDirectory scratch;
    scratch.save(cabwriter::Cabinet{"host.bin", host, {}});
    const std::string path = (scratch.path() / "host.bin").string();

    CabArchiveHeaderFacts facts{};
    facts.size = sizeof facts;
    CabArchiveError error{};
    ASSERT_EQ(cabArchiveReadHeaderFacts(path.c_str(), 500, &facts, &error), CabArchiveOk) << error.message;
    EXPECT_EQ(facts.versionMajor, 1);
    EXPECT_EQ(facts.versionMinor, 2);
    EXPECT_EQ(facts.setId, 4242);
    EXPECT_EQ(facts.indexInSet, 3);
    EXPECT_EQ(facts.flags & 0x0004, 0x0004);
    EXPECT_EQ(facts.headerReserve, 6u);
    EXPECT_EQ(facts.folderReserve, 2u);
    EXPECT_EQ(facts.blockReserve, 5u);

    // No signature there, a header cut short, a record too small, no file.
    EXPECT_EQ(cabArchiveReadHeaderFacts(path.c_str(), 0, &facts, &error), CabArchiveNotCabinet);
    EXPECT_EQ(cabArchiveReadHeaderFacts(path.c_str(), host.size() - 20, &facts, &error),
              CabArchiveNotCabinet);
    scratch.save(cabwriter::Cabinet{"short.bin", Bytes(cabinet.image.begin(), cabinet.image.begin() + 30), {}});
    EXPECT_EQ(cabArchiveReadHeaderFacts((scratch.path() / "short.bin").c_str(), 0, &facts, &error),
              CabArchiveNotCabinet);
    CabArchiveHeaderFacts older{};
    older.size = sizeof older - 4;
    EXPECT_EQ(cabArchiveReadHeaderFacts(path.c_str(), 500, &older, &error), CabArchiveBadArgument);
    EXPECT_EQ(cabArchiveReadHeaderFacts((scratch.path() / "none").c_str(), 0, &facts, &error),
              CabArchiveCannotOpen);
}
