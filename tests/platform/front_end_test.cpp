// The terminal front end fed as a terminal feeds it: mouse reports hit what
// is drawn, the focus survives a message box, notices last until the next
// input, the picture is drawn in colour half blocks, and the program's own
// output is caught instead of drawn over.
#include <cstdio>
#include <string>
#include <vector>

#include "platform/output_capture.h"
#include "platform/screen_render.h"
#include "window_test_support.h"

namespace {

constexpr int kGo = 11, kLink = 13;

std::vector<WORD> commands;
std::vector<std::string> statusAtCommand;
bool boxOnGo = true;  // Go answers with a message box

constexpr COLORREF kLinkColor = RGB(12, 48, 192);

INT_PTR CALLBACK frontEndDialog(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_CTLCOLORSTATIC && reinterpret_cast<HWND>(lParam) == GetDlgItem(dialog, kLink)) {
    SetTextColor(reinterpret_cast<HDC>(wParam), kLinkColor);
    return reinterpret_cast<INT_PTR>(GetSysColorBrush(COLOR_3DFACE));
  }
  if (message != WM_COMMAND) return message == WM_INITDIALOG;
  commands.push_back(LOWORD(wParam));
  statusAtCommand.push_back(win32test::statusLine());
  if (LOWORD(wParam) == kGo && boxOnGo) MessageBoxA(dialog, "Done.", "Setup", MB_OK);
  return TRUE;
}

// Where `text` first appears in the plain picture: zero-based column and row.
struct Place {
  int column = -1;
  int row = -1;
};
Place find(const std::string& picture, const std::string& text) {
  int row = 0;
  std::size_t start = 0;
  while (start < picture.size()) {
    const std::size_t end = picture.find('\n', start);
    const std::string line = picture.substr(start, end - start);
    const std::size_t at = line.find(text);
    if (at != std::string::npos) return Place{static_cast<int>(at), row};
    if (end == std::string::npos) break;
    start = end + 1;
    ++row;
  }
  return Place{};
}

// A left-button press and release at a zero-based cell, as an xterm reports
// them in SGR form (one-based).
std::string click(int column, int row) {
  const std::string at = std::to_string(column + 1) + ";" + std::to_string(row + 1);
  return "\x1b[<0;" + at + "M\x1b[<0;" + at + "m";
}

class FrontEnd : public windowtest::WindowTest {
 protected:
  void SetUp() override {
    WindowTest::SetUp();
    commands.clear();
    statusAtCommand.clear();
    boxOnGo = true;
    frame = createFrame();
    dialog = CreateDialogParamA(nullptr, MAKEINTRESOURCEA(310), frame, frontEndDialog, 0);
    ASSERT_NE(dialog, nullptr);
    HWND link = GetDlgItem(dialog, kLink);
    SetWindowLongA(link, GWL_STYLE, GetWindowLongA(link, GWL_STYLE) | SS_NOTIFY);
    ShowWindow(frame, SW_SHOWNORMAL);
    ShowWindow(dialog, SW_SHOWNORMAL);
  }

  // Feeds the keys to the message loop until they run out.
  void run(const std::string& keys) {
    win32test::setScriptInput(keys);
    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0)) {
      TranslateMessage(&msg);
      DispatchMessageA(&msg);
    }
  }

  HWND frame = nullptr;
  HWND dialog = nullptr;
};

TEST_F(FrontEnd, AClickPressesAButtonOnItsDrawnLabelOnly) {
  // A button three cells tall: the rows above and below its label lie inside
  // its rectangle but are not drawn as the button, so they take no clicks.
  HWND button = GetDlgItem(dialog, kGo);
  RECT rect;
  GetWindowRect(button, &rect);
  SetWindowPos(button, nullptr, 0, 0, rect.right - rect.left, 3 * (rect.bottom - rect.top),
               SWP_NOMOVE | SWP_NOZORDER);
  const std::string picture = win32test::renderText();
  const Place go = find(picture, "Go");
  ASSERT_GE(go.row, 1) << picture;
  // Go's left edge: the bracket before its label on the same row.
  std::size_t rowStart = 0;
  for (int r = 0; r < go.row; ++r) rowStart = picture.find('\n', rowStart) + 1;
  const std::size_t bracket = picture.substr(rowStart, go.column).rfind('[');
  ASSERT_NE(bracket, std::string::npos) << picture;
  const Place left{static_cast<int>(bracket), go.row};
  // Above, below and beside the label: nothing.  On it, brackets included:
  // Go. (No message box, which would swallow the clicks after a wrong hit.)
  boxOnGo = false;
  run(click(go.column, go.row - 1) + click(go.column, go.row + 1) + click(left.column - 1, go.row) +
      click(go.column, go.row) + click(left.column, go.row));
  EXPECT_EQ(commands, (std::vector<WORD>{kGo, kGo})) << picture;
}

