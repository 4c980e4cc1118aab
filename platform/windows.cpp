// Creating and destroying windows, and their attributes: procedure, style,
// properties, text, position, visibility and enabled state.
#include <algorithm>
#include <cctype>
#include <cstring>
#include <string>

#include "platform/window_manager.h"

using platform::Window;
using platform::WindowManager;

namespace {

constexpr DWORD kInvalidIndexError = 1413;  // ERROR_INVALID_INDEX
constexpr WPARAM kSizeRestored = 0;

// The client area's top-left corner, in the parent's client coordinates
// (screen coordinates for a top-level window), as WM_MOVE reports it.
POINT clientOrigin(const Window& window) {
  const platform::NonClient nonClient = platform::nonClientOf(window.style, window.exStyle);
  return POINT{window.rect.left + nonClient.left, window.rect.top + nonClient.top};
}

LPARAM clientSizeParam(const Window& window) {
  const RECT client = platform::clientRectOnScreen(window);
  return MAKELPARAM(client.right - client.left, client.bottom - client.top);
}

void sendMove(HWND hwnd) {
  if (Window* window = WindowManager::instance().find(hwnd)) {
    const POINT origin = clientOrigin(*window);
    SendMessageA(hwnd, WM_MOVE, 0, MAKELPARAM(origin.x, origin.y));
  }
}

void sendSize(HWND hwnd) {
  if (Window* window = WindowManager::instance().find(hwnd)) {
    SendMessageA(hwnd, WM_SIZE, kSizeRestored, clientSizeParam(*window));
  }
}

bool isDialog(const Window& window) {
  return window.windowClass && window.windowClass->name == platform::kDialogClassName;
}

bool isInTree(HWND root, HWND hwnd) {
  for (Window* window = WindowManager::instance().find(hwnd); window;
       window = WindowManager::instance().find(window->parent)) {
    if (window->handle == root) return true;
  }
  return false;
}

std::string propertyKey(LPCSTR name) {
  if (IS_INTRESOURCE(name)) {
    // Appended, not prefixed with operator+: GCC 12 at -O3 misreads the
    // prefixing copy as an overlapping one (-Wrestrict).
    std::string key = "#";
    key += std::to_string(reinterpret_cast<std::uintptr_t>(name));
    return key;
  }
  std::string key = name;
  for (char& c : key) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return key;
}

void markDestroying(HWND hwnd) {
  if (Window* window = WindowManager::instance().find(hwnd)) {
    window->destroying = true;
    for (HWND child : window->children) markDestroying(child);
  }
}

// WM_DESTROY goes to a window before its children.
void sendDestroy(HWND hwnd) {
  Window* window = WindowManager::instance().find(hwnd);
  if (!window) return;
  ++window->destroyMessages;
  SendMessageA(hwnd, WM_DESTROY, 0, 0);
  window = WindowManager::instance().find(hwnd);
  if (!window) return;
  const std::vector<HWND> children = window->children;
  for (HWND child : children) sendDestroy(child);
}

// WM_NCDESTROY goes to the children first; then the window is gone.
void finishDestroy(HWND hwnd) {
  WindowManager& manager = WindowManager::instance();
  Window* window = manager.find(hwnd);
  if (!window) return;
  const std::vector<HWND> children = window->children;
  for (HWND child : children) finishDestroy(child);
  window = manager.find(hwnd);
  if (!window) return;
  win32test::DestroyedWindow record;
  record.propertyCount = window->properties.size();
  record.procedure = window->procedure;
  record.classProcedure = window->windowClass ? window->windowClass->procedure : nullptr;
  record.destroyMessages = window->destroyMessages;
  manager.destroyed[hwnd] = record;
  SendMessageA(hwnd, WM_NCDESTROY, 0, 0);
  window = manager.find(hwnd);
  if (!window) return;
  if (Window* parent = manager.find(window->parent)) {
    auto& siblings = parent->children;
    siblings.erase(std::remove(siblings.begin(), siblings.end(), hwnd), siblings.end());
  }
  manager.remove(hwnd);
}

}  // namespace

