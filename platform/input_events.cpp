#include "platform/input_events.h"

#include <string>

namespace platform {
namespace {

constexpr int kEscape = 0x1B;
constexpr int kControlD = 0x04;
constexpr int kEscapeSequenceWaitMs = 30;
constexpr int kEndOfInput = -2;

// An xterm SGR mouse report "<button;column;row" + 'M' (press) or 'm'.
InputEvent mouseEvent(const std::string& parameters, char final) {
  InputEvent event;
  int values[3] = {0, 0, 0};
  int index = 0;
  for (std::size_t i = 1; i < parameters.size() && index < 3; ++i) {
    const char c = parameters[i];
    if (c == ';') {
      ++index;
    } else if (c >= '0' && c <= '9' && values[index] < 100000) {
      values[index] = values[index] * 10 + (c - '0');
    }
  }
  const bool leftPress = final == 'M' && values[0] == 0;
  if (leftPress && values[1] > 0 && values[2] > 0) {
    event.kind = InputEvent::Kind::Click;
    event.column = values[1] - 1;
    event.row = values[2] - 1;
  }
  return event;
}

InputEvent controlSequence(const std::function<int(int)>& nextByte) {
  std::string parameters;
  for (;;) {
    const int byte = nextByte(kEscapeSequenceWaitMs);
    if (byte < 0) return InputEvent{};
    if (byte >= 0x40 && byte <= 0x7E) {
      if (byte == 'Z') return InputEvent{InputEvent::Kind::BackTab};
      if (!parameters.empty() && parameters[0] == '<') {
        return mouseEvent(parameters, static_cast<char>(byte));
      }
      return InputEvent{};
    }
    if (parameters.size() < 32) parameters += static_cast<char>(byte);
  }
}

}  // namespace

InputEvent readInputEvent(const std::function<int(int timeoutMs)>& nextByte) {
  const int byte = nextByte(-1);
  if (byte == kEndOfInput) return InputEvent{InputEvent::Kind::End};
  // No byte, but something to look at again (the terminal changed size).
  if (byte < 0) return InputEvent{};
  switch (byte) {
    case '\t': return InputEvent{InputEvent::Kind::Tab};
    case '\r':
    case '\n': return InputEvent{InputEvent::Kind::Enter};
    case ' ': return InputEvent{InputEvent::Kind::Space};
    case kControlD: return InputEvent{InputEvent::Kind::Close};
    case kEscape: {
      const int next = nextByte(kEscapeSequenceWaitMs);
      if (next == '[') return controlSequence(nextByte);
      return InputEvent{InputEvent::Kind::Escape};
    }
    default:
      break;
  }
  if (byte >= 0x21 && byte < 0x7F) {
    InputEvent event{InputEvent::Kind::Key};
    event.key = static_cast<char>(byte);
    return event;
  }
  return InputEvent{};
}

}  // namespace platform
