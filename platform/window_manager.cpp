#include "platform/window_manager.h"

#include <strings.h>

namespace platform {

namespace {
constexpr std::uintptr_t kFirstWindowHandle = 0x10000;
constexpr ATOM kFirstClassAtom = 0xC000;

int roundedScale(int units, int base, int divisor) {
  const long scaled = static_cast<long>(units) * base;
  const long half = divisor / 2;
  return static_cast<int>(scaled >= 0 ? (scaled + half) / divisor : -((-scaled + half) / divisor));
}
}  // namespace

int dialogUnitsToPixelsX(int units) { return roundedScale(units, kDialogBaseUnitX, 4); }
int dialogUnitsToPixelsY(int units) { return roundedScale(units, kDialogBaseUnitY, 8); }

WindowManager& WindowManager::instance() {
  static WindowManager manager;
  return manager;
}

WindowManager::WindowManager() { registerSystemClasses(); }

void WindowManager::reset() {
  windows_.clear();
  classes_.clear();
  queue.clear();
  quitPosted = false;
  quitCode = 0;
  handCursorAvailable = true;
  cursor = arrowCursor();
  focus = nullptr;
  destroyed.clear();
  registerSystemClasses();
}

void WindowManager::registerSystemClasses() {
  cursor = arrowCursor();
  const std::pair<const char*, WNDPROC> systemClasses[] = {
      {"Button", buttonProcedure}, {"Static", staticProcedure}, {kDialogClassName, dialogProcedure}};
  for (const auto& [name, procedure] : systemClasses) {
    WindowClass windowClass;
    windowClass.name = name;
    windowClass.procedure = procedure;
    windowClass.cursor = arrowCursor();
    registerClass(windowClass);
  }
}

Window* WindowManager::find(HWND hwnd) {
  auto it = windows_.find(hwnd);
  return it == windows_.end() ? nullptr : it->second.get();
}

Window& WindowManager::add(std::unique_ptr<Window> window) {
  Window& added = *window;
  windows_[window->handle] = std::move(window);
  return added;
}

void WindowManager::remove(HWND hwnd) { windows_.erase(hwnd); }

HWND WindowManager::nextHandle() {
  // Even values that are never used twice, so a stale handle stays invalid.
  handleCounter_ += 2;
  return reinterpret_cast<HWND>(kFirstWindowHandle + handleCounter_);
}

std::vector<HWND> WindowManager::allWindows() const {
  std::vector<HWND> handles;
  for (const auto& entry : windows_) handles.push_back(entry.first);
  return handles;
}

std::vector<HWND> WindowManager::topLevelWindows() const {
  std::vector<HWND> handles;
  for (const auto& entry : windows_) {
    if (entry.second->parent == nullptr) handles.push_back(entry.first);
  }
  return handles;
}

std::shared_ptr<const WindowClass> WindowManager::findClass(LPCSTR name) const {
  if (name == nullptr) return nullptr;
  for (const auto& windowClass : classes_) {
    if (IS_INTRESOURCE(name) ? windowClass->atom == reinterpret_cast<std::uintptr_t>(name)
                             : strcasecmp(windowClass->name.c_str(), name) == 0) {
      return windowClass;
    }
  }
  return nullptr;
}

ATOM WindowManager::registerClass(WindowClass windowClass) {
  if (findClass(windowClass.name.c_str())) {
    SetLastError(ERROR_CLASS_ALREADY_EXISTS);
    return 0;
  }
  windowClass.atom = static_cast<ATOM>(kFirstClassAtom + atomCounter_++);
  classes_.push_back(std::make_shared<WindowClass>(windowClass));
  return classes_.back()->atom;
}

Window* findWindow(HWND hwnd) {
  Window* window = WindowManager::instance().find(hwnd);
  if (!window) SetLastError(ERROR_INVALID_WINDOW_HANDLE);
  return window;
}

NonClient nonClientOf(DWORD style, DWORD exStyle) {
  int border = 0;
  if (style & WS_THICKFRAME) {
    border = kSizingFrameWidth;
  } else if ((style & WS_DLGFRAME) || (exStyle & WS_EX_DLGMODALFRAME)) {
    border = kDialogFrameWidth;
  } else if (style & WS_BORDER) {
    border = kThinBorderWidth;
  }
  NonClient nonClient{border, border, border, border};
  if ((style & WS_CAPTION) == WS_CAPTION) nonClient.top += kCaptionHeight;
  return nonClient;
}

RECT clientRectOnScreen(const Window& window) {
  RECT rect = window.rect;
  if (Window* parent = WindowManager::instance().find(window.parent)) {
    const RECT origin = clientRectOnScreen(*parent);
    rect.left += origin.left;
    rect.right += origin.left;
    rect.top += origin.top;
    rect.bottom += origin.top;
  }
  const NonClient nonClient = nonClientOf(window.style, window.exStyle);
  rect.left += nonClient.left;
  rect.top += nonClient.top;
  rect.right -= nonClient.right;
  rect.bottom -= nonClient.bottom;
  if (rect.right < rect.left) rect.right = rect.left;
  if (rect.bottom < rect.top) rect.bottom = rect.top;
  return rect;
}

bool isEnabledChain(HWND hwnd) {
  for (Window* window = WindowManager::instance().find(hwnd); window;
       window = WindowManager::instance().find(window->parent)) {
    if (window->style & WS_DISABLED) return false;
    if (!window->parent) return true;
  }
  return false;
}

bool isVisibleChain(HWND hwnd) {
  for (Window* window = WindowManager::instance().find(hwnd); window;
       window = WindowManager::instance().find(window->parent)) {
    if (!(window->style & WS_VISIBLE)) return false;
    if (!window->parent) return true;
  }
  return false;
}

void invalidateTree(HWND hwnd) {
  Window* window = WindowManager::instance().find(hwnd);
  if (!window) return;
  window->needsPaint = true;
  for (HWND child : window->children) invalidateTree(child);
}

}  // namespace platform

ATOM RegisterClassExA(const WNDCLASSEXA* wc) {
  if (wc == nullptr || wc->cbSize != sizeof(WNDCLASSEXA) || wc->lpszClassName == nullptr ||
      IS_INTRESOURCE(wc->lpszClassName) || wc->lpfnWndProc == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  platform::WindowClass windowClass;
  windowClass.name = wc->lpszClassName;
  windowClass.style = wc->style;
  windowClass.procedure = wc->lpfnWndProc;
  windowClass.instance = wc->hInstance;
  windowClass.icon = wc->hIcon;
  windowClass.smallIcon = wc->hIconSm;
  windowClass.cursor = wc->hCursor;
  windowClass.background = wc->hbrBackground;
  return platform::WindowManager::instance().registerClass(windowClass);
}

ATOM RegisterClassA(const WNDCLASSA* wc) {
  if (wc == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  const WNDCLASSEXA extended{sizeof(WNDCLASSEXA), wc->style,          wc->lpfnWndProc,
                             wc->cbClsExtra,      wc->cbWndExtra,     wc->hInstance,
                             wc->hIcon,           wc->hCursor,        wc->hbrBackground,
                             wc->lpszMenuName,    wc->lpszClassName,  nullptr};
  return RegisterClassExA(&extended);
}
