// The controlling terminal in the mode the interactive front end needs: no
// line editing or echo, xterm mouse reporting, the alternate screen, a
// hidden cursor.  The previous mode is restored on leave(), at exit and on
// the usual terminating signals.
#pragma once

#include <string>

namespace platform {

class Terminal {
 public:
  // Standard input and output are both terminals.
  static bool available();

  void enter();
  void leave();
  bool active() const { return active_; }

  void write(const std::string& text);
  // The next byte of input; kTimeout when none arrives within timeoutMs
  // (negative waits for ever), kEnd at end of input or on error.
  static constexpr int kTimeout = -1;
  static constexpr int kEnd = -2;
  int readByte(int timeoutMs);

 private:
  bool active_ = false;
};

}  // namespace platform
