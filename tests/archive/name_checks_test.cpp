// Checks on names without an archive: where a stored name would be written
// below an extraction directory, and whether a neighbour's name is a plain
// file name.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/archive/archive_test_support.h"

using namespace archivetest;

namespace {

struct PathAnswer {
    int32_t status;
    std::string text;
};

PathAnswer namePath(const char* name, int32_t lowercase, uint32_t capacity = 512) {
    std::vector<char> buffer(capacity + 1, '#');
    const int32_t status = cabArchiveNamePath(name, lowercase, buffer.data(), capacity);
    return {status, status == CabArchiveBadArgument ? std::string() : std::string(buffer.data())};
}

TEST(ArchiveNameChecks, NamePathSplitsLowersAndRefusesAsForAnEntry) {
    const std::vector<std::string> names = {"top.txt", "Dir\\Sub\\File.TXT", "a/b\\c",
                                            "..\\escape.txt", "dir\\..\\..\\x", "\xD0\x96.TXT"};
    std::vector<cabwriter::File> files;
    for (size_t i = 0; i < names.size(); ++i) files.push_back(makeFile(names[i], 10, uint8_t(i)));
    const cabwriter::Cabinet cabinet = cabwriter::writeCabinet({folderOf(cabwriter::Method::Stored, files)});
    CabArchiveOptions options;
    cabArchiveDefaultOptions(&options);
    options.codePage = "utf-8";
    CabArchive* archive = openMemory(cabinet.image, &options);
    ASSERT_NE(archive, nullptr);
    ASSERT_EQ(cabArchiveEntryCount(archive), names.size());
    for (uint32_t i = 0; i < names.size(); ++i) {
        CabArchiveEntry entry{};
        ASSERT_EQ(cabArchiveEntry(archive, i, &entry), CabArchiveOk);
        for (int32_t lowercase : {0, 1}) {
            char expected[512];
            const int32_t status = cabArchiveEntryPath(archive, i, lowercase, expected, sizeof expected);
            const PathAnswer answer = namePath(entry.name, lowercase);
            EXPECT_EQ(answer.status, status) << names[i] << " lowercase " << lowercase;
            EXPECT_EQ(answer.text, expected) << names[i] << " lowercase " << lowercase;
        }
    }
    cabArchiveClose(archive);

    EXPECT_EQ(namePath("Dir\\Sub\\File.TXT", 0).text, "Dir/Sub/File.TXT");
    EXPECT_EQ(namePath("Dir\\Sub\\File.TXT", 1).text, "dir/sub/file.txt");
    EXPECT_EQ(namePath("\xD0\x96.TXT", 1).text, "\xD0\xB6.txt");
    const PathAnswer escape = namePath("..\\escape.txt", 0);
    EXPECT_EQ(escape.status, CabArchiveIncomplete);
    EXPECT_FALSE(escape.text.empty()) << "a refused name says why";
}

TEST(ArchiveNameChecks, NamePathRefusesBadArgumentsAndSmallBuffers) {
    char buffer[64];
    EXPECT_EQ(cabArchiveNamePath(nullptr, 0, buffer, sizeof buffer), CabArchiveBadArgument);
    EXPECT_EQ(cabArchiveNamePath("a.txt", 0, nullptr, 64), CabArchiveBadArgument);
    // "dir/a.txt" needs 10 bytes with its NUL.
    EXPECT_EQ(namePath("dir\\a.txt", 0, 9).status, CabArchiveBadArgument);
    const PathAnswer fits = namePath("dir\\a.txt", 0, 10);
    EXPECT_EQ(fits.status, CabArchiveOk);
    EXPECT_EQ(fits.text, "dir/a.txt");
}

TEST(ArchiveNameChecks, PlainFileNamesAreThoseWithoutPathParts) {
    EXPECT_EQ(cabArchiveIsPlainFileName("DISK2.CAB"), 1);
    EXPECT_EQ(cabArchiveIsPlainFileName("..."), 1);
    EXPECT_EQ(cabArchiveIsPlainFileName(""), 0);
    EXPECT_EQ(cabArchiveIsPlainFileName("."), 0);
    EXPECT_EQ(cabArchiveIsPlainFileName(".."), 0);
    EXPECT_EQ(cabArchiveIsPlainFileName("sub/DISK2.CAB"), 0);
    EXPECT_EQ(cabArchiveIsPlainFileName("sub\\DISK2.CAB"), 0);
    EXPECT_EQ(cabArchiveIsPlainFileName(nullptr), 0);
}

}  // namespace
