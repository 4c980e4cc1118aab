#include "tools/cabtool/cabinet_scan.h"

#include <vector>

#include "cab/cab_reader.h"
#include "cab/format.h"
#include "tools/cabtool/posix_io.h"

namespace cabtool {
namespace {

// The decoder's error for a header part the reader refused, as the decoder
// reports it when opening the cabinet.
int32_t openingError(CabReadStatus status) {
    switch (status) {
        case CabReadBadVersion:
            return BadVersion;
        case CabReadShortHeader:
        case CabReadBadSignature:
        case CabReadShortReserveSizes:
        case CabReadShortReserveArea:
            return BadSignature;
        default:
            return DamagedCabinet;
    }
}

// A cabinet handle of the decoder's callbacks, closed on every way out.
struct CabinetHandle {
    explicit CabinetHandle(const std::string& path)
        : value(posixCallbacks().open(path.c_str(), kCabOpenFlags, kCabOpenMode)) {}
    ~CabinetHandle() {
        if (value != -1) posixCallbacks().close(value);
    }
    CabinetHandle(const CabinetHandle&) = delete;
    CabinetHandle& operator=(const CabinetHandle&) = delete;
    int32_t value;
};

// Reads the header up to the file list, which the handle is left at. The
// decoder's error for what it would refuse, or CabNoError.
int32_t readHeaderParts(CabReader& reader, int32_t handle, CabSetNames& names,
                        std::optional<RecordReserves>& decoderReserves) {
    CabReadStatus status = cabReadHeader(&reader, handle);
    if (status == CabReadOk) status = cabReadReserveSizes(&reader, handle);
    if (status == CabReadOk) {
        // Read whole, so that an area cut short is refused as the decoder
        // refuses it.
        std::vector<uint8_t> area(reader.header.cbCFHeader);
        status = cabReadCabinetReserve(&reader, handle, area.data(), uint32_t(area.size()));
    }
    if (status != CabReadOk) return openingError(status);
    const RecordReserves reserves{reader.header.cbCFFolder, reader.header.cbCFData};
    if (!decoderReserves) decoderReserves = reserves;
    if (!(*decoderReserves == reserves)) return ReserveSizeChanged;
    return cabReadSetNames(&reader, handle, &names) == CabReadOk ? CabNoError : DamagedCabinet;
}

}  // namespace

bool scanCabinet(const std::string& directory, const std::string& name,
                 std::optional<RecordReserves>& decoderReserves, CabinetDirectory& result,
                 std::string& problem) {
    result = CabinetDirectory{};
    const std::string path = directory + name;
    const CabIoCallbacks& io = posixCallbacks();
    const CabinetHandle handle(path);
    if (handle.value == -1) {
        problem = cabErrorText(CannotOpen);
        return false;
    }
    CabReader reader;
    cabReaderInit(&reader, io.read, io.seek);
    CabSetNames names{};
    const int32_t refusal = readHeaderParts(reader, handle.value, names, decoderReserves);
    if (refusal != CabNoError) {
        problem = cabErrorText(refusal);
        return false;
    }
    const CabHeaderRecord& header = reader.header;
    result.nextCabinet = names.nextCabinet;
    result.previousCabinet = names.previousCabinet;
    result.setId = header.setID;
    result.cabinetIndex = header.iCabinet;
    result.folderCount = header.cFolders;
    result.hasPrevious = (header.flags & kFlagPrevious) != 0;
    result.fileCount = header.cFiles;

    for (uint32_t i = 0; i < header.cFiles; ++i) {
        const int32_t position = io.seek(handle.value, 0, 1);
        CabFileRecord record{};
        const CabReadStatus status =
            position == -1 ? CabReadBadPosition : cabReadFileEntry(&reader, handle.value, &record);
        // A file naming a folder past the table is listed: it is refused
        // only when its data is needed.
        if (status != CabReadOk && status != CabReadFileFolderPastTable) {
            // Those before it stand.
            result.damage = std::string(cabErrorText(DamagedCabinet)) + ": file entry " +
                            std::to_string(i + 1) + " of " + std::to_string(header.cFiles) +
                            " cannot be read";
            return true;
        }
        result.entries.push_back(cabarchive::fileEntryOf(record, path, i, position));
    }
    return true;
}

}  // namespace cabtool
