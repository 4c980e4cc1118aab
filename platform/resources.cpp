#include "platform/resources.h"

#include <cctype>
#include <cstdlib>
#include <deque>

#include "platform/embedded_resources.h"

namespace platform {
namespace {

constexpr std::size_t kHeaderFixedTail = 16;  // versions, flags, language, characteristics

std::deque<ResourceEntry>& registry() {
  static std::deque<ResourceEntry> entries;
  return entries;
}

std::string upperCase(std::string text) {
  for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return text;
}

bool sameName(const NameOrOrdinal& a, const NameOrOrdinal& b) {
  if (a.isOrdinal != b.isOrdinal) return false;
  return a.isOrdinal ? a.ordinal == b.ordinal : upperCase(a.text) == upperCase(b.text);
}

}  // namespace

std::optional<std::vector<ResourceEntry>> parseResourceFile(const unsigned char* data,
                                                            std::size_t size) {
  std::vector<ResourceEntry> entries;
  std::size_t position = 0;
  while (position < size) {
    if (size - position < 8) return std::nullopt;
    ByteReader fixed(data + position, size - position);
    const std::uint32_t dataSize = fixed.u32();
    const std::uint32_t headerSize = fixed.u32();
    if (headerSize < 8 + 4 + 4 + kHeaderFixedTail || headerSize > size - position ||
        dataSize > size - position - headerSize) {
      return std::nullopt;
    }
    ByteReader header(data + position, headerSize);
    header.skip(8);
    ResourceEntry entry;
    entry.type = readNameOrOrdinal(header);
    entry.name = readNameOrOrdinal(header);
    entry.name.text = upperCase(entry.name.text);
    header.align(4);
    header.u32();  // data version
    header.u16();  // memory flags
    entry.language = header.u16();
    header.u32();  // version
    header.u32();  // characteristics
    if (!header.ok()) return std::nullopt;
    entry.data = data + position + headerSize;
    entry.size = dataSize;
    // The file starts with an empty entry of type 0 that only marks it as a
    // 32-bit resource file.
    const bool marker = entry.type.isOrdinal ? entry.type.ordinal == 0 : entry.type.text.empty();
    if (!marker) entries.push_back(entry);
    position += headerSize + dataSize;
    position += (4 - position % 4) % 4;
  }
  return entries;
}

NameOrOrdinal resourceName(LPCSTR name) {
  NameOrOrdinal result;
  if (IS_INTRESOURCE(name)) {
    result.isOrdinal = true;
    result.ordinal = static_cast<std::uint16_t>(reinterpret_cast<std::uintptr_t>(name));
  } else if (name[0] == '#') {
    result.isOrdinal = true;
    result.ordinal = static_cast<std::uint16_t>(std::strtoul(name + 1, nullptr, 10));
  } else {
    result.text = upperCase(name);
  }
  return result;
}

const ResourceEntry* findResource(const NameOrOrdinal& type, const NameOrOrdinal& name) {
  for (const ResourceEntry& entry : registry()) {
    if (sameName(entry.type, type) && sameName(entry.name, name)) return &entry;
  }
  return nullptr;
}

const ResourceEntry* findResource(LPCSTR type, LPCSTR name) {
  if (type == nullptr || name == nullptr) return nullptr;
  return findResource(resourceName(type), resourceName(name));
}

}  // namespace platform

bool win32RegisterResourceFile(const unsigned char* data, std::size_t size) {
  auto entries = platform::parseResourceFile(data, size);
  if (!entries) return false;
  for (const platform::ResourceEntry& entry : *entries) platform::registry().push_back(entry);
  return true;
}

namespace {

const platform::ResourceEntry* registeredEntry(HRSRC resource) {
  for (const platform::ResourceEntry& entry : platform::registry()) {
    if (reinterpret_cast<HRSRC>(const_cast<platform::ResourceEntry*>(&entry)) == resource) {
      return &entry;
    }
  }
  return nullptr;
}

}  // namespace

HMODULE GetModuleHandleA(LPCSTR moduleName) {
  // The program's own module; other modules are not loaded on Linux.
  static char module;
  if (moduleName != nullptr) {
    SetLastError(ERROR_FILE_NOT_FOUND);
    return nullptr;
  }
  return reinterpret_cast<HMODULE>(&module);
}

HRSRC FindResourceA(HMODULE /*module: all registered resources belong to the program*/,
                    LPCSTR name, LPCSTR type) {
  const platform::ResourceEntry* entry = platform::findResource(type, name);
  if (!entry) {
    SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
    return nullptr;
  }
  return reinterpret_cast<HRSRC>(const_cast<platform::ResourceEntry*>(entry));
}

HGLOBAL LoadResource(HMODULE /*module*/, HRSRC resource) {
  const platform::ResourceEntry* entry = registeredEntry(resource);
  if (!entry) {
    SetLastError(ERROR_RESOURCE_DATA_NOT_FOUND);
    return nullptr;
  }
  return const_cast<unsigned char*>(entry->data);
}

LPVOID LockResource(HGLOBAL resource) { return resource; }

DWORD SizeofResource(HMODULE /*module*/, HRSRC resource) {
  const platform::ResourceEntry* entry = registeredEntry(resource);
  return entry ? static_cast<DWORD>(entry->size) : 0;
}
