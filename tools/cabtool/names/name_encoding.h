// Stored names to UTF-8: the cabinet library's, used by cabtool under its own names.
#pragma once

#include "archive/names/name_encoding.h"

namespace cabtool {

using cabarchive::kDefaultNameEncoding;
using cabarchive::NameDecoder;
using cabarchive::safeFileName;
using cabarchive::lowerCaseName;

}  // namespace cabtool
