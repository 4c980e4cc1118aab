// DOS packed dates and times: the cabinet library's, used by cabtool under its own names.
#pragma once

#include "archive/walk/dos_time.h"

namespace cabtool {

using cabarchive::dosToLocalTime;
using cabarchive::formatDosDateTime;

}  // namespace cabtool
