// The text of `cabtool --help`, the one-line usage reminder and the version.
#pragma once

namespace cabtool {

extern const char* const kHelpText;
extern const char* const kUsageLine;
extern const char* const kVersionLine;

}  // namespace cabtool
