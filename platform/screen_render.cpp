#include "platform/screen_render.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <cstdio>
#include <cstdlib>

#include "platform/key_bindings.h"
#include "platform/text_layout.h"
#include "platform/window_manager.h"

namespace platform {
namespace {

struct BoxGlyphs {
  const char* topLeft;
  const char* topRight;
  const char* bottomLeft;
  const char* bottomRight;
  const char* horizontal;
  const char* vertical;
};
constexpr BoxGlyphs kUnicodeBox{"┌", "┐", "└", "┘", "─", "│"};
constexpr BoxGlyphs kAsciiBox{"+", "+", "+", "+", "-", "|"};

int floorDivide(long value, int divisor) {
  long quotient = value / divisor;
  if (value % divisor != 0 && value < 0) --quotient;
  return static_cast<int>(quotient);
}

int ceilDivide(long value, int divisor) { return -floorDivide(-value, divisor); }

// A message box's text wrapped to the columns it may take, and the box's
// size in cells with its frame, margins and button row.
struct BoxLayout {
  std::vector<std::string> lines;
  int width = 0;
  int height = 0;
  int buttonsWidth = 0;
};

// The narrowest text a box wraps to, however narrow the terminal.
constexpr int kMinimumBoxText = 16;
// The frame and a space of margin on either side.
constexpr int kBoxMargins = 4;

BoxLayout layoutMessageBox(const MessageBoxState& box, int columns) {
  BoxLayout layout;
  for (const MessageBoxButton& b : messageBoxButtons(box.type)) {
    layout.buttonsWidth += static_cast<int>(glyphsOf(b.label).size()) + 5;
  }
  const int textWidth = std::max(columns - kBoxMargins, kMinimumBoxText);
  layout.lines = wrapText(box.text, textWidth);
  // A caption too long for the box is cut by the frame.
  int inner = std::max(layout.buttonsWidth,
                       std::min(static_cast<int>(glyphsOf(box.caption).size()) + 4, textWidth));
  for (const std::string& line : layout.lines) {
    inner = std::max(inner, static_cast<int>(glyphsOf(line).size()));
  }
  layout.width = inner + kBoxMargins;
  layout.height = static_cast<int>(layout.lines.size()) + 4;
  return layout;
}

class Painter {
 public:
  Painter(Screen& screen, int originX, int originY, bool unicode)
      : screen_(screen), originX_(originX), originY_(originY),
        box_(unicode ? kUnicodeBox : kAsciiBox), unicode_(unicode) {}

  // Contents go to the nearest cell; a window's frame rounds outwards so
  // that what lies inside it stays inside.
  int column(long x) const { return floorDivide(x - originX_ + kCellWidth / 2, kCellWidth); }
  int row(long y) const { return floorDivide(y - originY_ + kCellHeight / 2, kCellHeight); }
  int outerColumn(long x) const { return floorDivide(x - originX_, kCellWidth); }
  int outerRow(long y) const { return floorDivide(y - originY_, kCellHeight); }
  int outerColumnEnd(long x) const { return ceilDivide(x - originX_, kCellWidth); }
  int outerRowEnd(long y) const { return ceilDivide(y - originY_, kCellHeight); }

  void fill(int column0, int row0, int column1, int row1, const Cell& cell) {
    for (int r = row0; r < row1; ++r) {
      for (int c = column0; c < column1; ++c) {
        if (Cell* target = screen_.at(c, r)) *target = cell;
      }
    }
  }

  void text(int column0, int row, const std::string& text, const Cell& style, int clip0 = INT_MIN,
            int clip1 = INT_MAX) {
    int c = column0;
    for (const std::string& glyph : glyphsOf(text)) {
      Cell* target = c >= clip0 && c < clip1 ? screen_.at(c, row) : nullptr;
      if (target) {
        *target = style;
        target->glyph = glyph;
      }
      ++c;
    }
  }

