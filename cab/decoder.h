// The decoder context and the steps the extraction walk is built from.
// Internal to the cabinet decoder; clients see cab/cab.h and cab/cab_reader.h.
#pragma once

#include "cab/cab.h"
#include "cab/cab_reader.h"
#include "cab/codec.h"
#include "cab/format.h"

#include <cstdint>

namespace cab {

// Sizes of the decoder's name buffers and its markers for "unknown".
constexpr uint32_t kTextSize = kCabNameBufferSize;  // 256 characters and a NUL
constexpr uint32_t kSizeUnknown = 0xFFFF;    // a reserve-related size not yet learned
constexpr uint16_t kNoFolder = 0xFFFF;
constexpr uint16_t kAnyCabinet = 0xFFFF;     // openCabinet without a set check

}  // namespace cab

// The decoder context behind the client's opaque handle.
struct CabDecoder {
    CabError* error;
    CabIoCallbacks io;
    int32_t cpuType;

    CabNotifyFn notify;
    CabReserveHook reserveHook;
    void* userContext;

    uint32_t blockStart;        // folder offset of the block in outputBuffer

    const Codec* codecTable;    // the loaded codec's functions (methods 1-3)
    void* codec;                // the loaded codec instance
    CodecParams codecParams;

    uint8_t* inputBuffer;       // inputBufferSize bytes + kCodecInputSlack
    uint8_t* outputBuffer;      // outputBlockSize bytes
    uint8_t* folderRecord;      // folderRecordSize bytes; the reserve bytes follow 8 unused ones
    uint8_t* blockHeader;       // blockHeaderSize bytes
    uint8_t* cabinetReserve;    // cabinetReserveSize bytes

    CabReader cabinet;          // the open cabinet's header and folder table
    CabFileRecord file;         // the file entry being handled, with its name

    int32_t dataHandle;         // folder records and data blocks
    int32_t directoryHandle;    // header, names and the file list
    int32_t outputHandle;       // the file being written, -1 when none

    uint16_t currentFolder;     // kNoFolder when none is selected
    uint32_t outputBlockSize;
    uint32_t inputBufferSize;
    bool continuing;            // the walk has crossed into the next cabinet

    uint32_t cabinetReserveSize;
    bool cabinetReserveKnown;   // cabinetReserveSize was learned (65,535 is a real size)
    uint32_t folderRecordSize;
    uint32_t blockHeaderSize;

    // Counters wrap as 16-bit numbers, as the format's counts do.
    uint16_t filesLeft;
    uint16_t filesToSkip;
    uint16_t blocksLeft;
    uint16_t compressionType;

    CabSetNames names;          // the open cabinet's neighbours
    char cabinetPath[cab::kTextSize];
    char fullPath[cab::kTextSize];

    CabNotification notification;
    CabReserveEvent reserveEvent;
};

namespace cab {

// Records an error in the client's record; always returns false so callers
// can write `return setError(...)`.
bool setError(CabDecoder* d, int32_t code, int32_t detail = 0);

// Bounded copy of a NUL-terminated string into a kTextSize buffer; false
// (and the buffer left holding a truncated copy) when it does not fit.
bool copyText(char* destination, const char* source);

// Header and directory.
bool openCabinet(CabDecoder* d, const char* cabinetName, uint16_t expectedSetId,
                 uint16_t expectedIndex);
bool readFileEntry(CabDecoder* d);
// continuesFolder: folder 0 of the next cabinet, carrying on the folder in
// progress (no codec switch allowed).
bool loadFolder(CabDecoder* d, uint16_t folderIndex, bool continuesFolder = false);

// Data blocks.
bool readBlock(CabDecoder* d, uint16_t offset);
bool nextBlock(CabDecoder* d);
uint16_t blockDataSize(const CabDecoder* d);
uint16_t blockUncompressedSize(const CabDecoder* d);

// Reserve events.
bool raiseCabinetEvent(CabDecoder* d);
bool raiseFolderEvent(CabDecoder* d);
bool raiseDataBlockEvent(CabDecoder* d, uint16_t offset);

// The walk.
bool moveToNextCabinet(CabDecoder* d);

// Codec dispatch.
bool setCompressionType(CabDecoder* d, uint16_t type);
bool releaseCodec(CabDecoder* d);
bool createCodec(CabDecoder* d);
bool resetCodec(CabDecoder* d);
bool decompressBlock(CabDecoder* d, uint16_t* size);

}  // namespace cab
