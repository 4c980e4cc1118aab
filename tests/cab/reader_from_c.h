/* A C client of the directory reader, for the tests. */
#pragma once

#include "cab/cab_reader.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Reads the header, the set names and the first file entry of the cabinet
 * at the handle's position; the first status that is not CabReadOk. */
CabReadStatus readFirstEntryFromC(CabReadFn read, CabSeekFn seek, int32_t handle,
                                  CabHeaderRecord* header, CabSetNames* names,
                                  CabFileRecord* entry);

#ifdef __cplusplus
}
#endif
