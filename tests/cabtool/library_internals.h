// The archive library's internals that cabtool's in-process tests exercise
// (embedded search, directory reading, name decoding, output files), under
// the names those tests use. cabtool itself reaches them only through the
// installed header.
#pragma once

#include "archive/embedded/cabinet_header.h"
#include "archive/embedded/embedded_search.h"
#include "archive/names/name_encoding.h"
#include "archive/output/output_file.h"

namespace cabtool {

using cabarchive::CabinetHeader;
using cabarchive::FileFacts;
using cabarchive::isSoundCabinet;
using cabarchive::readCabinetFiles;
using cabarchive::readCabinetHeader;

using cabarchive::EmbeddedCabinet;
using cabarchive::findEmbeddedCabinets;

using cabarchive::kDefaultNameEncoding;
using cabarchive::lowerCaseName;
using cabarchive::NameDecoder;
using cabarchive::safeFileName;

using cabarchive::kExistsKept;
using cabarchive::OutputFile;

}  // namespace cabtool
