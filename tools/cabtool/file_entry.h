// A file as a cabinet's directory lists it: the cabinet library's, used by cabtool under its own names.
#pragma once

#include "archive/walk/file_entry.h"

namespace cabtool {

using cabarchive::FileEntry;
using cabarchive::kNoEntry;

}  // namespace cabtool
