#include "archive/embedded/cabinet_header.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>

#include "cab/format.h"

namespace cabarchive {
namespace {

// Everything parseCabinetHeader can need: the fixed header, the reserve
// sizes, the largest reserve area, four names and the largest folder table.
// Real headers are far smaller; the first read takes kUsualHeader bytes.
constexpr size_t kLongestHeader =
    kHeaderSize + kReserveSizesSize + 0xFFFF + 4 * 256 + 0xFFFF * (kFolderFixedSize + 0xFF);
constexpr size_t kUsualHeader = 128 * 1024;
constexpr size_t kNameLimit = 256;  // characters and NUL
constexpr uint16_t kKnownFlags = kFlagPrevious | kFlagNext | kFlagReserve;
constexpr uint16_t kHighestMethod = 3;  // LZX

uint16_t read16(const uint8_t* p) { return uint16_t(p[0] | p[1] << 8); }
uint32_t read32(const uint8_t* p) { return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24; }

// Opens `path` for reading only when it is a regular file: a FIFO or device
// named on the command line must not block or be read.
int openRegular(const std::string& path) {
    const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    struct stat status;
    if (fd >= 0 && (fstat(fd, &status) != 0 || !S_ISREG(status.st_mode))) {
        close(fd);
        return -1;
    }
    return fd;
}

// A NUL-terminated name at `at`; false when it has no NUL in range.
bool readName(const uint8_t* bytes, size_t size, size_t& at, std::string& name) {
    const size_t limit = std::min(size, at + kNameLimit);
    const void* nul = at < limit ? std::memchr(bytes + at, 0, limit - at) : nullptr;
    if (nul == nullptr) return false;
    const size_t end = size_t(static_cast<const uint8_t*>(nul) - bytes);
    name.assign(reinterpret_cast<const char*>(bytes + at), end - at);
    at = end + 1;
    return true;
}

}  // namespace

bool CabinetHeader::hasPrevious() const { return (flags & kFlagPrevious) != 0; }
bool CabinetHeader::hasNext() const { return (flags & kFlagNext) != 0; }

namespace {

// The fixed header, the reserve sizes and the names, up to where the folder
// records begin (`folderTableOffset`); `folderReserve` receives the size of
// each folder record's reserve. False when the signature or version is wrong
// or a part is cut off.
bool parseFixedPart(const uint8_t* bytes, size_t size, CabinetHeader& h, size_t& folderReserve) {
    if (size < kHeaderSize || read32(bytes) != kSignatureMscf || read16(bytes + 24) != kVersion13) {
        return false;
    }
    h.cabinetSize = read32(bytes + 8);
    h.filesOffset = read32(bytes + 16);
    h.folderCount = read16(bytes + 26);
    h.fileCount = read16(bytes + 28);
    h.flags = read16(bytes + 30);
    h.setId = read16(bytes + 32);
    h.cabinetIndex = read16(bytes + 34);

    size_t at = kHeaderSize;
    folderReserve = 0;
    if (h.flags & kFlagReserve) {
        if (size < at + kReserveSizesSize) return false;
        const size_t cabinetReserve = read16(bytes + at);
        folderReserve = bytes[at + 2];
        h.blockReserve = bytes[at + 3];
        at += kReserveSizesSize + cabinetReserve;
        if (at > size) return false;
    }
    if (h.hasPrevious() && (!readName(bytes, size, at, h.previousCabinet) ||
                            !readName(bytes, size, at, h.previousDisk))) {
        return false;
    }
    if (h.hasNext() &&
        (!readName(bytes, size, at, h.nextCabinet) || !readName(bytes, size, at, h.nextDisk))) {
        return false;
    }
    h.folderTableOffset = uint32_t(at);
    return true;
}

}  // namespace

std::optional<CabinetHeader> parseCabinetHeader(const uint8_t* bytes, size_t size) {
    CabinetHeader h;
    size_t folderReserve = 0;
    if (!parseFixedPart(bytes, size, h, folderReserve)) return std::nullopt;
    const size_t recordSize = kFolderFixedSize + folderReserve;
    size_t at = h.folderTableOffset;
    if (size < at + size_t(h.folderCount) * recordSize) return std::nullopt;
    for (uint16_t i = 0; i < h.folderCount; ++i, at += recordSize) {
        h.folders.push_back({read32(bytes + at), read16(bytes + at + 4), read16(bytes + at + 6)});
    }
    return h;
}

bool isSoundCabinet(const uint8_t* bytes, size_t available, CabinetHeader& header,
                    uint64_t* foldersChecked) {
    if (available < kHeaderSize || read32(bytes) != kSignatureMscf) return false;
    const uint32_t declared = read32(bytes + 8);
    if (declared < kHeaderSize || declared > available) return false;
    CabinetHeader h;
    size_t folderReserve = 0;
    if (!parseFixedPart(bytes, declared, h, folderReserve)) return false;
    if ((h.flags & ~kKnownFlags) != 0 || h.folderCount == 0 || h.fileCount == 0) return false;

    // The checks that cost the same whatever the cabinet declares come
    // first; the folder records, up to 65,535 of them, are looked at last
    // and in place, so a candidate that declares many is cheap to refuse.
    const size_t recordSize = kFolderFixedSize + folderReserve;
    const size_t tableEnd = h.folderTableOffset + h.folderCount * recordSize;
    // Each file entry takes its 16 bytes and a name of at least one character.
    const size_t shortestFileList = size_t(h.fileCount) * (kFileFixedSize + 2);
    if (h.filesOffset < tableEnd || h.filesOffset + shortestFileList > declared) return false;
    const uint8_t* file = bytes + h.filesOffset;
    const uint16_t folderIndex = read16(file + 8);
    if (folderIndex < kFolderContinuedFromPrevious && folderIndex >= h.folderCount) return false;
    size_t nameAt = h.filesOffset + kFileFixedSize;
    std::string name;
    if (!readName(bytes, declared, nameAt, name) || name.empty()) return false;

    const size_t dataStart = h.filesOffset + shortestFileList;
    const size_t blockHeader = kBlockFixedSize + ((h.flags & kFlagReserve) ? bytes[kHeaderSize + 3] : 0);
    if (foldersChecked) *foldersChecked += h.folderCount;
    const uint8_t* record = bytes + h.folderTableOffset;
    for (uint16_t i = 0; i < h.folderCount; ++i, record += recordSize) {
        const uint32_t firstBlockOffset = read32(record);
        if ((read16(record + 6) & 0x000F) > kHighestMethod) return false;
        if (firstBlockOffset < dataStart) return false;
        if (firstBlockOffset + size_t(read16(record + 4)) * blockHeader > declared) return false;
    }
    const std::optional<CabinetHeader> parsed = parseCabinetHeader(bytes, declared);
    if (!parsed) return false;
    header = *parsed;
    return true;
}

std::optional<CabinetHeader> readCabinetHeader(const std::string& path, uint64_t offset) {
    const int fd = openRegular(path);
    if (fd < 0) return std::nullopt;
    std::vector<uint8_t> bytes;
    std::optional<CabinetHeader> header;
    for (size_t want : {kUsualHeader, kLongestHeader}) {
        bytes.resize(want);
        size_t got = 0;
        while (got < want) {
            const ssize_t n = pread(fd, bytes.data() + got, want - got, off_t(offset + got));
            if (n <= 0) break;
            got += size_t(n);
        }
        header = parseCabinetHeader(bytes.data(), got);
        if (header || got < want) break;  // parsed, or the whole file was read
    }
    close(fd);
    return header;
}

}  // namespace cabarchive

