// Creating and releasing a decoder, the error record, and the cabinet test.
#include "cab/decoder.h"

#include <cstring>

namespace cab {

bool setError(CabDecoder* d, int32_t code, int32_t detail) {
    d->error->errorCode = code;
    d->error->detail = detail;
    d->error->failed = 1;
    return false;
}

bool copyText(char* destination, const char* source) {
    size_t length = strnlen(source, kTextSize);
    bool fits = length < kTextSize;
    if (!fits) length = kTextSize - 1;
    memcpy(destination, source, length);
    destination[length] = '\0';
    return fits;
}

}  // namespace cab

using namespace cab;

CabDecoder* cabCreate(CabAllocFn alloc, CabFreeFn free, CabOpenFn open, CabReadFn read,
                      CabWriteFn write, CabCloseFn close, CabSeekFn seek, int32_t cpuType,
                      CabError* error) {
    auto* d = static_cast<CabDecoder*>(alloc(sizeof(CabDecoder)));
    if (d == nullptr) {
        error->errorCode = NoMemory;
        error->detail = 0;
        error->failed = 1;
        return nullptr;
    }
    // Zero everything first so no field ever holds indeterminate bytes; the
    // fields below get their documented starting values.
    memset(d, 0, sizeof(*d));
    d->error = error;
    d->io = CabIoCallbacks{alloc, free, open, read, write, close, seek};
    d->cpuType = cpuType;
    d->compressionType = MethodNotLoaded;
    d->cabinetReserveSize = kSizeUnknown;
    d->cabinetReserveKnown = false;
    d->folderRecordSize = kSizeUnknown;
    d->blockHeaderSize = kSizeUnknown;
    d->directoryHandle = -1;
    d->dataHandle = -1;
    d->outputHandle = -1;
    d->currentFolder = kNoFolder;
    return d;
}

int32_t cabDestroy(CabDecoder* d) {
    // Releasing through the "nothing loaded" type destroys the codec and
    // frees its buffers; a failure is recorded but does not stop the rest.
    setCompressionType(d, MethodNotLoaded);
    if (d->cabinetReserve != nullptr) d->io.free(d->cabinetReserve);
    if (d->folderRecord != nullptr) d->io.free(d->folderRecord);
    if (d->blockHeader != nullptr) d->io.free(d->blockHeader);
    if (d->directoryHandle != -1) d->io.close(d->directoryHandle);
    if (d->dataHandle != -1) d->io.close(d->dataHandle);
    d->io.free(d);
    return 1;
}

int32_t cabIsCabinet(CabDecoder* d, int32_t handle, CabInfo* info) {
    CabReader reader;
    cabReaderInit(&reader, d->io.read, d->io.seek);
    CabReadStatus status = cabReadHeader(&reader, handle);
    if (status == CabReadBadVersion) {
        setError(d, BadVersion, reader.header.version);
        return 0;
    }
    if (status != CabReadOk) return 0;
    const CabHeaderRecord& h = reader.header;
    info->cabinetSize = h.cbCabinet;
    info->folderCount = h.cFolders;
    info->fileCount = h.cFiles;
    info->setId = h.setID;
    info->cabinetIndex = h.iCabinet;
    info->hasReserve = (h.flags & kFlagReserve) ? 1 : 0;
    info->hasPrevious = h.flags & kFlagPrevious;
    info->hasNext = h.flags & kFlagNext;
    return 1;
}
