/* The directory reader used from C (compiled as C11): reads a cabinet's
 * header, names and first file entry, so that a test can compare what a C
 * client sees with what C++ sees. */
#include "tests/cab/reader_from_c.h"

#include <stddef.h>
#include <string.h>

CabReadStatus readFirstEntryFromC(CabReadFn read, CabSeekFn seek, int32_t handle, ReadFromC* out) {
    CabReader reader;
    CabSetNames names;
    CabFileRecord entry;
    CabReadStatus status;
    cabReaderInit(&reader, read, seek);
    status = cabReadHeader(&reader, handle);
    if (status == CabReadOk) status = cabReadReserveSizes(&reader, handle);
    if (status == CabReadOk) status = cabReadCabinetReserve(&reader, handle, NULL, 0);
    if (status == CabReadOk) status = cabReadSetNames(&reader, handle, &names);
    if (status == CabReadOk) status = cabReadFileEntry(&reader, handle, &entry);
    if (status != CabReadOk) return status;
    out->setID = reader.header.setID;
    out->cFiles = reader.header.cFiles;
    out->cbCFHeader = reader.header.cbCFHeader;
    out->cbCFData = reader.header.cbCFData;
    out->folderTableOffset = reader.folderTableOffset;
    out->cbFile = entry.cbFile;
    out->attribs = entry.attribs;
    out->date = entry.date;
    out->time = entry.time;
    memcpy(out->previousCabinet, names.previousCabinet, sizeof out->previousCabinet);
    memcpy(out->previousDisk, names.previousDisk, sizeof out->previousDisk);
    memcpy(out->fileName, entry.name, sizeof out->fileName);
    return status;
}
