// Making stored names safe to print on a terminal.
#pragma once

#include <string>
#include <string_view>

namespace cabtool {

// `text` with every byte a terminal could act on written as \xHH: control
// characters (C0, DEL, and C1 whether raw or UTF-8 encoded), bytes that are
// not valid UTF-8, and the Unicode line separators and direction overrides
// that could forge or reorder a printed line. Printable ASCII and other valid
// UTF-8 pass unchanged, so ordinary names read as stored.
std::string printable(std::string_view text);

}  // namespace cabtool
