// Cabinet files on disk as the archive finds and opens them: a set's
// neighbours in another letter case, and only regular files opened.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <string>

#include "tests/archive/archive_test_support.h"

using namespace archivetest;

namespace {

std::string neighbour(const std::string& cabinet, const char* name, uint32_t capacity = 1024) {
    std::string buffer(capacity, '#');
    const int32_t status = cabArchiveNeighbourPath(cabinet.c_str(), name, buffer.data(), capacity);
    return status == CabArchiveOk ? std::string(buffer.c_str()) : "status " + std::to_string(status);
}

TEST(ArchiveDiskFiles, NeighbourIsFoundBesideTheCabinetInTheCaseOnDisk) {
    ScratchDirectory scratch;
    const std::string dir = scratch.path().string() + "/";
    std::ofstream(dir + "disk2.cab") << "x";
    std::ofstream(dir + "Exact.CAB") << "x";
    const std::string first = dir + "DISK1.CAB";
    EXPECT_EQ(neighbour(first, "DISK2.CAB"), dir + "disk2.cab");
    EXPECT_EQ(neighbour(first, "Exact.CAB"), dir + "Exact.CAB");
    EXPECT_EQ(neighbour(first, "MISSING.CAB"), dir + "MISSING.CAB");
    const std::string needed = dir + "disk2.cab";
    EXPECT_EQ(neighbour(first, "DISK2.CAB", uint32_t(needed.size())), "status 1");
    EXPECT_EQ(neighbour(first, "DISK2.CAB", uint32_t(needed.size() + 1)), needed);
    char buffer[16];
    EXPECT_EQ(cabArchiveNeighbourPath(nullptr, "a", buffer, sizeof buffer), CabArchiveBadArgument);
    EXPECT_EQ(cabArchiveNeighbourPath("a", nullptr, buffer, sizeof buffer), CabArchiveBadArgument);
}

TEST(ArchiveDiskFiles, OnlyRegularFilesAreOpenedAndNothingBlocks) {
    ScratchDirectory scratch;
    const std::string dir = scratch.path().string() + "/";
    std::ofstream(dir + "plain") << "MSCF";
    ASSERT_EQ(mkfifo((dir + "fifo").c_str(), 0600), 0);

    CabArchiveError error{};
    const int fd = cabArchiveOpenRegularFile((dir + "plain").c_str(), &error);
    ASSERT_GE(fd, 0) << error.message;
    char bytes[8] = {};
    EXPECT_EQ(read(fd, bytes, sizeof bytes), 4);
    EXPECT_EQ(std::string(bytes), "MSCF");
    close(fd);
    EXPECT_EQ(error.code, CabArchiveOk);

    for (const std::string name : {"fifo", ""}) {  // a FIFO with no writer, a directory
        error = CabArchiveError{};
        EXPECT_EQ(cabArchiveOpenRegularFile((dir + name).c_str(), &error), -1) << name;
        EXPECT_EQ(error.code, CabArchiveCannotOpen) << name;
        EXPECT_STREQ(error.message, "not a regular file") << name;
    }
    error = CabArchiveError{};
    EXPECT_EQ(cabArchiveOpenRegularFile((dir + "absent").c_str(), &error), -1);
    EXPECT_EQ(error.code, CabArchiveCannotOpen);
    EXPECT_EQ(std::string(error.message).rfind("cannot open: ", 0), 0u) << error.message;
    EXPECT_EQ(cabArchiveOpenRegularFile(nullptr, nullptr), -1);
}

}  // namespace
