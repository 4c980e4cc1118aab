// The cabinet directory reader: header, reserve fields, set names, folder
// records and file entries, each checked against its declared size.
#include "cab/cab_reader.h"

#include "cab/bytes.h"
#include "cab/format.h"

#include <cstring>

namespace {

constexpr uint32_t kNameLimit = 256;  // longest name read, NUL included
constexpr int64_t kLargestPosition = INT32_MAX;  // what seek can reach

bool readExactly(const CabReader* r, int32_t handle, void* buffer, uint32_t count) {
    return r->read(handle, buffer, count) == int(count);
}

bool seekTo(const CabReader* r, int32_t handle, int64_t position) {
    return position <= kLargestPosition && r->seek(handle, int32_t(position), 0) != -1;
}

// 0 .. cFolders - 1, or a continuation marker when the cabinet has a folder
// for the continued data to lie in.
bool refersToFolder(const CabHeaderRecord& h, uint16_t iFolder) {
    if (iFolder < h.cFolders) return true;
    return h.cFolders != 0 && (continuesFromPrevious(iFolder) || continuesIntoNext(iFolder));
}

CabReadStatus readNamePair(const CabReader* r, int32_t handle, bool present, char* name,
                           char* disk) {
    if (!present) {
        name[0] = '\0';
        disk[0] = '\0';
        return CabReadOk;
    }
    CabReadStatus status = cabReadName(r, handle, name);
    return status != CabReadOk ? status : cabReadName(r, handle, disk);
}

}  // namespace

