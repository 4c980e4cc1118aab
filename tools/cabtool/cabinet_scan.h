// Reading a cabinet's directory through the decoder without decoding any
// data: every file entry with the place of its record and its folder offset.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "cab/cab.h"
#include "archive/walk/cabinet_directory.h"
#include "archive/walk/file_entry.h"

namespace cabtool {

using cabarchive::CabinetDirectory;
using cabarchive::FileEntry;
using cabarchive::kNoEntry;

// Reads the directory of `directory` + `name`, whose header `info` describes.
// False when nothing of the file list can be used, with the reason in
// `problem`. A file list damaged part-way is not a failure: the entries
// before the damage are kept and `result.damage` says what went wrong.
bool scanCabinet(CabDecoder* decoder, CabError& error, const std::string& directory,
                 const std::string& name, const CabInfo& info, CabinetDirectory& result,
                 std::string& problem);

}  // namespace cabtool
