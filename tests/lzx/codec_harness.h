// Drives the LZX codec directly, as the cabinet decoder does: one instance,
// one decompress call per frame, every input followed by the zeroed slack
// the decoder guarantees.
#pragma once

#include "codecs/lzx/lzx.h"
#include "tools/cabwriter/lzx_encoder.h"

#include <cstdlib>
#include <cstring>
#include <vector>

namespace lzxtest {

using Bytes = std::vector<uint8_t>;

// Zero-filled: the codec leaves window bytes it has not written as they were
// allocated, and tests compare whole windows of two instances.
inline void* testAlloc(uint32_t size) { return std::calloc(1, size); }
inline void testFree(void* block) { std::free(block); }

class Instance {
public:
    explicit Instance(int windowBits, uint32_t maxBlockSize = 32768) {
        CodecParams params{};
        params.windowSize = uint32_t(1) << windowBits;
        uint32_t inputSize = 0;
        result_ = lzxCreate(&maxBlockSize, &params, testAlloc, testFree, &inputSize, &handle_,
                            nullptr);
    }
    ~Instance() {
        if (handle_ != nullptr) lzxDestroy(handle_);
    }
    Instance(const Instance&) = delete;
    Instance& operator=(const Instance&) = delete;

    int createResult() const { return result_; }
    void* handle() const { return handle_; }

    // One frame; the output holds what was produced.
    int decompress(const Bytes& input, uint32_t size, Bytes& output) {
        Bytes padded(input);
        padded.resize(input.size() + kCodecInputSlack, 0);
        output.assign(size + 64, 0xAA);
        uint32_t produced = size;
        int result = lzxDecompress(handle_, padded.data(), uint32_t(input.size()), output.data(),
                                   &produced);
        output.resize(result == CodecOk ? produced : 0);
        return result;
    }

    int reset() { return lzxReset(handle_); }

private:
    void* handle_ = nullptr;
    int result_ = -1;
};

// Decodes a folder's frames; false (with `failedFrame` set) at the first
// frame that does not decode to its size.
inline bool decodeFolder(Instance& codec, const std::vector<lzxenc::Frame>& frames, Bytes& out,
                         size_t* failedFrame = nullptr) {
    out.clear();
    Bytes frameOut;
    for (size_t f = 0; f < frames.size(); ++f) {
        if (codec.decompress(frames[f].data, frames[f].size, frameOut) != CodecOk ||
            frameOut.size() != frames[f].size) {
            if (failedFrame) *failedFrame = f;
            return false;
        }
        out.insert(out.end(), frameOut.begin(), frameOut.end());
    }
    return true;
}

}  // namespace lzxtest
