// Cabinet headers and file lists read through the directory reader: the cabinet library's, used by cabtool under its own names.
#pragma once

#include "archive/embedded/cabinet_header.h"

namespace cabtool {

using cabarchive::CabinetHeader;
using cabarchive::isSoundCabinet;
using cabarchive::readCabinetHeader;
using cabarchive::FileFacts;
using cabarchive::readCabinetFiles;

}  // namespace cabtool
