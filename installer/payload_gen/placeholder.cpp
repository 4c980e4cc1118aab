#include "installer/payload_gen/placeholder.h"

#include <cstring>

namespace {

constexpr size_t kSegmentSize = 256;

// xorshift32: small, fast and the same on every compiler.
struct Random {
    uint32_t state;
    uint32_t next() {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        return state;
    }
};

const char* const kWords[] = {
    "screen", "saver",  "moon",   "light",   "window", "colour", "pixel",   "frame",
    "render", "scene",  "orbit",  "night",   "star",   "glow",   "fade",    "blend",
    "texture", "vertex", "shader", "surface", "device", "buffer", "matrix", "shadow",
    "mirror", "water",  "cloud",  "river",   "stone",  "forest", "horizon", "dusk"};
constexpr uint32_t kWordCount = sizeof(kWords) / sizeof(kWords[0]);

void appendText(std::vector<uint8_t>& out, Random& random) {
    size_t end = out.size() + kSegmentSize;
    while (out.size() < end) {
        const char* word = kWords[random.next() % kWordCount];
        out.insert(out.end(), word, word + std::strlen(word));
        if (random.next() % 9 == 0) {
            out.push_back('\r');
            out.push_back('\n');
        } else {
            out.push_back(' ');
        }
    }
    out.resize(end);
}

void appendRandom(std::vector<uint8_t>& out, Random& random) {
    for (size_t i = 0; i < kSegmentSize; ++i) out.push_back(static_cast<uint8_t>(random.next()));
}

}  // namespace

std::vector<uint8_t> placeholderContents(const PayloadFile& file) {
    std::vector<uint8_t> out(file.headline, file.headline + std::strlen(file.headline));
    out.reserve(file.size + kSegmentSize);
    Random random{file.seed};
    while (out.size() < file.size) {
        if (random.next() % 1000 < file.randomShare) {
            appendRandom(out, random);
        } else {
            appendText(out, random);
        }
    }
    out.resize(file.size);
    return out;
}