namespace cabarchive {

std::vector<FileFacts> readCabinetFiles(const std::string& path, uint64_t offset,
                                        const CabinetHeader& header) {
    std::vector<FileFacts> files;
    const int fd = openRegular(path);
    if (fd < 0) return files;
    // Entries are read through a buffer refilled from each entry's start.
    constexpr size_t kEntryLimit = kFileFixedSize + kNameLimit;
    std::vector<uint8_t> buffer(64 * 1024);
    uint64_t at = offset + header.filesOffset;
    size_t held = 0, used = 0;
    for (uint16_t i = 0; i < header.fileCount; ++i) {
        if (held - used < kEntryLimit) {
            at += used;
            const ssize_t got = pread(fd, buffer.data(), buffer.size(), off_t(at));
            if (got <= 0) break;
            held = size_t(got);
            used = 0;
        }
        const uint8_t* entry = buffer.data() + used;
        if (held - used < kFileFixedSize) break;
        FileFacts file;
        file.size = read32(entry);
        file.folderIndex = read16(entry + 8);
        file.attributes = read16(entry + 14);
        size_t nameAt = used + kFileFixedSize;
        if (!readName(buffer.data(), held, nameAt, file.name)) break;
        used = nameAt;
        files.push_back(std::move(file));
    }
    close(fd);
    return files;
}

}  // namespace cabarchive
