// LZX codec instances kept from one fuzz input to the next, one per window
// size (and per decoding loop), so that an input costs what it decodes
// rather than the set-up of a window of up to 2 MB. Between inputs an
// instance is reset and the part of its window the input could have written
// is zeroed again, so every input meets an instance indistinguishable from a
// freshly created one: results never depend on the inputs run before.
#pragma once

#include "cab/codec.h"
#include "codecs/lzx/lzx.h"
#include "codecs/lzx/lzx_decoder.h"

#include <cstdlib>
#include <cstring>

namespace lzxfuzz {

constexpr int kMinWindowBits = 15;
constexpr int kMaxWindowBits = 21;
constexpr uint32_t kMaxFrame = 32768;

inline void* allocate(uint32_t size) { return std::malloc(size ? size : 1); }
inline void release(void* block) { std::free(block); }

// One instance and the number of output bytes asked of it since it was
// last brought back to the fresh state.
struct KeptCodec {
    void* handle = nullptr;
    uint64_t asked = 0;

    lzx::Decoder& decoder() const { return *static_cast<lzx::Handle*>(handle)->decoder; }

    // Decodes one frame of `size` bytes from an exact copy of the block
    // followed by the codec's zero slack, so the address sanitizer reports
    // any read beyond that, into an output allocation of exactly the size
    // asked for. Returns the codec's result; aborts on a result or a
    // produced size the codec must never give.
    int decode(const uint8_t* data, uint32_t size, uint32_t requested, uint8_t* output) {
        uint8_t* input = static_cast<uint8_t*>(std::malloc(size + kCodecInputSlack));
        std::memcpy(input, data, size);
        std::memset(input + size, 0, kCodecInputSlack);
        asked += requested;
        uint32_t produced = requested;
        const int result = lzxDecompress(handle, input, size, output, &produced);
        std::free(input);
        if (result == CodecOk && produced != requested) std::abort();
        if (result != CodecOk && result != CodecBadData) std::abort();
        return result;
    }

    // Back to the state of a fresh instance: reset, and the window bytes that
    // the frames asked for since the last restore (with a match's overrun
    // past a frame's end) zeroed, as creation leaves them.
    void restore() {
        if (lzxReset(handle) != CodecOk) std::abort();
        lzx::Decoder& d = decoder();
        const uint64_t written = asked + lzx::kWindowSpare;
        std::memset(d.window, 0, written < d.windowSize ? size_t(written) : d.windowSize);
        std::memset(d.window + d.windowSize, 0, lzx::kWindowSpare);
        asked = 0;
    }
};

// The kept instance for a window of 2^bits bytes, created on first use;
// `careful` selects a separate instance held to the careful decoding loop.
inline KeptCodec& keptCodec(int bits, bool careful) {
    static KeptCodec kept[kMaxWindowBits + 1][2];
    KeptCodec& codec = kept[bits][careful ? 1 : 0];
    if (codec.handle == nullptr) {
        CodecParams params{};
        params.windowSize = uint32_t(1) << bits;
        uint32_t maxBlock = kMaxFrame, inputSize = 0;
        if (lzxCreate(&maxBlock, &params, allocate, release, &inputSize, &codec.handle, nullptr) !=
            CodecOk) {
            std::abort();
        }
        codec.decoder().carefulOnly = careful ? 1 : 0;
    }
    return codec;
}

}  // namespace lzxfuzz
