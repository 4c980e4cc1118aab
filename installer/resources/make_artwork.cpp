// Draws the installer's artwork and writes it as resource files:
//   qmora.ico  icon group of four 16x16 images (4, 8, 24 and 32 bits per pixel)
//   qmora.bmp  the 99x57, 24-bit product picture (a crescent moon over hills)
// Everything is computed from fixed formulas, so every build yields the same
// bytes. Usage: make_artwork <output directory>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

struct Rgba {
    int r, g, b, a;
};

void put16(Bytes& out, uint32_t v) {
    out.push_back(static_cast<uint8_t>(v));
    out.push_back(static_cast<uint8_t>(v >> 8));
}

void put32(Bytes& out, uint32_t v) {
    put16(out, v & 0xFFFF);
    put16(out, v >> 16);
}

int clampByte(double v) {
    return v < 0 ? 0 : v > 255 ? 255 : static_cast<int>(v + 0.5);
}

Rgba mix(Rgba a, Rgba b, double t) {
    return {clampByte(a.r + (b.r - a.r) * t), clampByte(a.g + (b.g - a.g) * t),
            clampByte(a.b + (b.b - a.b) * t), clampByte(a.a + (b.a - a.a) * t)};
}

// Coverage of a disc of radius r at distance d, with a one-pixel soft edge.
double disc(double d, double r) {
    double c = r + 0.5 - d;
    return c < 0 ? 0 : c > 1 ? 1 : c;
}

// ---- The picture --------------------------------------------------------------

constexpr int kPictureWidth = 99;
constexpr int kPictureHeight = 57;

Rgba picturePixel(int x, int y) {
    // Night sky: deep blue at the top to violet at the horizon.
    Rgba sky = mix({18, 24, 70, 255}, {112, 70, 140, 255}, y / double(kPictureHeight));
    // A few fixed stars.
    static const int stars[][2] = {{8, 6}, {21, 14}, {35, 4}, {47, 19}, {58, 9},
                                   {88, 5}, {93, 22}, {14, 27}, {40, 31}, {79, 30}};
    for (const auto& s : stars) {
        if (s[0] == x && s[1] == y) sky = {250, 245, 210, 255};
    }
    // Crescent moon: a bright disc with a second, offset disc cut out of it.
    double moon = disc(std::hypot(x - 72.0, y - 17.0), 11.0);
    double bite = disc(std::hypot(x - 77.0, y - 13.0), 9.0);
    double crescent = moon * (1.0 - bite);
    Rgba colour = mix(sky, {255, 236, 160, 255}, crescent);
    // Two rolling hills in front.
    double far = 40.0 + 5.0 * std::sin(x / 11.0) + 3.0 * std::sin(x / 5.0 + 1.3);
    double near = 47.0 + 4.0 * std::sin(x / 15.0 + 2.0);
    if (y >= near) return mix({30, 92, 48, 255}, {14, 52, 30, 255}, (y - near) / 10.0);
    if (y >= far) return mix({56, 120, 80, 255}, {36, 90, 60, 255}, (y - far) / 8.0);
    return colour;
}

Bytes pictureFile() {
    const uint32_t stride = (kPictureWidth * 3 + 3) & ~3u;
    const uint32_t imageSize = stride * kPictureHeight;
    Bytes out;
    out.push_back('B');
    out.push_back('M');
    put32(out, 14 + 40 + imageSize);
    put32(out, 0);
    put32(out, 14 + 40);
    put32(out, 40);
    put32(out, kPictureWidth);
    put32(out, kPictureHeight);
    put16(out, 1);
    put16(out, 24);
    put32(out, 0);
    put32(out, imageSize);
    put32(out, 2835);
    put32(out, 2835);
    put32(out, 0);
    put32(out, 0);
    for (int y = kPictureHeight - 1; y >= 0; --y) {  // rows are stored bottom-up
        uint32_t written = 0;
        for (int x = 0; x < kPictureWidth; ++x, written += 3) {
            Rgba p = picturePixel(x, y);
            out.push_back(static_cast<uint8_t>(p.b));
            out.push_back(static_cast<uint8_t>(p.g));
            out.push_back(static_cast<uint8_t>(p.r));
        }
        for (; written < stride; ++written) out.push_back(0);
    }
    return out;
}

// ---- The icon -----------------------------------------------------------------

constexpr int kIconSize = 16;

// A moon-yellow "Q" ring with a tail on a round blue badge; transparent
// outside the badge.
Rgba iconPixel(int x, int y) {
    double cx = 7.5, cy = 7.5;
    double d = std::hypot(x - cx, y - cy);
    double badge = disc(d, 7.6);
    Rgba base = mix({40, 60, 170, 255}, {20, 28, 90, 255}, y / 15.0);
    double ring = disc(d, 5.2) * (1.0 - disc(d, 3.0));
    bool tail = (x - y == 1 || x - y == 2) && x >= 9 && x <= 13;
    Rgba colour = mix(base, {255, 220, 90, 255}, tail ? 1.0 : ring);
    colour.a = clampByte(255 * badge);
    return colour;
}

