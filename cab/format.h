// Constants of the cabinet file format (version 1.3), shared by the decoder
// and the cabinet writer.
#pragma once

#include <cstdint>

constexpr uint32_t kSignatureMscf = 0x4643534D;  // "MSCF"
constexpr uint16_t kVersion13 = 0x0103;

// Fixed sizes of the records, without their reserve bytes and names.
constexpr uint32_t kHeaderSize = 36;         // CFHEADER
constexpr uint32_t kReserveSizesSize = 4;    // cbCFHeader, cbCFFolder, cbCFData
constexpr uint32_t kFolderFixedSize = 8;     // CFFOLDER
constexpr uint32_t kFileFixedSize = 16;      // CFFILE
constexpr uint32_t kBlockFixedSize = 8;      // CFDATA

// CFHEADER flags.
constexpr uint16_t kFlagPrevious = 0x0001;
constexpr uint16_t kFlagNext = 0x0002;
constexpr uint16_t kFlagReserve = 0x0004;

// iFolder values of files whose data crosses cabinet boundaries.
constexpr uint16_t kFolderContinuedFromPrevious = 0xFFFD;
constexpr uint16_t kFolderContinuedToNext = 0xFFFE;
constexpr uint16_t kFolderContinuedPreviousAndNext = 0xFFFF;

inline bool continuesFromPrevious(uint16_t iFolder) { return (iFolder & 0xFFFD) == 0xFFFD; }
inline bool continuesIntoNext(uint16_t iFolder) { return (iFolder & 0xFFFE) == 0xFFFE; }

// File attribute bits stored in CFFILE.
constexpr uint16_t kAttributeReadOnly = 0x01;
constexpr uint16_t kAttributeHidden = 0x02;
constexpr uint16_t kAttributeSystem = 0x04;
constexpr uint16_t kAttributeArchive = 0x20;
constexpr uint16_t kAttributeRunAfterExtract = 0x40;  // run the file after extraction
constexpr uint16_t kAttributeNameIsUtf8 = 0x80;       // the name is UTF-8, not a code page
