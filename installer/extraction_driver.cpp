#include "installer/extraction_driver.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "cab/client_names.h"
#include "installer/file_stamp.h"
#include "installer/paths.h"
#include "installer/win32_api.h"

namespace {

// Low-level open flags and permissions (the C runtime's values).
constexpr int kCabinetOpenFlags = _O_BINARY | _O_SEQUENTIAL | _O_RDONLY;
constexpr int kOutputOpenFlags = _O_BINARY | _O_CREAT | _O_WRONLY | _O_SEQUENTIAL;
constexpr int kOutputOpenMode = _S_IREAD | _S_IWRITE;
static_assert(kCabinetOpenFlags == 0x8020 && kOutputOpenFlags == 0x8121 &&
              kOutputOpenMode == 0x180);

// The decoder's cabinetPath and fullPath hold 256 characters and a NUL.
constexpr size_t kMaxCabinetPath = kCabNameBufferSize - 1;

// Read by the notification handler, which gets no context of its own.
PathBuffer destinationPrefix;

// The output file being written: its handle, the temporary name the bytes go
// to and the name it takes when complete. The decoder writes one file at a
// time, so one record is enough.
struct PendingOutput {
    int32_t handle = -1;
    PathBuffer partialPath{};
    PathBuffer finalPath{};
};
PendingOutput pending;

void* allocateBlock(uint32_t size) { return std::malloc(size); }
void freeBlock(void* block) { std::free(block); }

int32_t openFile(const char* path, int flags, int mode) {
    // "*" asks for a scratch file for a large Quantum window; none is
    // offered, so such a window must fit in memory.
    if (std::strcmp(path, "*") == 0) return -1;
    return _open(path, flags, mode);
}

int readFile(int32_t handle, void* buffer, uint32_t count) { return _read(handle, buffer, count); }
int writeFile(int32_t handle, const void* buffer, uint32_t count) {
    return _write(handle, buffer, count);
}
int closeFile(int32_t handle) { return _close(handle); }
int32_t seekFile(int32_t handle, int32_t offset, int origin) {
    return _lseek(handle, offset, origin);
}

// Removes the temporary file of an output that was never completed. Its
// handle has been closed by then, by the decoder or by the handler.
void discardPendingOutput() {
    if (pending.handle == -1) return;
    DeleteFileA(pending.partialPath);
    pending.handle = -1;
}

int openOutput(const CabNotification* notification) {
    const char* name = notification->text1;
    if (name == nullptr || !isSafeOutputName(name)) return 0;  // skipped, never written
    PathBuffer finalPath;
    PathBuffer partialPath;
    if (!copyPath(finalPath, destinationPrefix) || !appendPath(finalPath, name) ||
        !copyPath(partialPath, finalPath) || !appendPath(partialPath, kPartialSuffix)) {
        return -1;  // the path does not fit: the extraction fails
    }
    discardPendingOutput();
    int32_t handle = _open(partialPath, kOutputOpenFlags, kOutputOpenMode);
    if (handle == 0) {
        // The decoder reads 0 as "skip this file": take another handle.
        int32_t again = _open(partialPath, kOutputOpenFlags, kOutputOpenMode);
        _close(handle);
        handle = again;
    }
    if (handle == -1) return -1;
    // A temporary left by an earlier run may be longer than this file.
    if (_chsize(handle, 0) != 0) {
        _close(handle);
        DeleteFileA(partialPath);
        return -1;
    }
    pending.handle = handle;
    std::memcpy(pending.partialPath, partialPath, kPathBufferSize);
    std::memcpy(pending.finalPath, finalPath, kPathBufferSize);
    return handle;
}

int closeOutput(const CabNotification* notification) {
    bool closed = _close(notification->fileHandle) == 0;
    if (pending.handle == -1 || pending.handle != notification->fileHandle) return 0;
    pending.handle = -1;
    if (!closed || !MoveFileExA(pending.partialPath, pending.finalPath, MOVEFILE_REPLACE_EXISTING)) {
        DeleteFileA(pending.partialPath);
        return 0;  // the file is not in place: the extraction fails
    }
    restoreFileStamp(pending.finalPath, notification->date, notification->time,
                     notification->attributes);
    return 1;
}

}  // namespace

bool isSafeOutputName(const char* name) { return cabCheckStoredName(name) == CabNameUsable; }

int handleCabinetNotification(int kind, CabNotification* notification) {
    switch (kind) {
    case OpenOutput:
        return openOutput(notification);
    case CloseOutput:
        return closeOutput(notification);
    case NeedCabinet:
        // Every cabinet the installer unpacks is complete in itself: when
        // asked again after a failed attempt, give up instead of retrying.
        return notification->lastError != 0 ? -1 : 0;
    default:
        return 0;
    }
}

int extractCabinet(const char* cabinetPath, const char* targetDirectory) {
    if (!copyPath(destinationPrefix, targetDirectory)) return 0;

    CabError error{};
    CabDecoder* decoder = cabCreate(allocateBlock, freeBlock, openFile, readFile, writeFile,
                                    closeFile, seekFile, 1, &error);
    if (decoder == nullptr) return 0;

    int32_t handle = _open(cabinetPath, kCabinetOpenFlags, 0);
    if (handle == -1) {
        cabDestroy(decoder);
        std::printf("Unable to open '%s' for input\n", cabinetPath);
        std::fflush(stdout);
        return 0;
    }
    CabInfo info{};
    int32_t isCabinet = cabIsCabinet(decoder, handle, &info);
    _close(handle);
    // The decoder joins the directory and the name in a 257-byte buffer.
    if (!isCabinet || std::strlen(cabinetPath) > kMaxCabinetPath) {
        cabDestroy(decoder);
        return 0;
    }

    PathBuffer directory{};
    PathBuffer name{};
    const char* lastBackslash = std::strrchr(cabinetPath, '\\');
    if (lastBackslash != nullptr) {
        std::memcpy(directory, cabinetPath, static_cast<size_t>(lastBackslash - cabinetPath) + 1);
        copyPath(name, lastBackslash + 1);
    } else {
        copyPath(name, cabinetPath);
    }

    int32_t extracted = cabExtract(decoder, name, directory, handleCabinetNotification, nullptr,
                                   nullptr);
    discardPendingOutput();
    int32_t destroyed = cabDestroy(decoder);
    return extracted == 1 && destroyed == 1 ? 1 : 0;
}
