// Stored names checked and split into paths: the cabinet library's, used by cabtool under its own names.
#pragma once

#include "archive/names/safe_name.h"

namespace cabtool {

using cabarchive::isPlainFileName;
using cabarchive::outputPlace;

}  // namespace cabtool