  void frame(int column0, int row0, int column1, int row1, const std::string& caption) {
    if (column1 - column0 < 2 || row1 - row0 < 2) return;
    Cell edge;
    for (int c = column0 + 1; c < column1 - 1; ++c) {
      put(c, row0, box_.horizontal, edge);
      put(c, row1 - 1, box_.horizontal, edge);
    }
    for (int r = row0 + 1; r < row1 - 1; ++r) {
      put(column0, r, box_.vertical, edge);
      put(column1 - 1, r, box_.vertical, edge);
    }
    put(column0, row0, box_.topLeft, edge);
    put(column1 - 1, row0, box_.topRight, edge);
    put(column0, row1 - 1, box_.bottomLeft, edge);
    put(column1 - 1, row1 - 1, box_.bottomRight, edge);
    if (!caption.empty() && column1 - column0 > 4) {
      std::string shown = " " + caption + " ";
      const auto glyphs = glyphsOf(shown);
      const std::size_t room = static_cast<std::size_t>(column1 - column0 - 3);
      if (glyphs.size() > room) {
        shown.clear();
        for (std::size_t i = 0; i < room; ++i) shown += glyphs[i];
      }
      text(column0 + 2, row0, shown, edge);
    }
  }

  void topLevel(const Window& window) {
    // A window without a frame only shows its controls: its background is
    // the same as what lies beneath.
    const NonClient nonClient = nonClientOf(window.style, window.exStyle);
    if (nonClient.left == 0 && nonClient.top == 0) return;
    const RECT& rect = window.rect;
    const int c0 = outerColumn(rect.left), r0 = outerRow(rect.top);
    const int c1 = outerColumnEnd(rect.right), r1 = outerRowEnd(rect.bottom);
    fill(c0, r0, c1, r1, Cell{});
    frame(c0, r0, c1, r1, (window.style & WS_CAPTION) == WS_CAPTION ? window.text : "");
  }

  void control(const Window& window, HWND focus, const std::vector<KeyBinding>& bindings) {
    RECT rect;
    GetWindowRect(window.handle, &rect);
    const int c0 = column(rect.left), r0 = row(rect.top);
    const int c1 = std::max(column(rect.right), c0 + 1);
    const int r1 = std::max(row(rect.bottom), r0 + 1);
    const std::string className = window.windowClass ? window.windowClass->name : "";
    if (className == "Button") {
      // A button is drawn on one row, and only what is drawn takes clicks.
      const int labelRow = row((rect.top + rect.bottom) / 2);
      button(window, labelRow, c0, c1, focus, bindings);
      screen_.regions.push_back(HitRegion{c0, labelRow, c1, labelRow + 1, window.handle, 0});
    } else if (className == "Static" && (window.style & SS_TYPEMASK) == SS_BITMAP) {
      picture(window, c0, r0, c1, r1);
    } else {
      staticText(window, c0, r0, c1);
    }
  }

  void messageBox(const MessageBoxState& box, const BoxLayout& layout) {
    const auto buttons = messageBoxButtons(box.type);
    const int width = layout.width;
    const int height = layout.height;
    const int c0 = (screen_.width - width) / 2;
    const int r0 = (screen_.height - height) / 2;
    fill(c0, r0, c0 + width, r0 + height, Cell{});
    frame(c0, r0, c0 + width, r0 + height, box.caption);
    for (std::size_t i = 0; i < layout.lines.size(); ++i) {
      text(c0 + 2, r0 + 1 + static_cast<int>(i), layout.lines[i], Cell{});
    }
    const int buttonRow = r0 + height - 2;
    int c = c0 + (width - layout.buttonsWidth + 1) / 2;
    for (std::size_t i = 0; i < buttons.size(); ++i) {
      const std::string shown = std::string("[ ") + buttons[i].label + " ]";
      Cell style;
      style.reverse = unicode_ && i == 0;
      text(c, buttonRow, shown, style);
      const int end = c + static_cast<int>(glyphsOf(shown).size());
      screen_.regions.push_back(HitRegion{c, buttonRow, end, buttonRow + 1, nullptr, buttons[i].answer});
      c = end + 1;
    }
  }

 private:
  void put(int column, int row, const char* glyph, const Cell& style) {
    if (Cell* target = screen_.at(column, row)) {
      *target = style;
      target->glyph = glyph;
    }
  }

