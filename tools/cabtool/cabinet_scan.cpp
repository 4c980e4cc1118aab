#include "tools/cabtool/cabinet_scan.h"

#include <unistd.h>

#include <cerrno>

#include "cab/bytes.h"
#include "tools/cabtool/cabinet_files.h"
#include "tools/cabtool/messages.h"

namespace cabtool {
namespace {

// Offset of uoffFolderStart within a CFFILE record.
constexpr int32_t kFolderStartField = 4;

struct Scan {
    CabinetDirectory& result;
    std::string cabinet;  // path, for the entries
    uint32_t entriesLeft = 0;
    bool counted = false;     // the first cursor gave the number of entries
    int32_t nextPosition = 0;  // where the next entry's record starts
};

FileEntry entryFrom(const Scan& scan, const CabNotification& n) {
    FileEntry entry;
    entry.cabinet = scan.cabinet;
    entry.name = n.text1 != nullptr ? n.text1 : "";
    entry.size = uint32_t(n.size);
    entry.date = n.date;
    entry.time = n.time;
    entry.attributes = n.attributes;
    entry.folderIndex = n.folderIndex;
    entry.listIndex = uint32_t(scan.result.entries.size());
    entry.position = scan.nextPosition;
    return entry;
}

// Every entry is read on its own, so that each DirectoryCursor tells where
// the next record starts; every file is declined, so nothing is decoded.
int onScanNotify(int kind, CabNotification* notification) {
    CabNotification& n = *notification;
    Scan& scan = *static_cast<Scan*>(n.userContext);
    switch (kind) {
        case CabinetOpened:
            scan.result.nextCabinet = n.text1 != nullptr ? n.text1 : "";
            scan.result.setId = n.setId;
            scan.result.cabinetIndex = n.cabinetIndex;
            return 0;
        case DirectoryCursor:
            if (!scan.counted) {
                scan.entriesLeft = n.folderIndex;
                scan.counted = true;
            }
            scan.nextPosition = n.size;
            n.folderIndex = scan.entriesLeft > 0 ? 1 : 0;
            if (scan.entriesLeft > 0) --scan.entriesLeft;
            return 0;
        case FileFromPrevious:
            scan.result.previousCabinet = n.text2 != nullptr ? n.text2 : "";
            scan.result.entries.push_back(entryFrom(scan, n));
            return 0;
        case OpenOutput:
            scan.result.entries.push_back(entryFrom(scan, n));
            return 0;
        default:
            return -1;  // nothing is extracted, so the decoder never needs another cabinet
    }
}

}  // namespace

bool scanCabinet(CabDecoder* decoder, CabError& error, const std::string& directory,
                 const std::string& name, const CabInfo& info, CabinetDirectory& result,
                 std::string& problem) {
    result = CabinetDirectory{};
    result.folderCount = info.folderCount;
    result.hasPrevious = info.hasPrevious != 0;
    result.fileCount = info.fileCount;
    Scan scan{result, directory + name};
    error = CabError{};
    if (cabExtract(decoder, name.c_str(), directory.c_str(), onScanNotify, nullptr, &scan) == 0) {
        // Failing before the first DirectoryCursor, the header itself is bad;
        // after it, an entry could not be read, and those before it stand.
        if (!scan.counted) {
            problem = cabErrorText(error.errorCode);
            return false;
        }
        result.damage = std::string(cabErrorText(error.errorCode)) + ": file entry " +
                        std::to_string(result.entries.size() + 1) + " of " +
                        std::to_string(info.fileCount) + " cannot be read";
    }
    const int fd = openRegularFile(scan.cabinet, problem);
    if (fd < 0) return false;
    for (FileEntry& entry : result.entries) {
        uint8_t field[4];
        if (pread(fd, field, sizeof field, off_t(entry.position) + kFolderStartField) !=
            ssize_t(sizeof field)) {
            problem = cabErrorText(DamagedCabinet);
            close(fd);
            return false;
        }
        entry.folderOffset = readLe32(field);
    }
    close(fd);
    return true;
}

}  // namespace cabtool