TEST_F(FrontEnd, FocusReturnsToItsButtonWhenAMessageBoxCloses) {
  // Tab focuses Go, Enter presses it, Enter closes its box, Enter again
  // presses Go again, and the last Enter closes that box.
  run("\t\n\n\n\n");
  EXPECT_EQ(commands, (std::vector<WORD>{kGo, kGo}));
}

TEST_F(FrontEnd, ANoticeLastsUntilTheNextInput) {
  // 's' meets the disabled Stop; 'g' comes next and finds the notice gone;
  // Enter closes Go's message box, and 's' leaves a notice again.
  run("sg\ns");
  ASSERT_EQ(commands, std::vector<WORD>{kGo});
  EXPECT_EQ(statusAtCommand, std::vector<std::string>{""});
  // The last notice is still there when the input ends.
  EXPECT_EQ(win32test::statusLine(), "Stop is disabled: nothing happens");
}

TEST_F(FrontEnd, ThePictureIsDrawnInHalfBlocksOfItsOwnColours) {
  // Bitmap 203: 12x26 pixels in four bands, red, green, blue and white
  // from the top; two cells wide and two high.
  HWND stripes = GetDlgItem(dialog, 15);
  ASSERT_NE(stripes, nullptr);
  const platform::Screen screen = platform::composeScreen(std::nullopt, nullptr, true);
  std::vector<const platform::Cell*> blocks;
  for (const platform::Cell& cell : screen.cells) {
    if (cell.glyph == "▀") blocks.push_back(&cell);
  }
  ASSERT_EQ(blocks.size(), 4u);
  int upperRow = 0, lowerRow = 0;
  for (const platform::Cell* cell : blocks) {
    if (cell->color == RGB(255, 0, 0) && cell->background == RGB(0, 255, 0)) ++upperRow;
    if (cell->color == RGB(0, 0, 255) && cell->background == RGB(255, 255, 255)) ++lowerRow;
  }
  EXPECT_EQ(upperRow, 2);
  EXPECT_EQ(lowerRow, 2);

  const std::string trueColor = platform::ansiText(screen, platform::ColorDepth::TrueColor);
  EXPECT_NE(trueColor.find("38;2;255;0;0;48;2;0;255;0m▀"), std::string::npos);
  const std::string palette = platform::ansiText(screen, platform::ColorDepth::Palette256);
  EXPECT_NE(palette.find("38;5;196;48;5;46m▀"), std::string::npos);
  EXPECT_EQ(palette.find(";2;255;0;0"), std::string::npos);
}

TEST(Palette, ColoursMapToTheNearestCubeOrGreyEntry) {
  EXPECT_EQ(platform::paletteIndex(RGB(0, 0, 0)), 16);
  EXPECT_EQ(platform::paletteIndex(RGB(255, 255, 255)), 231);
  EXPECT_EQ(platform::paletteIndex(RGB(255, 0, 0)), 196);
  EXPECT_EQ(platform::paletteIndex(RGB(0, 0, 255)), 21);
  EXPECT_EQ(platform::paletteIndex(RGB(0, 95, 215)), 16 + 0 * 36 + 1 * 6 + 4);
  EXPECT_EQ(platform::paletteIndex(RGB(128, 128, 128)), 244);  // grey ramp
}

TEST_F(FrontEnd, ALinkColourIsDrawnOnTheDialogFace) {
  win32test::paintWindow(dialog);
  ASSERT_EQ(win32test::lastTextColor(GetDlgItem(dialog, kLink)), kLinkColor);
  const platform::Screen screen = platform::composeScreen(std::nullopt, nullptr, true);
  int linkCells = 0;
  for (const platform::Cell& cell : screen.cells) {
    if (cell.color == kLinkColor) {
      ++linkCells;
      EXPECT_EQ(cell.background, GetSysColor(COLOR_3DFACE));
    }
  }
  EXPECT_GT(linkCells, 0);
}

TEST(OutputCapture, PrintedLinesAreCaughtAndStandardOutputPutBack) {
  platform::OutputCapture capture;
  ASSERT_GE(capture.start(), 0);
  std::printf("Unable to open 'a.cab' for input\n");
  std::fflush(stdout);
  const std::string first = capture.take();
  std::printf("second\n");
  const std::string rest = capture.stop();
  EXPECT_EQ(first, "Unable to open 'a.cab' for input\n");
  EXPECT_EQ(rest, "second\n");
  EXPECT_EQ(capture.take(), "");
}

}  // namespace
