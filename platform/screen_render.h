// The windows as a grid of character cells, for the terminal front end and
// for scripts.  A cell stands for 6 x 13 pixels, the average character of
// the dialog font, so dialog texts fit their controls as they do on Windows.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/message_box_state.h"
#include "platform/win32.h"

namespace platform {

constexpr int kCellWidth = 6;
constexpr int kCellHeight = 13;
constexpr std::uint32_t kDefaultColor = 0xFFFFFFFFu;

struct Cell {
  std::string glyph = " ";
  std::uint32_t color = kDefaultColor;       // 0x00BBGGRR foreground, or the terminal's default
  std::uint32_t background = kDefaultColor;  // 0x00BBGGRR, or the terminal's default
  bool dim = false;
  bool reverse = false;
  bool underline = false;
};

// A clickable area: a control, or an answer button of the message box.
struct HitRegion {
  int column0 = 0, row0 = 0, column1 = 0, row1 = 0;  // end exclusive
  HWND control = nullptr;
  int answer = 0;
};

struct Screen {
  int width = 0;
  int height = 0;
  std::vector<Cell> cells;
  std::vector<HitRegion> regions;
  std::vector<std::string> legend;  // key help below the picture
  int legendRows = 0;               // rows the legend may take in this state
  Cell* at(int column, int row);
  const Cell* at(int column, int row) const;
};

// Lines of the key legend, each at most this many columns.
constexpr int kLegendWidth = 80;

// The visible windows (owned windows above their owners), the message box
// when one is shown, and the key legend.  `focus` is marked as focused.
// `unicode` selects box-drawing and block characters instead of ASCII.  The
// message box's text is wrapped so that the box is at most `columns` wide.
Screen composeScreen(const std::optional<MessageBoxState>& box, HWND focus, bool unicode,
                     int columns = kLegendWidth);

// The screen as plain text, no escape sequences.
std::string plainText(const Screen& screen);

// How many colours the terminal shows.
enum class ColorDepth { TrueColor, Palette256 };
// The depth the terminal announces: 24-bit when COLORTERM says "truecolor"
// or "24bit", else the 256-colour palette every xterm-like terminal has.
ColorDepth terminalColorDepth();
// The nearest colour of the 256-colour palette (its 6x6x6 cube or its grey
// ramp) to a 0x00BBGGRR colour.
int paletteIndex(std::uint32_t color);
// The screen with ANSI colours and attributes.
std::string ansiText(const Screen& screen, ColorDepth depth);

// The terminal size the screen needs: the picture, its legend (with the
// focus line, whether shown yet or not) and one status line below.
int requiredColumns(const Screen& screen);
int requiredRows(const Screen& screen);
// The status text below the legend, wrapped to `columns`, in at most `rows`
// lines joined by line feeds (none after the last); a text that needs more
// ends in an ellipsis.  Empty when there is no text or no row for it.
std::string statusLines(const std::string& status, int columns, int rows);
// The one line shown instead of the screen in a terminal of `columns`
// columns that is too small for it, cut to fit.
std::string enlargeHint(const Screen& screen, int columns, int rows);

}  // namespace platform