extern "C" {

void cabReaderInit(CabReader* reader, CabReadFn read, CabSeekFn seek) {
    memset(reader, 0, sizeof *reader);
    reader->read = read;
    reader->seek = seek;
    reader->folderTableOffset = -1;
}

CabReadStatus cabReadHeader(CabReader* r, int32_t handle) {
    uint8_t raw[kHeaderSize];
    r->folderTableOffset = -1;
    if (!readExactly(r, handle, raw, kHeaderSize)) return CabReadShortHeader;
    if (readLe32(raw) != kSignatureMscf) return CabReadBadSignature;
    CabHeaderRecord& h = r->header;
    h.cbCabinet = readLe32(raw + 8);
    h.coffFiles = readLe32(raw + 16);
    h.version = readLe16(raw + 24);
    h.cFolders = readLe16(raw + 26);
    h.cFiles = readLe16(raw + 28);
    h.flags = readLe16(raw + 30);
    h.setID = readLe16(raw + 32);
    h.iCabinet = readLe16(raw + 34);
    h.cbCFHeader = 0;
    h.cbCFFolder = 0;
    h.cbCFData = 0;
    return h.version == kVersion13 ? CabReadOk : CabReadBadVersion;
}

CabReadStatus cabReadReserveSizes(CabReader* r, int32_t handle) {
    CabHeaderRecord& h = r->header;
    h.cbCFHeader = 0;
    h.cbCFFolder = 0;
    h.cbCFData = 0;
    if ((h.flags & kFlagReserve) == 0) return CabReadOk;
    uint8_t sizes[kReserveSizesSize];
    if (!readExactly(r, handle, sizes, kReserveSizesSize)) return CabReadShortReserveSizes;
    h.cbCFHeader = readLe16(sizes);
    h.cbCFFolder = sizes[2];
    h.cbCFData = sizes[3];
    return CabReadOk;
}

CabReadStatus cabReadCabinetReserve(const CabReader* r, int32_t handle, uint8_t* buffer,
                                    uint32_t capacity) {
    uint32_t declared = r->header.cbCFHeader;
    uint32_t kept = declared < capacity ? declared : capacity;
    if (kept != 0 && !readExactly(r, handle, buffer, kept)) return CabReadShortReserveArea;
    if (kept < capacity) memset(buffer + kept, 0, capacity - kept);
    if (declared > kept && r->seek(handle, int32_t(declared - kept), 1) == -1) {
        return CabReadBadPosition;
    }
    return CabReadOk;
}

CabReadStatus cabReadName(const CabReader* r, int32_t handle, char* buffer) {
    buffer[0] = '\0';  // terminated even when the position cannot be asked for
    int32_t start = r->seek(handle, 0, 1);
    if (start == -1) return CabReadBadPosition;
    int got = r->read(handle, buffer, kNameLimit);
    if (got <= 0) {
        buffer[0] = '\0';  // a failed read may have left bytes behind
        return CabReadNameUnterminated;
    }
    if (got > int(kNameLimit)) got = kNameLimit;  // a client that over-reports
    size_t length = strnlen(buffer, size_t(got));
    buffer[got] = '\0';
    // A name of 255 characters has its NUL as the 256th byte.
    if (length == size_t(got)) {
        return got == int(kNameLimit) ? CabReadNameTooLong : CabReadNameUnterminated;
    }
    if (!seekTo(r, handle, int64_t(start) + int64_t(length) + 1)) return CabReadBadPosition;
    return CabReadOk;
}

CabReadStatus cabReadSetNames(CabReader* r, int32_t handle, CabSetNames* names) {
    uint16_t flags = r->header.flags;
    CabReadStatus status =
        readNamePair(r, handle, flags & kFlagPrevious, names->previousCabinet, names->previousDisk);
    if (status == CabReadOk) {
        status = readNamePair(r, handle, flags & kFlagNext, names->nextCabinet, names->nextDisk);
    }
    if (status != CabReadOk) return status;
    // No header field points at the folder table: it starts where the
    // variable part of the header ends.
    r->folderTableOffset = r->seek(handle, 0, 1);
    if (r->folderTableOffset == -1) return CabReadBadPosition;
    if (!seekTo(r, handle, r->header.coffFiles)) return CabReadBadPosition;
    return CabReadOk;
}

CabReadStatus cabReadFolder(const CabReader* r, int32_t handle, uint16_t index,
                            CabFolderRecord* folder, uint8_t* reserve, uint32_t capacity) {
    // Past the table lie other records, not folders.
    if (index >= r->header.cFolders) return CabReadFolderPastTable;
    uint32_t recordSize = kFolderFixedSize + r->header.cbCFFolder;
    if (r->folderTableOffset < 0 ||
        !seekTo(r, handle, int64_t(r->folderTableOffset) + int64_t(index) * recordSize)) {
        return CabReadBadPosition;
    }
    uint8_t raw[kFolderFixedSize + UINT8_MAX];
    if (!readExactly(r, handle, raw, recordSize)) return CabReadShortFolder;
    folder->coffCabStart = readLe32(raw);
    folder->cCFData = readLe16(raw + 4);
    folder->typeCompress = readLe16(raw + 6);
    uint32_t kept = r->header.cbCFFolder < capacity ? r->header.cbCFFolder : capacity;
    if (kept != 0) memcpy(reserve, raw + kFolderFixedSize, kept);
    if (folder->coffCabStart > kLargestPosition) return CabReadBlockOffsetTooLarge;
    return CabReadOk;
}

CabReadStatus cabReadFileEntry(const CabReader* r, int32_t handle, CabFileRecord* file) {
    uint8_t raw[kFileFixedSize];
    if (!readExactly(r, handle, raw, kFileFixedSize)) {
        file->name[0] = '\0';
        return CabReadShortFile;
    }
    file->cbFile = readLe32(raw);
    file->uoffFolderStart = readLe32(raw + 4);
    file->iFolder = readLe16(raw + 8);
    file->date = readLe16(raw + 10);
    file->time = readLe16(raw + 12);
    file->attribs = readLe16(raw + 14);
    CabReadStatus status = cabReadName(r, handle, file->name);
    if (status != CabReadOk) return status;
    return refersToFolder(r->header, file->iFolder) ? CabReadOk : CabReadFileFolderPastTable;
}

const char* cabReadStatusText(CabReadStatus status) {
    switch (status) {
    case CabReadOk: return "no damage";
    case CabReadShortHeader: return "the cabinet header is cut short";
    case CabReadBadSignature: return "no cabinet signature";
    case CabReadBadVersion: return "unsupported cabinet version";
    case CabReadShortReserveSizes: return "the reserve sizes are cut short";
    case CabReadShortReserveArea: return "the cabinet reserve area is cut short";
    case CabReadNameUnterminated: return "a name is cut short before its end";
    case CabReadNameTooLong: return "a name is longer than 255 characters";
    case CabReadBadPosition: return "a record lies where the cabinet cannot be read";
    case CabReadFolderPastTable: return "a folder index is past the folder table";
    case CabReadShortFolder: return "a folder record is cut short";
    case CabReadBlockOffsetTooLarge: return "a folder's data lies beyond any file position";
    case CabReadShortFile: return "a file entry is cut short";
    case CabReadFileFolderPastTable: return "a file's folder index is past the folder table";
    }
    return "unknown reader status";
}

}  // extern "C"
