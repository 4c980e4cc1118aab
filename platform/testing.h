// Test hooks of the Linux stand-in for the Win32 API.
//
// Tests drive the windows without a terminal: reset() puts the window
// manager into script mode with no keys queued and captures everything the
// front end prints, so a message loop that runs out of keys closes the frame
// instead of waiting.  A typical installer test:
//
//     win32test::reset();
//     win32test::setShellRecorder(...);          // no real shell actions
//     win32test::setScriptInput("i\nq");         // Install, dismiss, close
//     int code = start(GetModuleHandleA(nullptr), SW_SHOWNORMAL);
//     std::string shown = win32test::takeOutput();
//
// Script keys: a letter clicks the control whose text begins with it ('i'
// Install, 'r' Run, 'd' Display Properties), 'l' clicks the static control
// with SS_NOTIFY (the link), Tab moves the keyboard focus between buttons,
// Enter or Space presses the focused button or dismisses a message box, 'q'
// closes the frame as its system-menu Close does, and the end of the keys
// closes the frame too.  A key for a disabled control does nothing.
#pragma once

#include <functional>
#include <string>

#include "platform/win32.h"

namespace win32test {

// Forgets every window, class, queued message, quit request and property
// (no messages are sent), restores the cursors, clears the message-box
// record and the shell recorder, and selects script mode with no keys and
// captured output.  Embedded resources stay registered.
void reset();

// Shell execution is replaced by `recorder` (an empty function restores the
// real behaviour).  ShellExecuteA then reports success (a value above 32).
using ShellRecorder = std::function<void(HWND owner, const std::string& verb,
                                         const std::string& file,
                                         const std::string& parameters,
                                         const std::string& directory, int showCommand)>;
void setShellRecorder(ShellRecorder recorder);

// Keys read by GetMessageA/MessageBoxA whenever the queue runs dry.
void setScriptInput(const std::string& keys);
// Everything the front end printed since the last call (plain text).
std::string takeOutput();
// The plain-text picture of the windows as the front end would show it now.
std::string renderText();
// The front end's status line: the latest notice, until the next input.
std::string statusLine();

// Clicks a control at once: WM_SETCURSOR, WM_LBUTTONDOWN and WM_LBUTTONUP
// are sent to it as the system would for a mouse click.  Returns false and
// sends nothing when the control or one of its ancestors is disabled,
// hidden, or not a window.
bool clickControl(HWND control);
// Sends WM_SETCURSOR to `hwnd` as if the pointer had just moved onto it.
void hoverControl(HWND hwnd);
// Queues the key as if typed (handled when the message loop goes idle).
void pressKey(char key);

// Paints `hwnd` and all its visible descendants now (WM_PAINT sent to each),
// so statics send WM_CTLCOLORSTATIC to their parents.
void paintWindow(HWND hwnd);
// The text colour the static (or button) was last drawn with, CLR_INVALID
// when it has never been drawn.
COLORREF lastTextColor(HWND control);

// The cursor last set with SetCursor, and the system cursor id it stands for
// (32512 arrow, 32649 hand, ...; 0 for none or not a system cursor).
HCURSOR currentCursor();
int systemCursorId(HCURSOR cursor);
// Whether LoadCursorA(NULL, IDC_HAND) finds a hand cursor (default true).
void setHandCursorAvailable(bool available);

// Number of properties a live window carries.
std::size_t propertyCount(HWND hwnd);
// What a destroyed window looked like at the end of its destruction (after
// its WM_DESTROY, before the system dropped what was left).
struct DestroyedWindow {
  std::size_t propertyCount = 0;   // properties still set
  WNDPROC procedure = nullptr;     // window procedure installed at that time
  WNDPROC classProcedure = nullptr;// its window class's procedure
  int destroyMessages = 0;         // WM_DESTROY messages it received
};
bool destroyedWindow(HWND hwnd, DestroyedWindow& out);

// The last message box shown, and how many were shown since reset().
struct MessageBoxRecord {
  HWND owner = nullptr;
  std::string text;
  std::string caption;
  UINT type = 0;
  int count = 0;
};
MessageBoxRecord lastMessageBox();
// Answer message boxes at once with `answer` (e.g. IDOK) instead of waiting
// for a key; 0 lets the front end wait for Enter again.
void setMessageBoxAnswer(int answer);

// File-system faults for failure paths (reset() removes them).
// Bytes that writes through _write and win32Fopen streams may still add
// before the disk is full: a write then stores what fits and the next one
// fails with ENOSPC.  Negative: no limit.
void setDiskSpace(long long bytes);
// false: MoveFileExA fails with ERROR_CALL_NOT_IMPLEMENTED, as on the
// oldest 32-bit Windows systems.
void setMoveFileExAvailable(bool available);

}  // namespace win32test
