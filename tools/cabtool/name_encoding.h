// Turning the bytes of a stored file name into UTF-8 for Linux.
//
// A name whose entry carries the UTF-8 attribute (0x80) is UTF-8 already.
// Any other name is in the legacy code page of the Windows system that made
// the cabinet; cabtool assumes Windows-1252 (the Western European Windows
// code page, which programs building cabinets through the Windows API used)
// unless --encoding names another.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "tools/cabtool/code_pages.h"

namespace cabtool {

constexpr const char* kDefaultNameEncoding = "windows-1252";

class NameDecoder {
public:
    // The decoder for an encoding name: a built-in table (windows-1252,
    // cp437, cp850, iso-8859-1, with their aliases), "utf-8", or any
    // encoding the C library's iconv knows. Nothing when none knows it.
    static std::optional<NameDecoder> forEncoding(const std::string& name);

    // The stored name in UTF-8. Bytes that cannot be decoded become U+FFFD;
    // control characters and the characters that reorder or break a line
    // on display become '_', so the result is always printable valid UTF-8.
    std::string toUtf8(std::string_view stored, uint16_t attributes) const;

    const std::string& name() const { return name_; }

private:
    std::string name_;
    const CodePage* table_ = nullptr;  // a built-in code page
    bool utf8_ = false;                // names are UTF-8 whatever their attributes
    std::shared_ptr<void> iconv_;      // an iconv conversion to UTF-8
};

// `text` as valid UTF-8 with every unsafe character replaced as toUtf8 does.
std::string cleanUtf8(std::string_view text);

}  // namespace cabtool
