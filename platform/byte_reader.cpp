#include "platform/byte_reader.h"

namespace platform {

bool ByteReader::have(std::size_t count) {
  if (!ok_ || count > size_ - offset_) ok_ = false;
  return ok_;
}

std::uint8_t ByteReader::u8() {
  if (!have(1)) return 0;
  return data_[offset_++];
}

std::uint16_t ByteReader::u16() {
  if (!have(2)) return 0;
  const std::uint16_t value = static_cast<std::uint16_t>(data_[offset_] | (data_[offset_ + 1] << 8));
  offset_ += 2;
  return value;
}

std::uint32_t ByteReader::u32() {
  const std::uint32_t low = u16();
  const std::uint32_t high = u16();
  return low | (high << 16);
}

std::uint16_t ByteReader::peekU16() {
  if (!have(2)) return 0;
  return static_cast<std::uint16_t>(data_[offset_] | (data_[offset_ + 1] << 8));
}

void ByteReader::skip(std::size_t count) {
  if (have(count)) offset_ += count;
}

void ByteReader::align(std::size_t alignment) {
  const std::size_t misalignment = offset_ % alignment;
  if (misalignment != 0) skip(alignment - misalignment);
}

std::string ByteReader::utf16String() {
  std::string text;
  while (ok_) {
    std::uint32_t unit = u16();
    if (!ok_ || unit == 0) break;
    std::uint32_t code = unit;
    if (unit >= 0xD800 && unit <= 0xDBFF) {
      const std::uint32_t low = u16();
      if (low == 0) break;
      code = (low >= 0xDC00 && low <= 0xDFFF) ? 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00)
                                                 : 0xFFFD;
    } else if (unit >= 0xDC00 && unit <= 0xDFFF) {
      code = 0xFFFD;
    }
    if (code < 0x80) {
      text += static_cast<char>(code);
    } else if (code < 0x800) {
      text += static_cast<char>(0xC0 | (code >> 6));
      text += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
      text += static_cast<char>(0xE0 | (code >> 12));
      text += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
      text += static_cast<char>(0x80 | (code & 0x3F));
    } else {
      text += static_cast<char>(0xF0 | (code >> 18));
      text += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
      text += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
      text += static_cast<char>(0x80 | (code & 0x3F));
    }
  }
  return text;
}

NameOrOrdinal readNameOrOrdinal(ByteReader& reader) {
  NameOrOrdinal result;
  const std::uint16_t first = reader.peekU16();
  if (first == 0xFFFF) {
    reader.skip(2);
    result.isOrdinal = true;
    result.ordinal = reader.u16();
  } else if (first == 0) {
    reader.skip(2);
  } else {
    result.text = reader.utf16String();
  }
  return result;
}

}  // namespace platform
