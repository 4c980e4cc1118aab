#include "platform/images.h"

#include "platform/byte_reader.h"

namespace platform {
namespace {

constexpr std::uint32_t kCoreHeaderSize = 12;
constexpr std::uint32_t kInfoHeaderSize = 40;
constexpr std::uint32_t kBitFieldsCompression = 3;
constexpr std::uint16_t kIconType = 1;
constexpr int kLargestBitmapSide = 1 << 15;

}  // namespace

std::optional<std::vector<IconImage>> parseIconGroup(const unsigned char* data, std::size_t size) {
  ByteReader reader(data, size);
  reader.u16();  // reserved
  const std::uint16_t type = reader.u16();
  const std::uint16_t count = reader.u16();
  if (!reader.ok() || type != kIconType) return std::nullopt;
  std::vector<IconImage> images;
  for (std::uint16_t i = 0; i < count; ++i) {
    IconImage image;
    image.width = reader.u8();
    image.height = reader.u8();
    image.colorCount = reader.u8();
    reader.u8();  // reserved
    image.planes = reader.u16();
    image.bitCount = reader.u16();
    image.bytes = reader.u32();
    image.iconId = reader.u16();
    if (image.width == 0) image.width = 256;
    if (image.height == 0) image.height = 256;
    images.push_back(image);
  }
  if (!reader.ok()) return std::nullopt;
  return images;
}

std::optional<BitmapInfo> parseBitmap(const unsigned char* data, std::size_t size) {
  ByteReader reader(data, size);
  const std::uint32_t headerSize = reader.u32();
  BitmapInfo info;
  std::int64_t height = 0;
  std::uint32_t colorsUsed = 0;
  if (headerSize == kCoreHeaderSize) {
    info.width = reader.u16();
    height = reader.u16();
    reader.u16();  // planes
    info.bitCount = reader.u16();
  } else if (headerSize >= kInfoHeaderSize && headerSize <= size) {
    info.width = static_cast<std::int32_t>(reader.u32());
    height = static_cast<std::int32_t>(reader.u32());
    reader.u16();  // planes
    info.bitCount = reader.u16();
    info.compression = reader.u32();
    reader.skip(12);  // image size, resolution
    colorsUsed = reader.u32();
  } else {
    return std::nullopt;
  }
  if (!reader.ok() || info.width <= 0 || height == 0 || info.width > kLargestBitmapSide ||
      height > kLargestBitmapSide || height < -kLargestBitmapSide) {
    return std::nullopt;
  }
  info.topDown = height < 0;
  info.height = static_cast<int>(height < 0 ? -height : height);
  // Locate the pixels after the colour table, when they are all there.
  std::size_t tableEntries = colorsUsed;
  if (tableEntries == 0 && info.bitCount <= 8) tableEntries = std::size_t{1} << info.bitCount;
  const std::size_t entrySize = headerSize == kCoreHeaderSize ? 3 : 4;
  std::size_t offset = headerSize + tableEntries * entrySize;
  if (info.compression == kBitFieldsCompression && headerSize == kInfoHeaderSize) offset += 12;
  const std::size_t stride =
      ((static_cast<std::size_t>(info.width) * static_cast<std::size_t>(info.bitCount) + 31) / 32) * 4;
  if (offset <= size && stride * static_cast<std::size_t>(info.height) <= size - offset) {
    info.pixels = data + offset;
    info.stride = stride;
  }
  return info;
}

std::optional<std::uint32_t> bitmapPixel(const BitmapInfo& bitmap, int x, int y) {
  const bool direct = (bitmap.bitCount == 24 && bitmap.compression == 0) ||
                      (bitmap.bitCount == 32 && (bitmap.compression == 0 ||
                                                 bitmap.compression == kBitFieldsCompression));
  if (!direct || bitmap.pixels == nullptr || x < 0 || y < 0 || x >= bitmap.width ||
      y >= bitmap.height) {
    return std::nullopt;
  }
  const int row = bitmap.topDown ? y : bitmap.height - 1 - y;
  const unsigned char* pixel = bitmap.pixels + static_cast<std::size_t>(row) * bitmap.stride +
                               static_cast<std::size_t>(x) * static_cast<std::size_t>(bitmap.bitCount / 8);
  // Stored blue, green, red.
  return static_cast<std::uint32_t>(pixel[2]) | (static_cast<std::uint32_t>(pixel[1]) << 8) |
         (static_cast<std::uint32_t>(pixel[0]) << 16);
}

}  // namespace platform
