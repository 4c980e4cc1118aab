// The extraction driver on real files in a sandbox, with cabinets built by
// the cabinet writer.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <string>

#include "installer/extraction_driver.h"
#include "installer/win32_api.h"
#include "platform/testing.h"
#include "sandbox.h"
#include "tools/cabwriter/cab_writer.h"

namespace {

cabwriter::File file(const std::string& name, const Bytes& data, uint16_t attributes = 0x20) {
    cabwriter::File f;
    f.name = name;
    f.data = data;
    f.attribs = attributes;
    return f;
}

Bytes text(const std::string& s) { return Bytes(s.begin(), s.end()); }

cabwriter::Cabinet mszipCabinet(std::vector<cabwriter::File> files) {
    cabwriter::Folder folder;
    folder.method = cabwriter::Method::Mszip;
    folder.files = std::move(files);
    return cabwriter::writeCabinet({folder});
}

class ExtractionDriver : public ::testing::Test {
protected:
    // Saves the cabinet in the temporary directory; returns its path with a
    // backslash before the name, as the installer forms it.
    std::string stage(const Bytes& image, const std::string& name = "test.cab") {
        writeFile(box.temp + "/" + name, image);
        return box.temp + "\\" + name;
    }
    std::string target() const { return box.system32 + "\\"; }
    std::string installed(const std::string& name) const { return box.system32 + "/" + name; }

    Sandbox box;
};

TEST_F(ExtractionDriver, UnpacksEveryFileWithItsTimeStampAndMaskedAttributes) {
    Sandbox::setVariable("TZ", "EST5");  // five hours west of UTC, no daylight saving
    tzset();
    Bytes big(70000);
    for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<uint8_t>(i * 7 + i / 300);
    auto plain = file("plain.bin", big, 0x20);
    auto readOnly = file("locked.txt", text("read only"), 0x01 | 0x20 | 0x40 | 0x80);
    auto badDate = file("undated.txt", text("no valid date"), 0x01);
    badDate.date = 0x0000;  // day 0 of month 0: not a date
    std::string cabinet = stage(mszipCabinet({plain, readOnly, badDate}).image);

    time_t before = time(nullptr);
    ASSERT_EQ(extractCabinet(cabinet.c_str(), target().c_str()), 1);
    EXPECT_EQ(readFile(installed("plain.bin")), big);
    EXPECT_EQ(readFile(installed("locked.txt")), text("read only"));
    EXPECT_EQ(listDirectory(box.system32),
              (std::vector<std::string>{"locked.txt", "plain.bin", "undated.txt"}));

    // 2006-09-01 22:39:48 local time is 2006-09-02 03:39:48 UTC.
    struct tm utc {};
    utc.tm_year = 106;
    utc.tm_mon = 8;
    utc.tm_mday = 2;
    utc.tm_hour = 3;
    utc.tm_min = 39;
    utc.tm_sec = 48;
    struct stat info {};
    ASSERT_EQ(stat(installed("plain.bin").c_str(), &info), 0);
    EXPECT_EQ(info.st_mtime, timegm(&utc));
    ASSERT_EQ(stat(installed("undated.txt").c_str(), &info), 0);
    EXPECT_GE(info.st_mtime, before);  // keeps the time writing gave it

    EXPECT_EQ(GetFileAttributesA(installed("plain.bin").c_str()) & FILE_ATTRIBUTE_READONLY, 0u);
    EXPECT_NE(GetFileAttributesA(installed("locked.txt").c_str()) & FILE_ATTRIBUTE_READONLY, 0u);
    // An unconvertible date still gets its attributes.
    EXPECT_NE(GetFileAttributesA(installed("undated.txt").c_str()) & FILE_ATTRIBUTE_READONLY, 0u);
}

TEST_F(ExtractionDriver, OpensCabinetsByPathOrRelativeNameAndReportsUnopenableOnes) {
    Bytes image = mszipCabinet({file("one.txt", text("1"))}).image;
    stage(image, "rel.cab");

    // Without a backslash the cabinet is found relative to the current directory.
    std::string previous = std::filesystem::current_path().string();
    ASSERT_EQ(chdir(box.temp.c_str()), 0);
    int relative = extractCabinet("rel.cab", target().c_str());
    ASSERT_EQ(chdir(previous.c_str()), 0);
    EXPECT_EQ(relative, 1);
    EXPECT_EQ(readFile(installed("one.txt")), text("1"));

    // The path is shown with the one separator of the system it runs on.
    std::string missing = box.temp + "\\missing.cab";
    testing::internal::CaptureStdout();
    ExtractionFailure failure;
    EXPECT_EQ(extractCabinet(missing.c_str(), target().c_str(), &failure), 0);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "Unable to open '" + box.temp + "/missing.cab' for input\n");
    EXPECT_TRUE(failure.inCabinet);
    EXPECT_STREQ(failure.file, "missing.cab");
    EXPECT_EQ(std::string(failure.directory), box.temp + "\\");
    EXPECT_STREQ(reasonText(failure.reason), "the file does not exist");

