// Cabinet directory reader: the header with its reserve fields and set
// names, the folder records and the file entries, each bounds-checked.
//
// The reader reaches the cabinet only through the client's read and seek
// callbacks (the same ones cabCreate takes), allocates nothing, prints
// nothing and never reads past a record's declared size into a caller's
// buffer. Every operation returns a CabReadStatus naming what was wrong with
// the record, so a client can tell a truncated cabinet from a damaged one.
//
// A cabinet is read in this order, each step continuing where the previous
// one left the handle:
//   cabReadHeader         the 36-byte fixed header
//   cabReadReserveSizes   cbCFHeader, cbCFFolder, cbCFData (when flagged)
//   cabReadCabinetReserve the cabinet's reserve area (when flagged)
//   cabReadSetNames       previous/next cabinet and disk names; notes where
//                         the folder table lies and moves to the file list
// then, in any order and through any handle open on the same cabinet,
// cabReadFolder for a folder record and cabReadFileEntry for the file entry
// at the handle's position.
//
// The header compiles as C (C11 or later) and as C++, with C linkage.
#pragma once

#include "cab/cab.h"

#ifdef __cplusplus
extern "C" {
#endif

// What a read found. CabReadOk is 0; every other value names the damage.
typedef enum CabReadStatus {
    CabReadOk = 0,
    CabReadShortHeader = 1,          // fewer than 36 bytes where the header lies
    CabReadBadSignature = 2,         // the header does not start with "MSCF"
    CabReadBadVersion = 3,           // the version word is not 0x0103
    CabReadShortReserveSizes = 4,    // the file ends inside the reserve sizes
    CabReadShortReserveArea = 5,     // the file ends inside the cabinet's reserve area
    CabReadNameUnterminated = 6,     // the file ends before a name's NUL
    CabReadNameTooLong = 7,          // no NUL within a name's 256 bytes
    CabReadBadPosition = 8,          // seek could not report or reach a record's place
    CabReadFolderPastTable = 9,      // a folder index at or past cFolders
    CabReadShortFolder = 10,         // the file ends inside a folder record
    CabReadBlockOffsetTooLarge = 11, // coffCabStart lies beyond what seek can reach
    CabReadShortFile = 12,           // the file ends inside a file entry's fixed part
    CabReadFileFolderPastTable = 13, // iFolder past the folder table, not a continuation marker
} CabReadStatus;

// The fixed header (CFHEADER) and the reserve sizes that may follow it.
typedef struct CabHeaderRecord {
    uint32_t cbCabinet;   // the cabinet's size in bytes, as declared
    uint32_t coffFiles;   // file offset of the first file entry
    uint16_t version;     // versionMinor | versionMajor << 8
    uint16_t cFolders;    // folder records in this cabinet
    uint16_t cFiles;      // file entries in this cabinet
    uint16_t flags;       // 0x0001 previous, 0x0002 next, 0x0004 reserve fields
    uint16_t setID;       // the set the cabinet belongs to
    uint16_t iCabinet;    // the cabinet's index in its set
    uint16_t cbCFHeader;  // bytes of the cabinet's reserve area (0 without flag 0x0004)
    uint8_t cbCFFolder;   // reserve bytes after each folder record
    uint8_t cbCFData;     // reserve bytes after each data block header
} CabHeaderRecord;

// The names of the neighbouring cabinets of a set; empty when not present.
typedef struct CabSetNames {
    char previousCabinet[kCabNameBufferSize];
    char previousDisk[kCabNameBufferSize];
    char nextCabinet[kCabNameBufferSize];
    char nextDisk[kCabNameBufferSize];
} CabSetNames;

// One folder record (CFFOLDER) without its reserve bytes.
typedef struct CabFolderRecord {
    uint32_t coffCabStart;  // file offset of the folder's first data block here
    uint16_t cCFData;       // data blocks of the folder in this cabinet
    uint16_t typeCompress;  // compression method and parameter
} CabFolderRecord;

// One file entry (CFFILE) with its name.
typedef struct CabFileRecord {
    uint32_t cbFile;           // uncompressed size
    uint32_t uoffFolderStart;  // offset of the first byte within the folder
    uint16_t iFolder;          // folder index, or 0xFFFD/0xFFFE/0xFFFF for continued files
    uint16_t date;             // DOS date
    uint16_t time;             // DOS time
    uint16_t attribs;          // attributes; 0x40 runs the file after extraction
    char name[kCabNameBufferSize];  // the name as stored, NUL-terminated
} CabFileRecord;

// What the reader knows of one cabinet. Plain data, owned by the caller; it
// may be copied. It holds no handle: each read names the handle to use.
typedef struct CabReader {
    CabReadFn read;
    CabSeekFn seek;
    CabHeaderRecord header;     // valid after cabReadHeader (and its reserve sizes after cabReadReserveSizes)
    int32_t folderTableOffset;  // file offset of the first folder record; -1 until cabReadSetNames
} CabReader;

// Prepares a reader over the client's read and seek callbacks; nothing is
// read. The header fields are zero and folderTableOffset is -1.
CAB_API void cabReaderInit(CabReader* reader, CabReadFn read, CabSeekFn seek);

// Reads the 36-byte fixed header at the handle's current position; the
// handle is left 36 bytes further on and is not seeked. Errors:
// CabReadShortHeader, CabReadBadSignature, CabReadBadVersion (the header
// fields are filled, so header.version tells the version found).
CAB_API CabReadStatus cabReadHeader(CabReader* reader, int32_t handle);

// Reads the reserve sizes that follow the fixed header when flags 0x0004 is
// set; without it they are 0 and nothing is read. Error:
// CabReadShortReserveSizes.
CAB_API CabReadStatus cabReadReserveSizes(CabReader* reader, int32_t handle);

// Consumes exactly header.cbCFHeader bytes of reserve area at the handle's
// position. The first min(cbCFHeader, capacity) of them go into buffer (which
// may be null when capacity is 0); the rest of the buffer is zero-filled and
// bytes beyond capacity are passed over by seeking. Errors:
// CabReadShortReserveArea, CabReadBadPosition.
CAB_API CabReadStatus cabReadCabinetReserve(const CabReader* reader, int32_t handle,
                                            uint8_t* buffer, uint32_t capacity);

// Reads one NUL-terminated name of at most 255 characters at the handle's
// position into a kCabNameBufferSize buffer and leaves the handle just past
// its NUL. The buffer ends with a NUL whatever the outcome. Errors:
// CabReadNameUnterminated, CabReadNameTooLong, CabReadBadPosition.
CAB_API CabReadStatus cabReadName(const CabReader* reader, int32_t handle, char* buffer);

// Reads the previous cabinet and disk names (flags 0x0001) and the next
// cabinet and disk names (flags 0x0002) into names, leaving absent ones
// empty; then records folderTableOffset (the position reached) and seeks the
// handle to coffFiles, where the first file entry lies. Errors: those of
// cabReadName, and CabReadBadPosition.
CAB_API CabReadStatus cabReadSetNames(CabReader* reader, int32_t handle, CabSetNames* names);

// Reads folder record `index` through the handle (which it seeks), after
// cabReadSetNames has located the table. The folder's reserve bytes, up to
// capacity of them, go into reserve (null when capacity is 0). The handle's
// position afterwards is unspecified. Errors: CabReadFolderPastTable,
// CabReadBadPosition, CabReadShortFolder, CabReadBlockOffsetTooLarge.
CAB_API CabReadStatus cabReadFolder(const CabReader* reader, int32_t handle, uint16_t index,
                                    CabFolderRecord* folder, uint8_t* reserve, uint32_t capacity);

// Reads the file entry at the handle's position and leaves the handle at the
// next one. Errors: CabReadShortFile, those of cabReadName, and
// CabReadFileFolderPastTable, which is returned with the entry filled in
// full: a client that never needs the folder (an empty file, a skipped one)
// may go on.
CAB_API CabReadStatus cabReadFileEntry(const CabReader* reader, int32_t handle,
                                       CabFileRecord* file);

// A short English description of a status, for clients' messages.
CAB_API const char* cabReadStatusText(CabReadStatus status);

#ifdef __cplusplus
}  // extern "C"
#endif
