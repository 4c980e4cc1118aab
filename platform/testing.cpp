// The test hooks of platform/testing.h.
#include "platform/testing.h"

#include "platform/front_end.h"
#include "platform/hooks.h"
#include "platform/window_manager.h"

namespace win32test {

void reset() {
  platform::WindowManager::instance().reset();
  platform::testHooks() = platform::TestHooks{};
  platform::FrontEnd::instance().useScript("");
}

void setShellRecorder(ShellRecorder recorder) {
  platform::testHooks().shellRecorder = std::move(recorder);
}

void setScriptInput(const std::string& keys) { platform::FrontEnd::instance().setKeys(keys); }

std::string takeOutput() { return platform::FrontEnd::instance().takeOutput(); }

std::string renderText() { return platform::FrontEnd::instance().renderPlain(); }

std::string statusLine() { return platform::FrontEnd::instance().status(); }

bool clickControl(HWND control) {
  if (!IsWindow(control) || !platform::isEnabledChain(control) ||
      !platform::isVisibleChain(control)) {
    return false;
  }
  hoverControl(control);
  RECT client{};
  GetClientRect(control, &client);
  const LPARAM centre = MAKELPARAM(client.right / 2, client.bottom / 2);
  SendMessageA(control, WM_LBUTTONDOWN, MK_LBUTTON, centre);
  SendMessageA(control, WM_LBUTTONUP, 0, centre);
  return true;
}

void hoverControl(HWND hwnd) {
  SendMessageA(hwnd, WM_SETCURSOR, reinterpret_cast<WPARAM>(hwnd),
               MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
}

void pressKey(char key) { platform::FrontEnd::instance().queueKey(key); }

void paintWindow(HWND hwnd) {
  platform::Window* window = platform::WindowManager::instance().find(hwnd);
  if (!window || !(window->style & WS_VISIBLE)) return;
  SendMessageA(hwnd, WM_PAINT, 0, 0);
  window = platform::WindowManager::instance().find(hwnd);
  if (!window) return;
  const std::vector<HWND> children = window->children;
  for (HWND child : children) paintWindow(child);
}

COLORREF lastTextColor(HWND control) {
  platform::Window* window = platform::WindowManager::instance().find(control);
  return window ? window->lastTextColor : CLR_INVALID;
}

HCURSOR currentCursor() { return GetCursor(); }

void setHandCursorAvailable(bool available) {
  platform::WindowManager::instance().handCursorAvailable = available;
}

std::size_t propertyCount(HWND hwnd) {
  platform::Window* window = platform::WindowManager::instance().find(hwnd);
  return window ? window->properties.size() : 0;
}

bool destroyedWindow(HWND hwnd, DestroyedWindow& out) {
  const auto& destroyed = platform::WindowManager::instance().destroyed;
  auto it = destroyed.find(hwnd);
  if (it == destroyed.end()) return false;
  out = it->second;
  return true;
}

MessageBoxRecord lastMessageBox() { return platform::testHooks().lastMessageBox; }

void setMessageBoxAnswer(int answer) { platform::testHooks().messageBoxAnswer = answer; }

void setDiskSpace(long long bytes) { platform::testHooks().diskSpace = bytes; }

void setMoveFileExAvailable(bool available) {
  platform::testHooks().moveFileExAvailable = available;
}

}  // namespace win32test
