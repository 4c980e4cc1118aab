// Modeless dialog boxes created from dialog template resources, and the
// default dialog procedure.
#include "platform/dialog_template.h"
#include "platform/resources.h"
#include "platform/window_manager.h"

using platform::Window;
using platform::WindowManager;

namespace {

constexpr DWORD kControlIdNotFound = 1421;  // ERROR_CONTROL_ID_NOT_FOUND

// Messages whose dialog-procedure result is the message result itself; for
// all others a handled message returns DWLP_MSGRESULT.
bool resultIsDirect(UINT message) {
  return message == WM_INITDIALOG || platform::isControlColorMessage(message);
}

void loadStaticBitmap(HWND control, const platform::DialogItem& item) {
  Window* window = WindowManager::instance().find(control);
  if (!window || !item.text.isOrdinal || (item.style & SS_TYPEMASK) != SS_BITMAP) return;
  const platform::ResourceEntry* entry =
      platform::findResource(RT_BITMAP, MAKEINTRESOURCEA(item.text.ordinal));
  if (entry) window->bitmap = platform::parseBitmap(entry->data, entry->size);
}

HWND createControl(HWND dialog, HINSTANCE instance, const platform::DialogItem& item) {
  const std::string className = item.windowClass.isOrdinal
                                    ? platform::predefinedClassName(item.windowClass.ordinal)
                                    : item.windowClass.text;
  if (className.empty()) return nullptr;
  // An ordinal text (a bitmap or icon id) is not a caption.
  const std::string text = item.text.isOrdinal ? std::string() : item.text.text;
  const HWND control = CreateWindowExA(
      item.exStyle, className.c_str(), text.c_str(), item.style | WS_CHILD,
      platform::dialogUnitsToPixelsX(item.x), platform::dialogUnitsToPixelsY(item.y),
      platform::dialogUnitsToPixelsX(item.cx), platform::dialogUnitsToPixelsY(item.cy), dialog,
      reinterpret_cast<HMENU>(static_cast<std::intptr_t>(item.id)), instance, nullptr);
  if (control) loadStaticBitmap(control, item);
  return control;
}

HWND firstTabStop(HWND dialog) {
  Window* window = WindowManager::instance().find(dialog);
  if (!window) return nullptr;
  for (HWND child : window->children) {
    Window* control = WindowManager::instance().find(child);
    if (control && (control->style & WS_TABSTOP) && (control->style & WS_VISIBLE) &&
        !(control->style & WS_DISABLED)) {
      return child;
    }
  }
  return nullptr;
}

}  // namespace

namespace platform {

LRESULT CALLBACK dialogProcedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  Window* window = WindowManager::instance().find(hwnd);
  if (!window) return 0;
  if (DLGPROC procedure = window->dialogProcedure) {
    const INT_PTR handled = procedure(hwnd, message, wParam, lParam);
    if (handled) {
      if (resultIsDirect(message)) return handled;
      window = WindowManager::instance().find(hwnd);
      return window ? window->dialogMessageResult : 0;
    }
  }
  switch (message) {
    case WM_INITDIALOG:
      return 0;
    case WM_CLOSE:
      // Closing a dialog is its Cancel command.
      SendMessageA(hwnd, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED),
                   reinterpret_cast<LPARAM>(GetDlgItem(hwnd, IDCANCEL)));
      return 0;
    default:
      return DefWindowProcA(hwnd, message, wParam, lParam);
  }
}

}  // namespace platform

HWND CreateDialogParamA(HINSTANCE instance, LPCSTR templateName, HWND owner, DLGPROC dialogProc,
                        LPARAM initParam) {
  WindowManager& manager = WindowManager::instance();
  const platform::ResourceEntry* entry = platform::findResource(RT_DIALOG, templateName);
  if (!entry) {
    SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
    return nullptr;
  }
  const auto dialog = platform::parseDialogTemplate(entry->data, entry->size);
  if (!dialog) {
    SetLastError(ERROR_RESOURCE_DATA_NOT_FOUND);
    return nullptr;
  }
  const std::string className =
      !dialog->windowClass.isOrdinal && !dialog->windowClass.text.empty()
          ? dialog->windowClass.text
          : std::string(platform::kDialogClassName);

  // The template gives the client area; the window adds its frame.
  const platform::NonClient nonClient = platform::nonClientOf(dialog->style, dialog->exStyle);
  const int width = platform::dialogUnitsToPixelsX(dialog->cx) + nonClient.left + nonClient.right;
  const int height = platform::dialogUnitsToPixelsY(dialog->cy) + nonClient.top + nonClient.bottom;
  int x = platform::dialogUnitsToPixelsX(dialog->x);
  int y = platform::dialogUnitsToPixelsY(dialog->y);
  // Without DS_ABSALIGN the position counts from the owner's client area.
  const bool child = (dialog->style & WS_CHILD) != 0;
  if (!(dialog->style & DS_ABSALIGN) && !child) {
    if (Window* ownerWindow = manager.find(owner)) {
      const RECT origin = platform::clientRectOnScreen(*ownerWindow);
      x += origin.left;
      y += origin.top;
    }
  }
  const HWND hwnd = CreateWindowExA(dialog->exStyle, className.c_str(), dialog->title.c_str(),
                                    dialog->style & ~static_cast<DWORD>(WS_VISIBLE), x, y, width,
                                    height, owner, nullptr, instance, nullptr);
  if (!hwnd) return nullptr;
  manager.find(hwnd)->dialogProcedure = dialogProc;

  for (const platform::DialogItem& item : dialog->items) {
    if (!createControl(hwnd, instance, item) && !(dialog->style & DS_NOFAILCREATE)) {
      DestroyWindow(hwnd);
      SetLastError(ERROR_CANNOT_FIND_WND_CLASS);
      return nullptr;
    }
  }
  const HWND focus = firstTabStop(hwnd);
  const LRESULT setDefaultFocus =
      SendMessageA(hwnd, WM_INITDIALOG, reinterpret_cast<WPARAM>(focus), initParam);
  if (!manager.find(hwnd)) return nullptr;
  if (setDefaultFocus && focus && manager.find(focus)) manager.focus = focus;
  if (dialog->style & WS_VISIBLE) ShowWindow(hwnd, SW_SHOWNORMAL);
  return manager.find(hwnd) ? hwnd : nullptr;
}

BOOL EndDialog(HWND dialog, INT_PTR result) {
  Window* window = platform::findWindow(dialog);
  if (!window) return FALSE;
  // A modeless dialog is only hidden; its owner destroys it.
  window->dialogEnded = true;
  window->dialogResult = result;
  ShowWindow(dialog, SW_HIDE);
  return TRUE;
}

HWND GetDlgItem(HWND dialog, int id) {
  Window* window = platform::findWindow(dialog);
  if (!window) return nullptr;
  for (HWND child : window->children) {
    Window* control = WindowManager::instance().find(child);
    if (control && control->id == id) return child;
  }
  SetLastError(kControlIdNotFound);
  return nullptr;
}
