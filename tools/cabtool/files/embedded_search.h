// Cabinets stored inside other files: the cabinet library's, used by cabtool under its own names.
#pragma once

#include "archive/embedded/embedded_search.h"

namespace cabtool {

using cabarchive::EmbeddedCabinet;
using cabarchive::findEmbeddedCabinets;

}  // namespace cabtool
