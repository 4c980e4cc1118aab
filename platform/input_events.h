// Keys and mouse clicks, decoded from the bytes a terminal or a script sends.
#pragma once

#include <functional>

namespace platform {

struct InputEvent {
  enum class Kind { Key, Tab, BackTab, Enter, Space, Escape, Close, Click, End, Ignored };
  Kind kind = Kind::Ignored;
  char key = 0;       // Key: the character typed
  int column = 0;     // Click: zero-based cell
  int row = 0;
};

// Reads one event.  `nextByte(timeoutMs)` returns a byte, -1 when none came
// in time, -2 at the end of input, -3 when the terminal changed size (an
// Ignored event, after which the front end draws again).  An escape byte not followed by a
// sequence within a short time is the Escape key.
InputEvent readInputEvent(const std::function<int(int timeoutMs)>& nextByte);

}  // namespace platform
