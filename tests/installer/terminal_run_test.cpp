// The built installer in a real terminal (a pseudo-terminal of a chosen
// size): no picture scrolls its title bar away at the size the window asks
// for, an Install failure's message box reads whole at 80x24, Escape and 'q'
// work while it is up, and what the window said is printed again once it
// has closed.
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "sandbox.h"

namespace {

constexpr char kClearScreen[] = "\x1b[H\x1b[2J";
constexpr char kLeaveScreen[] = "\x1b[?1006l";  // the first of the sequences that leave

// The text a terminal shows for `output`: control sequences and carriage
// returns removed.
std::string visible(const std::string& output) {
    std::string text;
    for (std::size_t i = 0; i < output.size(); ++i) {
        if (output[i] == '\x1b' && i + 1 < output.size() && output[i + 1] == '[') {
            i += 2;
            while (i < output.size() && !(output[i] >= 0x40 && output[i] <= 0x7E)) ++i;
        } else if (output[i] != '\r') {
            text += output[i];
        }
    }
    return text;
}

std::vector<std::string> linesOf(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1) {
        lines.push_back(text.substr(start, end - start));
    }
    lines.push_back(text.substr(start));
    return lines;
}

std::size_t cellsOf(const std::string& line) {
    std::size_t cells = 0;
    for (unsigned char c : line) cells += (c & 0xC0) != 0x80;
    return cells;
}

class TerminalSession {
public:
    TerminalSession(int columns, int rows) {
        winsize size{static_cast<unsigned short>(rows), static_cast<unsigned short>(columns), 0, 0};
        child_ = forkpty(&terminal_, nullptr, nullptr, &size);
        if (child_ == 0) {
            setenv("TERM", "xterm-256color", 1);
            unsetenv("COLORTERM");
            execl(QMORA_SETUP_EXE, QMORA_SETUP_EXE, static_cast<char*>(nullptr));
            _exit(127);
        }
    }
    ~TerminalSession() {
        if (child_ > 0 && !ended_) {
            kill(child_, SIGKILL);
            waitpid(child_, nullptr, 0);
        }
        if (terminal_ >= 0) close(terminal_);
    }
    bool started() const { return child_ > 0; }

    void type(const std::string& keys) {
        ASSERT_EQ(write(terminal_, keys.data(), keys.size()), static_cast<ssize_t>(keys.size()));
    }
    void resize(int columns, int rows) {
        winsize size{static_cast<unsigned short>(rows), static_cast<unsigned short>(columns), 0, 0};
        ioctl(terminal_, TIOCSWINSZ, &size);
        kill(child_, SIGWINCH);
    }
    // Reads until the screen's text after `from` contains `text`: true, or
    // false after five seconds or at the end of the output.
    bool waitFor(const std::string& text, std::size_t from = 0) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (visible(output.substr(std::min(from, output.size()))).find(text) == std::string::npos) {
            if (std::chrono::steady_clock::now() > deadline || !readSome(100)) return false;
        }
        return true;
    }
    // Reads to the end; the exit status, or -1 when the installer had to
    // be stopped after five seconds.
    int finish() {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        bool more = true;
        while (more && std::chrono::steady_clock::now() < deadline) more = readSome(100);
        if (more) kill(child_, SIGKILL);
        int status = 0;
        waitpid(child_, &status, 0);
        ended_ = true;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    // The pictures drawn so far, each from its clear-screen sequence to the
    // next (the last one up to where the terminal is left).
    std::vector<std::string> pictures() const {
        std::vector<std::string> found;
        std::size_t at = output.find(kClearScreen);
        while (at != std::string::npos) {
            const std::size_t start = at + sizeof kClearScreen - 1;
            at = output.find(kClearScreen, start);
            std::string picture = output.substr(start, at == std::string::npos ? at : at - start);
            picture = picture.substr(0, picture.find(kLeaveScreen));
            found.push_back(visible(picture));
        }
        return found;
    }
    // What was printed after the terminal was left.
    std::string printedAfter() const {
        const std::size_t left = output.rfind(kLeaveScreen);
        return left == std::string::npos ? "" : visible(output.substr(left));
    }

    std::string output;

private:
    // False at the end of the output.
    bool readSome(int timeoutMs) {
        pollfd ready{terminal_, POLLIN, 0};
        if (poll(&ready, 1, timeoutMs) <= 0) return true;
        char buffer[4096];
        const ssize_t n = read(terminal_, buffer, sizeof buffer);
        if (n > 0) output.append(buffer, static_cast<std::size_t>(n));
        return n > 0 || (n < 0 && errno == EINTR);
    }

    int terminal_ = -1;
    pid_t child_ = -1;
    bool ended_ = false;
};

