// The window manager's state: window classes, windows, the message queue,
// the cursor and the keyboard focus.  One per process, used from one thread.
#pragma once

#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/images.h"
#include "platform/testing.h"
#include "platform/win32.h"

namespace platform {

// Dialog units become pixels with fixed base units, those of "MS Shell Dlg"
// 8 point at 96 dots per inch: 4 horizontal units are 6 pixels, 8 vertical
// units 13 pixels (rounded to the nearest pixel).
constexpr int kDialogBaseUnitX = 6;
constexpr int kDialogBaseUnitY = 13;
int dialogUnitsToPixelsX(int units);
int dialogUnitsToPixelsY(int units);

// Non-client metrics: a caption bar 19 pixels high, and a frame 3 pixels
// wide on every side for a dialog frame (WS_DLGFRAME, so every captioned
// window), 4 for a sizing border, 1 for a plain border.
constexpr int kCaptionHeight = 19;
constexpr int kDialogFrameWidth = 3;
constexpr int kSizingFrameWidth = 4;
constexpr int kThinBorderWidth = 1;

// Where an overlapped window given CW_USEDEFAULT goes, and its default size.
constexpr int kDefaultX = 64;
constexpr int kDefaultY = 48;
constexpr int kDefaultWidth = 640;
constexpr int kDefaultHeight = 480;

struct WindowClass {
  std::string name;
  ATOM atom = 0;
  UINT style = 0;
  WNDPROC procedure = nullptr;
  HINSTANCE instance = nullptr;
  HICON icon = nullptr;
  HICON smallIcon = nullptr;
  HCURSOR cursor = nullptr;
  HBRUSH background = nullptr;
};

struct Property {
  std::string name;  // upper-cased: property names are atoms, compared without case
  HANDLE data = nullptr;
};

struct Window {
  HWND handle = nullptr;
  std::shared_ptr<const WindowClass> windowClass;
  WNDPROC procedure = nullptr;
  DWORD style = 0;
  DWORD exStyle = 0;
  HWND parent = nullptr;  // child windows only
  HWND owner = nullptr;   // top-level windows only
  RECT rect{};            // window rectangle, in the parent's client coordinates
                          // (screen coordinates for a top-level window)
  std::string text;
  int id = 0;
  HINSTANCE instance = nullptr;
  LONG_PTR userData = 0;
  std::vector<Property> properties;
  std::vector<HWND> children;
  bool needsPaint = false;
  bool destroying = false;
  int destroyMessages = 0;

  // Dialog boxes.
  DLGPROC dialogProcedure = nullptr;
  LRESULT dialogMessageResult = 0;
  LONG_PTR dialogUserData = 0;
  bool dialogEnded = false;
  INT_PTR dialogResult = 0;

  // Controls.
  std::optional<BitmapInfo> bitmap;  // SS_BITMAP statics
  bool pressed = false;              // buttons between mouse down and up
  COLORREF lastTextColor = CLR_INVALID;
};

class WindowManager {
 public:
  static WindowManager& instance();

  // Forgets everything (no messages sent) and registers the system classes.
  void reset();

  Window* find(HWND hwnd);
  Window& add(std::unique_ptr<Window> window);
  void remove(HWND hwnd);
  HWND nextHandle();

  // All live windows in creation order.
  std::vector<HWND> allWindows() const;
  std::vector<HWND> topLevelWindows() const;

  std::shared_ptr<const WindowClass> findClass(LPCSTR name) const;
  ATOM registerClass(WindowClass windowClass);

  // The message queue of the one thread.
  std::deque<MSG> queue;
  bool quitPosted = false;
  int quitCode = 0;

  HCURSOR cursor = nullptr;
  bool handCursorAvailable = true;
  HWND focus = nullptr;

  std::map<HWND, win32test::DestroyedWindow> destroyed;

 private:
  WindowManager();
  void registerSystemClasses();

  std::map<HWND, std::unique_ptr<Window>> windows_;
  std::vector<std::shared_ptr<WindowClass>> classes_;
  std::uintptr_t handleCounter_ = 0;
  ATOM atomCounter_ = 0;
};

// Convenience for the API functions.
Window* findWindow(HWND hwnd);

// The window's client rectangle in screen coordinates.
RECT clientRectOnScreen(const Window& window);
// The non-client widths a style gives: left/right border, top (caption and
// border), bottom border.
struct NonClient {
  int left = 0, top = 0, right = 0, bottom = 0;
};
NonClient nonClientOf(DWORD style, DWORD exStyle);

// Whether the window and all its ancestors are enabled / visible.
bool isEnabledChain(HWND hwnd);
bool isVisibleChain(HWND hwnd);
// The WM_CTLCOLOR* messages, which ask a parent for a control's colours.
inline bool isControlColorMessage(UINT message) {
  return message >= WM_CTLCOLORMSGBOX && message <= WM_CTLCOLORSTATIC;
}

// Marks the window and its descendants as needing WM_PAINT.
void invalidateTree(HWND hwnd);

// The built-in window procedures.
LRESULT CALLBACK buttonProcedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT CALLBACK staticProcedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT CALLBACK dialogProcedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
constexpr const char* kDialogClassName = "#32770";

// Cursors.
HCURSOR systemCursor(int id);
HCURSOR arrowCursor();

}  // namespace platform
