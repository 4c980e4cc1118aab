// The predefined control classes the dialogs use: push buttons and statics.
#include "platform/window_manager.h"

namespace platform {
namespace {

constexpr LRESULT kHitTransparent = -1;

void notifyParent(HWND hwnd, WORD code) {
  Window* window = WindowManager::instance().find(hwnd);
  if (!window || !window->parent) return;
  SendMessageA(window->parent, WM_COMMAND, MAKEWPARAM(window->id, code),
               reinterpret_cast<LPARAM>(hwnd));
}

// Drawing a control asks its parent for colours (WM_CTLCOLOR*); the text
// colour the device context ends with is the one the control is drawn in.
void paintControl(HWND hwnd, UINT colorMessage) {
  PAINTSTRUCT paint;
  const HDC dc = BeginPaint(hwnd, &paint);
  Window* window = WindowManager::instance().find(hwnd);
  const WPARAM dcParam = reinterpret_cast<WPARAM>(dc);
  const LPARAM self = reinterpret_cast<LPARAM>(hwnd);
  if (window && window->parent) {
    SendMessageA(window->parent, colorMessage, dcParam, self);
  } else {
    DefWindowProcA(hwnd, colorMessage, dcParam, self);
  }
  if ((window = WindowManager::instance().find(hwnd)) != nullptr) {
    window->lastTextColor = GetTextColor(dc);
  }
  EndPaint(hwnd, &paint);
}

}  // namespace

LRESULT CALLBACK buttonProcedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  Window* window = WindowManager::instance().find(hwnd);
  if (!window) return 0;
  switch (message) {
    case WM_LBUTTONDOWN:
      window->pressed = true;
      return 0;
    case WM_LBUTTONUP: {
      // A click is a press and a release on the same button.
      const bool wasPressed = window->pressed;
      window->pressed = false;
      if (wasPressed) notifyParent(hwnd, BN_CLICKED);
      return 0;
    }
    case BM_CLICK:
      if (!isEnabledChain(hwnd)) return 0;
      SendMessageA(hwnd, WM_LBUTTONDOWN, MK_LBUTTON, 0);
      SendMessageA(hwnd, WM_LBUTTONUP, 0, 0);
      return 0;
    case WM_PAINT:
      paintControl(hwnd, WM_CTLCOLORBTN);
      return 0;
    default:
      return DefWindowProcA(hwnd, message, wParam, lParam);
  }
}

LRESULT CALLBACK staticProcedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  Window* window = WindowManager::instance().find(hwnd);
  if (!window) return 0;
  const bool notifies = (window->style & SS_NOTIFY) != 0;
  switch (message) {
    case WM_NCHITTEST:
      // Without SS_NOTIFY a static lets clicks through to what lies beneath.
      return notifies ? HTCLIENT : kHitTransparent;
    case WM_LBUTTONDOWN:
      if (notifies) notifyParent(hwnd, STN_CLICKED);
      return 0;
    case WM_PAINT:
      paintControl(hwnd, WM_CTLCOLORSTATIC);
      return 0;
    default:
      return DefWindowProcA(hwnd, message, wParam, lParam);
  }
}

}  // namespace platform
