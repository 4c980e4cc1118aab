// Bounds-checked little-endian reading of resource data.  Every read past
// the end fails (and keeps failing) instead of touching memory.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace platform {

class ByteReader {
 public:
  ByteReader(const unsigned char* data, std::size_t size) : data_(data), size_(size) {}

  bool ok() const { return ok_; }
  std::size_t offset() const { return offset_; }
  std::size_t remaining() const { return ok_ ? size_ - offset_ : 0; }

  std::uint8_t u8();
  std::uint16_t u16();
  std::uint32_t u32();
  std::uint16_t peekU16();
  std::int16_t s16() { return static_cast<std::int16_t>(u16()); }
  void skip(std::size_t count);
  // Moves to the next multiple of `alignment` counted from the start.
  void align(std::size_t alignment);
  // A NUL-terminated UTF-16 string, converted to UTF-8.
  std::string utf16String();

 private:
  bool have(std::size_t count);

  const unsigned char* data_;
  std::size_t size_;
  std::size_t offset_ = 0;
  bool ok_ = true;
};

// A resource type or name, a dialog's class or a control's text: either a
// 16-bit ordinal or a string.
struct NameOrOrdinal {
  bool isOrdinal = false;
  std::uint16_t ordinal = 0;
  std::string text;  // UTF-8; empty for an ordinal or an absent field
};

// Reads the resource form: 0x0000 (absent), 0xFFFF followed by an ordinal,
// or a NUL-terminated UTF-16 string.
NameOrOrdinal readNameOrOrdinal(ByteReader& reader);

}  // namespace platform
