#include "installer/extraction_driver.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "cab/cab_owner.h"
#include "cab/client_names.h"
#include "installer/file_stamp.h"
#include "installer/win32_api.h"

namespace {

// Low-level open flags and permissions (the C runtime's values).
constexpr int kCabinetOpenFlags = _O_BINARY | _O_SEQUENTIAL | _O_RDONLY;
constexpr int kOutputOpenFlags = _O_BINARY | _O_CREAT | _O_WRONLY | _O_SEQUENTIAL;
constexpr int kOutputOpenMode = _S_IREAD | _S_IWRITE;
static_assert(kCabinetOpenFlags == 0x8020 && kOutputOpenFlags == 0x8121 &&
              kOutputOpenMode == 0x180);

// Read by the notification handler, which gets no context of its own.
PathBuffer destinationPrefix;

// The output file being written: its handle, its name in the cabinet, the
// temporary name the bytes go to and the name it takes when complete. The
// decoder writes one file at a time, so one record is enough.
struct PendingOutput {
    int32_t handle = -1;
    PathBuffer name{};
    PathBuffer partialPath{};
    PathBuffer finalPath{};
};
PendingOutput pending;

// The first failure of the extraction in progress. What follows it (the
// decoder stopping because a callback refused) is only its consequence.
ExtractionFailure failureSeen;

void noteOutputFailure(const char* name, FailureReason reason) {
    if (failureSeen.reason.failed()) return;
    failureSeen.inCabinet = false;
    copyPath(failureSeen.file, name);
    copyPath(failureSeen.directory, destinationPrefix);
    failureSeen.reason = reason;
}

// Splits a cabinet path at its last backslash: the directory keeps the
// backslash; without one, the name is the whole path.
void splitCabinetPath(const char* path, PathBuffer& directory, PathBuffer& name) {
    std::memset(directory, 0, kPathBufferSize);
    const char* lastBackslash = std::strrchr(path, '\\');
    if (lastBackslash == nullptr) {
        copyPath(name, path);
        return;
    }
    const size_t directoryLength = static_cast<size_t>(lastBackslash - path) + 1;
    if (directoryLength < kPathBufferSize) std::memcpy(directory, path, directoryLength);
    copyPath(name, lastBackslash + 1);
}

void noteCabinetFailure(const char* cabinetPath, FailureReason reason) {
    if (failureSeen.reason.failed()) return;
    failureSeen.inCabinet = true;
    splitCabinetPath(cabinetPath, failureSeen.directory, failureSeen.file);
    failureSeen.reason = reason;
}

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
    int written = _write(handle, buffer, count);
    if (written != static_cast<int>(count) && handle == pending.handle) {
        // A short write means the disk filled up; the runtime says so only
        // on the write after it.
        noteOutputFailure(pending.name, written < 0 ? runtimeFailure()
                                                    : FailureReason{FailureReason::Source::RuntimeError, ENOSPC});
    }
    return written;
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

// A temporary file left by an earlier run is ours to replace, even when it
// ended up read-only.
void removeStaleFile(const char* path) {
    DWORD attributes = GetFileAttributesA(path);
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY)) return;
    if (attributes & FILE_ATTRIBUTE_READONLY) SetFileAttributesA(path, FILE_ATTRIBUTE_NORMAL);
    DeleteFileA(path);
}

int openOutput(const CabNotification* notification) {
    const char* name = notification->text1;
    if (name == nullptr || !isSafeOutputName(name)) return 0;  // skipped, never written
    PathBuffer finalPath;
    PathBuffer partialPath;
    if (!copyPath(finalPath, destinationPrefix) || !appendPath(finalPath, name) ||
        !copyPath(partialPath, finalPath) || !appendPath(partialPath, kPartialSuffix)) {
        noteOutputFailure(name, FailureReason{FailureReason::Source::PathTooLong, 0});
        return -1;  // the path does not fit: the extraction fails
    }
    discardPendingOutput();
    removeStaleFile(partialPath);
    int32_t handle = _open(partialPath, kOutputOpenFlags, kOutputOpenMode);
    if (handle == 0) {
        // The decoder reads 0 as "skip this file": take another handle.
        int32_t again = _open(partialPath, kOutputOpenFlags, kOutputOpenMode);
        _close(handle);
        handle = again;
    }
    if (handle == -1) {
        noteOutputFailure(name, runtimeFailure());
        return -1;
    }
    // A temporary that could not be removed may be longer than this file.
    if (_chsize(handle, 0) != 0) {
        noteOutputFailure(name, runtimeFailure());
        _close(handle);
        DeleteFileA(partialPath);
        return -1;
    }
    pending.handle = handle;
    copyPath(pending.name, name);
    std::memcpy(pending.partialPath, partialPath, kPathBufferSize);
    std::memcpy(pending.finalPath, finalPath, kPathBufferSize);
    return handle;
}

