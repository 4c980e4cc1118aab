// Turning the bytes of a stored file name into UTF-8 for Linux.
//
// A name whose entry carries the UTF-8 attribute (0x80) is UTF-8 already.
// Any other name is in the legacy code page of the Windows system that made
// the cabinet; the default is Windows-1252 (the Western European Windows
// code page, which programs building cabinets through the Windows API used)
// unless the client names another.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "archive/names/code_pages.h"

namespace cabarchive {

constexpr const char* kDefaultNameEncoding = "windows-1252";

class NameDecoder {
public:
    // The default code page, windows-1252.
    NameDecoder();

    // The decoder for an encoding name: a built-in table (windows-1252,
    // cp437, cp850, iso-8859-1, with their aliases), "utf-8", or any
    // encoding the C library's iconv knows. Nothing when none knows it.
    static std::optional<NameDecoder> forEncoding(const std::string& name);

    // The stored name in valid UTF-8: bytes that cannot be decoded become
    // U+FFFD. Control characters are kept, for printing escaped; a file
    // name is made from it with safeFileName.
    std::string toUtf8(std::string_view stored, uint16_t attributes) const;

    const std::string& name() const { return name_; }

private:
    std::string name_;
    const CodePage* table_ = nullptr;  // a built-in code page, when not null
    bool utf8_ = false;                // names are UTF-8 whatever their attributes
    std::shared_ptr<void> iconv_;      // an iconv conversion to UTF-8
};

// `text` as valid UTF-8: every byte that does not belong to a valid
// sequence (overlong forms, surrogates and values past U+10FFFF included)
// becomes U+FFFD.
std::string validUtf8(std::string_view text);

// A decoded name fit to be a Linux file name: control characters (C0, DEL,
// C1) and the characters that break a line or reorder text on display
// become '_', so the name is always printable.
std::string safeFileName(std::string_view utf8);

// A UTF-8 name in lower case: the capital letters of ASCII, Latin-1, Greek
// and Cyrillic are lowered; every other character is kept as it is.
std::string lowerCaseName(std::string_view utf8);

}  // namespace cabarchive
