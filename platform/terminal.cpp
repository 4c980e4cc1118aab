#include "platform/terminal.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace platform {
namespace {

// Alternate screen, hidden cursor, mouse clicks in SGR form; and back.
constexpr char kEnterSequence[] = "\x1b[?1049h\x1b[?25l\x1b[?1000h\x1b[?1006h";
constexpr char kLeaveSequence[] = "\x1b[?1006l\x1b[?1000l\x1b[?25h\x1b[?1049l";
constexpr int kRestoredSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};

termios savedMode;
volatile sig_atomic_t modeSaved = 0;
// Where the picture goes: standard output as it was before the capture.
volatile sig_atomic_t terminalOutput = STDOUT_FILENO;
// A change of size is a byte in this pipe, so that a wait for input wakes
// up even when the signal came just before the wait began.
int resizePipe[2] = {-1, -1};

// Async-signal-safe: only write(), dup2() and tcsetattr().
void restoreTerminal() {
  if (!modeSaved) return;
  modeSaved = 0;
  ssize_t ignored = ::write(terminalOutput, kLeaveSequence, sizeof kLeaveSequence - 1);
  (void)ignored;
  if (terminalOutput != STDOUT_FILENO) dup2(terminalOutput, STDOUT_FILENO);
  tcsetattr(STDIN_FILENO, TCSAFLUSH, &savedMode);
}

void noteResize(int) {
  const int savedErrno = errno;
  const char byte = 1;
  ssize_t ignored = ::write(resizePipe[1], &byte, 1);  // a full pipe has said it already
  (void)ignored;
  errno = savedErrno;
}

bool openResizePipe() {
  if (pipe(resizePipe) != 0) return false;
  for (int end : resizePipe) {
    fcntl(end, F_SETFL, fcntl(end, F_GETFL) | O_NONBLOCK);
    fcntl(end, F_SETFD, FD_CLOEXEC);
  }
  return true;
}

void restoreAndDie(int signalNumber) {
  restoreTerminal();
  std::signal(signalNumber, SIG_DFL);
  std::raise(signalNumber);
}

}  // namespace

bool Terminal::available() { return isatty(STDIN_FILENO) && isatty(STDOUT_FILENO); }

void Terminal::enter() {
  if (active_ || tcgetattr(STDIN_FILENO, &savedMode) != 0) return;
  termios raw = savedMode;
  raw.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO);
  raw.c_iflag &= ~static_cast<tcflag_t>(IXON | ICRNL);
  raw.c_cc[VMIN] = 1;
  raw.c_cc[VTIME] = 0;
  if (tcsetattr(STDIN_FILENO, TCSAFLUSH, &raw) != 0) return;
  modeSaved = 1;
  active_ = true;
  static bool hooksInstalled = false;
  if (!hooksInstalled) {
    hooksInstalled = true;
    std::atexit(restoreTerminal);
    for (int signalNumber : kRestoredSignals) std::signal(signalNumber, restoreAndDie);
    if (openResizePipe()) {
      struct sigaction onResize {};
      onResize.sa_handler = noteResize;
      sigemptyset(&onResize.sa_mask);
      onResize.sa_flags = SA_RESTART;
      sigaction(SIGWINCH, &onResize, nullptr);
    }
  }
  const int output = capture_.start();
  terminalOutput = output >= 0 ? output : STDOUT_FILENO;
  write(kEnterSequence);
}

std::string Terminal::leave() {
  if (!active_) return "";
  active_ = false;
  restoreTerminal();
  terminalOutput = STDOUT_FILENO;
  return capture_.stop();
}

bool Terminal::size(int& columns, int& rows) const {
  winsize window{};
  if (ioctl(terminalOutput, TIOCGWINSZ, &window) != 0 || window.ws_col == 0 || window.ws_row == 0) {
    return false;
  }
  columns = window.ws_col;
  rows = window.ws_row;
  return true;
}

void Terminal::write(const std::string& text) {
  std::size_t written = 0;
  while (written < text.size()) {
    const ssize_t n = ::write(terminalOutput, text.data() + written, text.size() - written);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;
    written += static_cast<std::size_t>(n);
  }
}

int Terminal::readByte(int timeoutMs) {
  pollfd waits[2] = {{STDIN_FILENO, POLLIN, 0}, {resizePipe[0], POLLIN, 0}};
  for (;;) {
    const int ready = poll(waits, resizePipe[0] >= 0 ? 2 : 1, timeoutMs);
    if (ready > 0 && (waits[1].revents & POLLIN)) {
      char drained[16];
      while (::read(resizePipe[0], drained, sizeof drained) > 0) {
      }
      return kResized;
    }
    if (ready < 0 && errno == EINTR) continue;
    if (ready < 0) return kEnd;
    if (ready == 0) return kTimeout;
    unsigned char byte = 0;
    const ssize_t n = ::read(STDIN_FILENO, &byte, 1);
    if (n < 0 && errno == EINTR) continue;
    return n == 1 ? byte : kEnd;
  }
}

}  // namespace platform
