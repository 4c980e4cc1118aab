/* The directory reader used from C (compiled as C11): reads a cabinet's
 * header, names and first file entry, so that a test can compare what a C
 * client sees with what C++ sees. */
#include "tests/cab/reader_from_c.h"

#include <stddef.h>

CabReadStatus readFirstEntryFromC(CabReadFn read, CabSeekFn seek, int32_t handle,
                                  CabHeaderRecord* header, CabSetNames* names,
                                  CabFileRecord* entry) {
    CabReader reader;
    CabReadStatus status;
    cabReaderInit(&reader, read, seek);
    status = cabReadHeader(&reader, handle);
    if (status == CabReadOk) status = cabReadReserveSizes(&reader, handle);
    if (status == CabReadOk) status = cabReadCabinetReserve(&reader, handle, NULL, 0);
    if (status == CabReadOk) status = cabReadSetNames(&reader, handle, names);
    if (status == CabReadOk) status = cabReadFileEntry(&reader, handle, entry);
    *header = reader.header;
    return status;
}
