#include "platform/text_layout.h"

#include <algorithm>
#include <cstddef>

namespace platform {
namespace {

using Glyphs = std::vector<std::string>;

std::string join(Glyphs::const_iterator begin, Glyphs::const_iterator end) {
  std::string text;
  for (auto it = begin; it != end; ++it) text += *it;
  return text;
}

bool isPathSeparator(const std::string& glyph) { return glyph == "/" || glyph == "\\"; }

// How many of a long word's first glyphs to put on a line with `room`
// cells left: up to its last path separator within them, or 0 when there
// is none there.
std::size_t pathBreak(const Glyphs& word, std::size_t from, std::size_t room) {
  const std::size_t limit = std::min(room, word.size() - from);
  for (std::size_t length = limit; length > 0; --length) {
    if (isPathSeparator(word[from + length - 1])) return length;
  }
  return 0;
}

// Greedy filling of one paragraph (text without line feeds).
void wrapParagraph(const Glyphs& glyphs, std::size_t width, std::vector<std::string>& lines) {
  const std::size_t linesBefore = lines.size();
  std::string line;
  std::size_t used = 0;
  auto flush = [&] {
    lines.push_back(line);
    line.clear();
    used = 0;
  };
  std::size_t i = 0;
  while (i < glyphs.size()) {
    if (glyphs[i] == " ") {
      ++i;
      continue;
    }
    std::size_t end = i;
    while (end < glyphs.size() && glyphs[end] != " ") ++end;
    const Glyphs word(glyphs.begin() + static_cast<std::ptrdiff_t>(i),
                      glyphs.begin() + static_cast<std::ptrdiff_t>(end));
    i = end;
    std::size_t from = 0;
    while (from < word.size()) {
      const std::size_t gap = used > 0 ? 1 : 0;
      const std::size_t room = width > used + gap ? width - used - gap : 0;
      const std::size_t rest = word.size() - from;
      std::size_t take = rest <= room ? rest : 0;
      // Too long for any line: break it, after a separator when there is
      // one; a line already begun takes only a piece that half fills it.
      if (take == 0 && rest > width) {
        take = pathBreak(word, from, room);
        if (used > 0 && take * 2 < room) take = 0;
      }
      if (take == 0 && used == 0) take = std::min(rest, width);
      if (take == 0) {
        flush();
        continue;
      }
      if (gap) line += ' ';
      const auto begin = word.begin() + static_cast<std::ptrdiff_t>(from);
      line += join(begin, begin + static_cast<std::ptrdiff_t>(take));
      used += gap + take;
      from += take;
      if (from < word.size()) flush();
    }
  }
  if (used > 0 || lines.size() == linesBefore) flush();  // an empty paragraph keeps its line
}

}  // namespace

std::vector<std::string> glyphsOf(const std::string& text) {
  std::vector<std::string> glyphs;
  for (std::size_t i = 0; i < text.size();) {
    const unsigned char lead = static_cast<unsigned char>(text[i]);
    std::size_t length = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
    length = std::min(length, text.size() - i);
    // Each glyph is built once, in place: assigning over a copied substring
    // trips GCC 12's -Wrestrict at -O3 with a false alarm.
    if (lead < 0x20) {
      glyphs.emplace_back(1, ' ');
    } else {
      glyphs.emplace_back(text, i, length);
    }
    i += length;
  }
  return glyphs;
}

std::vector<std::string> wrapText(const std::string& text, int width) {
  const std::size_t cells = static_cast<std::size_t>(std::max(width, 1));
  std::vector<std::string> lines;
  std::size_t start = 0;
  for (;;) {
    const std::size_t end = text.find('\n', start);
    const std::string paragraph = text.substr(start, end == std::string::npos ? end : end - start);
    wrapParagraph(glyphsOf(paragraph), cells, lines);
    if (end == std::string::npos) break;
    start = end + 1;
  }
  return lines;
}

}  // namespace platform