HWND CreateWindowExA(DWORD exStyle, LPCSTR className, LPCSTR windowName, DWORD style, int x, int y,
                     int width, int height, HWND parent, HMENU menu, HINSTANCE instance,
                     LPVOID param) {
  WindowManager& manager = WindowManager::instance();
  auto windowClass = manager.findClass(className);
  if (!windowClass) {
    SetLastError(ERROR_CANNOT_FIND_WND_CLASS);
    return nullptr;
  }
  Window* parentWindow = parent ? manager.find(parent) : nullptr;
  if (parent && !parentWindow) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return nullptr;
  }
  const bool child = (style & WS_CHILD) != 0;
  if (child && !parentWindow) {
    SetLastError(ERROR_TLW_WITH_WSCHILD);
    return nullptr;
  }
  const bool overlapped = (style & (WS_CHILD | WS_POPUP)) == 0;
  if (!child) style |= WS_CLIPSIBLINGS;
  if (overlapped) style |= WS_CAPTION;  // overlapped windows always have a caption
  // CW_USEDEFAULT places and sizes overlapped windows; y and height are then
  // ignored.  Other windows get zero.
  if (x == CW_USEDEFAULT) {
    x = overlapped ? platform::kDefaultX : 0;
    y = overlapped ? platform::kDefaultY : 0;
  }
  if (width == CW_USEDEFAULT) {
    width = overlapped ? platform::kDefaultWidth : 0;
    height = overlapped ? platform::kDefaultHeight : 0;
  }

  auto created = std::make_unique<Window>();
  const HWND hwnd = manager.nextHandle();
  created->handle = hwnd;
  created->windowClass = windowClass;
  created->procedure = windowClass->procedure;
  created->style = style & ~static_cast<DWORD>(WS_VISIBLE);
  created->exStyle = exStyle;
  created->rect = RECT{x, y, x + std::max(width, 0), y + std::max(height, 0)};
  created->instance = instance;
  if (child) {
    created->parent = parent;
    created->id = static_cast<int>(reinterpret_cast<std::intptr_t>(menu));
  } else if (parentWindow) {
    // The owner of a top-level window is always a top-level window.
    Window* root = parentWindow;
    while (Window* up = manager.find(root->parent)) root = up;
    created->owner = root->handle;
  }
  manager.add(std::move(created));
  if (child) parentWindow->children.push_back(hwnd);

  CREATESTRUCTA create{param,  instance, menu, parent,
                       height, width,    y,    x,
                       static_cast<LONG>(static_cast<std::int32_t>(style)), windowName,
                       IS_INTRESOURCE(className) ? nullptr : className, exStyle};
  if (!SendMessageA(hwnd, WM_NCCREATE, 0, reinterpret_cast<LPARAM>(&create)) ||
      SendMessageA(hwnd, WM_CREATE, 0, reinterpret_cast<LPARAM>(&create)) == -1) {
    if (manager.find(hwnd)) DestroyWindow(hwnd);
    return nullptr;
  }
  if (!manager.find(hwnd)) return nullptr;
  sendSize(hwnd);
  sendMove(hwnd);
  if ((style & WS_VISIBLE) && manager.find(hwnd)) ShowWindow(hwnd, SW_SHOW);
  return manager.find(hwnd) ? hwnd : nullptr;
}

BOOL DestroyWindow(HWND hwnd) {
  WindowManager& manager = WindowManager::instance();
  Window* window = platform::findWindow(hwnd);
  if (!window || window->destroying) return FALSE;
  markDestroying(hwnd);
  // Owned windows go first, each destroyed completely.
  for (HWND other : manager.topLevelWindows()) {
    Window* owned = manager.find(other);
    if (owned && owned->owner == hwnd && !owned->destroying) DestroyWindow(other);
  }
  if (Window* self = manager.find(hwnd)) self->style &= ~static_cast<DWORD>(WS_VISIBLE);
  if (manager.focus && isInTree(hwnd, manager.focus)) manager.focus = nullptr;
  sendDestroy(hwnd);
  finishDestroy(hwnd);
  return TRUE;
}

BOOL IsWindow(HWND hwnd) { return WindowManager::instance().find(hwnd) ? TRUE : FALSE; }

BOOL ShowWindow(HWND hwnd, int showCommand) {
  Window* window = platform::findWindow(hwnd);
  if (!window) return FALSE;
  const bool wasVisible = (window->style & WS_VISIBLE) != 0;
  const bool show = showCommand != SW_HIDE;
  if (show != wasVisible) {
    SendMessageA(hwnd, WM_SHOWWINDOW, show ? TRUE : FALSE, 0);
    window = WindowManager::instance().find(hwnd);
    if (!window) return wasVisible;
    if (show) {
      window->style |= WS_VISIBLE;
      platform::invalidateTree(hwnd);
    } else {
      window->style &= ~static_cast<DWORD>(WS_VISIBLE);
    }
  }
  return wasVisible ? TRUE : FALSE;
}

BOOL UpdateWindow(HWND hwnd) {
  Window* window = platform::findWindow(hwnd);
  if (!window) return FALSE;
  if (window->needsPaint && platform::isVisibleChain(hwnd)) SendMessageA(hwnd, WM_PAINT, 0, 0);
  return TRUE;
}

