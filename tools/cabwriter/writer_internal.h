// Pieces shared by the writer's source files: folders turned into data
// blocks, and the plan of one cabinet that the image builder serialises.
#pragma once

#include "cab/format.h"
#include "tools/cabwriter/cab_writer.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace cabwriter::detail {

// Largest data size a decoder accepts for one block of 32,768 bytes: the
// MSZIP input buffer is the output block size + 12.
constexpr size_t kMaxMszipBlockData = 32768 + 12;


struct EncodedBlock {
    Bytes data;
    uint16_t uncompressedSize;
};

// A folder made ready for writing: its blocks and where each file starts.
struct EncodedFolder {
    uint16_t typeCompress = 0;
    std::vector<EncodedBlock> blocks;
    std::vector<uint32_t> fileStarts;   // uncompressed offset of each file
    std::vector<uint32_t> blockStarts;  // uncompressed offset of each block
    uint32_t uncompressedSize = 0;      // sum of the blocks' cbUncomp
};

EncodedFolder encodeFolder(const Folder& folder);

// One CFDATA record to write: all of a block or one piece of a split block.
struct PlannedBlock {
    const uint8_t* data;
    size_t size;
    uint16_t cbUncomp;
    const Bytes* reserve;  // the folder's block reserve
};

struct PlannedFolder {
    uint16_t typeCompress;
    const Bytes* reserve;
    std::vector<PlannedBlock> blocks;
};

struct PlannedFile {
    const File* file;
    uint32_t cbFile;
    uint32_t uoffFolderStart;
    uint16_t iFolder;
};

struct CabinetPlan {
    std::string name;
    uint16_t iCabinet = 0;
    std::string previousCabinet, previousDisk, nextCabinet, nextDisk;
    std::vector<PlannedFolder> folders;
    std::vector<PlannedFile> files;
};

// The CFFILE fields of a file, with the caller's overrides applied.
PlannedFile planFile(const File& file, uint32_t start, uint16_t iFolder);

// The CFDATA checksum of `length` bytes, starting from `seed`.
uint32_t blockChecksumOf(const uint8_t* data, size_t length, uint32_t seed);

// Serialises a plan; setID, reserve and checksum settings come from options.
Cabinet buildCabinet(const CabinetPlan& plan, const Options& options);

// `pattern` with its first "%d" replaced by `number`.
std::string numberedName(const std::string& pattern, int number);

}  // namespace cabwriter::detail
