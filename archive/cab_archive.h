// Cabinet archives: the high-level interface of the Q-Mora cabinet library.
//
// An archive is one cabinet, or a whole set of cabinets opened from any of
// its members, read from a file, a memory buffer or a client's stream. It
// lists its entries (the files the cabinets hold) and extracts chosen ones
// to a directory, to memory or to a client's callbacks. Every chosen entry
// ends an extraction with an explicit outcome; nothing is dropped silently.
//
// Threads: archives are independent of each other. Different archives may be
// used on different threads at the same time; one archive must not be used by
// two threads at once. The library keeps no process-wide state.
//
// Errors: every call that can fail returns a CabArchiveStatus (CabArchiveOk
// is 0) and, when given a CabArchiveError, fills it with the same code and a
// message in English naming the cabinet and what was wrong.
//
// Names: every name this header defines starts with cab, Cab or CAB_.
// The header compiles as C (C11 or later) and as C++, with C linkage.
#pragma once

#include "cab/cab_export.h"

#ifdef __cplusplus
#include <csignal>
#include <cstddef>
#include <cstdint>
extern "C" {
#else
#include <signal.h>
#include <stddef.h>
#include <stdint.h>
#endif

// ---- Results ----------------------------------------------------------------

typedef enum CabArchiveStatus {
    CabArchiveOk = 0,
    CabArchiveBadArgument = 1,   // a null pointer, an index out of range, a bad option
    CabArchiveCannotOpen = 2,    // a file could not be opened or read (the message says why)
    CabArchiveNotCabinet = 3,    // no cabinet where one was expected
    CabArchiveDamaged = 4,       // a cabinet's directory is damaged: the entries read before
                                 // the damage are listed, the rest are lost
    CabArchiveNoMemory = 5,
    CabArchiveIncomplete = 6,    // extraction: at least one chosen entry was not extracted
    CabArchiveStopped = 7,       // extraction: a client callback asked to stop
} CabArchiveStatus;

// Sizes of the message buffer of CabArchiveError and of reasons.
#define CAB_ARCHIVE_MESSAGE_SIZE 512

// Owned by the caller; filled by a call that fails (code 0 and an empty
// message when it succeeds).
typedef struct CabArchiveError {
    int32_t code;                            // a CabArchiveStatus
    char message[CAB_ARCHIVE_MESSAGE_SIZE];  // UTF-8, NUL-terminated
} CabArchiveError;

// A short English description of a status code.
CAB_API const char* cabArchiveStatusText(int32_t status);

// ---- Sources ----------------------------------------------------------------

// A cabinet read through the client's callbacks. The library may read the
// same stream for several purposes; it always seeks before it reads.
typedef struct CabArchiveStream {
    void* context;
    // Reads up to `count` bytes at the current position into `buffer`.
    // Returns the number read (0 at the end) or -1 on an error.
    int32_t (*read)(void* context, void* buffer, uint32_t count);
    // Moves the position: origin 0 from the start, 1 from the current
    // position, 2 from the end. Returns the new position or -1.
    int64_t (*seek)(void* context, int64_t offset, int origin);
    // Optional (may be null): the archive no longer needs the stream. Called
    // once, by cabArchiveClose or when opening fails.
    void (*close)(void* context);
} CabArchiveStream;

// Asked for another cabinet of the set, by the file name its neighbour's
// header gives (`name`, as stored, e.g. "DISK2.CAB"). Fill `stream` and
// return 1, or return 0 when the client has no such cabinet (the entries that
// need it then end as CabOutcomeUnreachable). The stream is closed like any
// other.
typedef int (*CabArchiveNeighbourFn)(void* context, const char* name, CabArchiveStream* stream);

// ---- Options ----------------------------------------------------------------

typedef struct CabArchiveOptions {
    // Where the cabinet begins in the file, buffer or stream (default 0).
    uint64_t offset;
    // 1: when no cabinet begins at `offset`, search the rest of the file for
    // the first cabinet stored inside it (a self-extracting program, an
    // installer), with the bounded search of cabArchiveFindEmbedded.
    // Default 0.
    int32_t searchEmbedded;
    // 1 (default): the cabinets before and after this one in its set join
    // the archive. 0: this cabinet alone; entries continued from or into
    // another cabinet then end as CabOutcomeUnreachable.
    int32_t followSet;
    // Where the other cabinets of a set come from. Null (default): for an
    // archive opened from a path, the files its neighbours name in the same
    // directory (a name differing only in ASCII letter case is accepted);
    // for memory and streams, nowhere.
    CabArchiveNeighbourFn neighbour;
    void* neighbourContext;
    // The legacy code page of names stored without the UTF-8 attribute, as
    // an encoding name: "windows-1252" (default, when null), "cp437",
    // "cp850", "iso-8859-1", "utf-8" or any name the C library's iconv
    // knows. An unknown name fails the open with CabArchiveBadArgument.
    const char* codePage;
    // Quantum folders keep their window (up to 2 MB) in memory (0, default)
    // or, with 3 or more, in at most that many 4 KB page buffers, the rest
    // paged to a temporary file in $TMPDIR (or /tmp): less memory, slower.
    uint32_t quantumWindowPages;
} CabArchiveOptions;

// Fills `options` with the defaults above.
CAB_API void cabArchiveDefaultOptions(CabArchiveOptions* options);

// ---- Opening and closing ----------------------------------------------------

typedef struct CabArchive CabArchive;

// Opens the cabinet at `path` (and, with followSet, its set). `options` may
// be null for the defaults. On success *archive is set and must be released
// with cabArchiveClose. A damaged directory is not a failure of the open: the
// archive lists what could be read and cabArchiveDamage says what was lost.
// Errors: CabArchiveBadArgument, CabArchiveCannotOpen, CabArchiveNotCabinet,
// CabArchiveNoMemory.
CAB_API int32_t cabArchiveOpenPath(const char* path, const CabArchiveOptions* options,
                                   CabArchive** archive, CabArchiveError* error);

// Opens a cabinet held in memory. The buffer is not copied: it must stay
// valid and unchanged until cabArchiveClose. Errors as cabArchiveOpenPath.
CAB_API int32_t cabArchiveOpenMemory(const void* data, size_t size,
                                     const CabArchiveOptions* options, CabArchive** archive,
                                     CabArchiveError* error);

// Opens a cabinet read through `stream`, which the archive owns from now on
// (its close callback is called even when opening fails). Errors as
// cabArchiveOpenPath.
CAB_API int32_t cabArchiveOpenStream(const CabArchiveStream* stream,
                                     const CabArchiveOptions* options, CabArchive** archive,
                                     CabArchiveError* error);

// Releases the archive, its streams and everything it allocated. Null is
// accepted and ignored.
CAB_API void cabArchiveClose(CabArchive* archive);

// Why the archive could not be read whole, or null when it was: a damaged
// file list, a cabinet of the set that is missing or does not belong to it.
// The text lives as long as the archive.
CAB_API const char* cabArchiveDamage(const CabArchive* archive);

// Each thing that kept the archive from being read whole, in the order it
// was met, so a client can say which cabinet of the set is missing or
// damaged. cabArchiveDamage joins the same problems into one text.
typedef enum CabArchiveProblemKind {
    CabProblemDamagedDirectory = 1,  // a cabinet's header, folders or file list is damaged:
                                     // the entries read before the damage are listed (a
                                     // damaged folder table does not stop the file list)
    CabProblemMissingCabinet = 2,    // a cabinet a header names could not be had
    CabProblemNotCabinet = 3,        // a neighbour's file holds no cabinet
    CabProblemForeignCabinet = 4,    // a neighbour belongs to another set or place in it
} CabArchiveProblemKind;

typedef struct CabArchiveProblem {
    uint32_t size;       // set by the caller: sizeof(CabArchiveProblem)
    int32_t kind;        // a CabArchiveProblemKind
    int32_t cabinet;     // the cabinet concerned (cabArchiveCabinet index), or -1 when
                         // it did not join the archive
    int32_t before;      // 1: the cabinet that did not join comes before the archive's
                         // first one in the set; 0 otherwise
    const char* name;    // a joined cabinet's name as cabArchiveCabinet gives it, else the
                         // neighbour's name as its neighbour's header stores it (a path
                         // when one was tried, e.g. for a file that holds no cabinet)
    const char* detail;  // what was wrong, in English, without the name
} CabArchiveProblem;

// The number of problems met when opening (0 when the archive was read whole).
CAB_API uint32_t cabArchiveProblemCount(const CabArchive* archive);

// Fills `problem` for problem `index` (0 .. count-1); the caller sets
// problem->size first. The strings live as long as the archive. Error:
// CabArchiveBadArgument (an index out of range, or a size smaller than this
// struct).
CAB_API int32_t cabArchiveProblem(const CabArchive* archive, uint32_t index,
                                  CabArchiveProblem* problem);

// Whether `name` is a code page the options' codePage accepts: 1 or 0.
CAB_API int32_t cabArchiveCodePageKnown(const char* name);

// ---- Cabinets of the archive ------------------------------------------------

// The number of cabinets the archive holds (1 for a cabinet alone).
CAB_API uint32_t cabArchiveCabinetCount(const CabArchive* archive);

// Facts about one cabinet of the archive, in set order.
typedef struct CabArchiveCabinet {
    const char* name;       // its file name (path for a file; "" for memory and streams
                            // opened directly; the name asked of the neighbour callback)
    uint64_t offset;        // where it begins in its file, buffer or stream
    uint32_t size;          // cbCabinet, as declared
    uint16_t setId;         // setID
    uint16_t indexInSet;    // iCabinet
    uint16_t folderCount;   // cFolders
    uint16_t fileCount;     // cFiles, as declared
} CabArchiveCabinet;

// Fills `cabinet` for cabinet `index`; the strings live as long as the
// archive. Error: CabArchiveBadArgument.
CAB_API int32_t cabArchiveCabinet(const CabArchive* archive, uint32_t index,
                                  CabArchiveCabinet* cabinet);

// The cabinets that cabinet `index` names as its neighbours in the set:
// *previous and *next (either pointer may be null) get the file names its
// header stores for the cabinets before and after it (e.g. "DISK1.CAB"), or
// null when the header declares none. A name is given whether or not that
// cabinet could join the archive, so a client can say which member was
// missing. The strings live as long as the archive. Error:
// CabArchiveBadArgument.
CAB_API int32_t cabArchiveCabinetLinks(const CabArchive* archive, uint32_t index,
                                       const char** previous, const char** next);

// ---- Entries ----------------------------------------------------------------

// Compression methods (the low 4 bits of a folder's typeCompress).
typedef enum CabArchiveMethod {
    CabMethodStored = 0,
    CabMethodMszip = 1,
    CabMethodQuantum = 2,
    CabMethodLzx = 3,
} CabArchiveMethod;

// Bits of an entry's attributes, as stored.
typedef enum CabArchiveAttribute {
    CabAttributeReadOnly = 0x01,
    CabAttributeHidden = 0x02,
    CabAttributeSystem = 0x04,
    CabAttributeArchive = 0x20,
    CabAttributeRunAfterExtract = 0x40,  // run the file after extraction
    CabAttributeNameIsUtf8 = 0x80,       // the name is UTF-8, not a code page
} CabArchiveAttribute;

// The method of a folder's compression word `typeCompress` (a
// CabArchiveMethod, or -1 for a method this library does not know) and, when
// `windowBits` is not null, the window it declares as
// CabArchiveEntry.windowBits gives it (MSZIP 15, stored 0, 0 when unknown).
CAB_API int32_t cabArchiveCompressionMethod(uint16_t typeCompress, uint32_t* windowBits);

// Whether a file list's stored iFolder marks a file continued across
// cabinets (the CAB_FOLDER_CONTINUED_ values): bit 1 set when its data
// begins in an earlier cabinet, bit 2 when it goes on in a later one; 0 for a
// file held in one folder of its cabinet.
#define CAB_FOLDER_CONTINUED_FROM_PREVIOUS 0xFFFD
#define CAB_FOLDER_CONTINUED_TO_NEXT 0xFFFE
#define CAB_FOLDER_CONTINUED_PREVIOUS_AND_NEXT 0xFFFF
#define CAB_CONTINUES_FROM_PREVIOUS 1
#define CAB_CONTINUES_INTO_NEXT 2
CAB_API int32_t cabArchiveFolderContinues(uint16_t folder);

typedef struct CabArchiveEntry {
    const char* name;         // the stored name in UTF-8 (code page or UTF-8 attribute),
                              // separators as stored ('\\'); never null
    const uint8_t* rawName;   // the stored name's bytes, NUL-terminated
    uint32_t rawNameLength;   // without the NUL
    uint32_t size;            // uncompressed size in bytes
    uint16_t dosDate;         // as stored: ((year - 1980) << 9) | (month << 5) | day
    uint16_t dosTime;         // as stored: (hour << 11) | (minute << 5) | (second / 2)
    uint16_t attributes;      // read-only 0x01, hidden 0x02, system 0x04, archive 0x20,
                              // run after extraction 0x40, UTF-8 name 0x80
    uint16_t folder;          // iFolder as stored in its cabinet's file list
    uint32_t folderOffset;    // uoffFolderStart
    int32_t method;           // a CabArchiveMethod, or -1 when the folder's method is unknown
    uint32_t windowBits;      // MSZIP 15; Quantum and LZX as the folder declares; 0 stored
    uint32_t cabinet;         // index (cabArchiveCabinet) of the cabinet listing it
    int32_t continuesFromPrevious;  // 1: its data begins in an earlier cabinet
    int32_t continuesIntoNext;      // 1: its data goes on in a later cabinet
} CabArchiveEntry;

// The number of entries. A file continued from one cabinet into the next is
// one entry, listed (and named) as in the cabinet where it begins; only when
// that cabinet is not part of the archive is it listed (continuesFromPrevious
// set) in the cabinet that continues it. Files going on are paired with the
// files the next cabinet continues by their order, as a decoder crossing
// between them does: the k-th file going on is the k-th of the continued
// files that lead the next cabinet's list, whatever name it stores there.
CAB_API uint32_t cabArchiveEntryCount(const CabArchive* archive);

// Fills `entry` for entry `index` (0 .. count-1, set order, then directory
// order). The strings live as long as the archive. Error:
// CabArchiveBadArgument.
CAB_API int32_t cabArchiveEntry(const CabArchive* archive, uint32_t index,
                                CabArchiveEntry* entry);

// One place of a cabinet's file list, as that cabinet stores it.
typedef struct CabArchiveListing {
    uint32_t size;           // set by the caller: sizeof(CabArchiveListing)
    uint32_t entry;          // the entry this file is, or continues (cabArchiveEntry index)
    const uint8_t* rawName;  // the name stored here, NUL-terminated (it may differ from
                             // the entry's when a continued file is named otherwise)
    uint32_t rawNameLength;  // without the NUL
    uint32_t fileSize;       // the size stored here
    uint16_t folder;         // iFolder stored here
    uint16_t attributes;     // the attributes stored here
    const char* name;        // the name stored here in UTF-8, decoded as the entries'
                             // names are (the options' codePage, or the UTF-8 attribute)
} CabArchiveListing;

// The number of places read from cabinet `cabinet`'s file list (the declared
// count, or fewer when the list is damaged); 0 for an index out of range.
CAB_API uint32_t cabArchiveListedCount(const CabArchive* archive, uint32_t cabinet);

// Fills `listing` for place `position` (0 .. count-1, directory order) of
// cabinet `cabinet`'s file list; the caller sets listing->size first. So a
// client can follow a file over the cabinets of a set: its place in each
// cabinet it is listed in, and the name stored there. The strings live as
// long as the archive. Error: CabArchiveBadArgument.
CAB_API int32_t cabArchiveListed(const CabArchive* archive, uint32_t cabinet, uint32_t position,
                                 CabArchiveListing* listing);

// The cabinet a decoder is in when it comes to the data of entry `index`,
// into *cabinet (a cabArchiveCabinet index), read from the headers of the
// data blocks without decoding: the cabinet where the entry's folder begins
// when the entry is the folder's first file; else the cabinet whose blocks
// complete the folder's bytes before the entry (a block split between two
// cabinets completes in the second), so a file of a folder running across
// a set may be reached in a later cabinet than the one listing it. Where
// the blocks stop short, the last cabinet whose blocks could be read.
// Errors: CabArchiveBadArgument, CabArchiveNoMemory.
CAB_API int32_t cabArchiveEntryReachedIn(CabArchive* archive, uint32_t index, uint32_t* cabinet);

// What extraction would meet for entry `index` before decoding any data:
// CabOutcomeUnreachable when its data begins or goes on in a cabinet the
// archive does not have, CabOutcomeDamaged when the directory places it
// where no data can be (the reason says why), else CabOutcomeNotChosen with
// *reason null. `reason` may be null; the text lives as long as the archive.
// An entry with no known problem may still fail when decoded.
CAB_API int32_t cabArchiveEntryProblem(const CabArchive* archive, uint32_t index,
                                       const char** reason);

// The time of a DOS date and time as seconds since 1970-01-01 UTC, the
// stored fields read as local time (as the cabinets' makers wrote them).
// -1 when the fields are not a valid date.
CAB_API int64_t cabArchiveDosTimeToUnix(uint16_t dosDate, uint16_t dosTime);

// ---- Extraction -------------------------------------------------------------

// How an extraction ended for one entry.
typedef enum CabEntryOutcome {
    CabOutcomeNotChosen = 0,    // not asked for
    CabOutcomeExtracted = 1,    // every byte written and checked
    CabOutcomeDamaged = 2,      // its data could not be decoded (reason says where and why)
    CabOutcomeRefusedName = 3,  // its name would leave the directory or cannot be a file name
    CabOutcomeUnreachable = 4,  // continued from or into a cabinet the archive does not have
    CabOutcomeOutputFailed = 5, // it could not be written (reason: the system's error, or
                                // "exists; kept")
    CabOutcomeSkipped = 6,      // chosen, but the client's begin callback declined it
    CabOutcomeStopped = 7,      // the extraction was stopped before it was finished
    CabOutcomeSalvaged = 8,     // salvage only: written in full, but some of its bytes came
                                // from data blocks whose checksum did not match, are zeros
                                // where decoding failed, or the cabinets it spans list
                                // different sizes for it (reason says which)
    CabOutcomeNotReached = 9,   // stopAtFirstFailure only: the extraction ended at an
                                // earlier entry's failure before reaching it
} CabEntryOutcome;

// A short English description of an outcome.
CAB_API const char* cabEntryOutcomeText(int32_t outcome);

// Where the bytes of entries go when not to a directory. Each entry chosen
// and reached gets begin, then any number of writes, then end.
typedef struct CabArchiveSink {
    void* context;
    // The entry's bytes are about to come. Return 1 to take them, 0 to skip
    // the entry (outcome CabOutcomeSkipped), -1 to stop the extraction.
    int (*begin)(void* context, uint32_t index, const CabArchiveEntry* entry);
    // The next bytes of the entry, in order. Return 0, or -1 to stop.
    int (*write)(void* context, uint32_t index, const void* data, uint32_t size);
    // The entry is done with `outcome` (CabOutcomeExtracted, or why not);
    // bytes already written must then be discarded by the client.
    void (*end)(void* context, uint32_t index, int32_t outcome);
} CabArchiveSink;

// An answer of CabArchiveExtraction's `choose`: decode the entry, write it
// nowhere.
#define CAB_CHOOSE_CHECK_ONLY 2

typedef struct CabArchiveExtraction {
    // Which entries: all when `entries` is null, else the `entryCount`
    // indexes it lists (in any order; duplicates ignored). `choose`, when not
    // null, is then asked of each of them: 1 takes the entry, 0 leaves it
    // (CabOutcomeNotChosen), CAB_CHOOSE_CHECK_ONLY has it decoded but written
    // nowhere (no file is made, a sink's begin is not called): its data is
    // checked, and a file going on into the next cabinet leads the decoder
    // there, to the entries and damage beyond. Such an entry ends as any
    // chosen one (CabOutcomeExtracted when its data decoded whole).
    const uint32_t* entries;
    uint32_t entryCount;
    int (*choose)(void* context, uint32_t index, const CabArchiveEntry* entry);
    void* context;  // passed to choose and settled

    // Where to: a directory (when not null), else `sink`.
    // Into a directory, each entry's stored name becomes a path below it:
    // names that would leave it are refused, no symbolic link is followed,
    // bytes go to a temporary file renamed into place only when complete (no
    // partial file is ever left under an entry's name), and the file gets
    // the entry's time and read-only attribute.
    const char* directory;
    int32_t keepExisting;   // 1: a file already there is kept, the entry ends OutputFailed
    int32_t lowercase;      // 1: names are lowered (ASCII, Latin-1, Greek, Cyrillic)
    const CabArchiveSink* sink;

    // Optional: told of each chosen entry's outcome as soon as it is known,
    // in the order the archive settles them. `reason` is null for
    // CabOutcomeExtracted, else a message naming what went wrong.
    void (*settled)(void* context, uint32_t index, int32_t outcome, const char* reason);
    // Optional: told of what the extraction meets that concerns a cabinet
    // rather than one entry (a damaged data block, a fall back to another
    // cabinet of the set), `cabinet` naming it as cabArchiveCabinet does and
    // `message` saying what, without repeating the name. A data block
    // refused as damaged is described by what its bytes show, e.g. "the
    // cabinet is damaged: checksum mismatch in data block 3 of folder 0" or
    // "...: data block 3 of folder 0 is cut short".
    void (*note)(void* context, const char* cabinet, const char* message);
    // Optional: the bytes of chosen entries written so far and in all, after
    // each data block.
    void (*progress)(void* context, uint64_t done, uint64_t total);

    // 1: data blocks whose checksum does not match are decoded anyway
    // (each reported to `note`, those of a cabinet, of the next and of any
    // a file going on reaches through it, before that cabinet's
    // cabinetBegin); the entries they feed end as
    // CabOutcomeSalvaged, and a failure in a folder ends only the entry it
    // met. A block feeds the entries whose data overlaps it, and in a
    // compressed folder (MSZIP, Quantum, LZX) every entry whose data ends
    // after the block begins, in this cabinet or in those the folder goes
    // on in: decoded history carries damage into later matches. A "block"
    // lying over the cabinet's header, folder table or file list stays
    // damage. Default 0: such blocks are damage. A file the decoder comes to
    // in a later cabinet that lists it with another size than the cabinet it
    // begins in ends Damaged, or with salvage Salvaged (into a directory
    // filled with zeros, or cut, to its size); the files after it are
    // decoded as usual (without salvage, stopAtFirstFailure ends the
    // extraction there).
    int32_t salvage;

    // Workers for extraction into a directory: 0 (default) one per online
    // processor, 1 a single pass on the calling thread, N up to N threads.
    // Folders are independent, so each worker takes the next folder of a
    // cabinet from a queue with its own decoder (memory grows by one
    // decoder, window and buffers, per worker). What is written and
    // reported is the same for every count: the same files and bytes, the
    // same outcomes and reasons, `settled` and `note` in the same order and
    // always from the calling thread; `progress` may come in coarser steps,
    // from one thread at a time, and never goes backwards. A worker's
    // complete file waits, closed, under its temporary name until the
    // calling thread puts it in place at its entry's `settled` call, so the
    // directory fills in the cabinet's order, a name taken meanwhile is
    // decided then (keepExisting), and an extraction that stops or ends at
    // its first failure leaves only what one pass would have left. A folder
    // continued across cabinets, a cabinet whose entries would write the
    // same path from different folders, and archives read from a client's
    // stream are decoded by one pass as with 1. With a `sink` (and for
    // cabArchiveExtractToMemory) the count is ignored: one pass, on the
    // calling thread.
    uint32_t threads;
} CabArchiveExtraction;

// Extracts the chosen entries. Each folder is decoded in one forward pass
// whatever order the entries were asked in, and entries with the same data
// are decoded once. Every chosen entry gets an outcome, readable afterwards
// with cabArchiveOutcome. Returns CabArchiveOk when every chosen entry was
// extracted, CabArchiveIncomplete when some were not, CabArchiveStopped when
// a callback stopped it, CabArchiveBadArgument or CabArchiveCannotOpen (the
// directory) before anything is extracted.
CAB_API int32_t cabArchiveExtract(CabArchive* archive, const CabArchiveExtraction* extraction,
                                  CabArchiveError* error);

// What a client hears of an extraction beyond CabArchiveExtraction, and how
// it may stop one from a signal handler. Every member after `size` may be
// null or 0.
typedef struct CabArchiveEvents {
    uint32_t size;  // set by the caller: sizeof(CabArchiveEvents)
    void* context;  // passed to the callbacks below
    // Cabinet `cabinet` (cabArchiveCabinet index) is next: none of its
    // entries has been settled or decoded yet, but those whose data begins
    // in an earlier cabinet (continuesFromPrevious), which are decoded with
    // that cabinet and settled before this call. Return 1 to
    // go on, 0 to skip it (its chosen entries end CabOutcomeSkipped, reason
    // "its cabinet was skipped"), -1 to stop the extraction. Called in set
    // order, on the calling thread, for every cabinet of the archive.
    int (*cabinetBegin)(void* context, uint32_t cabinet);
    // The extraction is done with cabinet `cabinet` (after every
    // cabinetBegin not answered -1): the settles of its entries, and the
    // notes of its pass, came before this call.
    void (*cabinetEnd)(void* context, uint32_t cabinet);
    // The bytes of chosen entry `index` are about to be decoded (for a
    // progress display). With workers (`threads` other than 1) it is called
    // from the worker decoding the entry, never two calls at once, in the
    // order the workers reach their entries.
    void (*entryBegin)(void* context, uint32_t index);
    // When not null, read before each data block and each entry: once it is
    // not 0 the extraction stops as a callback answering -1 would
    // (CabArchiveStopped; the entry being written is removed, entries not
    // reached end CabOutcomeStopped). It may be set from a signal handler.
    // Into a directory, the directories made for the entry being written
    // that are left empty are removed too.
    // An extraction into a directory writes each file to a temporary file
    // named CAB_ARCHIVE_TEMPORARY_PREFIX + 8 hex digits + ".part" beside its
    // final name; a client ending the process without stopping the
    // extraction first may remove such files.
    const volatile sig_atomic_t* stop;
    // 1: the first data the extraction cannot decode ends it: the entry it
    // met ends CabOutcomeDamaged, every chosen entry not yet settled ends
    // CabOutcomeNotReached, and the result is CabArchiveIncomplete. Entries
    // refused before decoding (names, output, cabinets the archive does not
    // have) do not end it. Workers keep decoding side by side and the
    // extraction ends as one pass would have: the same entry fails first,
    // with the same outcomes, the same settled, note, cabinetBegin and
    // cabinetEnd calls, and no file of a later entry left in the directory.
    // 0 (default): a failure ends only the entries that need the data it met.
    int32_t stopAtFirstFailure;
    // Extraction into a directory: the start of the temporary files' names
    // instead of CAB_ARCHIVE_TEMPORARY_PREFIX (null), so that a client can
    // recognise its own leftovers: 1 to CAB_ARCHIVE_TEMPORARY_PREFIX_MAX
    // bytes, no '/'.
    const char* temporaryPrefix;
    // Extraction into a directory with `salvage` 1: 1 makes data that
    // cannot be decoded end the entries it feeds CabOutcomeSalvaged rather
    // than CabOutcomeDamaged. The entry the failure met keeps the bytes
    // decoded before it and is filled out with zeros to its size; the later
    // entries of the same folder whose data lies at or past the block that
    // failed are written as zeros without decoding the folder again; each
    // is put in place, and the failure ends nothing else (stopAtFirstFailure
    // included). A failure met following a file into the next cabinet keeps
    // that file so, but ends the rest as without it. A file going on into a
    // cabinet the archive does not have is decoded as far as its cabinets
    // hold it and filled out the same way (CabOutcomeSalvaged rather than
    // CabOutcomeUnreachable). 0 (default): such entries end CabOutcomeDamaged and
    // nothing of them is written. Clients built before this member existed
    // pass the smaller size and get 0.
    int32_t salvageFillsWithZeros;
    // Entry `index` is handed on: to the directory or the sink's begin, or,
    // chosen with CAB_CHOOSE_CHECK_ONLY, to be checked. Told once for each
    // chosen entry the extraction comes to with its data, before the
    // directory or sink takes it or refuses it (a name refused, a file kept
    // with keepExisting, an output that cannot be made), so a client knows
    // every entry met, also one that then ends without a file. Entries
    // settled without being handed on (refused before decoding, not
    // reached, in a skipped cabinet) are not told. On the calling thread,
    // before the entry's `settled`; with workers, when the worker's results
    // are put in place, in the order one pass would tell them. Clients
    // built before this member existed pass the smaller size and get none.
    void (*entryHandedOn)(void* context, uint32_t index);
} CabArchiveEvents;

// The start of the names of temporary files in an extraction directory, and
// the longest start a client may choose.
#define CAB_ARCHIVE_TEMPORARY_PREFIX ".cab-"
#define CAB_ARCHIVE_TEMPORARY_PREFIX_MAX 16

// cabArchiveExtract, telling `events` (which may be null) as it goes.
// Errors as cabArchiveExtract, and CabArchiveBadArgument when events->size
// is smaller than this struct (but for the sizes it had before
// salvageFillsWithZeros and before entryHandedOn, which are accepted) or its
// temporaryPrefix is not a usable one.
CAB_API int32_t cabArchiveExtractWithEvents(CabArchive* archive,
                                            const CabArchiveExtraction* extraction,
                                            const CabArchiveEvents* events,
                                            CabArchiveError* error);

// The path below an extraction directory that entry `index` is written to,
// with '/' between directories (control characters and line breaks made
// '_', lowered with `lowercase` 1), into `buffer` of `capacity` bytes with
// its NUL. Returns CabArchiveOk; CabArchiveIncomplete when the name is
// refused (`buffer` then says why); CabArchiveBadArgument for an index out
// of range or a buffer too small; CabArchiveNoMemory.
CAB_API int32_t cabArchiveEntryPath(const CabArchive* archive, uint32_t index, int32_t lowercase,
                                    char* buffer, uint32_t capacity);

// What cabArchiveEntryPath does for an entry, for any name in UTF-8 (as
// CabArchiveEntry.name gives it, separators '\\' or '/'): the path below an
// extraction directory it would be written to, or why it is refused. Same
// results as cabArchiveEntryPath; CabArchiveBadArgument for a null name or
// buffer, or a buffer too small.
CAB_API int32_t cabArchiveNamePath(const char* name, int32_t lowercase, char* buffer,
                                   uint32_t capacity);

// Whether `name` is a plain file name, as a cabinet's header must store its
// neighbours' names to be looked for beside it: not empty, no '/' or '\\',
// not "." or "..". 1 or 0 (0 for null).
CAB_API int32_t cabArchiveIsPlainFileName(const char* name);

// The reason an entry ends CabOutcomeOutputFailed when keepExisting kept a
// file already there.
#define CAB_ARCHIVE_REASON_EXISTS_KEPT "exists; kept"

// The outcome of entry `index` in the latest extraction (CabOutcomeNotChosen
// before any) and, when `reason` is not null, its reason (null when
// extracted or not chosen; the text lives until the next extraction).
CAB_API int32_t cabArchiveOutcome(const CabArchive* archive, uint32_t index, const char** reason);

// Extracts one entry to memory. On success *data holds `size` bytes
// allocated by the library (a buffer, even for an empty entry), to be
// released with cabArchiveFree. Returns CabArchiveOk, or CabArchiveIncomplete
// with the reason in `error` and *data null.
CAB_API int32_t cabArchiveExtractToMemory(CabArchive* archive, uint32_t index, void** data,
                                          size_t* size, CabArchiveError* error);

// Releases memory from cabArchiveExtractToMemory. Null is ignored.
CAB_API void cabArchiveFree(void* data);

// ---- Cabinet files on disk ----------------------------------------------------

// Where an archive opened from `cabinetPath` looks for the neighbour its
// header names `name`: `name` in the same directory, or, when no file of that
// name is there, a file whose name differs from it only in ASCII letter case.
// The path goes into `buffer` of `capacity` bytes with its NUL. Errors:
// CabArchiveBadArgument (a null argument, a buffer too small).
CAB_API int32_t cabArchiveNeighbourPath(const char* cabinetPath, const char* name, char* buffer,
                                        uint32_t capacity);

// Opens the file at `path` for reading, as the archive opens a cabinet: only
// a regular file is taken (a FIFO, a device or a directory is refused without
// blocking). Returns a file descriptor the caller closes, or -1 with
// CabArchiveCannotOpen and why ("cannot open: REASON" or "not a regular
// file") in `error` (which may be null); CabArchiveBadArgument for a null path.
CAB_API int cabArchiveOpenRegularFile(const char* path, CabArchiveError* error);

// ---- Cabinets stored inside other files ------------------------------------

// Searches the file at `path` for cabinets stored inside it, front to back,
// accepting only places whose header, folder table and first file entry are
// all consistent. Up to `capacity` offsets go to `offsets`; *found gets the
// number of cabinets found (which may exceed capacity). The search bounds its
// work on files built to make the checks expensive; when it gives up early it
// returns CabArchiveOk with a note in `error->message`. Errors:
// CabArchiveCannotOpen.
CAB_API int32_t cabArchiveFindEmbedded(const char* path, uint64_t* offsets, uint32_t capacity,
                                       uint32_t* found, CabArchiveError* error);

// ---- A cabinet's header alone ------------------------------------------------

// What the fixed part of a cabinet header declares, read without opening the
// cabinet as an archive: enough to say why a file that begins like a cabinet
// was not taken (its version, its place in another set, record reserves that
// differ from its neighbours').
typedef struct CabArchiveHeaderFacts {
    uint32_t size;            // set by the caller: sizeof(CabArchiveHeaderFacts)
    uint8_t versionMajor;     // versionMajor as stored (1 for the format this library reads)
    uint8_t versionMinor;     // versionMinor as stored (3)
    uint16_t setId;           // setID
    uint16_t indexInSet;      // iCabinet
    uint16_t flags;           // flags: CAB_HEADER_FLAG_PREVIOUS, _NEXT, _RESERVE
    uint32_t headerReserve;   // cbCFHeader (0 without reserve fields)
    uint32_t folderReserve;   // cbCFFolder
    uint32_t blockReserve;    // cbCFData
} CabArchiveHeaderFacts;

// The flags of a cabinet header, and the version this library reads.
#define CAB_HEADER_FLAG_PREVIOUS 0x0001  // names a cabinet before it in its set
#define CAB_HEADER_FLAG_NEXT 0x0002      // names a cabinet after it in its set
#define CAB_HEADER_FLAG_RESERVE 0x0004   // has the reserve sizes and a header reserve
#define CAB_ARCHIVE_VERSION_MAJOR 1
#define CAB_ARCHIVE_VERSION_MINOR 3

// Reads the header of the cabinet beginning at `offset` in the file at
// `path` into `facts` (the caller sets facts->size first). Any version is
// read. Errors: CabArchiveBadArgument, CabArchiveCannotOpen (the file),
// CabArchiveNotCabinet (no signature there, or the header is cut short).
CAB_API int32_t cabArchiveReadHeaderFacts(const char* path, uint64_t offset,
                                          CabArchiveHeaderFacts* facts, CabArchiveError* error);

#ifdef __cplusplus
}  // extern "C"
#endif