BOOL InvalidateRect(HWND hwnd, const RECT* /*rect: whole windows are repainted*/, BOOL /*erase*/) {
  Window* window = platform::findWindow(hwnd);
  if (!window) return FALSE;
  window->needsPaint = true;
  return TRUE;
}

HWND GetParent(HWND hwnd) {
  Window* window = platform::findWindow(hwnd);
  if (!window) return nullptr;
  if (window->parent) return window->parent;
  // A pop-up window's "parent" is its owner.
  return (window->style & WS_POPUP) ? window->owner : nullptr;
}

int GetDlgCtrlID(HWND hwnd) {
  Window* window = platform::findWindow(hwnd);
  return window && window->parent ? window->id : 0;
}

LONG_PTR GetWindowLongPtrA(HWND hwnd, int index) {
  Window* window = platform::findWindow(hwnd);
  if (!window) return 0;
  switch (index) {
    case GWL_WNDPROC: return reinterpret_cast<LONG_PTR>(window->procedure);
    // 32-bit values, sign-extended as Windows returns them.
    case GWL_STYLE: return static_cast<std::int32_t>(window->style);
    case GWL_EXSTYLE: return static_cast<std::int32_t>(window->exStyle);
    case GWL_ID: return window->id;
    case GWL_USERDATA: return window->userData;
    case GWL_HINSTANCE: return reinterpret_cast<LONG_PTR>(window->instance);
    case GWL_HWNDPARENT:
      return reinterpret_cast<LONG_PTR>(window->parent ? window->parent : window->owner);
    default: break;
  }
  if (isDialog(*window)) {
    if (index == DWLP_MSGRESULT) return window->dialogMessageResult;
    if (index == DWLP_DLGPROC) return reinterpret_cast<LONG_PTR>(window->dialogProcedure);
    if (index == DWLP_USER) return window->dialogUserData;
  }
  SetLastError(kInvalidIndexError);
  return 0;
}

LONG_PTR SetWindowLongPtrA(HWND hwnd, int index, LONG_PTR value) {
  Window* window = platform::findWindow(hwnd);
  if (!window) return 0;
  const LONG_PTR previous = GetWindowLongPtrA(hwnd, index);
  switch (index) {
    case GWL_WNDPROC:
      if (value == 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
      }
      window->procedure = reinterpret_cast<WNDPROC>(value);
      return previous;
    case GWL_STYLE: window->style = static_cast<DWORD>(value); return previous;
    case GWL_EXSTYLE: window->exStyle = static_cast<DWORD>(value); return previous;
    case GWL_ID: window->id = static_cast<int>(value); return previous;
    case GWL_USERDATA: window->userData = value; return previous;
    default: break;
  }
  if (isDialog(*window)) {
    if (index == DWLP_MSGRESULT) {
      window->dialogMessageResult = value;
      return previous;
    }
    if (index == DWLP_DLGPROC) {
      window->dialogProcedure = reinterpret_cast<DLGPROC>(value);
      return previous;
    }
    if (index == DWLP_USER) {
      window->dialogUserData = value;
      return previous;
    }
  }
  SetLastError(kInvalidIndexError);
  return 0;
}

LONG GetWindowLongA(HWND hwnd, int index) { return GetWindowLongPtrA(hwnd, index); }

LONG SetWindowLongA(HWND hwnd, int index, LONG value) {
  return SetWindowLongPtrA(hwnd, index, value);
}

BOOL SetPropA(HWND hwnd, LPCSTR name, HANDLE data) {
  Window* window = platform::findWindow(hwnd);
  if (!window || name == nullptr) return FALSE;
  const std::string key = propertyKey(name);
  for (platform::Property& property : window->properties) {
    if (property.name == key) {
      property.data = data;
      return TRUE;
    }
  }
  window->properties.push_back(platform::Property{key, data});
  return TRUE;
}

HANDLE GetPropA(HWND hwnd, LPCSTR name) {
  Window* window = platform::findWindow(hwnd);
  if (!window || name == nullptr) return nullptr;
  const std::string key = propertyKey(name);
  for (const platform::Property& property : window->properties) {
    if (property.name == key) return property.data;
  }
  return nullptr;
}

HANDLE RemovePropA(HWND hwnd, LPCSTR name) {
  Window* window = platform::findWindow(hwnd);
  if (!window || name == nullptr) return nullptr;
  const std::string key = propertyKey(name);
  auto& properties = window->properties;
  for (auto it = properties.begin(); it != properties.end(); ++it) {
    if (it->name == key) {
      HANDLE data = it->data;
      properties.erase(it);
      return data;
    }
  }
  return nullptr;
}

