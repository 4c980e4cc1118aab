// Files on their way to disk: the cabinet library's, used by cabtool under its own names.
#pragma once

#include "archive/output/output_file.h"

namespace cabtool {

using cabarchive::kExistsKept;
using cabarchive::OutputFile;

}  // namespace cabtool