// Every picture fits the terminal: no line wider than it, and fewer line
// feeds than it has rows, so the top line (the title bar) stays in view.
void expectPicturesFit(const std::vector<std::string>& pictures, int columns, int rows) {
    ASSERT_FALSE(pictures.empty());
    for (const std::string& picture : pictures) {
        const std::vector<std::string> lines = linesOf(picture);
        EXPECT_LT(static_cast<int>(lines.size()) - 1, rows) << picture;
        for (const std::string& line : lines) EXPECT_LE(cellsOf(line), static_cast<std::size_t>(columns)) << line;
        if (picture.find("Enlarge") == std::string::npos) {
            EXPECT_NE(lines.front().find("Setup - Q-Mora"), std::string::npos) << picture;
        }
    }
}

TEST(InstallerInATerminal, AtTheSizeItAsksForTheTitleBarStaysInView) {
    Sandbox box;
    TerminalSession session(30, 8);
    ASSERT_TRUE(session.started());
    ASSERT_TRUE(session.waitFor("Enlarge")) << session.output;
    const std::string hint = visible(session.output);
    const std::size_t at = hint.find(" to ", hint.find("Enlarge"));
    ASSERT_NE(at, std::string::npos) << hint;
    int columns = 0, rows = 0;
    ASSERT_EQ(std::sscanf(hint.c_str() + at, " to %dx%d", &columns, &rows), 2) << hint;

    session.resize(columns, rows);
    const std::size_t resized = session.output.size();
    ASSERT_TRUE(session.waitFor("keys:", resized)) << session.output;
    // Tab brings the focus line; Display Properties a notice longer than a
    // line; both below the legend at once.  Run, still disabled, says so
    // only while the window is up.
    session.type("r");
    ASSERT_TRUE(session.waitFor("Run is disabled", resized));
    session.type("\t");
    ASSERT_TRUE(session.waitFor("focus:", resized));
    session.type("d");
    ASSERT_TRUE(session.waitFor("desk.cpl", resized));
    session.type("q");
    EXPECT_EQ(session.finish(), 0);
    std::vector<std::string> pictures = session.pictures();
    ASSERT_GT(pictures.size(), 2u);
    pictures.erase(pictures.begin());  // the hint, drawn before the resize
    expectPicturesFit(pictures, columns, rows);
    // The notice, cut short under the picture, is printed whole afterwards.
    EXPECT_NE(session.printedAfter().find("shell: would open \"control\" with parameters "
                                          "\"desk.cpl ,@ScreenSaver\" (not run on Linux)\n"),
              std::string::npos)
        << session.printedAfter();
    EXPECT_EQ(session.printedAfter().find("disabled"), std::string::npos) << session.printedAfter();
}

TEST(InstallerInATerminal, AFailureReadsWholeAtEightyByTwentyFourAndIsPrintedAgain) {
    Sandbox box;
    const std::string windows = box.blockWindowsDirectory(90);
    const std::string sentence = "Q-Mora.scr could not be installed in " + windows +
                                 "/system32/: a file stands where a directory should be.";

    TerminalSession session(80, 24);
    ASSERT_TRUE(session.started());
    ASSERT_TRUE(session.waitFor("keys:"));
    session.type("i");
    ASSERT_TRUE(session.waitFor("q = close")) << session.output;
    // Escape answers the box; a second Install's box is closed with 'q',
    // which closes the window too.
    std::size_t mark = session.output.size();
    session.type("\x1b");
    ASSERT_TRUE(session.waitFor("keys:", mark)) << session.output;
    mark = session.output.size();
    session.type("i");
    ASSERT_TRUE(session.waitFor("q = close", mark));
    session.type("q");
    EXPECT_EQ(session.finish(), 0);  // on a terminal the status stays 0

    // The box fits, and its sentences are printed whole once the window
    // has closed.
    expectPicturesFit(session.pictures(), 80, 24);
    const std::string after = session.printedAfter();
    EXPECT_NE(after.find("Setup - Q-Mora: " + sentence + "\n"), std::string::npos) << after;
}

}  // namespace
