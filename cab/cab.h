// Cabinet decoder: the client interface.
//
// The decoder reads cabinet files (signature "MSCF", version 1.3) and hands
// their files to its client through notifications. It touches memory and files
// only through the callbacks the client supplies, prints nothing and reports
// every failure through a caller-owned CabError record.
//
// The header compiles as C (C11 or later) and as C++; the operations have C
// linkage, so C programs link the decoder library as C++ programs do.
#pragma once

#ifdef __cplusplus
#include <cstdint>
extern "C" {
#else
#include <stdint.h>
#endif

// ---- Client callbacks -------------------------------------------------------
// File handles are plain 32-bit integers; -1 means no handle, or failure.

typedef void* (*CabAllocFn)(uint32_t size);
typedef void (*CabFreeFn)(void* block);
typedef int32_t (*CabOpenFn)(const char* path, int flags, int mode);
typedef int (*CabReadFn)(int32_t handle, void* buffer, uint32_t count);
typedef int (*CabWriteFn)(int32_t handle, const void* buffer, uint32_t count);
typedef int (*CabCloseFn)(int32_t handle);
// origin 0: from the start, 1: from the current position. Returns the new
// position or -1.
typedef int32_t (*CabSeekFn)(int32_t handle, int32_t offset, int origin);

// The seven callbacks, in the order cabCreate takes them.
typedef struct CabIoCallbacks {
    CabAllocFn alloc;
    CabFreeFn free;
    CabOpenFn open;
    CabReadFn read;
    CabWriteFn write;
    CabCloseFn close;
    CabSeekFn seek;
} CabIoCallbacks;

// Flags and mode the decoder opens cabinet files with: binary, read-only;
// read and write permission bits.
#ifdef __cplusplus
constexpr int kCabOpenFlags = 0x8000;
constexpr int kCabOpenMode = 0x180;
#else
enum { kCabOpenFlags = 0x8000, kCabOpenMode = 0x180 };
#endif

// ---- Errors -----------------------------------------------------------------

typedef enum CabErrorCode {
    CabNoError = 0,
    CannotOpen = 1,
    BadSignature = 2,
    BadVersion = 3,
    DamagedCabinet = 4,
    NoMemory = 5,
    UnknownMethod = 6,
    CodecFailed = 7,
    OutputFailed = 8,
    ReserveSizeChanged = 9,
    NotNextInSet = 10,
    ClientAbort = 11,
} CabErrorCode;

// Owned by the caller; the decoder only ever writes it.
typedef struct CabError {
    int32_t errorCode;  // CabErrorCode of the most recent failure
    int32_t detail;     // the version word found, for BadVersion; else 0
    int32_t failed;     // set to 1 each time an error is recorded
} CabError;

// A short English description of an error code, for clients' messages.
const char* cabErrorText(int32_t errorCode);

// ---- Cabinet facts ----------------------------------------------------------

typedef struct CabInfo {
    uint32_t cabinetSize;  // cbCabinet
    uint16_t folderCount;  // cFolders
    uint16_t fileCount;    // cFiles
    uint16_t setId;        // setID
    uint16_t cabinetIndex; // iCabinet
    int32_t hasReserve;    // 1 when the header carries reserve fields
    int32_t hasPrevious;   // flags & 0x0001
    int32_t hasNext;       // flags & 0x0002 (2 or 0)
} CabInfo;

// ---- Notifications ----------------------------------------------------------

typedef enum CabNotifyKind {
    CabinetOpened = 0,
    FileFromPrevious = 1,
    OpenOutput = 2,
    CloseOutput = 3,
    NeedCabinet = 4,
    DirectoryCursor = 5,
} CabNotifyKind;

// One record, reused for every notification; each kind sets only its fields.
typedef struct CabNotification {
    int32_t size;          // file size; run-after flag (CloseOutput); directory position (DirectoryCursor)
    char* text1;           // file name; or the next cabinet's file name
    char* text2;           // previous cabinet's name; or the next cabinet's disk name
    char* text3;           // previous cabinet's disk name; or the cabinet path
    void* userContext;     // the value given to cabExtract
    int32_t fileHandle;    // the output handle (CloseOutput)
    uint16_t date;         // DOS date
    uint16_t time;         // DOS time
    uint16_t attributes;   // file attributes
    uint16_t setId;        // set identifier
    uint16_t cabinetIndex; // index of a cabinet in its set
    uint16_t folderIndex;  // the file's iFolder; or entries left (DirectoryCursor)
    int32_t lastError;     // NeedCabinet: 0 on the first request, else the failed attempt's code
} CabNotification;

// Returns -1 to abort; the meaning of other answers depends on the kind.
typedef int (*CabNotifyFn)(int kind, CabNotification* notification);

// Sizes of the strings a client may rewrite during NeedCabinet (text1, text3):
// 256 characters and a NUL.
#ifdef __cplusplus
constexpr uint32_t kCabNameBufferSize = 257;
#else
enum { kCabNameBufferSize = 257 };
#endif

// ---- Reserve events ---------------------------------------------------------

typedef enum CabReserveEventKind {
    CabinetReserve = 0,
    FolderReserve = 1,
    DataBlockReserve = 2,
} CabReserveEventKind;

// Per-kind fields of a reserve event.
typedef struct CabReserveCabinet {
    uint16_t setId;
    uint32_t cabinetIndex;
} CabReserveCabinet;

typedef struct CabReserveFolder {
    uint16_t folderIndex;
} CabReserveFolder;

typedef struct CabReserveDataBlock {
    uint8_t* data;          // the data bytes of the piece just read
    uint16_t dataSize;      // the block's data size after joining
    int32_t split;          // 1 for a piece of a block split across cabinets
    uint16_t firstPartSize; // bytes read from the previous cabinet
} CabReserveDataBlock;

typedef struct CabReserveEvent {
    uint32_t kind;        // CabReserveEventKind
    void* userContext;    // the value given to cabExtract
    uint8_t* reserve;     // the reserve bytes, or null
    uint16_t reserveSize; // number of reserve bytes
    union {
        CabReserveCabinet cabinet;
        CabReserveFolder folder;
        CabReserveDataBlock dataBlock;
    };
} CabReserveEvent;

// Optional second callback of cabExtract; -1 aborts the extraction.
typedef int (*CabReserveHook)(CabReserveEvent* event);

// ---- Operations -------------------------------------------------------------

typedef struct CabDecoder CabDecoder;

// Creates a decoder over the client's callbacks; null (with NoMemory
// recorded) when the context cannot be allocated.
CabDecoder* cabCreate(CabAllocFn alloc, CabFreeFn free, CabOpenFn open, CabReadFn read,
                      CabWriteFn write, CabCloseFn close, CabSeekFn seek, int32_t cpuType,
                      CabError* error);

// Releases the decoder, its codec, buffers and cabinet handles. Returns 1.
int32_t cabDestroy(CabDecoder* decoder);

// Reads 36 bytes at the handle's current position; 1 and info filled when
// they are a version 1.3 cabinet header.
int32_t cabIsCabinet(CabDecoder* decoder, int32_t handle, CabInfo* info);

// Walks the cabinet cabinetPath + cabinetName (and the cabinets its files
// continue into), handing every file to the client through notify.
int32_t cabExtract(CabDecoder* decoder, const char* cabinetName, const char* cabinetPath,
                   CabNotifyFn notify, CabReserveHook reserveHook, void* userContext);

// The data-block checksum: XOR of the little-endian 32-bit words of the data,
// then the trailing bytes packed high-first, starting from seed.
uint32_t blockChecksum(const uint8_t* data, uint32_t length, uint32_t seed);

#ifdef __cplusplus
}  // extern "C"
#endif
