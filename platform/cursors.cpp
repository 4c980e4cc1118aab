// System cursors and icons, icons from icon-group resources, and the
// current cursor.
#include <map>

#include "platform/resources.h"
#include "platform/window_manager.h"

namespace {

// A cursor or icon: a system one (id 32512...) or one loaded from the
// program's icon groups.  Its address is the handle.
struct CursorIcon {
  int systemId = 0;
  std::vector<platform::IconImage> images;
};

constexpr int kArrowId = 32512;
constexpr int kHandId = 32649;

std::map<int, CursorIcon>& systemCursors() {
  static std::map<int, CursorIcon> cursors = {
      {kArrowId, {kArrowId, {}}}, {32513, {32513, {}}}, {32514, {32514, {}}}, {kHandId, {kHandId, {}}}};
  return cursors;
}

std::map<int, CursorIcon>& systemIcons() {
  static std::map<int, CursorIcon> icons;
  return icons;
}

std::map<const platform::ResourceEntry*, CursorIcon>& loadedIcons() {
  static std::map<const platform::ResourceEntry*, CursorIcon> icons;
  return icons;
}

HICON handleOf(CursorIcon& object) { return reinterpret_cast<HICON>(&object); }

int ordinalOf(LPCSTR name) {
  return IS_INTRESOURCE(name) ? static_cast<int>(reinterpret_cast<std::uintptr_t>(name)) : -1;
}

}  // namespace

namespace platform {

HCURSOR systemCursor(int id) {
  auto it = systemCursors().find(id);
  return it == systemCursors().end() ? nullptr : handleOf(it->second);
}

HCURSOR arrowCursor() { return systemCursor(kArrowId); }

}  // namespace platform

HCURSOR LoadCursorA(HINSTANCE instance, LPCSTR name) {
  const int id = ordinalOf(name);
  if (instance == nullptr && id >= 0) {
    const bool missingHand = id == kHandId && !platform::WindowManager::instance().handCursorAvailable;
    if (HCURSOR cursor = platform::systemCursor(id); cursor && !missingHand) return cursor;
  }
  SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
  return nullptr;
}

HICON LoadIconA(HINSTANCE instance, LPCSTR name) {
  if (name == nullptr) return nullptr;
  if (instance == nullptr) {
    const int id = ordinalOf(name);
    constexpr int kFirstSystemIcon = 32512;
    constexpr int kLastSystemIcon = 32518;
    if (id < kFirstSystemIcon || id > kLastSystemIcon) {
      SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
      return nullptr;
    }
    CursorIcon& icon = systemIcons()[id];
    icon.systemId = id;
    return handleOf(icon);
  }
  const platform::ResourceEntry* entry = platform::findResource(RT_GROUP_ICON, name);
  auto images = entry ? platform::parseIconGroup(entry->data, entry->size) : std::nullopt;
  if (!images) {
    SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
    return nullptr;
  }
  CursorIcon& icon = loadedIcons()[entry];  // the same handle for every load, as Windows shares it
  icon.images = *images;
  return handleOf(icon);
}

HCURSOR SetCursor(HCURSOR cursor) {
  platform::WindowManager& manager = platform::WindowManager::instance();
  const HCURSOR previous = manager.cursor;
  manager.cursor = cursor;
  return previous;
}

HCURSOR GetCursor(void) { return platform::WindowManager::instance().cursor; }

namespace win32test {

int systemCursorId(HCURSOR cursor) {
  for (auto& [id, object] : systemCursors()) {
    if (handleOf(object) == cursor) return id;
  }
  return 0;
}

}  // namespace win32test