// Gives the finished file its final name, replacing an older file of that
// name. The oldest Windows systems have no MoveFileExA: there the old file
// is deleted first and the new one moved after it.
bool putInPlace(const char* partialPath, const char* finalPath) {
    if (MoveFileExA(partialPath, finalPath, MOVEFILE_REPLACE_EXISTING)) return true;
    if (GetLastError() != ERROR_CALL_NOT_IMPLEMENTED) return false;
    if (GetFileAttributesA(finalPath) != INVALID_FILE_ATTRIBUTES && !DeleteFileA(finalPath)) {
        return false;
    }
    return MoveFileA(partialPath, finalPath) != 0;
}

FailureReason placementFailure(const char* finalPath) {
    FailureReason reason = systemFailure();
    DWORD attributes = GetFileAttributesA(finalPath);
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY)) {
        reason = FailureReason{FailureReason::Source::ExistingReadOnly, 0};
    }
    return reason;
}

int closeOutput(const CabNotification* notification) {
    bool closed = _close(notification->fileHandle) == 0;
    FailureReason closeFailure = closed ? FailureReason{} : runtimeFailure();
    if (pending.handle == -1 || pending.handle != notification->fileHandle) return 0;
    pending.handle = -1;
    if (!closed) {
        noteOutputFailure(pending.name, closeFailure);
    } else if (!putInPlace(pending.partialPath, pending.finalPath)) {
        noteOutputFailure(pending.name, placementFailure(pending.finalPath));
        closed = false;
    }
    if (!closed) {
        DeleteFileA(pending.partialPath);
        return 0;  // the file is not in place: the extraction fails
    }
    restoreFileStamp(pending.finalPath, notification->date, notification->time,
                     notification->attributes);
    return 1;
}

int runExtraction(const char* cabinetPath, const char* targetDirectory) {
    if (!copyPath(destinationPrefix, targetDirectory)) {
        noteOutputFailure("", FailureReason{FailureReason::Source::PathTooLong, 0});
        return 0;
    }

    CabError error{};
    CabDecoderOwner decoder(cabCreate(allocateBlock, freeBlock, openFile, readFile, writeFile,
                                      closeFile, seekFile, 1, &error));
    if (!decoder) {
        noteCabinetFailure(cabinetPath, FailureReason{FailureReason::Source::CabinetError,
                                                      error.errorCode != 0 ? error.errorCode : NoMemory});
        return 0;
    }

    int32_t handle = _open(cabinetPath, kCabinetOpenFlags, 0);
    if (handle == -1) {
        noteCabinetFailure(cabinetPath, errno == ENOENT
                                            ? FailureReason{FailureReason::Source::FileMissing, 0}
                                            : runtimeFailure());
        decoder.reset();
        PathBuffer shown;
        std::printf("Unable to open '%s' for input\n", displayPath(shown, cabinetPath));
        std::fflush(stdout);
        return 0;
    }
    CabInfo info{};
    int32_t isCabinet = cabIsCabinet(decoder.get(), handle, &info);
    _close(handle);
    if (!isCabinet) {
        noteCabinetFailure(cabinetPath, FailureReason{FailureReason::Source::NotACabinet, 0});
        return 0;
    }
    if (std::strlen(cabinetPath) > kMaxCabinetPath) {
        noteCabinetFailure(cabinetPath, FailureReason{FailureReason::Source::PathTooLong, 0});
        return 0;
    }

    PathBuffer directory;
    PathBuffer name;
    splitCabinetPath(cabinetPath, directory, name);
    int32_t extracted = cabExtract(decoder.get(), name, directory, handleCabinetNotification,
                                   nullptr, nullptr);
    discardPendingOutput();
    // Releasing the decoder can fail too, and then so does the extraction.
    int32_t destroyed = cabDestroy(decoder.release());
    if (extracted != 1 || destroyed != 1) {
        noteCabinetFailure(cabinetPath, FailureReason{FailureReason::Source::CabinetError,
                                                      error.errorCode});
        return 0;
    }
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

int extractCabinet(const char* cabinetPath, const char* targetDirectory,
                   ExtractionFailure* failure) {
    failureSeen = ExtractionFailure{};
    int result = runExtraction(cabinetPath, targetDirectory);
    if (failure != nullptr) *failure = failureSeen;
    return result;
}