// Palettes for the indexed images: the 16 classic colours, and a 6x6x6 cube
// followed by a grey ramp for 256 colours.
std::vector<Rgba> palette(int bits) {
    std::vector<Rgba> p;
    if (bits == 4) {
        static const int classic[16][3] = {
            {0, 0, 0},       {128, 0, 0},   {0, 128, 0},   {128, 128, 0},
            {0, 0, 128},     {128, 0, 128}, {0, 128, 128}, {192, 192, 192},
            {128, 128, 128}, {255, 0, 0},   {0, 255, 0},   {255, 255, 0},
            {0, 0, 255},     {255, 0, 255}, {0, 255, 255}, {255, 255, 255}};
        for (const auto& c : classic) p.push_back({c[0], c[1], c[2], 255});
    } else {
        for (int r = 0; r < 6; ++r)
            for (int g = 0; g < 6; ++g)
                for (int b = 0; b < 6; ++b) p.push_back({r * 51, g * 51, b * 51, 255});
        while (p.size() < 256) {
            int v = static_cast<int>((p.size() - 216) * 255 / 39);
            p.push_back({v, v, v, 255});
        }
    }
    return p;
}

uint8_t nearest(const std::vector<Rgba>& pal, Rgba c) {
    size_t best = 0;
    long bestDistance = -1;
    for (size_t i = 0; i < pal.size(); ++i) {
        long dr = pal[i].r - c.r, dg = pal[i].g - c.g, db = pal[i].b - c.b;
        long distance = dr * dr + dg * dg + db * db;
        if (bestDistance < 0 || distance < bestDistance) {
            bestDistance = distance;
            best = i;
        }
    }
    return static_cast<uint8_t>(best);
}

// One icon image: BITMAPINFOHEADER (height doubled for the mask), palette,
// colour rows and the 1-bit transparency mask, both bottom-up.
Bytes iconImage(int bits) {
    const uint32_t colourStride = ((kIconSize * bits + 31) / 32) * 4;
    const uint32_t maskStride = ((kIconSize + 31) / 32) * 4;
    std::vector<Rgba> pal = bits <= 8 ? palette(bits) : std::vector<Rgba>{};
    Bytes out;
    put32(out, 40);
    put32(out, kIconSize);
    put32(out, kIconSize * 2);
    put16(out, 1);
    put16(out, static_cast<uint32_t>(bits));
    put32(out, 0);
    put32(out, (colourStride + maskStride) * kIconSize);
    put32(out, 0);
    put32(out, 0);
    put32(out, static_cast<uint32_t>(pal.size()));
    put32(out, 0);
    for (const Rgba& c : pal) {
        out.push_back(static_cast<uint8_t>(c.b));
        out.push_back(static_cast<uint8_t>(c.g));
        out.push_back(static_cast<uint8_t>(c.r));
        out.push_back(0);
    }
    for (int y = kIconSize - 1; y >= 0; --y) {
        Bytes row(colourStride, 0);
        for (int x = 0; x < kIconSize; ++x) {
            Rgba c = iconPixel(x, y);
            if (bits < 32 && c.a < 128) c = {0, 0, 0, 0};  // masked pixels are black
            if (bits == 4) {
                row[x / 2] |= static_cast<uint8_t>(nearest(pal, c) << (x % 2 ? 0 : 4));
            } else if (bits == 8) {
                row[x] = nearest(pal, c);
            } else {
                size_t at = static_cast<size_t>(x) * (bits / 8);
                row[at] = static_cast<uint8_t>(c.b);
                row[at + 1] = static_cast<uint8_t>(c.g);
                row[at + 2] = static_cast<uint8_t>(c.r);
                if (bits == 32) row[at + 3] = static_cast<uint8_t>(c.a);
            }
        }
        out.insert(out.end(), row.begin(), row.end());
    }
    for (int y = kIconSize - 1; y >= 0; --y) {
        Bytes row(maskStride, 0);
        for (int x = 0; x < kIconSize; ++x) {
            if (iconPixel(x, y).a < 128) row[x / 8] |= static_cast<uint8_t>(0x80 >> (x % 8));
        }
        out.insert(out.end(), row.begin(), row.end());
    }
    return out;
}

Bytes iconFile() {
    const int depths[] = {4, 8, 24, 32};
    std::vector<Bytes> images;
    for (int bits : depths) images.push_back(iconImage(bits));
    Bytes out;
    put16(out, 0);
    put16(out, 1);  // type: icon
    put16(out, static_cast<uint32_t>(images.size()));
    uint32_t offset = 6 + 16 * static_cast<uint32_t>(images.size());
    for (size_t i = 0; i < images.size(); ++i) {
        out.push_back(kIconSize);
        out.push_back(kIconSize);
        out.push_back(depths[i] == 4 ? 16 : 0);  // colour count, 0 for 256 and more
        out.push_back(0);
        put16(out, 1);
        put16(out, static_cast<uint32_t>(depths[i]));
        put32(out, static_cast<uint32_t>(images[i].size()));
        put32(out, offset);
        offset += static_cast<uint32_t>(images[i].size());
    }
    for (const Bytes& image : images) out.insert(out.end(), image.begin(), image.end());
    return out;
}

bool writeFile(const std::string& path, const Bytes& data) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    bool ok = std::fwrite(data.data(), 1, data.size(), f) == data.size();
    return std::fclose(f) == 0 && ok;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_artwork <output directory>\n");
        return 2;
    }
    std::string dir = argv[1];
    if (!writeFile(dir + "/qmora.ico", iconFile()) || !writeFile(dir + "/qmora.bmp", pictureFile())) {
        std::fprintf(stderr, "make_artwork: cannot write into %s\n", dir.c_str());
        return 1;
    }
    return 0;
}