BOOL EnableWindow(HWND hwnd, BOOL enable) {
  WindowManager& manager = WindowManager::instance();
  Window* window = platform::findWindow(hwnd);
  if (!window) return FALSE;
  const bool wasDisabled = (window->style & WS_DISABLED) != 0;
  if (enable && wasDisabled) {
    window->style &= ~static_cast<DWORD>(WS_DISABLED);
    platform::invalidateTree(hwnd);
    SendMessageA(hwnd, WM_ENABLE, TRUE, 0);
  } else if (!enable && !wasDisabled) {
    window->style |= WS_DISABLED;
    if (manager.focus && isInTree(hwnd, manager.focus)) manager.focus = nullptr;
    platform::invalidateTree(hwnd);
    SendMessageA(hwnd, WM_ENABLE, FALSE, 0);
  }
  return wasDisabled ? TRUE : FALSE;
}

BOOL IsWindowEnabled(HWND hwnd) {
  Window* window = WindowManager::instance().find(hwnd);
  return window && !(window->style & WS_DISABLED) ? TRUE : FALSE;
}

BOOL IsWindowVisible(HWND hwnd) { return platform::isVisibleChain(hwnd) ? TRUE : FALSE; }

int GetWindowTextA(HWND hwnd, LPSTR buffer, int size) {
  if (buffer == nullptr || size <= 0) return 0;
  buffer[0] = '\0';
  return static_cast<int>(
      SendMessageA(hwnd, WM_GETTEXT, static_cast<WPARAM>(size), reinterpret_cast<LPARAM>(buffer)));
}

int GetWindowTextLengthA(HWND hwnd) {
  return static_cast<int>(SendMessageA(hwnd, WM_GETTEXTLENGTH, 0, 0));
}

BOOL SetWindowTextA(HWND hwnd, LPCSTR text) {
  return SendMessageA(hwnd, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text)) ? TRUE : FALSE;
}

BOOL GetWindowRect(HWND hwnd, LPRECT rect) {
  Window* window = platform::findWindow(hwnd);
  if (!window || rect == nullptr) return FALSE;
  *rect = window->rect;
  if (Window* parent = WindowManager::instance().find(window->parent)) {
    const RECT origin = platform::clientRectOnScreen(*parent);
    rect->left += origin.left;
    rect->right += origin.left;
    rect->top += origin.top;
    rect->bottom += origin.top;
  }
  return TRUE;
}

BOOL GetClientRect(HWND hwnd, LPRECT rect) {
  Window* window = platform::findWindow(hwnd);
  if (!window || rect == nullptr) return FALSE;
  const RECT client = platform::clientRectOnScreen(*window);
  *rect = RECT{0, 0, client.right - client.left, client.bottom - client.top};
  return TRUE;
}

BOOL SetWindowPos(HWND hwnd, HWND /*insertAfter: owned windows always stay above their owners*/,
                  int x, int y, int cx, int cy, UINT flags) {
  Window* window = platform::findWindow(hwnd);
  if (!window) return FALSE;
  const RECT old = window->rect;
  RECT updated = old;
  if (!(flags & SWP_NOMOVE)) {
    updated = RECT{x, y, x + (old.right - old.left), y + (old.bottom - old.top)};
  }
  if (!(flags & SWP_NOSIZE)) {
    updated.right = updated.left + std::max(cx, 0);
    updated.bottom = updated.top + std::max(cy, 0);
  }
  window->rect = updated;
  const bool moved = updated.left != old.left || updated.top != old.top;
  const bool sized = (updated.right - updated.left) != (old.right - old.left) ||
                     (updated.bottom - updated.top) != (old.bottom - old.top);
  if (sized && !(flags & SWP_NOREDRAW)) platform::invalidateTree(hwnd);
  if (flags & SWP_SHOWWINDOW) ShowWindow(hwnd, SW_SHOWNA);
  if (flags & SWP_HIDEWINDOW) ShowWindow(hwnd, SW_HIDE);
  if (moved) sendMove(hwnd);
  if (sized) sendSize(hwnd);
  return TRUE;
}

BOOL MoveWindow(HWND hwnd, int x, int y, int width, int height, BOOL repaint) {
  const UINT flags = SWP_NOZORDER | SWP_NOACTIVATE | (repaint ? 0u : static_cast<UINT>(SWP_NOREDRAW));
  return SetWindowPos(hwnd, nullptr, x, y, width, height, flags);
}
