// Reading one cabinet's header, folder table and file list through the
// archive's I/O, without decoding any data.
#pragma once

#include <string>

#include "archive/archive_state.h"

namespace cabarchive {

enum class CabinetRead {
    Whole,       // header, folders and every file entry read
    Damaged,     // the header is sound; `cabinet.directory.damage` says what was lost
    NotCabinet,  // no cabinet header at the source's start; `problem` says why
};

// Reads the cabinet of `cabinet.source` into `cabinet`.
CabinetRead readCabinet(ArchiveIo& io, Cabinet& cabinet, std::string& problem);

}  // namespace cabarchive
