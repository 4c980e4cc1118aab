// Cabinets, sources and sinks the archive tests share.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "archive/cab_archive.h"
#include "tools/cabwriter/cab_writer.h"

namespace archivetest {

using cabwriter::Bytes;

// A file of `size` bytes that differ from one seed to another.
cabwriter::File makeFile(std::string name, size_t size, uint8_t seed);

// A folder of `files` compressed with `method` (Stored, Mszip, Quantum or Lzx).
cabwriter::Folder folderOf(cabwriter::Method method, std::vector<cabwriter::File> files,
                           uint32_t blockSize = 4096);

std::string text(const Bytes& bytes);

// A directory removed with everything in it when the test ends.
class ScratchDirectory {
public:
    ScratchDirectory();
    ~ScratchDirectory();
    const std::filesystem::path& path() const { return path_; }
    // Writes `cabinet` into the directory under `name` (its own when empty).
    void save(const cabwriter::Cabinet& cabinet, const std::string& name = "") const;

private:
    std::filesystem::path path_;
};

std::string readFile(const std::filesystem::path& path);

// A stream over bytes in memory that counts what is read where.
struct CountingStream {
    Bytes bytes;
    int64_t position = 0;
    uint64_t bytesRead = 0;
    std::map<int64_t, int> readsStartingAt;  // position -> reads starting there
    bool closed = false;

    CabArchiveStream stream();
};

// The client's sink, recording every call; answers as configured.
struct RecordingSink {
    std::map<uint32_t, std::string> written;  // entry -> bytes of its latest begin
    std::map<uint32_t, int32_t> ended;        // entry -> outcome given to end
    std::vector<uint32_t> begun;              // in the order begin was called
    std::map<uint32_t, int> beginAnswer;      // entry -> answer (default 1)
    int64_t stopAfterBytes = -1;              // write answers -1 once this many bytes went by
    uint64_t bytesSeen = 0;

    CabArchiveSink sink();
};

// Three cabinets: "b" goes on from the first into the second, "c" lies
// wholly in the second's part of the continued folder, "d" goes on into the
// third, where a folder of its own follows.
struct ThreeCabinetSet {
    std::vector<cabwriter::File> files{makeFile("a.txt", 10000, 1), makeFile("b.bin", 30000, 2),
                                       makeFile("c.txt", 5000, 3),  makeFile("d.bin", 20000, 4),
                                       makeFile("e.txt", 3000, 5),  makeFile("f.txt", 4000, 6)};
    std::vector<cabwriter::Cabinet> cabinets;

    ThreeCabinetSet() {
        std::vector<cabwriter::File> first(files.begin(), files.begin() + 4);
        std::vector<cabwriter::File> second(files.begin() + 4, files.end());
        cabinets = cabwriter::writeCabinetSet(
            {folderOf(cabwriter::Method::Stored, first), folderOf(cabwriter::Method::Mszip, second)}, 25000, "set%d.cab");
    }

    std::string contents(const std::string& name) const {
        for (const cabwriter::File& f : files) {
            if (f.name == name) return text(f.data);
        }
        return "?";
    }
};

// Opens `image` from memory with `options` (defaults when null); fails the
// test when it cannot.
CabArchive* openMemory(const Bytes& image, const CabArchiveOptions* options = nullptr);

// Entry `index` extracted to memory, as text; fails the test on error.
std::string extractText(CabArchive* archive, uint32_t index);

// The index of the entry called `name`, or UINT32_MAX.
uint32_t entryNamed(const CabArchive* archive, const std::string& name);

}  // namespace archivetest