  void button(const Window& window, int row, int c0, int c1, HWND focus,
              const std::vector<KeyBinding>& bindings) {
    const bool enabled = isEnabledChain(window.handle);
    const bool focused = window.handle == focus;
    const std::string label = labelOf(window.text);
    // Plain text shows a disabled button's label in parentheses and the
    // focused button between '>' and '<'.
    std::string shown = enabled || unicode_ ? label : "(" + label + ")";
    const int inner = std::max(c1 - c0 - 2, 0);
    auto glyphs = glyphsOf(shown);
    if (static_cast<int>(glyphs.size()) > inner) glyphs.resize(static_cast<std::size_t>(inner));
    Cell style;
    style.dim = !enabled;
    style.reverse = focused && unicode_;
    const std::string open = focused && !unicode_ ? ">" : "[";
    const std::string close = focused && !unicode_ ? "<" : "]";
    fill(c0, row, c1, row + 1, style);
    put(c0, row, open.c_str(), style);
    put(c1 - 1, row, close.c_str(), style);
    const int start = c0 + 1 + (inner - static_cast<int>(glyphs.size())) / 2;
    const KeyBinding* binding = nullptr;
    for (const KeyBinding& b : bindings) {
      if (b.control == window.handle) binding = &b;
    }
    bool underlined = false;
    for (std::size_t i = 0; i < glyphs.size(); ++i) {
      Cell cell = style;
      const bool isKey = binding && !underlined && glyphs[i].size() == 1 &&
                         std::tolower(static_cast<unsigned char>(glyphs[i][0])) == binding->key;
      cell.underline = unicode_ && isKey;
      underlined = underlined || isKey;
      put(start + static_cast<int>(i), row, glyphs[i].c_str(), cell);
    }
  }

  // The bitmap at its own size, each cell showing two pixel blocks stacked
  // as an upper half block: its foreground is the upper block's average
  // colour, its background the lower one's.  Plain text has no colours and
  // marks the picture's area with '#'.
  void picture(const Window& window, int c0, int r0, int c1, int r1) {
    if (window.style & SS_SUNKEN) frame(c0, r0, c1, r1, "");
    if (!window.bitmap) return;
    const BitmapInfo& bitmap = *window.bitmap;
    const int width = std::max(1, (bitmap.width + kCellWidth / 2) / kCellWidth);
    const int height = std::max(1, (bitmap.height + kCellHeight / 2) / kCellHeight);
    const bool centered = (window.style & SS_CENTERIMAGE) != 0;
    const int start = centered ? c0 + (c1 - c0 - width) / 2 : c0;
    const int top = centered ? r0 + (r1 - r0 - height) / 2 : r0;
    for (int y = 0; y < height; ++y) {
      for (int x = 0; x < width; ++x) {
        Cell cell;
        const auto upper = blockColor(bitmap, x, width, 2 * y, 2 * height);
        const auto lower = blockColor(bitmap, x, width, 2 * y + 1, 2 * height);
        if (!unicode_) {
          cell.glyph = "#";
        } else if (upper && lower) {
          cell.glyph = "▀";
          cell.color = *upper;
          cell.background = *lower;
        } else {
          cell.glyph = "▒";  // pixels in a format the layer cannot read
        }
        if (Cell* target = screen_.at(start + x, top + y)) *target = cell;
      }
    }
  }

  // The average colour of block (column, row) when the bitmap is cut into
  // columns x rows blocks; nothing when its pixels cannot be read.
  static std::optional<std::uint32_t> blockColor(const BitmapInfo& bitmap, int column, int columns,
                                                 int row, int rows) {
    const int x0 = column * bitmap.width / columns;
    const int x1 = std::max(x0 + 1, (column + 1) * bitmap.width / columns);
    const int y0 = row * bitmap.height / rows;
    const int y1 = std::max(y0 + 1, (row + 1) * bitmap.height / rows);
    unsigned long red = 0, green = 0, blue = 0, count = 0;
    for (int y = y0; y < y1 && y < bitmap.height; ++y) {
      for (int x = x0; x < x1 && x < bitmap.width; ++x) {
        const auto pixel = bitmapPixel(bitmap, x, y);
        if (!pixel) return std::nullopt;
        red += GetRValue(*pixel);
        green += GetGValue(*pixel);
        blue += GetBValue(*pixel);
        ++count;
      }
    }
    if (count == 0) return std::nullopt;
    return RGB((red + count / 2) / count, (green + count / 2) / count, (blue + count / 2) / count);
  }

