// The text of `cabtool --help` and the one-line usage reminder.
#pragma once

namespace cabtool {

extern const char* const kHelpText;
extern const char* const kUsageLine;

}  // namespace cabtool
