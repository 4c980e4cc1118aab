// Text measured and laid out in terminal cells: one cell per character.
#pragma once

#include <string>
#include <vector>

namespace platform {

// The characters of UTF-8 text, one string each; a control character
// becomes a space.
std::vector<std::string> glyphsOf(const std::string& text);

// The text in lines of at most `width` characters (at least 1).  Lines
// break at spaces, and at the line feeds the text has; a word longer than
// a line, such as a path, breaks after its last '/' or '\' that fits, or
// else where the line ends.  Nothing is left out but the spaces where lines
// break.
std::vector<std::string> wrapText(const std::string& text, int width);

}  // namespace platform