    // Not a cabinet: failure without a word on standard output.
    std::string notCabinet = stage(text("MSCX this is no cabinet at all, just words."), "x.cab");
    testing::internal::CaptureStdout();
    EXPECT_EQ(extractCabinet(notCabinet.c_str(), target().c_str(), &failure), 0);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_TRUE(failure.inCabinet);
    EXPECT_STREQ(failure.file, "x.cab");
    EXPECT_STREQ(reasonText(failure.reason), "it is not a cabinet file");
}

TEST_F(ExtractionDriver, OutputsAreCreatedForReadAndWriteAndReplaceLongerFilesWhole) {
    writeFile(installed("small.txt"), Bytes(100000, 'x'));             // longer old file
    writeFile(installed("fresh.txt") + kPartialSuffix, Bytes(5000, 'y'));  // stale temporary
    std::string cabinet =
        stage(mszipCabinet({file("small.txt", text("short")), file("fresh.txt", text("new"))}).image);

    ASSERT_EQ(extractCabinet(cabinet.c_str(), target().c_str()), 1);
    EXPECT_EQ(readFile(installed("small.txt")), text("short"));
    EXPECT_EQ(readFile(installed("fresh.txt")), text("new"));
    EXPECT_EQ(listDirectory(box.system32), (std::vector<std::string>{"fresh.txt", "small.txt"}));
    struct stat info {};
    ASSERT_EQ(stat(installed("small.txt").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0600, 0600u);  // read and write permission
}

TEST_F(ExtractionDriver, FailedExtractionLeavesNoPartialFileAndKeepsTheOldOne) {
    writeFile(installed("keep.txt"), text("the good old contents"));
    Bytes data(100000);
    for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>((i * 2654435761u) >> 13);
    cabwriter::Cabinet cab = mszipCabinet({file("keep.txt", data)});
    // Damage the last data block: its checksum no longer matches.
    cab.image[cab.layout.blockOffsets.back() + 8 + 20] ^= 0x55;
    std::string cabinet = stage(cab.image);

    ExtractionFailure failure;
    EXPECT_EQ(extractCabinet(cabinet.c_str(), target().c_str(), &failure), 0);
    EXPECT_EQ(readFile(installed("keep.txt")), text("the good old contents"));
    EXPECT_EQ(listDirectory(box.system32), (std::vector<std::string>{"keep.txt"}));
    EXPECT_TRUE(failure.inCabinet);
    EXPECT_STREQ(failure.file, "test.cab");
    EXPECT_STREQ(reasonText(failure.reason), "the cabinet is damaged");

    // A directory that does not exist: the first output cannot be opened.
    std::string intact = stage(mszipCabinet({file("a.txt", text("a"))}).image, "ok.cab");
    std::string nowhere = box.root + "\\no-such-dir\\";
    EXPECT_EQ(extractCabinet(intact.c_str(), nowhere.c_str()), 0);
    EXPECT_FALSE(std::filesystem::exists(box.root + "/no-such-dir"));
}

TEST_F(ExtractionDriver, WithoutMoveFileExOldFilesAreDeletedThenReplaced) {
    // The oldest Windows systems answer MoveFileExA with "not implemented".
    win32test::setMoveFileExAvailable(false);
    writeFile(installed("old.txt"), Bytes(100000, 'o'));
    writeFile(installed("locked.txt"), text("keep me"));
    SetFileAttributesA(installed("locked.txt").c_str(), FILE_ATTRIBUTE_READONLY);
    std::string cabinet = stage(mszipCabinet({file("old.txt", text("new")), file("fresh.txt", text("f"))}).image);
    EXPECT_EQ(extractCabinet(cabinet.c_str(), target().c_str()), 1);
    EXPECT_EQ(readFile(installed("old.txt")), text("new"));
    EXPECT_EQ(readFile(installed("fresh.txt")), text("f"));

    // A read-only old file is neither deleted nor replaced.
    std::string locked = stage(mszipCabinet({file("locked.txt", text("new"))}).image, "l.cab");
    ExtractionFailure failure;
    EXPECT_EQ(extractCabinet(locked.c_str(), target().c_str(), &failure), 0);
    EXPECT_EQ(readFile(installed("locked.txt")), text("keep me"));
    EXPECT_FALSE(failure.inCabinet);
    EXPECT_STREQ(failure.file, "locked.txt");
    EXPECT_EQ(std::string(failure.directory), target());
    EXPECT_STREQ(reasonText(failure.reason), "the existing file is read-only");
    EXPECT_EQ(listDirectory(box.system32),
              (std::vector<std::string>{"fresh.txt", "locked.txt", "old.txt"}));
    win32test::setMoveFileExAvailable(true);
}

TEST_F(ExtractionDriver, NamesThatLeaveTheTargetDirectoryAreSkipped) {
    std::filesystem::create_directories(box.system32 + "/sub");
    std::string cabinet = stage(mszipCabinet({
        file("..\\escaped.txt", text("1")),
        file("\\rooted.txt", text("2")),
        file("/rooted2.txt", text("3")),
        file("C:drive.txt", text("4")),
        file("sub\\..\\..\\up.txt", text("5")),
        file("sub\\inside.txt", text("6")),
        file("good.txt", text("7")),
    }).image);

    EXPECT_EQ(extractCabinet(cabinet.c_str(), target().c_str()), 1);
    EXPECT_EQ(listDirectory(box.system32), (std::vector<std::string>{"good.txt", "sub"}));
    EXPECT_EQ(listDirectory(box.system32 + "/sub"), (std::vector<std::string>{"inside.txt"}));
    EXPECT_EQ(listDirectory(box.windows), (std::vector<std::string>{"system32"}));
    EXPECT_FALSE(std::filesystem::exists("/rooted.txt"));
    EXPECT_TRUE(isSafeOutputName("a..b\\..c"));  // dots inside names are fine
}

TEST_F(ExtractionDriver, PathsBeyondTheBufferAreRefusedNotOverrun) {
    // The prefix fits, the prefix and the name do not.
    std::string longTarget = box.system32 + "\\" + std::string(495 - box.system32.size(), 'd') + "\\";
    ASSERT_LT(longTarget.size(), 512u);
    std::string cabinet = stage(mszipCabinet({file(std::string(30, 'n'), text("x"))}).image);
    EXPECT_EQ(extractCabinet(cabinet.c_str(), longTarget.c_str()), 0);

    // A target directory that does not fit at all.
    std::string huge = box.system32 + "\\" + std::string(600, 'h') + "\\";
    EXPECT_EQ(extractCabinet(cabinet.c_str(), huge.c_str()), 0);

    // A cabinet path longer than the decoder's 256-character name buffer.
    std::string deep = box.temp + "/" + std::string(250, 'p');
    std::filesystem::create_directories(deep);
    writeFile(deep + "/test.cab", mszipCabinet({file("x.txt", text("x"))}).image);
    std::string deepCabinet = deep + "\\test.cab";
    EXPECT_EQ(extractCabinet(deepCabinet.c_str(), target().c_str()), 0);
    EXPECT_TRUE(listDirectory(box.system32).empty());
}

TEST_F(ExtractionDriver, AMissingNextCabinetEndsTheExtraction) {
    CabNotification note{};
    note.lastError = 0;
    EXPECT_EQ(handleCabinetNotification(NeedCabinet, &note), 0);  // first request: try it
    note.lastError = CannotOpen;
    EXPECT_EQ(handleCabinetNotification(NeedCabinet, &note), -1);  // failed: give up

    Bytes data(80000);
    for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i % 251);
    cabwriter::Folder folder;
    folder.method = cabwriter::Method::Stored;
    folder.files = {file("spans.bin", data)};
    auto set = cabwriter::writeCabinetSet({folder}, 40000, "part%d.cab");
    ASSERT_GE(set.size(), 2u);
    std::string first = stage(set[0].image, set[0].name);  // the second is missing

    EXPECT_EQ(extractCabinet(first.c_str(), target().c_str()), 0);
    EXPECT_TRUE(listDirectory(box.system32).empty());
}

}  // namespace
