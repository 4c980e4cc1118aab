// Resource files (.res, as windres writes them) and the registry that
// FindResourceA searches.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/byte_reader.h"
#include "platform/win32.h"

namespace platform {

// One resource: its type, its name (strings upper-cased, as the resource
// compiler stores them) and language, and its bytes inside the file.
struct ResourceEntry {
  NameOrOrdinal type;
  NameOrOrdinal name;
  std::uint16_t language = 0;
  const unsigned char* data = nullptr;
  std::size_t size = 0;
};

// The entries of a .res file, or nothing when the file is malformed.  The
// entries point into `data`.
std::optional<std::vector<ResourceEntry>> parseResourceFile(const unsigned char* data,
                                                            std::size_t size);

// A type or name given to the resource functions: an ordinal made with
// MAKEINTRESOURCEA, "#123", or a string (compared without regard to case).
NameOrOrdinal resourceName(LPCSTR name);

// The first registered resource of that type and name, any language.
const ResourceEntry* findResource(const NameOrOrdinal& type, const NameOrOrdinal& name);
const ResourceEntry* findResource(LPCSTR type, LPCSTR name);

}  // namespace platform
