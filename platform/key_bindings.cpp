#include "platform/key_bindings.h"

#include <cctype>

#include "platform/window_manager.h"

namespace platform {
namespace {

bool isButton(const Window& window) {
  return window.windowClass && window.windowClass->name == "Button";
}

bool isLink(const Window& window) {
  return window.windowClass && window.windowClass->name == "Static" && (window.style & SS_NOTIFY);
}

char keyOf(const std::string& text) {
  const std::size_t mark = text.find('&');
  if (mark != std::string::npos && mark + 1 < text.size() && text[mark + 1] != '&') {
    return static_cast<char>(std::tolower(static_cast<unsigned char>(text[mark + 1])));
  }
  for (char c : text) {
    if (std::isalnum(static_cast<unsigned char>(c))) {
      return static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
  }
  return 0;
}

// Controls of visible top-level windows, in creation order.
std::vector<HWND> visibleControls() {
  WindowManager& manager = WindowManager::instance();
  std::vector<HWND> controls;
  for (HWND hwnd : manager.allWindows()) {
    Window* window = manager.find(hwnd);
    if (window && window->parent && isVisibleChain(hwnd)) controls.push_back(hwnd);
  }
  return controls;
}

}  // namespace

std::string labelOf(const std::string& text) {
  std::string label;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '&' && i + 1 < text.size()) ++i;
    label += text[i];
  }
  return label;
}

std::vector<KeyBinding> keyBindings() {
  std::vector<KeyBinding> bindings;
  WindowManager& manager = WindowManager::instance();
  for (HWND hwnd : visibleControls()) {
    Window* window = manager.find(hwnd);
    KeyBinding binding;
    binding.control = hwnd;
    binding.label = labelOf(window->text);
    if (isLink(*window)) {
      binding.key = kLinkKey;
      binding.isLink = true;
    } else if (isButton(*window)) {
      binding.key = keyOf(window->text);
      if (binding.key == kLinkKey || binding.key == kCloseKey) binding.key = 0;
    }
    if (binding.key != 0 && !findBinding(bindings, binding.key)) bindings.push_back(binding);
  }
  return bindings;
}

const KeyBinding* findBinding(const std::vector<KeyBinding>& bindings, char key) {
  const char lower = static_cast<char>(std::tolower(static_cast<unsigned char>(key)));
  for (const KeyBinding& binding : bindings) {
    if (binding.key == lower) return &binding;
  }
  return nullptr;
}

std::vector<HWND> tabOrder() {
  std::vector<HWND> order;
  WindowManager& manager = WindowManager::instance();
  for (HWND hwnd : visibleControls()) {
    Window* window = manager.find(hwnd);
    if (isButton(*window) && (window->style & WS_TABSTOP) && isEnabledChain(hwnd)) {
      order.push_back(hwnd);
    }
  }
  return order;
}

HWND mainWindow() {
  WindowManager& manager = WindowManager::instance();
  const std::vector<HWND> tops = manager.topLevelWindows();
  for (HWND hwnd : tops) {
    Window* window = manager.find(hwnd);
    if (window && !window->owner && (window->style & WS_VISIBLE)) return hwnd;
  }
  return tops.empty() ? nullptr : tops.front();
}

}  // namespace platform
