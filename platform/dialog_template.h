// Dialog templates: the DLGTEMPLATEEX form that DIALOGEX statements compile
// to, and the older DLGTEMPLATE form of DIALOG statements.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/byte_reader.h"

namespace platform {

struct DialogItem {
  std::uint32_t helpId = 0;
  std::uint32_t exStyle = 0;
  std::uint32_t style = 0;
  std::int16_t x = 0, y = 0, cx = 0, cy = 0;  // dialog units
  std::int32_t id = 0;
  NameOrOrdinal windowClass;  // ordinal 0x0080 button, 0x0082 static, ... or a class name
  NameOrOrdinal text;         // a string, or an ordinal such as a bitmap id
  std::size_t creationDataSize = 0;
};

struct DialogTemplate {
  bool extended = false;
  std::uint32_t helpId = 0;
  std::uint32_t exStyle = 0;
  std::uint32_t style = 0;
  std::int16_t x = 0, y = 0, cx = 0, cy = 0;  // dialog units
  NameOrOrdinal menu;
  NameOrOrdinal windowClass;
  std::string title;
  bool hasFont = false;
  std::uint16_t pointSize = 0;
  std::uint16_t weight = 0;
  bool italic = false;
  std::uint8_t charset = 0;
  std::string typeface;
  std::vector<DialogItem> items;
};

// The template in `data`, or nothing when it is truncated or malformed.
std::optional<DialogTemplate> parseDialogTemplate(const unsigned char* data, std::size_t size);

// The class name a predefined control class ordinal stands for ("Button",
// "Static", ...), or an empty string.
std::string predefinedClassName(std::uint16_t ordinal);

}  // namespace platform
