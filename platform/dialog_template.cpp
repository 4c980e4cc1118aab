#include "platform/dialog_template.h"

#include "platform/win32.h"

namespace platform {
namespace {

constexpr std::uint16_t kExtendedVersion = 1;
constexpr std::uint16_t kExtendedSignature = 0xFFFF;

bool readItem(ByteReader& reader, bool extended, DialogItem& item) {
  reader.align(4);
  if (extended) {
    item.helpId = reader.u32();
    item.exStyle = reader.u32();
    item.style = reader.u32();
  } else {
    item.style = reader.u32();
    item.exStyle = reader.u32();
  }
  item.x = reader.s16();
  item.y = reader.s16();
  item.cx = reader.s16();
  item.cy = reader.s16();
  item.id = extended ? static_cast<std::int32_t>(reader.u32()) : reader.s16();
  item.windowClass = readNameOrOrdinal(reader);
  item.text = readNameOrOrdinal(reader);
  item.creationDataSize = reader.u16();
  reader.skip(item.creationDataSize);
  return reader.ok();
}

}  // namespace

std::optional<DialogTemplate> parseDialogTemplate(const unsigned char* data, std::size_t size) {
  ByteReader reader(data, size);
  DialogTemplate dialog;
  const std::uint16_t version = reader.u16();
  const std::uint16_t signature = reader.u16();
  dialog.extended = version == kExtendedVersion && signature == kExtendedSignature;
  if (dialog.extended) {
    dialog.helpId = reader.u32();
    dialog.exStyle = reader.u32();
    dialog.style = reader.u32();
  } else {
    // The classic header starts with the style double word just read.
    dialog.style = static_cast<std::uint32_t>(version) | (static_cast<std::uint32_t>(signature) << 16);
    dialog.exStyle = reader.u32();
  }
  const std::uint16_t itemCount = reader.u16();
  dialog.x = reader.s16();
  dialog.y = reader.s16();
  dialog.cx = reader.s16();
  dialog.cy = reader.s16();
  dialog.menu = readNameOrOrdinal(reader);
  dialog.windowClass = readNameOrOrdinal(reader);
  dialog.title = reader.utf16String();
  if (dialog.style & DS_SETFONT) {
    dialog.hasFont = true;
    dialog.pointSize = reader.u16();
    if (dialog.extended) {
      dialog.weight = reader.u16();
      dialog.italic = reader.u8() != 0;
      dialog.charset = reader.u8();
    }
    dialog.typeface = reader.utf16String();
  }
  if (!reader.ok()) return std::nullopt;
  for (std::uint16_t i = 0; i < itemCount; ++i) {
    DialogItem item;
    if (!readItem(reader, dialog.extended, item)) return std::nullopt;
    dialog.items.push_back(item);
  }
  return dialog;
}

std::string predefinedClassName(std::uint16_t ordinal) {
  switch (ordinal) {
    case 0x0080: return "Button";
    case 0x0081: return "Edit";
    case 0x0082: return "Static";
    case 0x0083: return "ListBox";
    case 0x0084: return "ScrollBar";
    case 0x0085: return "ComboBox";
    default: return "";
  }
}

}  // namespace platform
