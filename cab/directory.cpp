// Opening a cabinet: its header, reserve areas, set names, folder and file
// records.
#include "cab/bytes.h"
#include "cab/decoder.h"

#include <cstring>

namespace cab {

namespace {

CfHeader decodeHeader(const uint8_t* raw) {
    CfHeader h;
    h.signature = readLe32(raw);
    h.cbCabinet = readLe32(raw + 8);
    h.coffFiles = readLe32(raw + 16);
    h.version = readLe16(raw + 24);
    h.cFolders = readLe16(raw + 26);
    h.cFiles = readLe16(raw + 28);
    h.flags = readLe16(raw + 30);
    h.setID = readLe16(raw + 32);
    h.iCabinet = readLe16(raw + 34);
    return h;
}

// Joins cabinetPath and the cabinet's file name into fullPath; a joined path
// that does not fit is refused rather than cut short.
bool buildFullPath(CabDecoder* d, const char* cabinetName) {
    size_t pathLength = strnlen(d->cabinetPath, kTextSize);
    size_t nameLength = strnlen(cabinetName, kTextSize);
    if (pathLength + nameLength >= kTextSize) return false;
    memcpy(d->fullPath, d->cabinetPath, pathLength);
    memcpy(d->fullPath + pathLength, cabinetName, nameLength);
    d->fullPath[pathLength + nameLength] = '\0';
    return true;
}

bool readExactly(CabDecoder* d, int32_t handle, void* buffer, uint32_t count) {
    return d->io.read(handle, buffer, count) == int(count);
}

// Allocates a reserve-related record buffer the first time its size is
// learned; afterwards every cabinet must declare the same size.
bool fixRecordSize(CabDecoder* d, uint8_t*& buffer, uint32_t& knownSize, uint32_t size) {
    if (buffer == nullptr) {
        knownSize = size;
        buffer = static_cast<uint8_t*>(d->io.alloc(size));
        if (buffer == nullptr) return setError(d, NoMemory);
        return true;
    }
    if (knownSize != size) return setError(d, ReserveSizeChanged);
    return true;
}

// Reads the cabinet's reserve area. Its size is learned from the first
// cabinet that has one; a later cabinet declaring another size still has
// exactly its own area consumed, so the fields after it are read from the
// right place (the buffer keeps the first size: extra bytes are passed over,
// missing ones read as zero).
bool readCabinetReserve(CabDecoder* d, uint16_t cbCFHeader) {
    // "Known" is a flag of its own: 65,535 is also a size a cabinet may
    // declare, and taking it for "unknown" would allocate the area again
    // for every later cabinet.
    if (!d->cabinetReserveKnown) {
        d->cabinetReserveKnown = true;
        d->cabinetReserveSize = cbCFHeader;
        if (cbCFHeader != 0) {
            d->cabinetReserve = static_cast<uint8_t*>(d->io.alloc(cbCFHeader));
            if (d->cabinetReserve == nullptr) return setError(d, NoMemory);
        }
    }
    uint32_t kept = cbCFHeader < d->cabinetReserveSize ? cbCFHeader : d->cabinetReserveSize;
    if (kept != 0 && !readExactly(d, d->directoryHandle, d->cabinetReserve, kept)) {
        return setError(d, BadSignature);
    }
    if (kept < d->cabinetReserveSize) {
        memset(d->cabinetReserve + kept, 0, d->cabinetReserveSize - kept);
    }
    // Pass over the rest of this cabinet's own, larger area.
    if (cbCFHeader > kept && d->io.seek(d->directoryHandle, int32_t(cbCFHeader - kept), 1) == -1) {
        return setError(d, BadSignature);
    }
    return true;
}

bool readNamePair(CabDecoder* d, bool present, char* name, char* disk) {
    if (!present) {
        name[0] = '\0';
        disk[0] = '\0';
        return true;
    }
    return readName(d, name) && readName(d, disk);
}

}  // namespace

bool readName(CabDecoder* d, char* buffer) {
    int32_t start = d->io.seek(d->directoryHandle, 0, 1);
    if (start == -1) return setError(d, DamagedCabinet);
    int got = d->io.read(d->directoryHandle, buffer, kNameLimit);
    if (got <= 0) {
        buffer[0] = '\0';
        return setError(d, DamagedCabinet);
    }
    if (got > int(kNameLimit)) got = kNameLimit;  // a client that over-reports
    size_t length = strnlen(buffer, size_t(got));
    buffer[got < int(kNameLimit) ? got : kNameLimit] = '\0';
    // A name of 255 characters is followed by its NUL as the 256th byte.
    if (length == size_t(got)) return setError(d, DamagedCabinet);
    if (d->io.seek(d->directoryHandle, start + int32_t(length) + 1, 0) == -1) {
        return setError(d, DamagedCabinet);
    }
    return true;
}

bool readFileEntry(CabDecoder* d) {
    uint8_t raw[kFileFixedSize];
    if (!readExactly(d, d->directoryHandle, raw, kFileFixedSize)) return setError(d, DamagedCabinet);
    d->file.cbFile = readLe32(raw);
    d->file.uoffFolderStart = readLe32(raw + 4);
    d->file.iFolder = readLe16(raw + 8);
    d->file.date = readLe16(raw + 10);
    d->file.time = readLe16(raw + 12);
    d->file.attribs = readLe16(raw + 14);
    return readName(d, d->fileName);
}

bool openCabinet(CabDecoder* d, const char* cabinetName, uint16_t expectedSetId,
                 uint16_t expectedIndex) {
    if (!buildFullPath(d, cabinetName)) return setError(d, CannotOpen);
    d->directoryHandle = d->io.open(d->fullPath, kCabOpenFlags, kCabOpenMode);
    if (d->directoryHandle == -1) return setError(d, CannotOpen);
    d->dataHandle = d->io.open(d->fullPath, kCabOpenFlags, kCabOpenMode);
    if (d->dataHandle == -1) return setError(d, CannotOpen);

    uint8_t raw[kHeaderSize];
    if (!readExactly(d, d->directoryHandle, raw, kHeaderSize)) return setError(d, BadSignature);
    CfHeader header = decodeHeader(raw);
    if (header.signature != kSignatureMscf) return setError(d, BadSignature);
    if (header.version != kVersion13) return setError(d, BadVersion, header.version);
    if (expectedIndex != kAnyCabinet &&
        (header.setID != expectedSetId || header.iCabinet != expectedIndex)) {
        return setError(d, NotNextInSet);
    }
    d->header = header;

    uint8_t cbCFFolder = 0;
    uint8_t cbCFData = 0;
    if (header.flags & kFlagReserve) {
        uint8_t sizes[kReserveSizesSize];
        if (!readExactly(d, d->directoryHandle, sizes, kReserveSizesSize)) {
            return setError(d, BadSignature);
        }
        cbCFFolder = sizes[2];
        cbCFData = sizes[3];
        if (!readCabinetReserve(d, readLe16(sizes))) return false;
    }
    if (!fixRecordSize(d, d->folderRecord, d->folderRecordSize, kFolderFixedSize + cbCFFolder) ||
        !fixRecordSize(d, d->blockHeader, d->blockHeaderSize, kBlockFixedSize + cbCFData)) {
        return false;
    }
    if (!readNamePair(d, header.flags & kFlagPrevious, d->previousCabinet, d->previousDisk) ||
        !readNamePair(d, header.flags & kFlagNext, d->nextCabinet, d->nextDisk)) {
        return false;
    }

    d->folderTableOffset = d->io.seek(d->directoryHandle, 0, 1);
    if (d->folderTableOffset == -1) return setError(d, DamagedCabinet);
    if (d->io.seek(d->directoryHandle, int32_t(header.coffFiles), 0) == -1) {
        return setError(d, DamagedCabinet);
    }
    d->filesLeft = header.cFiles;

    CabNotification& n = d->notification;
    n.text1 = d->nextCabinet;
    n.text2 = d->nextDisk;
    n.text3 = d->cabinetPath;
    n.userContext = d->userContext;
    n.setId = header.setID;
    n.cabinetIndex = header.iCabinet;
    if (d->notify(CabinetOpened, &n) == -1) return setError(d, ClientAbort);
    // The client may have rewritten the strings; keep them terminated.
    d->cabinetPath[kTextSize - 1] = '\0';
    return raiseCabinetEvent(d);
}

bool loadFolder(CabDecoder* d, uint16_t folderIndex, bool continuesFolder) {
    d->currentFolder = folderIndex;
    // Only a folder the cabinet declares: past the table lie other records
    // (and a next cabinet declaring no folders has no folder 0 to go on in).
    if (folderIndex >= d->header.cFolders) return setError(d, DamagedCabinet);
    int64_t recordOffset = int64_t(d->folderTableOffset) + int64_t(folderIndex) * d->folderRecordSize;
    if (recordOffset > INT32_MAX ||
        d->io.seek(d->dataHandle, int32_t(recordOffset), 0) == -1 ||
        !readExactly(d, d->dataHandle, d->folderRecord, d->folderRecordSize)) {
        return setError(d, DamagedCabinet);
    }
    uint32_t coffCabStart = readLe32(d->folderRecord);
    if (coffCabStart > INT32_MAX || d->io.seek(d->dataHandle, int32_t(coffCabStart), 0) == -1) {
        return setError(d, DamagedCabinet);
    }
    d->blocksLeft = readLe16(d->folderRecord + 4);
    uint16_t typeCompress = readLe16(d->folderRecord + 6);
    if (compressionMethod(typeCompress) == MethodNotLoaded) return setError(d, UnknownMethod);
    // A folder carried on from the previous cabinet must keep its compression:
    // switching codecs would lose the stream in progress.
    if (continuesFolder && typeCompress != d->compressionType) return setError(d, DamagedCabinet);
    if (!setCompressionType(d, typeCompress)) return false;
    return raiseFolderEvent(d);
}

}  // namespace cab
