// Opening a cabinet: its header, reserve areas, set names, folder and file
// records.
#include "cab/decoder.h"

#include <cstring>

namespace cab {

namespace {

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

// Learns the cabinet reserve size from the first cabinet handled by this
// decoder that has one and reads this cabinet's area. A later cabinet
// declaring another size still has exactly its own area consumed, so the
// fields after it are read from the right place (the buffer keeps the first
// size: extra bytes are passed over, missing ones read as zero).
bool readCabinetReserve(CabDecoder* d) {
    // "Known" is a flag of its own: 65,535 is also a size a cabinet may
    // declare, and taking it for "unknown" would allocate the area again
    // for every later cabinet.
    if (!d->cabinetReserveKnown) {
        uint16_t cbCFHeader = d->cabinet.header.cbCFHeader;
        d->cabinetReserveKnown = true;
        d->cabinetReserveSize = cbCFHeader;
        if (cbCFHeader != 0) {
            d->cabinetReserve = static_cast<uint8_t*>(d->io.alloc(cbCFHeader));
            if (d->cabinetReserve == nullptr) return setError(d, NoMemory);
        }
    }
    if (cabReadCabinetReserve(&d->cabinet, d->directoryHandle, d->cabinetReserve,
                              d->cabinetReserveSize) != CabReadOk) {
        return setError(d, BadSignature);
    }
    return true;
}

}  // namespace

bool readFileEntry(CabDecoder* d) {
    CabReadStatus status = cabReadFileEntry(&d->cabinet, d->directoryHandle, &d->file);
    // An entry whose folder is past the table is refused only when its
    // folder is needed: an empty or a skipped file does not touch it.
    if (status == CabReadOk || status == CabReadFileFolderPastTable) return true;
    return setError(d, DamagedCabinet);
}

bool openCabinet(CabDecoder* d, const char* cabinetName, uint16_t expectedSetId,
                 uint16_t expectedIndex) {
    if (!buildFullPath(d, cabinetName)) return setError(d, CannotOpen);
    d->directoryHandle = d->io.open(d->fullPath, kCabOpenFlags, kCabOpenMode);
    if (d->directoryHandle == -1) return setError(d, CannotOpen);
    d->dataHandle = d->io.open(d->fullPath, kCabOpenFlags, kCabOpenMode);
    if (d->dataHandle == -1) return setError(d, CannotOpen);

    CabReader next;
    cabReaderInit(&next, d->io.read, d->io.seek);
    CabReadStatus status = cabReadHeader(&next, d->directoryHandle);
    if (status == CabReadBadVersion) return setError(d, BadVersion, next.header.version);
    if (status != CabReadOk) return setError(d, BadSignature);
    const CabHeaderRecord& header = next.header;
    if (expectedIndex != kAnyCabinet &&
        (header.setID != expectedSetId || header.iCabinet != expectedIndex)) {
        return setError(d, NotNextInSet);
    }
    d->cabinet = next;

    if (header.flags & kFlagReserve) {
        if (cabReadReserveSizes(&d->cabinet, d->directoryHandle) != CabReadOk) {
            return setError(d, BadSignature);
        }
        if (!readCabinetReserve(d)) return false;
    }
    if (!fixRecordSize(d, d->folderRecord, d->folderRecordSize,
                       kFolderFixedSize + d->cabinet.header.cbCFFolder) ||
        !fixRecordSize(d, d->blockHeader, d->blockHeaderSize,
                       kBlockFixedSize + d->cabinet.header.cbCFData)) {
        return false;
    }
    if (cabReadSetNames(&d->cabinet, d->directoryHandle, &d->names) != CabReadOk) {
        return setError(d, DamagedCabinet);
    }
    d->filesLeft = d->cabinet.header.cFiles;

    CabNotification& n = d->notification;
    n.text1 = d->names.nextCabinet;
    n.text2 = d->names.nextDisk;
    n.text3 = d->cabinetPath;
    n.userContext = d->userContext;
    n.setId = d->cabinet.header.setID;
    n.cabinetIndex = d->cabinet.header.iCabinet;
    if (d->notify(CabinetOpened, &n) == -1) return setError(d, ClientAbort);
    // The client may have rewritten the strings; keep them terminated.
    d->cabinetPath[kTextSize - 1] = '\0';
    return raiseCabinetEvent(d);
}

bool loadFolder(CabDecoder* d, uint16_t folderIndex, bool continuesFolder) {
    d->currentFolder = folderIndex;
    CabFolderRecord folder;
    uint32_t reserveSize = d->folderRecordSize - kFolderFixedSize;
    if (cabReadFolder(&d->cabinet, d->dataHandle, folderIndex, &folder,
                      d->folderRecord + kFolderFixedSize, reserveSize) != CabReadOk ||
        d->io.seek(d->dataHandle, int32_t(folder.coffCabStart), 0) == -1) {
        return setError(d, DamagedCabinet);
    }
    d->blocksLeft = folder.cCFData;
    uint16_t typeCompress = folder.typeCompress;
    if (compressionMethod(typeCompress) == MethodNotLoaded) return setError(d, UnknownMethod);
    // A folder carried on from the previous cabinet must keep its compression:
    // switching codecs would lose the stream in progress.
    if (continuesFolder && typeCompress != d->compressionType) return setError(d, DamagedCabinet);
    if (!setCompressionType(d, typeCompress)) return false;
    return raiseFolderEvent(d);
}

}  // namespace cab
