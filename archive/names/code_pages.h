// The legacy code pages stored names are converted from without iconv.
#pragma once

#include <string_view>

namespace cabarchive {

struct CodePage {
    const char* name;         // the name reported for it
    const char* aliases[2];   // other names it is known by
    const char16_t* high;     // the characters of bytes 0x80-0xFF
};

// The built-in code page called `name` (letter case, '-' and '_' ignored),
// or null.
const CodePage* findCodePage(std::string_view name);

// True when two code page names are the same apart from letter case and the
// separators '-' and '_'.
bool sameLabel(std::string_view a, std::string_view b);

}  // namespace cabarchive
