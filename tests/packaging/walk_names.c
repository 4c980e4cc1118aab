/* With CAB_WALK_NAMES the walk interface's earlier names stand beside the
 * prefixed ones, with the values clients compiled against them know. */
#define CAB_WALK_NAMES
#include "cab/cab.h"

_Static_assert(CannotOpen == 1 && BadSignature == 2 && BadVersion == 3 && DamagedCabinet == 4 &&
                   NoMemory == 5 && UnknownMethod == 6 && CodecFailed == 7 &&
                   OutputFailed == 8 && ReserveSizeChanged == 9 && NotNextInSet == 10 &&
                   ClientAbort == 11,
               "error codes");
_Static_assert(CabinetOpened == 0 && FileFromPrevious == 1 && OpenOutput == 2 &&
                   CloseOutput == 3 && NeedCabinet == 4 && DirectoryCursor == 5,
               "notification kinds");
_Static_assert(CabinetReserve == 0 && FolderReserve == 1 && DataBlockReserve == 2,
               "reserve event kinds");

uint32_t checksumOfAbc(void);
uint32_t checksumOfAbc(void) {
    static const uint8_t abc[] = {'a', 'b', 'c'};
    return blockChecksum(abc, 3, 0);
}
