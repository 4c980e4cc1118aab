#include "archive/open/cabinet_reading.h"

namespace cabarchive {
namespace {

// Closes the directory handle on every way out.
struct SourceHandle {
    ArchiveIo& io;
    int32_t value;
    ~SourceHandle() { io.closeHandle(value); }
};

std::string entryDamage(uint32_t number, uint16_t declared, CabReadStatus status) {
    return "file entry " + std::to_string(number) + " of " + std::to_string(declared) +
           " cannot be read: " + cabReadStatusText(status);
}

// The file list, as far as it can be read; false when it ended early.
bool readFileList(const CabReader& reader, int32_t handle, Cabinet& cabinet) {
    CabinetDirectory& directory = cabinet.directory;
    const CabIoCallbacks& io = ArchiveIo::callbacks();
    for (uint32_t i = 0; i < cabinet.header.cFiles; ++i) {
        const int32_t position = io.seek(handle, 0, 1);
        CabFileRecord record{};
        const CabReadStatus status =
            position < 0 ? CabReadBadPosition : cabReadFileEntry(&reader, handle, &record);
        // A file naming a folder past the table is listed: it is refused
        // only when its data is needed.
        if (status != CabReadOk && status != CabReadFileFolderPastTable) {
            directory.damage = entryDamage(i + 1, cabinet.header.cFiles, status);
            return false;
        }
        directory.entries.push_back(fileEntryOf(record, cabinet.name, i, position));
    }
    return true;
}

}  // namespace

CabinetRead readCabinet(ArchiveIo& io, Cabinet& cabinet, std::string& problem) {
    IoScope scope(io);
    const int32_t value = io.openSource(cabinet.source);
    if (value < 0) {
        problem = "cannot be read";
        return CabinetRead::NotCabinet;
    }
    SourceHandle handle{io, value};
    const CabIoCallbacks& callbacks = ArchiveIo::callbacks();
    CabReader reader;
    cabReaderInit(&reader, callbacks.read, callbacks.seek);
    CabReadStatus status = cabReadHeader(&reader, value);
    if (status != CabReadOk) {
        problem = std::string("not a cabinet: ") + cabReadStatusText(status);
        return CabinetRead::NotCabinet;
    }
    cabinet.header = reader.header;
    status = cabReadReserveSizes(&reader, value);
    if (status == CabReadOk) status = cabReadCabinetReserve(&reader, value, nullptr, 0);
    if (status == CabReadOk) status = cabReadSetNames(&reader, value, &cabinet.setNames);
    cabinet.header = reader.header;

    CabinetDirectory& directory = cabinet.directory;
    directory.setId = reader.header.setID;
    directory.cabinetIndex = reader.header.iCabinet;
    directory.folderCount = reader.header.cFolders;
    directory.fileCount = reader.header.cFiles;
    directory.hasPrevious = (reader.header.flags & 0x0001) != 0;
    directory.previousCabinet = cabinet.setNames.previousCabinet;
    directory.nextCabinet = cabinet.setNames.nextCabinet;
    if (status != CabReadOk) {
        directory.damage = std::string("the header cannot be read: ") + cabReadStatusText(status);
        return CabinetRead::Damaged;
    }
    const int32_t filesAt = callbacks.seek(value, 0, 1);
    // The file list has a place of its own: a damaged folder record costs
    // only the folders from it on, and the entries are still listed (those
    // of the lost folders then fail when their data is needed).
    for (uint16_t i = 0; i < reader.header.cFolders; ++i) {
        CabFolderRecord folder{};
        status = cabReadFolder(&reader, value, i, &folder, nullptr, 0);
        // A record read whole whose data lies past any file position is
        // kept: only its own files fail, when their data is read.
        if (status != CabReadOk && status != CabReadBlockOffsetTooLarge) {
            cabinet.folderDamage = "folder " + std::to_string(i) + " cannot be read: " +
                                   cabReadStatusText(status);
            break;
        }
        cabinet.folders.push_back(folder);
    }
    if (filesAt < 0 || callbacks.seek(value, filesAt, 0) != filesAt) {
        directory.damage = std::string("the file list cannot be read: ") +
                           cabReadStatusText(CabReadBadPosition);
        return CabinetRead::Damaged;
    }
    const bool listWhole = readFileList(reader, value, cabinet);
    return listWhole && cabinet.folderDamage.empty() ? CabinetRead::Whole : CabinetRead::Damaged;
}

}  // namespace cabarchive
