// Posting, sending and dispatching messages, and the default procedure.
#include "platform/message_loop.h"

#include <algorithm>
#include <chrono>
#include <cstring>

#include "platform/front_end.h"
#include "platform/window_manager.h"

using platform::Window;
using platform::WindowManager;

namespace {

DWORD tickCount() {
  using namespace std::chrono;
  return static_cast<DWORD>(
      duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

bool belongsTo(HWND hwnd, HWND filter) {
  if (filter == nullptr) return true;
  for (Window* window = WindowManager::instance().find(hwnd); window;
       window = WindowManager::instance().find(window->parent)) {
    if (window->handle == filter) return true;
  }
  return false;
}

bool inRange(UINT message, UINT filterMin, UINT filterMax) {
  if (filterMin == 0 && filterMax == 0) return true;
  return message >= filterMin && message <= filterMax;
}

LRESULT defaultControlColor(UINT message, WPARAM wParam) {
  const HDC dc = reinterpret_cast<HDC>(wParam);
  const bool editLike = message == WM_CTLCOLOREDIT || message == WM_CTLCOLORLISTBOX;
  SetTextColor(dc, GetSysColor(COLOR_WINDOWTEXT));
  SetBkColor(dc, GetSysColor(editLike ? COLOR_WINDOW : COLOR_3DFACE));
  return reinterpret_cast<LRESULT>(GetSysColorBrush(editLike ? COLOR_WINDOW : COLOR_3DFACE));
}

}  // namespace

namespace platform {

bool takeNextMessage(MSG& msg, HWND filter, UINT filterMin, UINT filterMax) {
  WindowManager& manager = WindowManager::instance();
  auto& queue = manager.queue;
  for (auto it = queue.begin(); it != queue.end();) {
    if (it->hwnd != nullptr && !manager.find(it->hwnd)) {
      it = queue.erase(it);  // its window is gone
      continue;
    }
    if (belongsTo(it->hwnd, filter) && inRange(it->message, filterMin, filterMax)) {
      msg = *it;
      queue.erase(it);
      return true;
    }
    ++it;
  }
  if (manager.quitPosted) {
    manager.quitPosted = false;
    msg = MSG{nullptr, WM_QUIT, static_cast<WPARAM>(manager.quitCode), 0, tickCount(), {0, 0}};
    return true;
  }
  if (!inRange(WM_PAINT, filterMin, filterMax)) return false;
  for (HWND hwnd : manager.allWindows()) {
    Window* window = manager.find(hwnd);
    if (window && window->needsPaint && isVisibleChain(hwnd) && belongsTo(hwnd, filter)) {
      // Cleared here as well as by BeginPaint, so that a procedure that
      // never validates cannot make the loop spin.
      window->needsPaint = false;
      msg = MSG{hwnd, WM_PAINT, 0, 0, tickCount(), {0, 0}};
      return true;
    }
  }
  return false;
}

}  // namespace platform

BOOL GetMessageA(LPMSG msg, HWND hwnd, UINT filterMin, UINT filterMax) {
  if (msg == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return -1;
  }
  platform::FrontEnd& frontEnd = platform::FrontEnd::instance();
  for (;;) {
    if (platform::takeNextMessage(*msg, hwnd, filterMin, filterMax)) {
      if (msg->message != WM_QUIT) return TRUE;
      frontEnd.finish();
      return FALSE;
    }
    if (frontEnd.waitForInput() == platform::FrontEnd::Wait::Ended) {
      // No input will come and nothing is queued: nothing could ever
      // happen again, so the loop is ended as if the program had quit.
      *msg = MSG{nullptr, WM_QUIT, 0, 0, tickCount(), {0, 0}};
      frontEnd.finish();
      return FALSE;
    }
  }
}

BOOL TranslateMessage(const MSG* /*msg: no keyboard messages need translating*/) { return FALSE; }

LRESULT DispatchMessageA(const MSG* msg) {
  if (msg == nullptr || msg->hwnd == nullptr) return 0;
  return SendMessageA(msg->hwnd, msg->message, msg->wParam, msg->lParam);
}

void PostQuitMessage(int exitCode) {
  WindowManager& manager = WindowManager::instance();
  manager.quitPosted = true;
  manager.quitCode = exitCode;
}

BOOL PostMessageA(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (hwnd != nullptr && !platform::findWindow(hwnd)) return FALSE;
  WindowManager::instance().queue.push_back(MSG{hwnd, message, wParam, lParam, tickCount(), {0, 0}});
  return TRUE;
}

LRESULT SendMessageA(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  Window* window = platform::findWindow(hwnd);
  if (!window || !window->procedure) return 0;
  return window->procedure(hwnd, message, wParam, lParam);
}

LRESULT CallWindowProcA(WNDPROC proc, HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  return proc ? proc(hwnd, message, wParam, lParam) : 0;
}

LRESULT DefWindowProcA(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  Window* window = WindowManager::instance().find(hwnd);
  if (!window) return 0;
  switch (message) {
    case WM_NCCREATE: {
      const auto* create = reinterpret_cast<const CREATESTRUCTA*>(lParam);
      if (create && create->lpszName) window->text = create->lpszName;
      return TRUE;
    }
    case WM_CLOSE:
      DestroyWindow(hwnd);
      return 0;
    case WM_SYSCOMMAND:
      if ((wParam & 0xFFF0) == SC_CLOSE) SendMessageA(hwnd, WM_CLOSE, 0, 0);
      return 0;
    case WM_PAINT: {
      PAINTSTRUCT paint;
      BeginPaint(hwnd, &paint);
      EndPaint(hwnd, &paint);
      return 0;
    }
    case WM_ERASEBKGND:
      return 1;
    case WM_NCHITTEST:
      return HTCLIENT;
    case WM_SETTEXT:
      window->text = lParam ? reinterpret_cast<const char*>(lParam) : "";
      window->needsPaint = true;
      return TRUE;
    case WM_GETTEXT: {
      auto* buffer = reinterpret_cast<char*>(lParam);
      if (buffer == nullptr || wParam == 0) return 0;
      const std::size_t copied = std::min<std::size_t>(window->text.size(), wParam - 1);
      std::memcpy(buffer, window->text.data(), copied);
      buffer[copied] = '\0';
      return static_cast<LRESULT>(copied);
    }
    case WM_GETTEXTLENGTH:
      return static_cast<LRESULT>(window->text.size());
    case WM_SETCURSOR: {
      // The parent may decide first; a window shows its class cursor only
      // when it is itself the one under the pointer.
      if (window->parent && SendMessageA(window->parent, WM_SETCURSOR, wParam, lParam)) return TRUE;
      window = WindowManager::instance().find(hwnd);
      if (window && reinterpret_cast<HWND>(wParam) == hwnd && LOWORD(lParam) == HTCLIENT &&
          window->windowClass && window->windowClass->cursor) {
        SetCursor(window->windowClass->cursor);
        return TRUE;
      }
      return FALSE;
    }
    default:
      return platform::isControlColorMessage(message) ? defaultControlColor(message, wParam) : 0;
  }
}
