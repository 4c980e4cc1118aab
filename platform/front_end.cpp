#include "platform/front_end.h"

#include <algorithm>
#include <cstdio>
#include <unistd.h>

#include "platform/key_bindings.h"
#include "platform/window_manager.h"

namespace platform {
namespace {

constexpr const char* kClearScreen = "\x1b[H\x1b[2J";

LPARAM centreOf(HWND control) {
  RECT client{};
  GetClientRect(control, &client);
  return MAKELPARAM(client.right / 2, client.bottom / 2);
}

void hover(HWND control) {
  SendMessageA(control, WM_SETCURSOR, reinterpret_cast<WPARAM>(control),
               MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
}

std::string describeKey(char key) {
  return key == ' ' ? "Space" : std::string(1, key);
}

}  // namespace

FrontEnd& FrontEnd::instance() {
  static FrontEnd frontEnd;
  return frontEnd;
}

void FrontEnd::decideMode() {
  if (mode_ != Mode::Undecided) return;
  if (Terminal::available()) {
    mode_ = Mode::Interactive;
    colorDepth_ = terminalColorDepth();
    terminal_.enter();
  } else {
    mode_ = Mode::Script;
  }
}

void FrontEnd::useScript(const std::string& keys) {
  if (mode_ == Mode::Interactive) terminal_.leave();
  mode_ = Mode::Script;
  captureOutput_ = true;
  keysFromString_ = true;
  keys_ = keys;
  keyPosition_ = 0;
  captured_.clear();
  lastShown_.clear();
  status_.clear();
  printed_.clear();
  closeRequested_ = false;
  focus_ = nullptr;
  focusBeforeBox_ = nullptr;
  messageBox_.reset();
}

void FrontEnd::setKeys(const std::string& keys) {
  if (!keysFromString_) {
    useScript(keys);
    return;
  }
  keys_ = keys;
  keyPosition_ = 0;
  closeRequested_ = false;
}

void FrontEnd::queueKey(char key) {
  if (keysFromString_) keys_ += key;
}

std::string FrontEnd::takeOutput() {
  std::string output;
  output.swap(captured_);
  return output;
}

std::string FrontEnd::renderPlain() {
  return plainText(composeScreen(messageBox_, focus_, false));
}

void FrontEnd::write(const std::string& text) {
  if (captureOutput_) {
    captured_ += text;
  } else if (mode_ == Mode::Interactive) {
    terminal_.write(text);
  } else {
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fflush(stdout);
  }
}

void FrontEnd::say(const std::string& lines) {
  if (mode_ == Mode::Interactive) {
    takePrinted();  // what the program printed before comes first
    printed_ += lines;
  } else {
    write(lines);
  }
}

void FrontEnd::notice(const std::string& line) {
  status_ = line;  // under the picture until the next input
  if (mode_ != Mode::Interactive) write(line + "\n");
}

void FrontEnd::announce(const std::string& line) {
  say(line + "\n");
  status_ = line;
}

void FrontEnd::finish() {
  if (mode_ == Mode::Interactive) {
    printed_ += terminal_.leave();
    mode_ = Mode::Undecided;
    if (!printed_.empty()) {
      std::fwrite(printed_.data(), 1, printed_.size(), stdout);
      std::fflush(stdout);
    }
    printed_.clear();
  }
  lastShown_.clear();
}

int FrontEnd::nextByte(int timeoutMs) {
  if (keysFromString_) {
    if (keyPosition_ >= keys_.size()) return Terminal::kEnd;
    return static_cast<unsigned char>(keys_[keyPosition_++]);
  }
  if (mode_ == Mode::Interactive) return terminal_.readByte(timeoutMs);
  unsigned char byte = 0;
  return ::read(STDIN_FILENO, &byte, 1) == 1 ? byte : Terminal::kEnd;
}

InputEvent FrontEnd::nextEvent() {
  return readInputEvent([this](int timeoutMs) { return nextByte(timeoutMs); });
}

void FrontEnd::present() {
  // Keep the focus mark on a live, usable button.
  if (focus_ && (!IsWindow(focus_) || !isEnabledChain(focus_) || !isVisibleChain(focus_))) {
    focus_ = nullptr;
  }
  if (mode_ == Mode::Interactive) {
    presentInteractive();
    return;
  }
  lastScreen_ = composeScreen(messageBox_, focus_, false);
  const std::string picture = plainText(lastScreen_);
  if (picture != lastShown_) {
    write(picture);
    lastShown_ = picture;
  }
}

// What the program printed goes to the status line, its last line showing.
void FrontEnd::takePrinted() {
  const std::string printed = terminal_.takePrinted();
  if (printed.empty()) return;
  printed_ += printed;
  std::string last = printed.substr(0, printed.find_last_not_of('\n') + 1);
  last = last.substr(last.find_last_of('\n') + 1);
  if (!last.empty()) status_ = last;
}

void FrontEnd::presentInteractive() {
  takePrinted();
  int columns = kLegendWidth, rows = 0;
  const bool sized = terminal_.size(columns, rows);
  lastScreen_ = composeScreen(messageBox_, focus_, true, std::min(columns, kLegendWidth));
  std::string picture;
  if (sized && (columns < requiredColumns(lastScreen_) || rows < requiredRows(lastScreen_))) {
    // A frame cut by the terminal's edges would be garbled: say what is
    // needed instead, and let nothing be clicked that cannot be seen.
    picture = enlargeHint(lastScreen_, columns, rows);
    lastScreen_.regions.clear();
  } else {
    // The status takes the rows below the legend.  Its last line ends
    // without a line feed: one on the terminal's last row would scroll the
    // title bar away.
    const int statusRows = sized ? rows - lastScreen_.height - static_cast<int>(lastScreen_.legend.size()) : 1;
    picture = ansiText(lastScreen_, colorDepth_) + statusLines(status_, columns, statusRows);
  }
  // A new size redraws even the same picture: the terminal may have
  // garbled what it showed.
  const std::string key = picture + "|" + std::to_string(columns) + "x" + std::to_string(rows);
  if (key != lastShown_) {
    write(kClearScreen + picture);
    lastShown_ = key;
  }
}

bool FrontEnd::requestClose() {
  const HWND main = mainWindow();
  if (!main) return false;
  // As the system menu's Close does.
  PostMessageA(main, WM_SYSCOMMAND, SC_CLOSE, 0);
  closeRequested_ = true;
  return true;
}

void FrontEnd::press(HWND control, const std::string& label) {
  if (!isEnabledChain(control) || !isVisibleChain(control)) {
    notice(label + " is disabled: nothing happens");
    return;
  }
  if (mode_ != Mode::Interactive) write("> " + label + "\n");
  hover(control);
  if (!IsWindow(control)) return;
  const LPARAM centre = centreOf(control);
  PostMessageA(control, WM_LBUTTONDOWN, MK_LBUTTON, centre);
  PostMessageA(control, WM_LBUTTONUP, 0, centre);
}

void FrontEnd::moveFocus(bool forward) {
  const std::vector<HWND> order = tabOrder();
  if (order.empty()) return;
  auto current = std::find(order.begin(), order.end(), focus_);
  std::size_t index = 0;
  if (current != order.end()) {
    const std::size_t position = static_cast<std::size_t>(current - order.begin());
    index = forward ? (position + 1) % order.size() : (position + order.size() - 1) % order.size();
  } else if (!forward) {
    index = order.size() - 1;
  }
  focus_ = order[index];
  WindowManager::instance().focus = focus_;
  hover(focus_);
}

FrontEnd::Wait FrontEnd::handle(const InputEvent& event) {
  using Kind = InputEvent::Kind;
  // A notice lasts until the next thing the user does.
  if (event.kind != Kind::Ignored && event.kind != Kind::End) status_.clear();
  switch (event.kind) {
    case Kind::End:
      if (!closeRequested_ && requestClose()) {
        if (mode_ != Mode::Interactive) write("> end of input: closing\n");
        return Wait::Handled;
      }
      return Wait::Ended;
    case Kind::Close:
      if (!requestClose()) notice("no window to close");
      return Wait::Handled;
    case Kind::Tab:
    case Kind::BackTab:
      moveFocus(event.kind == Kind::Tab);
      return Wait::Handled;
    case Kind::Enter:
    case Kind::Space:
      if (focus_) press(focus_, labelOf(WindowManager::instance().find(focus_)->text));
      return Wait::Handled;
    case Kind::Click:
      for (const HitRegion& region : lastScreen_.regions) {
        if (region.control && event.column >= region.column0 && event.column < region.column1 &&
            event.row >= region.row0 && event.row < region.row1 && IsWindow(region.control)) {
          press(region.control, labelOf(WindowManager::instance().find(region.control)->text));
          break;
        }
      }
      return Wait::Handled;
    case Kind::Key: {
      if (event.key == kCloseKey) {
        if (mode_ != Mode::Interactive) write("> q: close\n");
        if (!requestClose()) notice("no window to close");
        return Wait::Handled;
      }
      const std::vector<KeyBinding> bindings = keyBindings();
      if (const KeyBinding* binding = findBinding(bindings, event.key)) {
        press(binding->control, binding->label);
      } else {
        notice("key '" + describeKey(event.key) + "' does nothing");
      }
      return Wait::Handled;
    }
    case Kind::Escape:
    case Kind::Ignored:
      return Wait::Handled;
  }
  return Wait::Handled;
}

FrontEnd::Wait FrontEnd::waitForInput() {
  decideMode();
  present();
  return handle(nextEvent());
}

void FrontEnd::showMessageBox(const MessageBoxState& box) {
  decideMode();
  if (!messageBox_) focusBeforeBox_ = focus_;
  messageBox_ = box;
  present();
  // The text once more as plain lines, each whole whatever the box's
  // width: at once for a script, after the window closes on a terminal.
  std::string lines;
  std::size_t start = 0;
  for (std::size_t end = 0; end != std::string::npos; start = end + 1) {
    end = box.text.find('\n', start);
    lines += box.caption + ": " + box.text.substr(start, end == std::string::npos ? end : end - start) + "\n";
  }
  say(lines);
}

int FrontEnd::waitForMessageBoxAnswer() {
  decideMode();
  present();
  const UINT type = messageBox_ ? messageBox_->type : MB_OK;
  const auto buttons = messageBoxButtons(type);
  const InputEvent event = nextEvent();
  using Kind = InputEvent::Kind;
  if (event.kind != Kind::Ignored && event.kind != Kind::End) status_.clear();
  switch (event.kind) {
    case Kind::Enter:
    case Kind::Space:
      return buttons.front().answer;
    case Kind::End:
      if (mode_ != Mode::Interactive) write("> end of input: message box dismissed\n");
      return messageBoxDismissAnswer(type);
    case Kind::Escape:
      return messageBoxDismissAnswer(type);
    case Kind::Close:
      return closeFromMessageBox(type);
    case Kind::Click:
      for (const HitRegion& region : lastScreen_.regions) {
        if (region.answer && event.column >= region.column0 && event.column < region.column1 &&
            event.row >= region.row0 && event.row < region.row1) {
          return region.answer;
        }
      }
      return 0;
    case Kind::Key:
      if (event.key == kCloseKey) return closeFromMessageBox(type);
      [[fallthrough]];
    default:
      notice(std::string("a message box is open: Enter or Escape answers it, ") + kCloseKey +
             " closes the window");
      return 0;
  }
}

// The close key in a message box: the box goes as Escape would take it,
// then the main window closes.
int FrontEnd::closeFromMessageBox(UINT type) {
  if (mode_ != Mode::Interactive) write("> q: close\n");
  requestClose();
  return messageBoxDismissAnswer(type);
}

void FrontEnd::hideMessageBox() {
  messageBox_.reset();
  // The button that had the focus gets it back (unless it has gone or is
  // disabled now, which the next redraw checks).
  focus_ = focusBeforeBox_;
  focusBeforeBox_ = nullptr;
  if (focus_ && IsWindow(focus_)) WindowManager::instance().focus = focus_;
}

}  // namespace platform