  void staticText(const Window& window, int c0, int r0, int c1) {
    const std::string label = labelOf(window.text);
    if (label.empty()) return;
    const int length = static_cast<int>(glyphsOf(label).size());
    int start = c0;
    switch (window.style & SS_TYPEMASK) {
      case SS_CENTER: start = c0 + (c1 - c0 - length) / 2; break;
      case SS_RIGHT: start = c1 - length; break;
      default: break;
    }
    Cell style;
    const COLORREF color = window.lastTextColor;
    if (color != CLR_INVALID && color != GetSysColor(COLOR_WINDOWTEXT)) style.color = color;
    const bool link = (window.style & SS_NOTIFY) != 0;
    style.underline = link && unicode_;
    // A coloured text keeps the dialog's face behind it, as on Windows, so
    // that a dark link colour stays readable on a dark terminal too.
    if (style.color != kDefaultColor) style.background = GetSysColor(COLOR_3DFACE);
    // Text wider than its control (cells are coarser than the dialog font)
    // may run on over the parent's client area, but no further.
    int clip0 = c0, clip1 = c1;
    if (Window* parent = WindowManager::instance().find(window.parent)) {
      const RECT client = clientRectOnScreen(*parent);
      clip0 = std::min(clip0, column(client.left));
      clip1 = std::max(clip1, column(client.right));
    }
    if (length > clip1 - clip0) start = clip0;
    else start = std::clamp(start, clip0, clip1 - length);
    text(start, r0, label, style, clip0, clip1);
    if (link) screen_.regions.push_back(HitRegion{start, r0, start + length, r0 + 1, window.handle, 0});
  }

