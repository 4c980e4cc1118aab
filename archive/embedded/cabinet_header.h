// Reading a cabinet's header, names, folder table and file list through the
// decoder's directory reader, without decoding anything: to recognise
// cabinets stored inside other files, to find the first cabinet of a set,
// and to tell each folder's compression.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "cab/cab_reader.h"

namespace cabarchive {

struct FolderFacts {
    uint32_t firstBlockOffset = 0;  // coffCabStart
    uint16_t blockCount = 0;        // cCFData
    uint16_t typeCompress = 0;
};

struct CabinetHeader {
    uint32_t cabinetSize = 0;  // cbCabinet
    uint32_t filesOffset = 0;  // coffFiles
    uint16_t folderCount = 0;
    uint16_t fileCount = 0;
    uint16_t flags = 0;
    uint16_t setId = 0;
    uint16_t cabinetIndex = 0;
    std::string previousCabinet, previousDisk, nextCabinet, nextDisk;
    uint8_t blockReserve = 0;  // cbCFData: reserve bytes in each CFDATA header
    uint32_t folderTableOffset = 0;  // where the CFFOLDER records begin
    std::vector<FolderFacts> folders;

    bool hasPrevious() const;
    bool hasNext() const;
};

// The header of the cabinet whose first byte is bytes[0], with its reserve
// fields, names and folder records, all of which must lie within `size`
// bytes. Nothing when the signature or version is wrong or a part is cut off.
std::optional<CabinetHeader> parseCabinetHeader(const uint8_t* bytes, size_t size);

// True when the bytes at `bytes` (of which `available` can be read) hold a
// cabinet whose fields are all consistent: its declared size fits, the
// folder table, file list and data blocks lie inside it in that order, every
// folder names a known method, and the first file entry has a sound folder
// index and a terminated name. Random data and stray "MSCF" strings do not
// pass. On success `header` holds the parsed header. `foldersChecked`, when
// given, grows by the folder records looked at.
bool isSoundCabinet(const uint8_t* bytes, size_t available, CabinetHeader& header,
                    uint64_t* foldersChecked = nullptr);

// Reads the header of the cabinet starting at `offset` in the file at `path`.
std::optional<CabinetHeader> readCabinetHeader(const std::string& path, uint64_t offset = 0);

enum class HeaderFactsRead { Read, CannotOpen, NotCabinet };

// Reads the fixed header and reserve sizes of the cabinet starting at
// `offset` in the file at `path`, whatever its version (header.version tells
// it). Otherwise says why in `problem`: the file cannot be opened, or no
// whole header with its reserve sizes lies there.
HeaderFactsRead readHeaderFacts(const std::string& path, uint64_t offset, CabHeaderRecord& header,
                                std::string& problem);

}  // namespace cabarchive

namespace cabarchive {

struct FileFacts {
    uint32_t size = 0;         // cbFile
    uint16_t folderIndex = 0;  // iFolder as stored
    uint16_t attributes = 0;
    std::string name;          // as stored
};

// The file entries of the cabinet starting at `offset` in `path`, whose
// header is `header`; as many as can be read whole.
std::vector<FileFacts> readCabinetFiles(const std::string& path, uint64_t offset,
                                        const CabinetHeader& header);

}  // namespace cabarchive
