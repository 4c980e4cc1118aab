#include "archive/embedded/cabinet_header.h"

#include <sys/stat.h>

#include <utility>

#include "archive/io/archive_io.h"
#include "archive/io/local_files.h"
#include "cab/cab_reader.h"
#include "cab/format.h"

namespace cabarchive {
namespace {

constexpr uint16_t kKnownFlags = kFlagPrevious | kFlagNext | kFlagReserve;
constexpr uint16_t kMethodMask = 0x000F;
constexpr uint16_t kHighestMethod = 3;  // LZX

// One cabinet's bytes, in memory or in a file from an offset, opened for the
// directory reader through the archive's I/O; this thread's callbacks work
// on it for as long as it lives.
class ReaderSource {
public:
    // `end`: how many of the cabinet's bytes can be read.
    ReaderSource(Source source, uint64_t end) : end_(end), scope_(io_) {
        io_.addSource(std::move(source));
        handle_ = io_.openSource(0);
        const CabIoCallbacks& callbacks = ArchiveIo::callbacks();
        cabReaderInit(&reader, callbacks.read, callbacks.seek);
    }
    ReaderSource(const ReaderSource&) = delete;
    ReaderSource& operator=(const ReaderSource&) = delete;

    static Source memory(const uint8_t* bytes, size_t size) {
        Source source;
        source.kind = Source::Kind::Memory;
        source.data = bytes;
        source.size = size;
        return source;
    }

    // A memory source read from now on only up to `end` bytes.
    void narrow(uint64_t end) {
        io_.source(0).size = end;
        end_ = end;
    }

    int32_t handle() const { return handle_; }
    uint64_t end() const { return end_; }
    bool seek(uint64_t position) const {
        return position <= uint64_t(INT32_MAX) &&
               reader.seek(handle_, int32_t(position), 0) == int32_t(position);
    }
    int64_t position() const { return reader.seek(handle_, 0, 1); }

