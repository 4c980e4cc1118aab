// Writes the icon and bitmap the resource-parser tests compile into their
// resource script: icon.ico (a 16x16 and a 32x32 image, 32 bits per pixel)
// and picture.bmp (5x3, 24 bits per pixel, blue with a red top-left pixel,
// so a test can tell the rows' bottom-up order), and stripes.bmp (12x24, 24
// bits per pixel: bands of 6 rows, red, green, blue and white from the top,
// for the front end's half-block picture). Usage: make_test_images DIR
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

void put16(Bytes& out, uint32_t v) {
    out.push_back(uint8_t(v));
    out.push_back(uint8_t(v >> 8));
}

void put32(Bytes& out, uint32_t v) {
    put16(out, v & 0xFFFF);
    put16(out, v >> 16);
}

void putInfoHeader(Bytes& out, int width, int height, int bitCount, uint32_t imageSize) {
    put32(out, 40);
    put32(out, uint32_t(width));
    put32(out, uint32_t(height));
    put16(out, 1);
    put16(out, uint32_t(bitCount));
    put32(out, 0);  // no compression
    put32(out, imageSize);
    put32(out, 2835);  // 72 dpi
    put32(out, 2835);
    put32(out, 0);
    put32(out, 0);
}

// One icon image: header with doubled height, 32-bit pixels, AND mask.
Bytes iconImage(int size) {
    Bytes image;
    const uint32_t maskRow = uint32_t((size + 31) / 32 * 4);
    const uint32_t pixels = uint32_t(size * size * 4);
    putInfoHeader(image, size, size * 2, 32, pixels + maskRow * uint32_t(size));
    for (int i = 0; i < size * size; ++i) put32(image, 0xFF000000u | uint32_t(i * 2654435761u >> 8));
    image.resize(image.size() + maskRow * uint32_t(size), 0);
    return image;
}

Bytes icon() {
    const std::vector<Bytes> images = {iconImage(16), iconImage(32)};
    Bytes out;
    put16(out, 0);
    put16(out, 1);  // icon
    put16(out, uint32_t(images.size()));
    uint32_t offset = 6 + 16 * uint32_t(images.size());
    for (const Bytes& image : images) {
        const int size = int(image[4]);
        out.push_back(uint8_t(size));
        out.push_back(uint8_t(size));
        out.push_back(0);  // no palette
        out.push_back(0);
        put16(out, 1);   // planes
        put16(out, 32);  // bits per pixel
        put32(out, uint32_t(image.size()));
        put32(out, offset);
        offset += uint32_t(image.size());
    }
    for (const Bytes& image : images) out.insert(out.end(), image.begin(), image.end());
    return out;
}

// A 24-bit bitmap file up to its pixels: the file header (pixels right
// after the two headers) and the info header.
Bytes bitmapFileStart(int width, int height, uint32_t pixelBytes) {
    Bytes out;
    out.push_back('B');
    out.push_back('M');
    put32(out, 14 + 40 + pixelBytes);
    put32(out, 0);
    put32(out, 14 + 40);
    putInfoHeader(out, width, height, 24, pixelBytes);
    return out;
}

Bytes picture() {
    const int width = 5;
    const int height = 3;
    const uint32_t row = uint32_t((width * 3 + 3) / 4 * 4);
    Bytes out = bitmapFileStart(width, height, row * height);
    for (int y = 0; y < height; ++y) {  // stored bottom-up
        for (int x = 0; x < width; ++x) {
            const bool topLeft = y == height - 1 && x == 0;
            out.push_back(topLeft ? 0x00 : 0xFF);  // blue, green, red
            out.push_back(0x00);
            out.push_back(topLeft ? 0xFF : 0x00);
        }
        out.resize(out.size() + (row - width * 3), 0);
    }
    return out;
}

Bytes stripes() {
    const int width = 12;
    const int height = 24;
    const uint8_t bands[4][3] = {{0x00, 0x00, 0xFF}, {0x00, 0xFF, 0x00}, {0xFF, 0x00, 0x00},
                                 {0xFF, 0xFF, 0xFF}};  // blue, green, red bytes
    const uint32_t row = uint32_t(width * 3);           // already a multiple of 4
    Bytes out = bitmapFileStart(width, height, row * height);
    for (int y = height - 1; y >= 0; --y) {  // stored bottom-up
        for (int x = 0; x < width; ++x) {
            for (uint8_t byte : bands[y / 6]) out.push_back(byte);
        }
    }
    return out;
}

bool save(const std::string& path, const Bytes& bytes) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr) return false;
    bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return std::fclose(f) == 0 && ok;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_test_images DIR\n");
        return 2;
    }
    const std::string dir = argv[1];
    if (!save(dir + "/icon.ico", icon()) || !save(dir + "/picture.bmp", picture()) ||
        !save(dir + "/stripes.bmp", stripes())) {
        std::fprintf(stderr, "make_test_images: cannot write into %s\n", dir.c_str());
        return 1;
    }
    return 0;
}
