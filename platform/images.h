// What the layer reads from icon groups and bitmaps.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace platform {

// One image of an RT_GROUP_ICON directory.
struct IconImage {
  int width = 0;  // 0 in the directory means 256
  int height = 0;
  int colorCount = 0;
  int planes = 0;
  int bitCount = 0;
  std::uint32_t bytes = 0;
  std::uint16_t iconId = 0;  // the RT_ICON resource holding the image
};

std::optional<std::vector<IconImage>> parseIconGroup(const unsigned char* data, std::size_t size);

// A bitmap resource: a BITMAPINFOHEADER (or the older core header), maybe a
// colour table, then the pixels.
struct BitmapInfo {
  int width = 0;
  int height = 0;  // always positive; topDown tells the row order
  bool topDown = false;
  int bitCount = 0;
  std::uint32_t compression = 0;
  const unsigned char* pixels = nullptr;  // nullptr when the pixels cannot be read
  std::size_t stride = 0;
};

std::optional<BitmapInfo> parseBitmap(const unsigned char* data, std::size_t size);

// The colour (0x00BBGGRR) of pixel (x, y), counted from the top left, for
// uncompressed 24- and 32-bit bitmaps; nothing for others.
std::optional<std::uint32_t> bitmapPixel(const BitmapInfo& bitmap, int x, int y);

}  // namespace platform
