// The controlling terminal in the mode the interactive front end needs: no
// line editing or echo, xterm mouse reporting, the alternate screen, a
// hidden cursor, and the program's own standard output captured so that it
// does not land across the picture.  The previous mode is restored on
// leave(), at exit and on the usual terminating signals.
#pragma once

#include <string>

#include "platform/output_capture.h"

namespace platform {

class Terminal {
 public:
  // Standard input and output are both terminals.
  static bool available();

  void enter();
  // Restores the terminal; returns what the program printed meanwhile and
  // was not taken yet.
  std::string leave();
  bool active() const { return active_; }

  void write(const std::string& text);
  // What the program printed to standard output since the last call.
  std::string takePrinted() { return capture_.take(); }

  // Columns and rows of the terminal; false when it does not say.
  bool size(int& columns, int& rows) const;

  // The next byte of input; kTimeout when none arrives within timeoutMs
  // (negative waits for ever), kEnd at end of input or on error, kResized
  // when the terminal changed size while waiting.
  static constexpr int kTimeout = -1;
  static constexpr int kEnd = -2;
  static constexpr int kResized = -3;
  int readByte(int timeoutMs);

 private:
  bool active_ = false;
  OutputCapture capture_;
};

}  // namespace platform
