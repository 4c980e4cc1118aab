// Encoder round trips through the LZX codec: data compressed by the test
// encoder must come back unchanged, frame by frame.
//
// Input: byte 0 picks the window (15 + b % 7 bits); byte 1 the encoder's
// options (block kinds, block size, call translation, match search depth);
// the rest is the plain data. The decoding instance is kept from input to
// input and brought back to its fresh state after each (lzx_instances.h).
#include "fuzz/lzx_instances.h"
#include "tools/cabwriter/lzx_encoder.h"

#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <vector>

namespace {

lzxenc::Options optionsFrom(int windowBits, uint8_t choice) {
    lzxenc::Options options;
    options.windowBits = windowBits;
    const lzxenc::BlockKind kinds[] = {lzxenc::BlockKind::Best, lzxenc::BlockKind::Verbatim,
                                       lzxenc::BlockKind::Aligned,
                                       lzxenc::BlockKind::Uncompressed};
    options.blockKinds = {kinds[choice & 3], kinds[(choice >> 2) & 3]};
    options.blockSize = 700 + (uint32_t(choice >> 4) * 4099) % 70000;
    options.translationSize = (choice & 0x40) ? 1000000 : 0;
    options.maxChain = (choice & 0x80) ? 4 : 32;
    return options;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    const int windowBits = lzxfuzz::kMinWindowBits + data[0] % 7;
    const std::vector<uint8_t> plain(data + 2, data + size);
    std::vector<lzxenc::Frame> frames;
    try {
        frames = lzxenc::encode(plain.data(), plain.size(), optionsFrom(windowBits, data[1]));
    } catch (const std::runtime_error&) {
        return 0;  // an operand the translation cannot represent
    }
    lzxfuzz::KeptCodec& codec = lzxfuzz::keptCodec(windowBits, false);
    size_t at = 0;
    for (const lzxenc::Frame& frame : frames) {
        uint8_t* out = static_cast<uint8_t*>(std::malloc(frame.size ? frame.size : 1));
        const bool same =
            codec.decode(frame.data.data(), uint32_t(frame.data.size()), frame.size, out) ==
                CodecOk &&
            frame.size <= plain.size() - at && std::memcmp(out, plain.data() + at, frame.size) == 0;
        std::free(out);
        if (!same) std::abort();
        at += frame.size;
    }
    if (at != plain.size()) std::abort();
    codec.restore();
    return 0;
}
