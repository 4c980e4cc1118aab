// What the program prints to standard output while the front end draws on
// the terminal: it would land across the picture and be wiped by the next
// redraw, so it goes into a pipe instead, for the front end to show in its
// status line and to print again once the terminal is left.
#pragma once

#include <string>

namespace platform {

class OutputCapture {
 public:
  // Sends standard output into the capture.  Returns a descriptor that still
  // reaches where standard output went before, or -1 (nothing captured).
  int start();
  bool active() const { return readEnd_ >= 0; }
  // What has arrived since the last call.
  std::string take();
  // Puts standard output back; returns what arrived and was not taken yet.
  std::string stop();

 private:
  int readEnd_ = -1;
  int savedOutput_ = -1;
};

}  // namespace platform
