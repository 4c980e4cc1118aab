/* A C client of the directory reader, for the tests. */
#pragma once

#include "cab/cab_reader.h"

#ifdef __cplusplus
extern "C" {
#endif

/* What the C client read, copied field by field on the C side, so that a
 * structure laid out differently in C and C++ shows as wrong values. */
typedef struct ReadFromC {
    uint32_t setID, cFiles, cbCFHeader, cbCFData;
    int32_t folderTableOffset;
    uint32_t cbFile, attribs, date, time;
    char previousCabinet[kCabNameBufferSize];
    char previousDisk[kCabNameBufferSize];
    char fileName[kCabNameBufferSize];
} ReadFromC;

/* Reads the header, the set names and the first file entry of the cabinet
 * at the handle's position; the first status that is not CabReadOk. */
CabReadStatus readFirstEntryFromC(CabReadFn read, CabSeekFn seek, int32_t handle, ReadFromC* out);

#ifdef __cplusplus
}
#endif
