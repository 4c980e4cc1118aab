// The setup window as the terminal front end draws it: it fits an 80x24
// terminal with its key legend, a smaller one gets a one-line hint naming
// the size every state of the window needs, an Install failure's message box
// reads whole at 80 columns, and the picture is the product's own 99x57
// image in colour half blocks.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "installer/actions.h"
#include "installer/setup_state.h"
#include "installer/setup_window.h"
#include "platform/screen_render.h"
#include "platform/text_layout.h"
#include "platform/testing.h"
#include "sandbox.h"

namespace {

class TerminalView : public ::testing::Test {
protected:
    void SetUp() override {
        resetWindowsRecordingShell(shell);
        ASSERT_TRUE(createSetupWindows(GetModuleHandleA(nullptr)));
        win32test::paintWindow(setupDialog);  // the link takes its colour
        screen = platform::composeScreen(std::nullopt, GetDlgItem(setupDialog, 1001), true);
    }
    void TearDown() override { win32test::reset(); }

    Sandbox box;
    std::vector<ShellCall> shell;
    platform::Screen screen;
};

size_t columnsOf(const std::string& line) {
    size_t glyphs = 0;
    for (unsigned char c : line) glyphs += (c & 0xC0) != 0x80;
    return glyphs;
}

TEST_F(TerminalView, FitsAnEightyByTwentyFourTerminalLegendIncluded) {
    ASSERT_FALSE(screen.legend.empty());
    for (const std::string& line : screen.legend) {
        EXPECT_LE(columnsOf(line), 80u) << line;
    }
    EXPECT_LE(platform::requiredColumns(screen), 80);
    EXPECT_LE(platform::requiredRows(screen), 24);
    // Every key is still named.
    std::string legend;
    for (const std::string& line : screen.legend) legend += line + "\n";
    for (const char* key : {"i Install", "r Run", "d Display Properties", "(link)", "q close"}) {
        EXPECT_NE(legend.find(key), std::string::npos) << key << "\n" << legend;
    }
    // The link is named by what it opens, not by its colour value.
    EXPECT_EQ(legend.find('#'), std::string::npos) << legend;
}

TEST_F(TerminalView, ASmallerTerminalGetsOneLineSayingWhatItNeeds) {
    const std::string needed = std::to_string(platform::requiredColumns(screen)) + "x" +
                               std::to_string(platform::requiredRows(screen));
    const std::string roomy = platform::enlargeHint(screen, 30, 16);
    EXPECT_LE(roomy.size(), 30u);
    EXPECT_NE(roomy.find(needed), std::string::npos) << roomy;
    EXPECT_EQ(roomy.find('\n'), std::string::npos);
    EXPECT_LE(platform::enlargeHint(screen, 12, 5).size(), 12u);
}

TEST_F(TerminalView, TheSizeNamedHoldsTheFocusLineAndTheStatusLine) {
    // Before Tab there is no focus line; the size asked for must not grow
    // when it appears, and must hold the picture, every legend line and a
    // status line.
    const platform::Screen unfocused = platform::composeScreen(std::nullopt, nullptr, true);
    EXPECT_EQ(platform::requiredRows(unfocused), platform::requiredRows(screen));
    EXPECT_GE(platform::requiredRows(screen), screen.height + static_cast<int>(screen.legend.size()) + 1);
    const std::string needed = std::to_string(platform::requiredColumns(unfocused)) + "x" +
                               std::to_string(platform::requiredRows(unfocused));
    EXPECT_NE(platform::enlargeHint(unfocused, 40, 10).find(needed), std::string::npos);
}

std::string withoutFrameOrBlanks(const std::string& text) {
    std::string kept;
    for (const std::string& glyph : platform::glyphsOf(text)) {
        if (glyph != " " && glyph != "│" && glyph != "\n") kept += glyph;
    }
    return kept;
}

TEST_F(TerminalView, AnInstallFailureReadsWholeInAnEightyColumnBox) {
    // windir names a file at the end of a long path: nothing can be
    // installed below it, and the sentences name that long path twice.
    const std::string windows = box.blockWindowsDirectory(70);
    install();
    const win32test::MessageBoxRecord report = win32test::lastMessageBox();
    ASSERT_NE(report.text.find("could not be installed in " + windows), std::string::npos) << report.text;
    ASSERT_NE(report.text.find("a file stands where a directory should be."), std::string::npos);

    const platform::Screen shown = platform::composeScreen(
        platform::MessageBoxState{setupDialog, report.text, report.caption, MB_OK}, nullptr, true, 80);
    EXPECT_LE(platform::requiredColumns(shown), 80);
    EXPECT_LE(platform::requiredRows(shown), 24);
    // The box takes the whole width, so its rows hold nothing but its text.
    const std::string picture = platform::plainText(shown);
    EXPECT_NE(withoutFrameOrBlanks(picture).find(withoutFrameOrBlanks(report.text)), std::string::npos)
        << picture;
    EXPECT_NE(picture.find("q = close"), std::string::npos) << picture;
}

TEST_F(TerminalView, ThePictureIsTheProductImageInHalfBlocks) {
    // 99x57 pixels at 6x13 pixels a cell: 17 by 4 cells of two blocks each.
    int blocks = 0;
    std::set<uint32_t> colours;
    for (const platform::Cell& cell : screen.cells) {
        if (cell.glyph != "▀") continue;
        ++blocks;
        colours.insert(cell.color);
        colours.insert(cell.background);
    }
    EXPECT_EQ(blocks, 17 * 4);
    EXPECT_GE(colours.size(), 8u);  // a picture, not a solid area
}

}  // namespace
