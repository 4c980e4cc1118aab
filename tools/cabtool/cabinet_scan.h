// Reading a cabinet's directory with the decoder's directory reader, without
// decoding any data: every file entry with the place of its record and its
// folder offset.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "archive/walk/cabinet_directory.h"
#include "archive/walk/file_entry.h"

namespace cabtool {

using cabarchive::CabinetDirectory;
using cabarchive::FileEntry;
using cabarchive::kNoEntry;

// The reserve bytes after each folder record and each data block header
// (cbCFFolder, cbCFData). A decoder keeps those of the first cabinet it
// opens and refuses any later cabinet declaring others.
struct RecordReserves {
    uint8_t folder = 0;
    uint8_t block = 0;
    bool operator==(const RecordReserves& other) const {
        return folder == other.folder && block == other.block;
    }
};

// Reads the directory of `directory` + `name`. `decoderReserves` holds the
// record reserves the walk's decoder has kept, or nothing before its first
// cabinet (this one's are then kept). False when nothing of the file list
// can be used, with the reason in `problem`, as the decoder would give it. A
// file list damaged part-way is not a failure: the entries before the damage
// are kept and `result.damage` says what went wrong.
bool scanCabinet(const std::string& directory, const std::string& name,
                 std::optional<RecordReserves>& decoderReserves, CabinetDirectory& result,
                 std::string& problem);

}  // namespace cabtool