    CabReader reader;

private:
    uint64_t end_;
    ArchiveIo io_;
    IoScope scope_;
    int32_t handle_ = -1;
};

// The fixed header, the reserve sizes and area and the set names, read from
// the cabinet's start and all lying within its bytes; the handle is left at
// the file list. False when the signature or version is wrong or a part is
// cut off.
bool readFixedPart(ReaderSource& s, CabinetHeader& h) {
    const int32_t handle = s.handle();
    if (!s.seek(0) || cabReadHeader(&s.reader, handle) != CabReadOk ||
        cabReadReserveSizes(&s.reader, handle) != CabReadOk ||
        cabReadCabinetReserve(&s.reader, handle, nullptr, 0) != CabReadOk) {
        return false;
    }
    // The reserve area is passed over by seeking, which goes past the end.
    const int64_t afterReserve = s.position();
    if (afterReserve < 0 || uint64_t(afterReserve) > s.end()) return false;
    CabSetNames names{};
    const CabReadStatus status = cabReadSetNames(&s.reader, handle, &names);
    // Having located the folder table, the reader moves to the file list; a
    // file list too far out to be reached is left for reading it to refuse.
    if (status != CabReadOk && (status != CabReadBadPosition || s.reader.folderTableOffset < 0)) {
        return false;
    }
    const CabHeaderRecord& r = s.reader.header;
    h.cabinetSize = r.cbCabinet;
    h.filesOffset = r.coffFiles;
    h.folderCount = r.cFolders;
    h.fileCount = r.cFiles;
    h.flags = r.flags;
    h.setId = r.setID;
    h.cabinetIndex = r.iCabinet;
    h.previousCabinet = names.previousCabinet;
    h.previousDisk = names.previousDisk;
    h.nextCabinet = names.nextCabinet;
    h.nextDisk = names.nextDisk;
    h.blockReserve = r.cbCFData;
    h.folderTableOffset = uint32_t(s.reader.folderTableOffset);
    return true;
}

// Folder record `index`; false when it is cut off.
bool readFolder(const ReaderSource& s, uint16_t index, FolderFacts& facts) {
    CabFolderRecord record{};
    const CabReadStatus status = cabReadFolder(&s.reader, s.handle(), index, &record, nullptr, 0);
    // A first block beyond what seek can reach still makes a whole record.
    if (status != CabReadOk && status != CabReadBlockOffsetTooLarge) return false;
    facts = {record.coffCabStart, record.cCFData, record.typeCompress};
    return true;
}

bool readFolders(const ReaderSource& s, CabinetHeader& h) {
    h.folders.resize(h.folderCount);
    for (uint16_t i = 0; i < h.folderCount; ++i) {
        if (!readFolder(s, i, h.folders[i])) return false;
    }
    return true;
}

// The header, names and folder table of the source's cabinet.
std::optional<CabinetHeader> readHeader(ReaderSource& s) {
    CabinetHeader h;
    if (!readFixedPart(s, h) || !readFolders(s, h)) return std::nullopt;
    return h;
}

// A source over the regular file at `path` from `offset`; false, with why in
// `problem`, when it cannot be opened. `end` receives the bytes from `offset` to its end.
bool fileSource(const std::string& path, uint64_t offset, Source& source, uint64_t& end,
                std::string& problem) {
    const int fd = openRegularFile(path, problem);
    if (fd < 0) return false;
    source.kind = Source::Kind::File;
    source.fd = fd;
    source.start = offset;
    struct stat status;
    const bool sized = fstat(fd, &status) == 0 && uint64_t(status.st_size) > offset;
    end = sized ? uint64_t(status.st_size) - offset : 0;
    return true;
}

}  // namespace

bool CabinetHeader::hasPrevious() const { return (flags & kFlagPrevious) != 0; }
bool CabinetHeader::hasNext() const { return (flags & kFlagNext) != 0; }

std::optional<CabinetHeader> parseCabinetHeader(const uint8_t* bytes, size_t size) {
    ReaderSource s(ReaderSource::memory(bytes, size), size);
    return readHeader(s);
}

bool isSoundCabinet(const uint8_t* bytes, size_t available, CabinetHeader& header,
                    uint64_t* foldersChecked) {
    ReaderSource s(ReaderSource::memory(bytes, available), available);
    if (cabReadHeader(&s.reader, s.handle()) != CabReadOk) return false;
    const uint32_t declared = s.reader.header.cbCabinet;
    if (declared < kHeaderSize || declared > available) return false;
    s.narrow(declared);
    CabinetHeader h;
    if (!readFixedPart(s, h)) return false;
    if ((h.flags & ~kKnownFlags) != 0 || h.folderCount == 0 || h.fileCount == 0) return false;

    // The checks that cost the same whatever the cabinet declares come
    // first; the folder records, up to 65,535 of them, are looked at last,
    // so a candidate that declares many is cheap to refuse.
    const size_t recordSize = kFolderFixedSize + s.reader.header.cbCFFolder;
    const size_t tableEnd = h.folderTableOffset + h.folderCount * recordSize;
    // Each file entry takes its 16 bytes and a name of at least one character.
    const size_t shortestFileList = size_t(h.fileCount) * (kFileFixedSize + 2);
    if (h.filesOffset < tableEnd || h.filesOffset + shortestFileList > declared) return false;
    CabFileRecord first{};
    if (!s.seek(h.filesOffset) || cabReadFileEntry(&s.reader, s.handle(), &first) != CabReadOk ||
        first.name[0] == '\0') {
        return false;
    }

    const size_t dataStart = h.filesOffset + shortestFileList;
    const size_t blockHeader = kBlockFixedSize + h.blockReserve;
    if (foldersChecked) *foldersChecked += h.folderCount;
    for (uint16_t i = 0; i < h.folderCount; ++i) {
        FolderFacts folder;
        if (!readFolder(s, i, folder) || (folder.typeCompress & kMethodMask) > kHighestMethod ||
            folder.firstBlockOffset < dataStart ||
            folder.firstBlockOffset + size_t(folder.blockCount) * blockHeader > declared) {
            return false;
        }
    }
    if (!readFolders(s, h)) return false;
    header = std::move(h);
    return true;
}

std::optional<CabinetHeader> readCabinetHeader(const std::string& path, uint64_t offset) {
    Source source;
    uint64_t end = 0;
    std::string problem;
    if (!fileSource(path, offset, source, end, problem)) return std::nullopt;
    ReaderSource s(std::move(source), end);
    return readHeader(s);
}

std::vector<FileFacts> readCabinetFiles(const std::string& path, uint64_t offset,
                                        const CabinetHeader& header) {
    std::vector<FileFacts> files;
    Source source;
    uint64_t end = 0;
    std::string problem;
    if (!fileSource(path, offset, source, end, problem)) return files;
    ReaderSource s(std::move(source), end);
    if (!s.seek(header.filesOffset)) return files;
    for (uint16_t i = 0; i < header.fileCount; ++i) {
        CabFileRecord record{};
        const CabReadStatus status = cabReadFileEntry(&s.reader, s.handle(), &record);
        // Whatever folder it names, a file read whole is listed.
        if (status != CabReadOk && status != CabReadFileFolderPastTable) break;
        files.push_back({record.cbFile, record.iFolder, record.attribs, record.name});
    }
    return files;
}

HeaderFactsRead readHeaderFacts(const std::string& path, uint64_t offset, CabHeaderRecord& header,
                                std::string& problem) {
    Source source;
    uint64_t end = 0;
    if (!fileSource(path, offset, source, end, problem)) return HeaderFactsRead::CannotOpen;
    ReaderSource s(std::move(source), end);
    // A wrong version still fills the header: its version field tells it.
    CabReadStatus status = cabReadHeader(&s.reader, s.handle());
    if (status == CabReadBadVersion) status = CabReadOk;
    if (status == CabReadOk) status = cabReadReserveSizes(&s.reader, s.handle());
    if (status != CabReadOk) {
        problem = cabReadStatusText(status);
        return HeaderFactsRead::NotCabinet;
    }
    header = s.reader.header;
    return HeaderFactsRead::Read;
}

}  // namespace cabarchive
