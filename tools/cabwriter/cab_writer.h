// Builds cabinet files in memory: single cabinets and sets of cabinets that
// continue one another. Used by the tests, the benchmarks and the build-time
// payload generator. Uses zlib to make MSZIP blocks.
#pragma once

#include "tools/cabwriter/lzx_encoder.h"

#include <cstdint>
#include <string>
#include <vector>

namespace cabwriter {

using Bytes = std::vector<uint8_t>;

// How a folder's data blocks are made.
enum class Method {
    Stored,  // blocks hold the bytes as they are (type word 0)
    Mszip,   // "CK" + a raw Deflate stream from zlib per block (type word 1)
    Raw,     // the caller supplies every block's data and uncompressed size
    Quantum,  // blocks from the test Quantum encoder (type word 2 | bits << 8)
    Lzx,     // the test LZX encoder, one CFDATA block per 32,768-byte frame (type word 3)
};

struct RawBlock {
    Bytes data;                 // the block's data exactly as it goes into CFDATA
    uint16_t uncompressedSize;  // cbUncomp
};

struct File {
    std::string name;
    Bytes data;  // contents; for Raw folders only its size matters, unless `size` is set
    uint16_t date = 0x3521;  // DOS date (2006-09-01)
    uint16_t time = 0xB4F8;  // DOS time (22:39:48)
    uint16_t attribs = 0x20;
    // Overrides written instead of the computed values, for damaged cabinets.
    int64_t sizeOverride = -1;         // cbFile
    int64_t folderStartOverride = -1;  // uoffFolderStart
    int32_t folderIndexOverride = -1;  // iFolder (e.g. 0xFFFD in a single cabinet)
};

struct Folder {
    Method method = Method::Stored;
    // Written as typeCompress; -1 means "derived from the method" (0 or 1;
    // required for Raw folders).
    int32_t typeCompress = -1;
    std::vector<File> files;  // in folder order; their data is concatenated
    // Stored/Mszip/Quantum: uncompressed bytes per block (every block but the last is
    // this size, at most 32,768).
    uint32_t blockSize = 32768;
    // Mszip: zlib level, strategy (Z_DEFAULT_STRATEGY, Z_FILTERED,
    // Z_HUFFMAN_ONLY, Z_RLE, Z_FIXED) and whether each block is compressed
    // with the previous 32,768 bytes of the folder as preset dictionary.
    // A decoder's history is its 32,768-byte output block, so a dictionary
    // only matches it when every block but the last is 32,768 bytes.
    int zlibLevel = 6;
    int zlibStrategy = 0;
    bool presetDictionary = true;
    std::vector<RawBlock> rawBlocks;  // Raw: the folder's blocks
    uint32_t quantumWindowBits = 16;  // Quantum: window size exponent, 10..21
    // Lzx: the encoder's settings; lzx.windowBits (15..21) is the window and
    // goes into the type word as 3 | bits << 8.
    lzxenc::Options lzx;
    Bytes reserve;                    // per-folder reserve bytes (cbCFFolder of them)
    Bytes blockReserve;               // per-block reserve bytes (cbCFData of them)
};

struct Options {
    uint16_t setId = 0;
    uint16_t firstIndex = 0;        // iCabinet of the first cabinet
    bool checksums = true;          // false writes csum 0 everywhere
    bool reserveFlag = false;       // write flags 0x0004 and the reserve fields
    Bytes cabinetReserve;           // per-cabinet reserve area (cbCFHeader bytes)
    uint8_t cbCFFolder = 0;         // per-folder reserve size (with reserveFlag)
    uint8_t cbCFData = 0;           // per-block reserve size (with reserveFlag)
    // Previous/next names written into a single cabinet's header (flags 1/2
    // are set when non-empty); sets fill these in themselves.
    std::string previousCabinet, previousDisk, nextCabinet, nextDisk;
    // Disk names written into a set's headers, "%d" replaced by 1, 2, ...
    std::string diskNamePattern = "disk%d";
    // Sets: write the folder index 0 instead of 0xFFFD for files lying wholly
    // inside a continued folder's part of a later cabinet. A decoder cannot
    // reach such files from that cabinet (its folder 0 begins mid-folder),
    // so this is for tests of that situation only.
    bool continuedFolderKeepsIndex = false;
};

// The places of a cabinet's records, for tests that damage them.
struct Layout {
    uint32_t folderTableOffset = 0;
    std::vector<uint32_t> folderOffsets;  // each CFFOLDER record
    std::vector<uint32_t> fileOffsets;    // each CFFILE record
    std::vector<uint32_t> blockOffsets;   // each CFDATA header, all folders in order
    uint32_t coffFiles = 0;               // the first CFFILE record
};

struct Cabinet {
    std::string name;
    Bytes image;
    Layout layout;
};

// Misuse (a Raw folder without typeCompress, a block size out of range, a
// reserve longer than its declared size, a zero cabinet budget) throws
// std::invalid_argument.

// One self-contained cabinet holding the folders in order.
Cabinet writeCabinet(const std::vector<Folder>& folders, const Options& options = {},
                     const std::string& name = "test.cab");

// A set: the folders' data is laid out in order and cut into cabinets of at
// most `dataBytesPerCabinet` data bytes each (block headers excluded). A
// folder that does not fit continues in the next cabinet; a block that
// straddles the cut is split into two pieces (the first with cbUncomp 0).
// Files get iFolder 0xFFFD/0xFFFE/0xFFFF as their data crosses cabinets.
// Cabinet names come from `namePattern` with "%d" replaced by 1, 2, ...
//
// Conventions of a set (what a decoder walking it relies on):
// - A file is listed in every cabinet that holds a piece of any of its
//   blocks; a file whose data lies in a split block is in both cabinets.
// - In an earlier cabinet, only the files that go on into the next cabinet
//   get 0xFFFE (0xFFFF if they also came from the previous one); the other
//   files of the continued folder keep its index, which is cFolders - 1.
//   The files going on are listed after the cabinet's other files, so that
//   a walk reaches those before it crosses. When a cut falls on a block
//   boundary, the file that begins there goes on from the earlier cabinet
//   too (listed there with 0xFFFE and no bytes in it), so that a walk leads
//   into the next cabinet.
// - In a later cabinet the continued folder is folder 0 and its files are
//   listed first. The files that came from the previous cabinet get 0xFFFD
//   (0xFFFF), in the same order as they were marked there. Files lying
//   wholly inside the continued folder's part get 0xFFFD too: that part
//   starts mid-folder (often with the second piece of a split block), so its
//   data decodes only as the continuation of the folder begun earlier, and
//   a walk that crossed into this cabinet extracts them from the folder in
//   progress. (options.continuedFolderKeepsIndex writes iFolder 0 instead.)
// - uoffFolderStart is always relative to the whole folder: the continued
//   folder keeps its uncompressed offsets in every cabinet.
// - A cut at a block boundary splits nothing; a cut inside a block writes a
//   first piece (cbUncomp 0) at the end of the earlier cabinet and a second
//   piece, carrying the whole cbUncomp, as the first block of folder 0 in
//   the next. Each piece is checksummed over its own data and header. A
//   second piece is never cut again, so a cabinet holding one may exceed the
//   budget by up to the size of that piece.
// - Every cabinet but the first names its previous one (flags 0x0001),
//   every cabinet but the last its next one (flags 0x0002); all share
//   options.setId and take consecutive iCabinet values from firstIndex.
std::vector<Cabinet> writeCabinetSet(const std::vector<Folder>& folders,
                                     uint32_t dataBytesPerCabinet,
                                     const std::string& namePattern = "set%d.cab",
                                     const Options& options = {});

// One MSZIP block ("CK" + raw Deflate of `data`), compressed by zlib with
// `dictionary` (up to 32,768 bytes) as history.
Bytes mszipBlock(const uint8_t* data, size_t size, const uint8_t* dictionary,
                 size_t dictionarySize, int level = 6, int strategy = 0);

// Recomputes the csum of the CFDATA block whose header is at blockOffset
// (after a test has changed its bytes on purpose). cbCFData is the cabinet's
// per-block reserve size.
void rechecksumBlock(Bytes& image, uint32_t blockOffset, uint8_t cbCFData);

// Writes the cabinet's image to directory/name; false when that fails.
bool saveCabinet(const Cabinet& cabinet, const std::string& directory);

// DOS date and time from calendar fields.
uint16_t dosDate(int year, int month, int day);
uint16_t dosTime(int hour, int minute, int second);

}  // namespace cabwriter
