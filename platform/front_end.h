// The front end that shows the windows and turns keys and clicks into
// window messages.
//
// Interactive mode (standard input and output are terminals): the windows
// are drawn in colour on the alternate screen; Tab / Shift-Tab move between
// buttons, Enter or Space press the focused one, a control's key presses it
// (platform/key_bindings.h), mouse clicks press what they hit, 'q' or
// Ctrl-D close the main window.
//
// Script mode (otherwise): the same keys are read from standard input, one
// byte each, and every change of the picture is printed as plain text,
// together with the keys read and anything the layer has to say.  The end
// of the input closes the main window.
//
// Enter and Space press a button only once Tab has given one the focus, so
// a newline that ends a script line never presses a button by accident.
#pragma once

#include <optional>
#include <string>

#include "platform/input_events.h"
#include "platform/message_box_state.h"
#include "platform/screen_render.h"
#include "platform/terminal.h"

namespace platform {

class FrontEnd {
 public:
  static FrontEnd& instance();

  enum class Wait { Handled, Ended };
  // Shows the windows, reads one input event and acts on it.  Ended when
  // the input is over and nothing more can come of it.
  Wait waitForInput();

  // Shows the box; its text is also printed as plain lines ("caption: line"),
  // at once in script mode, after the window closes on a terminal.
  void showMessageBox(const MessageBoxState& box);
  // Shows the box, reads one event; the answer, or 0 while unanswered.
  // Enter and Space choose the first button, Escape and the end of input
  // dismiss the box, and the close key dismisses it and closes the main
  // window.
  int waitForMessageBoxAnswer();
  void hideMessageBox();

  // A line for the user (a refused key), shown in the status line until the
  // next input.
  void notice(const std::string& line);
  // What the program did that the user should know of (a shell action):
  // shown like a notice, and printed again when the window closes.
  void announce(const std::string& line);
  const std::string& status() const { return status_; }
  // Leaves the terminal as it was found, then prints again what the program
  // printed while the windows were drawn.
  void finish();

  // Test support: script mode reading `keys`, output kept for takeOutput().
  void useScript(const std::string& keys);
  // Replaces the keys still to be read (script mode, output kept).
  void setKeys(const std::string& keys);
  void queueKey(char key);
  std::string takeOutput();
  std::string renderPlain();

 private:
  enum class Mode { Undecided, Script, Interactive };

  void decideMode();
  InputEvent nextEvent();
  int nextByte(int timeoutMs);
  void present();
  void presentInteractive();
  void takePrinted();
  void write(const std::string& text);
  // Lines for the user: written now in script mode, kept to be printed
  // after the window closes in interactive mode.
  void say(const std::string& lines);
  int closeFromMessageBox(UINT type);
  bool requestClose();
  void press(HWND control, const std::string& label);
  void moveFocus(bool forward);
  Wait handle(const InputEvent& event);

  Mode mode_ = Mode::Undecided;
  bool captureOutput_ = false;
  bool keysFromString_ = false;
  std::string keys_;
  std::size_t keyPosition_ = 0;
  std::string captured_;
  std::string lastShown_;
  std::string status_;
  std::string printed_;  // what the program printed in interactive mode
  bool closeRequested_ = false;
  HWND focus_ = nullptr;
  HWND focusBeforeBox_ = nullptr;  // given back when the message box goes
  ColorDepth colorDepth_ = ColorDepth::Palette256;
  std::optional<MessageBoxState> messageBox_;
  Screen lastScreen_;
  Terminal terminal_;
};

}  // namespace platform
