// Cabinet decoder: the client interface.
//
// The decoder reads cabinet files (signature "MSCF", version 1.3) and hands
// their files to its client through notifications. It touches memory and files
// only through the callbacks the client supplies, prints nothing and reports
// every failure through a caller-owned CabError record.
//
// The header compiles as C (C11 or later) and as C++; the operations have C
// linkage, so C programs link the decoder library as C++ programs do.
//
// Names: everything this header defines starts with cab, Cab, CAB_ or kCab.
// Code written against the walk interface's earlier, unprefixed names
// (CannotOpen, OpenOutput, CabinetReserve, blockChecksum, ...) defines
// CAB_WALK_NAMES before including it; the old names then stand beside the
// prefixed ones, with the same values and meaning.
#pragma once

#include "cab/cab_export.h"

#ifdef __cplusplus
#include <cstdint>
extern "C" {
#else
#include <stdint.h>
#endif

// ---- Client callbacks -------------------------------------------------------
// The decoder reaches memory and files only through these. File handles are
// plain 32-bit integers chosen by the client; -1 means no handle, or failure.
// A callback is never called with a handle the client did not hand out
// (from open, or as an OpenOutput answer).

// Returns `size` bytes of memory, or null when there is none. The decoder
// asks at creation, when a cabinet or folder first needs a buffer, and when a
// codec is loaded; never while a block is decoded.
typedef void* (*CabAllocFn)(uint32_t size);
// Releases a block alloc returned.
typedef void (*CabFreeFn)(void* block);
// Opens `path` and returns a handle, or -1. The decoder opens cabinets with
// kCabOpenFlags and kCabOpenMode (binary, read-only), each one twice at the
// same time. The Quantum codec may ask for a scratch file to page its window
// to, when the window cannot be had in one block of memory: the path is then
// the one-character string "*" with the size wanted as a 32-bit little-endian
// number in the 4 bytes after its NUL, and the flags are kCabSpillFlags
// (binary, create, read and write). Answer -1 to refuse it.
typedef int32_t (*CabOpenFn)(const char* path, int flags, int mode);
// Reads up to `count` bytes at the handle's position into `buffer` and
// returns how many were read (0 at the end of the file) or -1. The decoder
// treats fewer bytes than asked as the cabinet ending there, except when it
// reads a name, where any positive count is taken.
typedef int (*CabReadFn)(int32_t handle, void* buffer, uint32_t count);
// Writes `count` bytes and returns how many were written; anything other
// than `count` is a failure (CabErrOutputFailed for an output file).
typedef int (*CabWriteFn)(int32_t handle, const void* buffer, uint32_t count);
// Closes a handle; returns 0 on success. The result is looked at only when
// the decoder closes a cabinet to move to the next one of a set (non-zero is
// CabErrDamagedCabinet there); output handles are closed by the client in
// CloseOutput, and by the decoder only when extraction fails around them.
typedef int (*CabCloseFn)(int32_t handle);
// origin 0: from the start, 1: from the current position. Returns the new
// position or -1. Offset 0 from origin 1 asks for the current position.
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
// read and write permission bits. kCabSpillFlags: the Quantum codec's
// scratch file (binary, create if absent, read and write), with the same
// mode.
#ifdef __cplusplus
constexpr int kCabOpenFlags = 0x8000;
constexpr int kCabOpenMode = 0x180;
constexpr int kCabSpillFlags = 0x8102;
#else
enum { kCabOpenFlags = 0x8000, kCabOpenMode = 0x180, kCabSpillFlags = 0x8102 };
#endif

// ---- Errors -----------------------------------------------------------------

typedef enum CabErrorCode {
    CabNoError = 0,
    CabErrCannotOpen = 1,          // a cabinet file could not be opened
    CabErrBadSignature = 2,        // no "MSCF" header, or the header or reserve area is cut short
    CabErrBadVersion = 3,          // the version word is not 0x0103 (detail: the word found)
    CabErrDamagedCabinet = 4,      // a record cannot be read or located, a checksum does not match
    CabErrNoMemory = 5,            // alloc returned null, or a codec ran out of memory
    CabErrUnknownMethod = 6,       // a folder's compression method is not 0 to 3
    CabErrCodecFailed = 7,         // the compressed data could not be decoded
    CabErrOutputFailed = 8,        // write moved fewer bytes, or CloseOutput was answered 0
    CabErrReserveSizeChanged = 9,  // a later cabinet's reserve sizes differ from the first's
    CabErrNotNextInSet = 10,       // the cabinet opened is not the next one of the set
    CabErrClientAbort = 11,        // the client answered -1, or its directory position failed
#ifdef CAB_WALK_NAMES
    CannotOpen = CabErrCannotOpen,
    BadSignature = CabErrBadSignature,
    BadVersion = CabErrBadVersion,
    DamagedCabinet = CabErrDamagedCabinet,
    NoMemory = CabErrNoMemory,
    UnknownMethod = CabErrUnknownMethod,
    CodecFailed = CabErrCodecFailed,
    OutputFailed = CabErrOutputFailed,
    ReserveSizeChanged = CabErrReserveSizeChanged,
    NotNextInSet = CabErrNotNextInSet,
    ClientAbort = CabErrClientAbort,
#endif
} CabErrorCode;

// Owned by the caller; the decoder only ever writes it.
typedef struct CabError {
    int32_t errorCode;  // CabErrorCode of the most recent failure
    int32_t detail;     // the version word found, for CabErrBadVersion; else 0
    int32_t failed;     // set to 1 each time an error is recorded
} CabError;

// A short English description of an error code, for clients' messages; a
// code the decoder does not know gets "unknown error". Never null.
CAB_API const char* cabErrorText(int32_t errorCode);

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
// cabExtract talks to its client through one callback, called with a kind and
// the decoder's one CabNotification record. Each kind sets only the fields
// listed with it; the others hold what an earlier notification left. An
// answer of -1 to any kind stops the walk with CabErrClientAbort.
//
// CabNotifyCabinetOpened: a cabinet has been opened and its header read (the
//   first one and each next one of a set). text1 = the next cabinet's file
//   name, text2 = its disk name (both "" when there is none), text3 = the
//   cabinet path, setId, cabinetIndex = this cabinet's. Any other answer goes
//   on.
// CabNotifyFileFromPrevious: a file whose data begins in an earlier cabinet,
//   met before the walk has crossed into this one; it cannot be extracted
//   from here and is skipped whatever the answer (but -1). size = its size,
//   text1 = its name, text2 and text3 = the previous cabinet's file and disk
//   names, date, time, attributes as stored, folderIndex = its iFolder.
// CabNotifyOpenOutput: a file can be extracted; fields as for
//   FileFromPrevious. Answer a handle (not 0 or -1) that the write callback
//   accepts to take the file: its bytes are written there, then
//   CloseOutput comes. Answer 0 to skip it; nothing is decoded for it.
// CabNotifyCloseOutput: every byte of the file has been written. text1 = its
//   name, fileHandle = the handle the client gave, date and time,
//   attributes = the stored ones less bit 0x40, size = 1 when the stored
//   attributes had 0x40 (run after extraction) else 0, folderIndex. The
//   client closes the handle and answers non-zero; 0 records
//   CabErrOutputFailed and ends the walk (the handle still counts as closed by
//   the client); -1 ends it with CabErrClientAbort and the decoder closes
//   the handle itself.
// CabNotifyNeedCabinet: the file's data goes on in the next cabinet of the
//   set. text1 = that cabinet's file name, text2 = its disk name, text3 =
//   the cabinet path, setId = the current cabinet's, cabinetIndex = the index
//   wanted, lastError = 0 on the first request, else the CabErrorCode of the
//   failed attempt to open it. The client may rewrite the strings behind
//   text1 (the file name) and text3 (the directory), each a
//   kCabNameBufferSize buffer, keeping their joined length within 256
//   characters. Any answer but -1 makes the decoder try to open it; a failed
//   attempt asks again, as often as the client does not answer -1.
// CabNotifyDirectoryCursor: once after the first cabinet is opened, and each
//   time the count of file entries left reaches 0. size = the position of
//   the next file entry, folderIndex = the entries left, setId. Any answer
//   but -1 goes on; the client may change folderIndex (how many entries are
//   still read; 0 ends the walk) and size (where they are read from).
//
// The strings behind text1, text2 and text3 belong to the decoder and stay
// valid only until the callback returns; copy what is kept.

typedef enum CabNotifyKind {
    CabNotifyCabinetOpened = 0,
    CabNotifyFileFromPrevious = 1,
    CabNotifyOpenOutput = 2,
    CabNotifyCloseOutput = 3,
    CabNotifyNeedCabinet = 4,
    CabNotifyDirectoryCursor = 5,
#ifdef CAB_WALK_NAMES
    CabinetOpened = CabNotifyCabinetOpened,
    FileFromPrevious = CabNotifyFileFromPrevious,
    OpenOutput = CabNotifyOpenOutput,
    CloseOutput = CabNotifyCloseOutput,
    NeedCabinet = CabNotifyNeedCabinet,
    DirectoryCursor = CabNotifyDirectoryCursor,
#endif
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

// Called with a CabNotifyKind and the record; the answer's meaning depends
// on the kind (above), -1 always stops the walk.
typedef int (*CabNotifyFn)(int kind, CabNotification* notification);

// Sizes of the strings a client may rewrite during NeedCabinet (text1, text3):
// 256 characters and a NUL.
#ifdef __cplusplus
constexpr uint32_t kCabNameBufferSize = 257;
#else
enum { kCabNameBufferSize = 257 };
#endif

// ---- Reserve events ---------------------------------------------------------

// The optional reserve hook is told of each cabinet, folder and data block
// with the reserve bytes the cabinet's maker put beside it. The record and
// the bytes behind its pointers belong to the decoder and stay valid only
// until the hook returns.
typedef enum CabReserveEventKind {
    CabReserveCabinetEvent = 0,    // a cabinet's header has been read
    CabReserveFolderEvent = 1,     // a folder record has been read
    CabReserveDataBlockEvent = 2,  // a data block (or a piece of a split one) has been read
#ifdef CAB_WALK_NAMES
    CabinetReserve = CabReserveCabinetEvent,
    FolderReserve = CabReserveFolderEvent,
    DataBlockReserve = CabReserveDataBlockEvent,
#endif
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

// Optional second callback of cabExtract; -1 stops the walk with
// CabErrClientAbort, any other answer goes on.
typedef int (*CabReserveHook)(CabReserveEvent* event);

// ---- Operations -------------------------------------------------------------
// Operations return 1 on success and 0 on failure, with the reason in the
// client's CabError. A decoder is used by one thread at a time; decoders
// share no state, so different ones may work on different threads at once.

typedef struct CabDecoder CabDecoder;

// Creates a decoder over the client's callbacks (none may be null) and its
// error record, which must outlive the decoder. cpuType selects a processor
// type for the Quantum codec; it is kept and handed on but changes nothing
// in decoding, and every value is accepted (1 is what the installer passes).
// Returns null, with CabErrNoMemory recorded, when the context cannot be
// allocated.
CAB_API CabDecoder* cabCreate(CabAllocFn alloc, CabFreeFn free, CabOpenFn open, CabReadFn read,
                              CabWriteFn write, CabCloseFn close, CabSeekFn seek,
                              int32_t cpuType, CabError* error);

// Releases the decoder, its codec, buffers and cabinet handles. An output
// handle the client was given is not touched. Returns 1.
CAB_API int32_t cabDestroy(CabDecoder* decoder);

// Reads 36 bytes at the handle's current position, without seeking before or
// after; returns 1 and fills info when they are a version 1.3 cabinet
// header. Returns 0 with nothing recorded when they are not a cabinet header
// (too short, no "MSCF"), and 0 with CabErrBadVersion (detail: the version
// word) for another version.
CAB_API int32_t cabIsCabinet(CabDecoder* decoder, int32_t handle, CabInfo* info);

// Walks the cabinet cabinetPath + cabinetName (and the cabinets its files
// continue into), handing every file to the client through notify and the
// reserve areas through reserveHook (null for none). Both strings are copied
// and together hold at most 256 characters. userContext is handed back in
// every notification and event. A file continued into the next cabinet
// pulls that cabinet in (NeedCabinet); the walk then offers the files
// continued into it and ends at the first file of that cabinet alone: the
// client calls cabExtract again for the rest. Returns 1 when the walk ended
// normally, 0 on a failure recorded in the decoder's CabError; files
// finished before it stay finished. The cabinet handles are closed either
// way.
CAB_API int32_t cabExtract(CabDecoder* decoder, const char* cabinetName, const char* cabinetPath,
                           CabNotifyFn notify, CabReserveHook reserveHook, void* userContext);

// The data-block checksum: XOR of the little-endian 32-bit words of the data,
// then the trailing bytes packed high-first, starting from seed.
CAB_API uint32_t cabBlockChecksum(const uint8_t* data, uint32_t length, uint32_t seed);

#ifdef CAB_WALK_NAMES
// The checksum under its earlier name.
static inline uint32_t blockChecksum(const uint8_t* data, uint32_t length, uint32_t seed) {
    return cabBlockChecksum(data, length, seed);
}
#endif

#ifdef __cplusplus
}  // extern "C"
#endif
