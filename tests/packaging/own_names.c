/* Without CAB_WALK_NAMES the installed headers leave the walk interface's
 * earlier, unprefixed names free: a client may define its own. Compiled as
 * C and as C++. */
#include "archive/cab_archive.h"
#include "cab/cab.h"
#include "cab/cab_reader.h"
#ifdef __cplusplus
#include "cab/cab_owner.h"
#endif

int CannotOpen, BadSignature, BadVersion, DamagedCabinet, NoMemory, UnknownMethod, CodecFailed,
    OutputFailed, ReserveSizeChanged, NotNextInSet, ClientAbort;
int CabinetOpened, FileFromPrevious, OpenOutput, CloseOutput, NeedCabinet, DirectoryCursor;
int CabinetReserve, FolderReserve, DataBlockReserve;
int blockChecksum;
