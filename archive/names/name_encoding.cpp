#include "archive/names/name_encoding.h"

#include <iconv.h>

#include <cctype>
#include <cerrno>

#include "cab/format.h"

namespace cabarchive {
namespace {

constexpr char32_t kReplacement = 0xFFFD;

void appendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += char(c);
    } else if (c < 0x800) {
        out += char(0xC0 | (c >> 6));
        out += char(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += char(0xE0 | (c >> 12));
        out += char(0x80 | ((c >> 6) & 0x3F));
        out += char(0x80 | (c & 0x3F));
    } else {
        out += char(0xF0 | (c >> 18));
        out += char(0x80 | ((c >> 12) & 0x3F));
        out += char(0x80 | ((c >> 6) & 0x3F));
        out += char(0x80 | (c & 0x3F));
    }
}

// Characters a file name must not carry: C0 and C1 controls, DEL, the line
// and paragraph separators, and the marks that reorder text on display.
bool isUnsafe(char32_t c) {
    return c < 0x20 || (c >= 0x7F && c <= 0x9F) || c == 0x2028 || c == 0x2029 ||
           (c >= 0x202A && c <= 0x202E) || (c >= 0x2066 && c <= 0x2069) || c == 0x200E ||
           c == 0x200F || c == 0x061C;
}


// Decodes one strict UTF-8 sequence at `at`: no overlong forms, surrogates
// or values past U+10FFFF. Nothing (and `at` past one byte) when invalid.
bool decodeUtf8(std::string_view text, size_t& at, char32_t& c) {
    const auto lead = uint8_t(text[at]);
    size_t length;
    char32_t minimum;
    if (lead < 0x80) {
        c = lead;
        ++at;
        return true;
    } else if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        minimum = 0x80;
        c = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        minimum = 0x800;
        c = lead & 0x0F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        minimum = 0x10000;
        c = lead & 0x07;
    } else {
        ++at;
        return false;
    }
    if (at + length > text.size()) {
        ++at;
        return false;
    }
    for (size_t i = 1; i < length; ++i) {
        const auto next = uint8_t(text[at + i]);
        if ((next & 0xC0) != 0x80) {
            ++at;
            return false;
        }
        c = (c << 6) | (next & 0x3F);
    }
    if (c < minimum || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) {
        ++at;
        return false;
    }
    at += length;
    return true;
}

std::string fromTable(std::string_view stored, const CodePage& page) {
    std::string out;
    for (char byte : stored) {
        const auto b = uint8_t(byte);
        appendUtf8(out, b < 0x80 ? char32_t(b) : char32_t(page.high[b - 0x80]));
    }
    return out;
}

std::string fromIconv(std::string_view stored, iconv_t conversion) {
    iconv(conversion, nullptr, nullptr, nullptr, nullptr);  // initial shift state
    std::string converted;
    char* in = const_cast<char*>(stored.data());
    size_t inLeft = stored.size();
    char buffer[256];
    while (inLeft > 0) {
        char* out = buffer;
        size_t outLeft = sizeof buffer;
        const size_t result = iconv(conversion, &in, &inLeft, &out, &outLeft);
        converted.append(buffer, size_t(out - buffer));
        if (result != size_t(-1)) break;
        if (errno == E2BIG) continue;
        // An invalid or cut-off sequence: one replacement, then go on after
        // its first byte.
        appendUtf8(converted, kReplacement);
        ++in;
        --inLeft;
    }
    // iconv's output is UTF-8; it is checked all the same.
    return validUtf8(converted);
}

}  // namespace

bool sameLabel(std::string_view a, std::string_view b) {
    size_t i = 0, j = 0;
    auto skip = [](std::string_view s, size_t& k) {
        while (k < s.size() && (s[k] == '-' || s[k] == '_')) ++k;
    };
    while (true) {
        skip(a, i);
        skip(b, j);
        if (i == a.size() || j == b.size()) return i == a.size() && j == b.size();
        if (std::tolower(uint8_t(a[i])) != std::tolower(uint8_t(b[j]))) return false;
        ++i;
        ++j;
    }
}

std::string validUtf8(std::string_view text) {
    std::string out;
    size_t at = 0;
    while (at < text.size()) {
        char32_t c;
        appendUtf8(out, decodeUtf8(text, at, c) ? c : kReplacement);
    }
    return out;
}

std::string safeFileName(std::string_view utf8) {
    std::string out;
    size_t at = 0;
    while (at < utf8.size()) {
        char32_t c;
        if (!decodeUtf8(utf8, at, c)) c = kReplacement;
        appendUtf8(out, isUnsafe(c) ? U'_' : c);
    }
    return out;
}

std::string lowerCaseName(std::string_view utf8) {
    std::string out;
    size_t at = 0;
    while (at < utf8.size()) {
        const size_t start = at;
        char32_t c;
        if (!decodeUtf8(utf8, at, c)) {
            out.append(utf8.substr(start, at - start));
            continue;
        }
        if ((c >= 'A' && c <= 'Z') || (c >= 0xC0 && c <= 0xDE && c != 0xD7) ||
            (c >= 0x391 && c <= 0x3A9 && c != 0x3A2) || (c >= 0x410 && c <= 0x42F)) {
            c += 0x20;
        } else if (c >= 0x400 && c <= 0x40F) {
            c += 0x50;
        }
        appendUtf8(out, c);
    }
    return out;
}

NameDecoder::NameDecoder() : name_(kDefaultNameEncoding), table_(findCodePage(kDefaultNameEncoding)) {}

std::optional<NameDecoder> NameDecoder::forEncoding(const std::string& name) {
    NameDecoder decoder;
    if (sameLabel(name, "utf-8") || sameLabel(name, "utf8")) {
        decoder.name_ = "utf-8";
        decoder.utf8_ = true;
        return decoder;
    }
    if (const CodePage* page = findCodePage(name)) {
        decoder.name_ = page->name;
        decoder.table_ = page;
        return decoder;
    }
    const iconv_t conversion = iconv_open("UTF-8", name.c_str());
    if (conversion == iconv_t(-1)) return std::nullopt;
    decoder.name_ = name;
    decoder.table_ = nullptr;
    decoder.iconv_ = std::shared_ptr<void>(conversion, [](void* c) { iconv_close(iconv_t(c)); });
    return decoder;
}

std::string NameDecoder::toUtf8(std::string_view stored, uint16_t attributes) const {
    if (utf8_ || (attributes & kAttributeNameIsUtf8) != 0) return validUtf8(stored);
    if (table_ != nullptr) return fromTable(stored, *table_);
    return fromIconv(stored, iconv_t(iconv_.get()));
}

}  // namespace cabarchive
