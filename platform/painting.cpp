// Device contexts for painting, text colours, system colours and brushes.
// Nothing is drawn into pixels: a device context only remembers the colours
// set on it, so that a control can record the colour it was drawn in.
#include <map>

#include "platform/window_manager.h"

namespace {

struct DeviceContext {
  HWND window = nullptr;
  COLORREF textColor = RGB(0, 0, 0);
  COLORREF backgroundColor = RGB(255, 255, 255);
  int backgroundMode = OPAQUE;
};

std::map<HDC, DeviceContext>& deviceContexts() {
  static std::map<HDC, DeviceContext> contexts;
  return contexts;
}

DeviceContext* findContext(HDC dc) {
  auto it = deviceContexts().find(dc);
  return it == deviceContexts().end() ? nullptr : &it->second;
}

// The classic Windows colour scheme, indexed by COLOR_*.
constexpr COLORREF kSystemColors[] = {
    RGB(200, 200, 200), RGB(58, 110, 165),  RGB(10, 36, 106),   RGB(128, 128, 128),
    RGB(212, 208, 200), RGB(255, 255, 255), RGB(0, 0, 0),       RGB(0, 0, 0),
    RGB(0, 0, 0),       RGB(255, 255, 255), RGB(212, 208, 200), RGB(212, 208, 200),
    RGB(128, 128, 128), RGB(10, 36, 106),   RGB(255, 255, 255), RGB(212, 208, 200),
    RGB(128, 128, 128), RGB(128, 128, 128), RGB(0, 0, 0),       RGB(212, 208, 200),
    RGB(255, 255, 255), RGB(64, 64, 64),    RGB(212, 208, 200), RGB(0, 0, 0),
    RGB(255, 255, 225), RGB(181, 181, 181), RGB(0, 0, 128),     RGB(166, 202, 240),
    RGB(192, 192, 192), RGB(49, 106, 197),  RGB(236, 233, 216)};
constexpr int kSystemColorCount = sizeof(kSystemColors) / sizeof(kSystemColors[0]);

// One stock brush per system colour; its address is the handle.
struct SystemBrush {
  int index;
};
SystemBrush systemBrushes[kSystemColorCount];

}  // namespace

HDC BeginPaint(HWND hwnd, LPPAINTSTRUCT paint) {
  platform::Window* window = platform::findWindow(hwnd);
  if (!window || paint == nullptr) return nullptr;
  static std::uintptr_t counter = 0x2000;
  counter += 4;
  const HDC dc = reinterpret_cast<HDC>(counter);
  deviceContexts()[dc] = DeviceContext{hwnd};
  window->needsPaint = false;
  *paint = PAINTSTRUCT{};
  paint->hdc = dc;
  GetClientRect(hwnd, &paint->rcPaint);
  return dc;
}

BOOL EndPaint(HWND /*hwnd*/, const PAINTSTRUCT* paint) {
  if (paint) deviceContexts().erase(paint->hdc);
  return TRUE;
}

COLORREF SetTextColor(HDC dc, COLORREF color) {
  DeviceContext* context = findContext(dc);
  if (!context) return CLR_INVALID;
  const COLORREF previous = context->textColor;
  context->textColor = color;
  return previous;
}

COLORREF GetTextColor(HDC dc) {
  const DeviceContext* context = findContext(dc);
  return context ? context->textColor : CLR_INVALID;
}

COLORREF SetBkColor(HDC dc, COLORREF color) {
  DeviceContext* context = findContext(dc);
  if (!context) return CLR_INVALID;
  const COLORREF previous = context->backgroundColor;
  context->backgroundColor = color;
  return previous;
}

int SetBkMode(HDC dc, int mode) {
  DeviceContext* context = findContext(dc);
  if (!context) return 0;
  const int previous = context->backgroundMode;
  context->backgroundMode = mode;
  return previous;
}

DWORD GetSysColor(int index) {
  return index >= 0 && index < kSystemColorCount ? kSystemColors[index] : 0;
}

HBRUSH GetSysColorBrush(int index) {
  if (index < 0 || index >= kSystemColorCount) return nullptr;
  systemBrushes[index].index = index;
  return reinterpret_cast<HBRUSH>(&systemBrushes[index]);
}
