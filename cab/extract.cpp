// The extraction walk: offering files to the client, copying each file's
// bytes out of its folder, and crossing into the next cabinet of a set.
#include "cab/decoder.h"

#include <cstring>

namespace cab {

namespace {

void closeCabinetHandles(CabDecoder* d) {
    if (d->directoryHandle != -1) d->io.close(d->directoryHandle);
    if (d->dataHandle != -1) d->io.close(d->dataHandle);
    d->directoryHandle = -1;
    d->dataHandle = -1;
}

bool offerDirectoryCursor(CabDecoder* d) {
    int32_t position = d->io.seek(d->directoryHandle, 0, 1);
    if (position == -1) return setError(d, DamagedCabinet);
    CabNotification& n = d->notification;
    n.folderIndex = d->filesLeft;
    n.setId = d->cabinet.header.setID;
    n.size = position;
    n.userContext = d->userContext;
    if (d->notify(DirectoryCursor, &n) == -1) return setError(d, ClientAbort);
    d->filesLeft = n.folderIndex;
    if (d->filesLeft == 0) return true;
    if (n.size != position && d->io.seek(d->directoryHandle, n.size, 0) == -1) {
        return setError(d, ClientAbort);
    }
    return true;
}

void describeFile(CabDecoder* d) {
    CabNotification& n = d->notification;
    n.size = int32_t(d->file.cbFile);
    n.text1 = d->file.name;
    n.text2 = d->names.previousCabinet;
    n.text3 = d->names.previousDisk;
    n.date = d->file.date;
    n.time = d->file.time;
    n.attributes = d->file.attribs;
    n.userContext = d->userContext;
    n.folderIndex = d->file.iFolder;
}

bool selectFolder(CabDecoder* d, uint16_t iFolder) {
    if (d->continuing) return true;
    // A file may only name a folder the cabinet has; anything else would
    // read other records as a folder (or, with no folders, none at all).
    uint32_t folderIndex = continuesIntoNext(iFolder) ? uint32_t(d->cabinet.header.cFolders) - 1 : iFolder;
    if (folderIndex >= d->cabinet.header.cFolders) return setError(d, DamagedCabinet);
    if (folderIndex == d->currentFolder) return true;
    // The reset comes after the folder is loaded, so it reaches the codec
    // that will decode the folder even when loading switched codecs.
    if (!loadFolder(d, uint16_t(folderIndex)) || !resetCodec(d) || !nextBlock(d)) return false;
    d->blockStart = 0;
    return true;
}

bool closeOutput(CabDecoder* d) {
    CabNotification& n = d->notification;
    n.text1 = d->file.name;
    n.fileHandle = d->outputHandle;
    n.date = d->file.date;
    n.time = d->file.time;
    n.attributes = d->file.attribs & uint16_t(~kAttributeRunAfterExtract);
    n.size = (d->file.attribs & kAttributeRunAfterExtract) ? 1 : 0;
    n.userContext = d->userContext;
    n.folderIndex = d->file.iFolder;
    int answer = d->notify(CloseOutput, &n);
    if (answer == -1) return setError(d, ClientAbort);
    d->outputHandle = -1;  // from here on the client has closed it
    if (answer == 0) return setError(d, OutputFailed);
    return true;
}

bool copyFileData(CabDecoder* d) {
    uint32_t remaining = d->file.cbFile;
    uint32_t position = d->file.uoffFolderStart;
    if (remaining == 0) return true;
    if (position < d->blockStart) d->currentFolder = kNoFolder;  // restart the folder
    if (!selectFolder(d, d->file.iFolder)) return false;
    // After crossing into the next cabinet the folder cannot be restarted:
    // a file that starts before the block in hand is out of order.
    if (position < d->blockStart) return setError(d, DamagedCabinet);
    while (uint64_t(position) >= uint64_t(d->blockStart) + blockUncompressedSize(d)) {
        if (!nextBlock(d)) return false;
    }
    for (;;) {
        uint32_t offset = position - d->blockStart;
        uint32_t count = blockUncompressedSize(d) - offset;
        if (count > remaining) count = remaining;
        if (d->io.write(d->outputHandle, d->outputBuffer + offset, count) != int(count)) {
            return setError(d, OutputFailed);
        }
        position += count;
        remaining -= count;
        if (remaining == 0) return true;
        if (!nextBlock(d)) return false;
    }
}

bool extractFile(CabDecoder* d) {
    if (copyFileData(d) && closeOutput(d)) return true;
    if (d->outputHandle != -1) {
        d->io.close(d->outputHandle);
        d->outputHandle = -1;
    }
    return false;
}

// Passes over the entries the new cabinet lists first: the spanning files
// the client declined and the file being extracted.
bool skipContinuedEntries(CabDecoder* d) {
    for (uint32_t i = 0; i <= d->filesToSkip; ++i) {
        if (d->filesLeft == 0) return setError(d, DamagedCabinet);
        d->filesLeft--;
        if (!readFileEntry(d)) return false;
    }
    d->filesToSkip = 0;
    return true;
}

// Handles one file entry of the walk; false ends the walk with a failure.
bool walkEntry(CabDecoder* d) {
    describeFile(d);
    uint16_t iFolder = d->file.iFolder;
    if (continuesFromPrevious(iFolder)) {
        if (!d->continuing) {
            if (d->notify(FileFromPrevious, &d->notification) == -1) return setError(d, ClientAbort);
            return true;
        }
    } else if (d->continuing) {
        d->filesLeft = 0;  // the first file of the new cabinet alone ends the walk
        return true;
    }
    int answer = d->notify(OpenOutput, &d->notification);
    if (answer == -1) return setError(d, ClientAbort);
    if (answer == 0) {
        if (continuesIntoNext(iFolder)) d->filesToSkip++;
        return true;
    }
    d->outputHandle = answer;
    return extractFile(d);
}

}  // namespace

bool moveToNextCabinet(CabDecoder* d) {
    CabNotification& n = d->notification;
    n.text1 = d->names.nextCabinet;
    n.text2 = d->names.nextDisk;
    n.text3 = d->cabinetPath;
    n.userContext = d->userContext;
    n.setId = d->cabinet.header.setID;
    n.cabinetIndex = uint16_t(d->cabinet.header.iCabinet + 1);
    n.lastError = 0;
    const uint16_t setId = n.setId;
    const uint16_t index = n.cabinetIndex;
    // The names asked for; opening a cabinet replaces nextCabinet and
    // nextDisk, so a failed attempt puts them back for the next request.
    char wanted[kTextSize];
    char wantedDisk[kTextSize];
    copyText(wanted, d->names.nextCabinet);
    copyText(wantedDisk, d->names.nextDisk);

    for (;;) {
        int closeFailed = 0;
        if (d->dataHandle != -1) closeFailed |= d->io.close(d->dataHandle);
        if (d->directoryHandle != -1) closeFailed |= d->io.close(d->directoryHandle);
        d->dataHandle = -1;
        d->directoryHandle = -1;
        if (closeFailed != 0) return setError(d, DamagedCabinet);

        if (d->notify(NeedCabinet, &n) == -1) return setError(d, ClientAbort);
        // The client may have rewritten the name and the directory.
        d->names.nextCabinet[kTextSize - 1] = '\0';
        d->cabinetPath[kTextSize - 1] = '\0';
        copyText(wanted, d->names.nextCabinet);

        if (openCabinet(d, wanted, setId, index) && loadFolder(d, 0, true)) break;
        if (d->error->errorCode == ClientAbort) return false;
        // openCabinet's notification reused the record: restore this request.
        copyText(d->names.nextCabinet, wanted);
        copyText(d->names.nextDisk, wantedDisk);
        n.text1 = d->names.nextCabinet;
        n.text2 = d->names.nextDisk;
        n.text3 = d->cabinetPath;
        n.userContext = d->userContext;
        n.setId = setId;
        n.cabinetIndex = index;
        n.lastError = d->error->errorCode;
    }
    if (!skipContinuedEntries(d)) return false;
    d->continuing = true;
    return true;
}

}  // namespace cab

using namespace cab;

int32_t cabExtract(CabDecoder* d, const char* cabinetName, const char* cabinetPath,
                   CabNotifyFn notify, CabReserveHook reserveHook, void* userContext) {
    d->userContext = userContext;
    d->notify = notify;
    d->reserveHook = reserveHook;
    d->filesToSkip = 0;
    bool ok = copyText(d->cabinetPath, cabinetPath) || setError(d, CannotOpen);
    ok = ok && openCabinet(d, cabinetName, 0, kAnyCabinet);
    if (ok) {
        d->continuing = false;
        d->currentFolder = kNoFolder;
        copyText(d->cabinetPath, cabinetPath);
        ok = offerDirectoryCursor(d);
    }
    while (ok && d->filesLeft != 0) {
        d->filesLeft--;
        ok = readFileEntry(d) && walkEntry(d);
        if (ok && d->filesLeft == 0) ok = offerDirectoryCursor(d);
    }
    closeCabinetHandles(d);
    return ok ? 1 : 0;
}