  Screen& screen_;
  int originX_;
  int originY_;
  BoxGlyphs box_;
  bool unicode_;
};

void paintTree(Painter& painter, HWND hwnd, HWND focus, const std::vector<KeyBinding>& bindings) {
  Window* window = WindowManager::instance().find(hwnd);
  if (!window || !(window->style & WS_VISIBLE)) return;
  if (window->parent) {
    painter.control(*window, focus, bindings);
  } else {
    painter.topLevel(*window);
  }
  for (HWND child : window->children) paintTree(painter, child, focus, bindings);
}

int ownerDepth(const Window& window) {
  int depth = 0;
  for (Window* owner = WindowManager::instance().find(window.owner); owner && depth < 64;
       owner = WindowManager::instance().find(owner->owner)) {
    ++depth;
  }
  return depth;
}

// The items after `lead`, separated by " | ", on as many lines as it takes
// to keep each within kLegendWidth columns; an item too long for a line of
// its own is cut short.
std::vector<std::string> wrapLegend(const std::string& lead, const std::vector<std::string>& items) {
  const std::string indent(lead.size(), ' ');
  std::vector<std::string> lines;
  std::string line = lead;
  std::size_t used = lead.size();
  bool lineHasItem = false;
  for (const std::string& item : items) {
    auto glyphs = glyphsOf(item);
    const std::size_t separator = lineHasItem ? 3 : 0;
    if (lineHasItem && used + separator + glyphs.size() > static_cast<std::size_t>(kLegendWidth)) {
      lines.push_back(line);
      line = indent;
      used = indent.size();
      lineHasItem = false;
    }
    if (lineHasItem) {
      line += " | ";
      used += 3;
    }
    const std::size_t room = static_cast<std::size_t>(kLegendWidth) - used;
    if (glyphs.size() > room) glyphs.resize(room);
    for (const std::string& glyph : glyphs) line += glyph;
    used += glyphs.size();
    lineHasItem = true;
  }
  lines.push_back(line);
  return lines;
}

// The key legend, and the rows it may take in this state: without a
// message box a focus line comes and goes with Tab, so its row is kept.
void setLegend(Screen& screen, const std::optional<MessageBoxState>& box,
               const std::vector<KeyBinding>& bindings, HWND focus) {
  if (box) {
    const auto buttons = messageBoxButtons(box->type);
    std::string line = std::string("message box: Enter = ") + buttons.front().label;
    for (const MessageBoxButton& b : buttons) {
      if (b.answer == messageBoxDismissAnswer(box->type)) line += std::string(", Escape = ") + b.label;
    }
    line += std::string(", ") + kCloseKey + " = close";
    screen.legend = {line};
    screen.legendRows = 1;
    return;
  }
  std::vector<std::string> items;
  for (const KeyBinding& binding : bindings) {
    std::string item = std::string(1, binding.key) + " " + binding.label;
    if (binding.isLink) item += " (link)";
    if (!isEnabledChain(binding.control)) item += " (disabled)";
    items.push_back(item);
  }
  items.push_back("Tab, Enter");
  items.push_back(std::string(1, kCloseKey) + " close");
  screen.legend = wrapLegend("keys: ", items);
  screen.legendRows = static_cast<int>(screen.legend.size()) + 1;
  if (Window* window = WindowManager::instance().find(focus)) {
    screen.legend.push_back("focus: " + labelOf(window->text));
  }
}

}  // namespace

Cell* Screen::at(int column, int row) {
  if (column < 0 || row < 0 || column >= width || row >= height) return nullptr;
  return &cells[static_cast<std::size_t>(row) * static_cast<std::size_t>(width) +
                static_cast<std::size_t>(column)];
}

const Cell* Screen::at(int column, int row) const {
  return const_cast<Screen*>(this)->at(column, row);
}

Screen composeScreen(const std::optional<MessageBoxState>& box, HWND focus, bool unicode,
                     int columns) {
  WindowManager& manager = WindowManager::instance();
  std::vector<Window*> tops;
  for (HWND hwnd : manager.topLevelWindows()) {
    Window* window = manager.find(hwnd);
    if (window && (window->style & WS_VISIBLE)) tops.push_back(window);
  }
  std::stable_sort(tops.begin(), tops.end(),
                   [](const Window* a, const Window* b) { return ownerDepth(*a) < ownerDepth(*b); });
  Screen screen;
  long left = 0, top = 0, right = 0, bottom = 0;
  for (std::size_t i = 0; i < tops.size(); ++i) {
    const RECT& rect = tops[i]->rect;
    left = i == 0 ? rect.left : std::min(left, rect.left);
    top = i == 0 ? rect.top : std::min(top, rect.top);
    right = i == 0 ? rect.right : std::max(right, rect.right);
    bottom = i == 0 ? rect.bottom : std::max(bottom, rect.bottom);
  }
  screen.width = ceilDivide(right - left, kCellWidth);
  screen.height = ceilDivide(bottom - top, kCellHeight);
  std::optional<BoxLayout> boxLayout;
  if (box) {
    // Room for the box even when no window is shown.
    boxLayout = layoutMessageBox(*box, columns);
    screen.width = std::max(screen.width, boxLayout->width);
    screen.height = std::max(screen.height, boxLayout->height);
  }
  screen.cells.assign(static_cast<std::size_t>(screen.width) * static_cast<std::size_t>(screen.height), Cell{});
  const std::vector<KeyBinding> bindings = keyBindings();
  Painter painter(screen, static_cast<int>(left), static_cast<int>(top), unicode);
  for (Window* window : tops) paintTree(painter, window->handle, focus, bindings);
  if (box) {
    screen.regions.clear();  // only the box takes clicks while it is up
    painter.messageBox(*box, *boxLayout);
  }
  setLegend(screen, box, bindings, focus);
  return screen;
}

std::string plainText(const Screen& screen) {
  std::string text;
  for (int r = 0; r < screen.height; ++r) {
    std::string line;
    for (int c = 0; c < screen.width; ++c) line += screen.at(c, r)->glyph;
    line.erase(line.find_last_not_of(' ') + 1);
    text += line + "\n";
  }
  for (const std::string& line : screen.legend) text += line + "\n";
  return text;
}

int requiredColumns(const Screen& screen) {
  int columns = screen.width;
  for (const std::string& line : screen.legend) {
    columns = std::max(columns, static_cast<int>(glyphsOf(line).size()));
  }
  return columns;
}

int requiredRows(const Screen& screen) {
  return screen.height + std::max(screen.legendRows, static_cast<int>(screen.legend.size())) + 1;
}

std::string statusLines(const std::string& status, int columns, int rows) {
  if (status.empty() || rows <= 0) return "";
  std::vector<std::string> lines = wrapText(status, columns);
  if (static_cast<int>(lines.size()) > rows) {
    lines.resize(static_cast<std::size_t>(rows));
    std::vector<std::string> glyphs = glyphsOf(lines.back());
    if (static_cast<int>(glyphs.size()) >= columns) glyphs.pop_back();
    lines.back().clear();
    for (const std::string& glyph : glyphs) lines.back() += glyph;
    lines.back() += "…";
  }
  std::string text = lines.front();
  for (std::size_t i = 1; i < lines.size(); ++i) text += "\n" + lines[i];
  return text;
}

std::string enlargeHint(const Screen& screen, int columns, int rows) {
  const std::string needed =
      std::to_string(requiredColumns(screen)) + "x" + std::to_string(requiredRows(screen));
  std::string hint = "Enlarge the terminal to " + needed + " to see the setup window (now " +
                     std::to_string(columns) + "x" + std::to_string(rows) + "); q closes it";
  if (static_cast<int>(hint.size()) > columns) hint = "Enlarge the terminal to " + needed;
  if (static_cast<int>(hint.size()) > columns) hint = "Enlarge to " + needed;
  if (static_cast<int>(hint.size()) > columns) hint.resize(static_cast<std::size_t>(std::max(columns, 0)));
  return hint;
}

ColorDepth terminalColorDepth() {
  const char* announced = std::getenv("COLORTERM");
  const std::string colorTerm = announced ? announced : "";
  return colorTerm == "truecolor" || colorTerm == "24bit" ? ColorDepth::TrueColor
                                                          : ColorDepth::Palette256;
}

int paletteIndex(std::uint32_t color) {
  const int red = GetRValue(color), green = GetGValue(color), blue = GetBValue(color);
  // The cube's six levels per channel, and the nearest level of each.
  constexpr int kLevels[6] = {0, 95, 135, 175, 215, 255};
  auto nearestLevel = [&](int value) {
    int best = 0;
    for (int i = 1; i < 6; ++i) {
      if (std::abs(kLevels[i] - value) < std::abs(kLevels[best] - value)) best = i;
    }
    return best;
  };
  const int r = nearestLevel(red), g = nearestLevel(green), b = nearestLevel(blue);
  auto distance = [&](int r2, int g2, int b2) {
    return (red - r2) * (red - r2) + (green - g2) * (green - g2) + (blue - b2) * (blue - b2);
  };
  const int cubeIndex = 16 + 36 * r + 6 * g + b;
  const int cubeDistance = distance(kLevels[r], kLevels[g], kLevels[b]);
  // The grey ramp: 24 steps from 8 to 238.
  const int grey = std::clamp(((red + green + blue) / 3 - 8 + 5) / 10, 0, 23);
  const int greyLevel = 8 + 10 * grey;
  return distance(greyLevel, greyLevel, greyLevel) < cubeDistance ? 232 + grey : cubeIndex;
}

namespace {

// The parameters that select a colour: 38 for the foreground, 48 for the
// background.
std::string colorParameters(int layer, std::uint32_t color, ColorDepth depth) {
  if (depth == ColorDepth::TrueColor) {
    return ";" + std::to_string(layer) + ";2;" + std::to_string(GetRValue(color)) + ";" +
           std::to_string(GetGValue(color)) + ";" + std::to_string(GetBValue(color));
  }
  return ";" + std::to_string(layer) + ";5;" + std::to_string(paletteIndex(color));
}

}  // namespace

std::string ansiText(const Screen& screen, ColorDepth depth) {
  std::string text;
  for (int r = 0; r < screen.height; ++r) {
    for (int c = 0; c < screen.width; ++c) {
      const Cell& cell = *screen.at(c, r);
      text += "\x1b[0";
      if (cell.dim) text += ";2";
      if (cell.underline) text += ";4";
      if (cell.reverse) text += ";7";
      if (cell.color != kDefaultColor) text += colorParameters(38, cell.color, depth);
      if (cell.background != kDefaultColor) text += colorParameters(48, cell.background, depth);
      text += "m";
      text += cell.glyph;
    }
    text += "\x1b[0m\n";
  }
  for (const std::string& line : screen.legend) text += line + "\n";
  return text;
}

}  // namespace platform
