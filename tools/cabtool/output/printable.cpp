#include "tools/cabtool/output/printable.h"

#include <cstdint>
#include <cstdio>

namespace cabtool {
namespace {

void appendEscaped(std::string& out, std::string_view bytes) {
    for (const char c : bytes) {
        char escaped[5];
        std::snprintf(escaped, sizeof escaped, "\\x%02X", unsigned(uint8_t(c)));
        out += escaped;
    }
}

// Length of the valid UTF-8 sequence at the start of `text` and its code
// point; 0 when the bytes there are not one (overlong forms and surrogates
// included).
size_t decodeUtf8(std::string_view text, uint32_t& codePoint) {
    const auto lead = uint8_t(text[0]);
    size_t length;
    uint32_t minimum;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2, minimum = 0x80, codePoint = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3, minimum = 0x800, codePoint = lead & 0x0F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4, minimum = 0x10000, codePoint = lead & 0x07;
    } else {
        return 0;
    }
    if (text.size() < length) return 0;
    for (size_t i = 1; i < length; ++i) {
        const auto next = uint8_t(text[i]);
        if ((next & 0xC0) != 0x80) return 0;
        codePoint = (codePoint << 6) | (next & 0x3F);
    }
    if (codePoint < minimum || codePoint > 0x10FFFF) return 0;
    if (codePoint >= 0xD800 && codePoint <= 0xDFFF) return 0;
    return length;
}

bool isHarmfulCodePoint(uint32_t c) {
    return c <= 0x9F                        // C1 controls (C0 never gets here)
           || c == 0x2028 || c == 0x2029    // line and paragraph separators
           || (c >= 0x202A && c <= 0x202E)  // direction embeddings and overrides
           || (c >= 0x2066 && c <= 0x2069)  // direction isolates
           || c == 0xFEFF;                  // zero-width no-break space
}

}  // namespace

std::string printable(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    while (!text.empty()) {
        const auto byte = uint8_t(text[0]);
        size_t length = 1;
        if (byte >= 0x20 && byte < 0x7F) {
            out += char(byte);
        } else if (byte < 0x80) {
            appendEscaped(out, text.substr(0, 1));
        } else {
            uint32_t codePoint = 0;
            length = decodeUtf8(text, codePoint);
            if (length == 0 || isHarmfulCodePoint(codePoint)) {
                if (length == 0) length = 1;
                appendEscaped(out, text.substr(0, length));
            } else {
                out.append(text.substr(0, length));
            }
        }
        text.remove_prefix(length);
    }
    return out;
}

}  // namespace cabtool
