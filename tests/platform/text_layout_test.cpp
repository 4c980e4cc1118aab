// Text laid out for the terminal: lines keep within their width, a long
// path breaks after a separator, nothing of the text is lost, and the status
// line shows a long notice over several rows.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "platform/screen_render.h"
#include "platform/text_layout.h"

namespace {

using Lines = std::vector<std::string>;

std::size_t cellsOf(const std::string& line) { return platform::glyphsOf(line).size(); }

std::string withoutBlanks(const std::string& text) {
  std::string kept;
  for (char c : text) {
    if (c != ' ' && c != '\n') kept += c;
  }
  return kept;
}

std::string joined(const Lines& lines) {
  std::string text;
  for (const std::string& line : lines) text += line + "\n";
  return text;
}

TEST(TextLayout, LinesKeepWithinTheirWidthAndLoseNothing) {
  const std::string sentence =
      "Q-Mora.scr could not be installed in /tmp/qmora/a-windows-directory-whose-name-is-long-"
      "enough-to-need-wrapping/windows/system32/: a file stands where a directory should be.\n"
      "d3dx9_25.dll in d3dx9_25.cab could not be unpacked: the disk is full.";
  for (int width : {76, 40, 17, 5, 1}) {
    const Lines lines = platform::wrapText(sentence, width);
    for (const std::string& line : lines) EXPECT_LE(cellsOf(line), static_cast<std::size_t>(width)) << line;
    EXPECT_EQ(withoutBlanks(joined(lines)), withoutBlanks(sentence)) << "width " << width;
  }
}

TEST(TextLayout, LongPathsBreakAfterASeparatorAndWordsWhereTheLineEnds) {
  EXPECT_EQ(platform::wrapText("in /first-directory/second-directory/third-directory/file.txt now", 24),
            (Lines{"in /first-directory/", "second-directory/", "third-directory/file.txt", "now"}));
  EXPECT_EQ(platform::wrapText("C:\\Windows\\system32\\d3dx9_25.dll", 12),
            (Lines{"C:\\Windows\\", "system32\\", "d3dx9_25.dll"}));
  EXPECT_EQ(platform::wrapText("abcdefghij", 4), (Lines{"abcd", "efgh", "ij"}));
}

TEST(TextLayout, LineFeedsAndWideCharactersAreKept) {
  EXPECT_EQ(platform::wrapText("one\n\ntwo three", 5), (Lines{"one", "", "two", "three"}));
  EXPECT_EQ(platform::wrapText("ééé ééé", 3), (Lines{"ééé", "ééé"}));
  EXPECT_EQ(platform::wrapText("", 10), (Lines{""}));
}

TEST(StatusLine, ALongNoticeWrapsOverTheRowsItHas) {
  const std::string notice =
      "shell: would open \"Q-Mora.scr\" in \"/tmp/qmora/a-windows-directory-whose-name-is-long-"
      "enough/windows/system32/\" (not run on Linux)";
  const std::string shown = platform::statusLines(notice, 80, 4);
  EXPECT_NE(shown.back(), '\n');  // a line feed on the last row would scroll
  Lines lines;
  std::size_t start = 0;
  for (std::size_t end; (end = shown.find('\n', start)) != std::string::npos; start = end + 1) {
    lines.push_back(shown.substr(start, end - start));
  }
  lines.push_back(shown.substr(start));
  EXPECT_EQ(lines.size(), 3u) << shown;
  for (const std::string& line : lines) EXPECT_LE(cellsOf(line), 80u) << line;
  EXPECT_EQ(withoutBlanks(shown), withoutBlanks(notice));

  // Too few rows: as much as fits, and an ellipsis that says there is more.
  const std::string cut = platform::statusLines(notice, 40, 2);
  EXPECT_EQ(std::count(cut.begin(), cut.end(), '\n'), 1) << cut;
  EXPECT_EQ(cut.substr(cut.size() - 3), "…");
  EXPECT_LE(cellsOf(cut.substr(cut.find('\n') + 1)), 40u);

  EXPECT_EQ(platform::statusLines("", 80, 3), "");
  EXPECT_EQ(platform::statusLines(notice, 80, 0), "");
}

}  // namespace
