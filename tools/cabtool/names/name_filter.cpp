#include "tools/cabtool/names/name_filter.h"

#include <cstdint>

namespace cabtool {
namespace {

// Reads the UTF-8 code point at `at` and moves past it; a byte that does not
// start a valid sequence counts as a character of its own.
char32_t nextCharacter(std::string_view text, size_t& at) {
    const auto lead = uint8_t(text[at]);
    size_t length = lead < 0x80 ? 1 : (lead >> 5) == 0x6 ? 2 : (lead >> 4) == 0xE ? 3 : (lead >> 3) == 0x1E ? 4 : 1;
    if (at + length > text.size()) length = 1;
    char32_t c = length == 1 ? lead : char32_t(lead & (0x7F >> length));
    for (size_t i = 1; i < length; ++i) {
        const auto next = uint8_t(text[at + i]);
        if ((next & 0xC0) != 0x80) {
            length = 1;
            c = lead;
            break;
        }
        c = (c << 6) | (next & 0x3F);
    }
    at += length;
    return c;
}

char32_t foldCase(char32_t c) { return (c >= 'A' && c <= 'Z') ? c + ('a' - 'A') : c; }

// Matches the bracket expression starting just after '[' at `at` against
// `c`; moves `at` past the closing ']'. False in `valid` when the bracket is
// not closed (the '[' is then an ordinary character).
bool matchBracket(std::string_view pattern, size_t& at, char32_t c, bool& valid) {
    size_t p = at;
    bool negated = false;
    if (p < pattern.size() && (pattern[p] == '!' || pattern[p] == '^')) {
        negated = true;
        ++p;
    }
    bool matched = false;
    bool first = true;
    while (p < pattern.size() && (first || pattern[p] != ']')) {
        first = false;
        if (pattern[p] == '\\' && p + 1 < pattern.size()) ++p;
        const char32_t low = nextCharacter(pattern, p);
        char32_t high = low;
        if (p + 1 < pattern.size() && pattern[p] == '-' && pattern[p + 1] != ']') {
            ++p;
            if (pattern[p] == '\\' && p + 1 < pattern.size()) ++p;
            high = nextCharacter(pattern, p);
        }
        if ((c >= low && c <= high) || (foldCase(c) >= foldCase(low) && foldCase(c) <= foldCase(high))) {
            matched = true;
        }
    }
    if (p >= pattern.size()) {
        valid = false;
        return false;
    }
    valid = true;
    at = p + 1;
    return matched != negated;
}

// Backtracking matcher; `*` and `**` retry from each later position, which
// stays cheap for the short names and patterns of a command line.
bool matchFrom(std::string_view pattern, size_t p, std::string_view name, size_t n) {
    while (p < pattern.size()) {
        const char pc = pattern[p];
        if (pc == '*') {
            const bool crossesDirectories = p + 1 < pattern.size() && pattern[p + 1] == '*';
            size_t rest = p + (crossesDirectories ? 2 : 1);
            while (rest < pattern.size() && pattern[rest] == '*') ++rest;
            for (size_t tryAt = n;; ) {
                if (matchFrom(pattern, rest, name, tryAt)) return true;
                if (tryAt >= name.size()) return false;
                if (!crossesDirectories && name[tryAt] == '/') return false;
                nextCharacter(name, tryAt);
            }
        }
        if (n >= name.size()) return false;
        if (pc == '?') {
            if (name[n] == '/') return false;
            nextCharacter(name, n);
            ++p;
            continue;
        }
        if (pc == '[') {
            size_t after = p + 1;
            size_t nameAt = n;
            const char32_t c = nextCharacter(name, nameAt);
            bool valid = false;
            const bool matched = c != '/' && matchBracket(pattern, after, c, valid);
            if (valid || c == '/') {
                if (!matched) return false;
                p = after;
                n = nameAt;
                continue;
            }
            // An unclosed '[' is literal: fall through.
        }
        if (pc == '\\' && p + 1 < pattern.size()) ++p;
        size_t nameAt = n;
        const char32_t want = nextCharacter(pattern, p);
        const char32_t have = nextCharacter(name, nameAt);
        if (foldCase(want) != foldCase(have)) return false;
        n = nameAt;
    }
    return n == name.size();
}

}  // namespace

bool wildcardMatch(std::string_view pattern, std::string_view name) {
    return matchFrom(pattern, 0, name, 0);
}

namespace {

bool patternSelects(const std::string& pattern, std::string_view path) {
    const size_t slash = path.rfind('/');
    const std::string_view last = slash == std::string_view::npos ? path : path.substr(slash + 1);
    const bool wholePath = pattern.find('/') != std::string::npos;
    return wildcardMatch(pattern, wholePath ? path : last);
}

}  // namespace

void NameFilter::add(const std::string& pattern) {
    std::string slashed;
    for (size_t i = 0; i < pattern.size(); ++i) {
        const bool separator = pattern[i] == '\\' &&
                               (i + 1 == pattern.size() || (pattern[i + 1] != '[' && pattern[i + 1] != ']'));
        if (separator) {
            slashed += '/';
            continue;
        }
        slashed += pattern[i];
        if (pattern[i] == '\\' && i + 1 < pattern.size()) slashed += pattern[++i];
    }
    patterns_.push_back(std::move(slashed));
}

bool NameFilter::selects(std::string_view path) const {
    if (patterns_.empty()) return true;
    for (const std::string& pattern : patterns_) {
        if (patternSelects(pattern, path)) return true;
    }
    return false;
}

std::vector<std::string> NameFilter::unmatched(const std::vector<std::string>& paths) const {
    std::vector<std::string> none;
    for (const std::string& pattern : patterns_) {
        bool matched = false;
        for (const std::string& path : paths) {
            if (patternSelects(pattern, path)) {
                matched = true;
                break;
            }
        }
        if (!matched) none.push_back(pattern);
    }
    return none;
}

}  // namespace cabtool

