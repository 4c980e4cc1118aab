// LZX frames straight into the codec (lzx_fuzz_input.h gives the format):
// the window size and every block's sizes come from the input. Each call
// must end in CodecOk with exactly the size asked for, or CodecBadData;
// the sanitizers watch every read and write. A second instance held to the
// careful decoding loop must give the same result and the same bytes as the
// fast one. In round-trip mode, data compressed by the test encoder must
// come back unchanged.
#include "codecs/lzx/lzx.h"
#include "codecs/lzx/lzx_decoder.h"
#include "fuzz/lzx_fuzz_input.h"
#include "tools/cabwriter/lzx_encoder.h"

#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <vector>

namespace {

void* fuzzAlloc(uint32_t size) { return std::malloc(size); }
void fuzzFree(void* block) { std::free(block); }

struct FuzzedCodec {
    explicit FuzzedCodec(int windowBits, bool carefulOnly = false) {
        CodecParams params{};
        params.windowSize = uint32_t(1) << windowBits;
        uint32_t maxBlock = 32768, inputSize = 0;
        if (lzxCreate(&maxBlock, &params, fuzzAlloc, fuzzFree, &inputSize, &handle, nullptr) !=
            CodecOk) {
            std::abort();
        }
        static_cast<lzx::Handle*>(handle)->decoder->carefulOnly = carefulOnly ? 1 : 0;
    }
    ~FuzzedCodec() { lzxDestroy(handle); }
    // One frame; the input is copied so that the slack behind it is exact.
    int decode(const uint8_t* data, uint32_t size, uint32_t requested, std::vector<uint8_t>& out) {
        input.assign(data, data + size);
        input.resize(size + kCodecInputSlack, 0);
        out.assign(32768, 0);
        uint32_t produced = requested;
        int result = lzxDecompress(handle, input.data(), size, out.data(), &produced);
        if (result == CodecOk && produced != requested) std::abort();
        if (result != CodecOk && result != CodecBadData) std::abort();
        out.resize(result == CodecOk ? produced : 0);
        return result;
    }
    void* handle = nullptr;
    std::vector<uint8_t> input;
};

void roundTrip(const uint8_t* data, size_t size, int windowBits) {
    if (size < 1) return;
    lzxenc::Options options;
    options.windowBits = windowBits;
    const uint8_t choice = data[0];
    const lzxenc::BlockKind kinds[] = {lzxenc::BlockKind::Best, lzxenc::BlockKind::Verbatim,
                                       lzxenc::BlockKind::Aligned,
                                       lzxenc::BlockKind::Uncompressed};
    options.blockKinds = {kinds[choice & 3], kinds[(choice >> 2) & 3]};
    options.blockSize = 700 + (uint32_t(choice >> 4) * 4099) % 70000;
    options.translationSize = (choice & 0x40) ? 1000000 : 0;
    options.maxChain = (choice & 0x80) ? 4 : 32;
    std::vector<uint8_t> plain(data + 1, data + size);
    std::vector<lzxenc::Frame> frames;
    try {
        frames = lzxenc::encode(plain.data(), plain.size(), options);
    } catch (const std::runtime_error&) {
        return;  // an operand the translation cannot represent
    }
    FuzzedCodec codec(windowBits);
    std::vector<uint8_t> out, all;
    for (const lzxenc::Frame& frame : frames) {
        if (codec.decode(frame.data.data(), uint32_t(frame.data.size()), frame.size, out) !=
            CodecOk) {
            std::abort();
        }
        all.insert(all.end(), out.begin(), out.end());
    }
    if (all != plain) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    lzxfuzz::Input in = lzxfuzz::parse(data, size);
    if (size < 2) return 0;
    if (in.flags & 0x80) {
        roundTrip(data + 2, size - 2, in.windowBits);
        return 0;
    }
    FuzzedCodec codec(in.windowBits), careful(in.windowBits, true);
    std::vector<uint8_t> out, carefulOut;
    for (const lzxfuzz::Block& block : in.blocks) {
        if (block.reset) {
            if (lzxReset(codec.handle) != CodecOk || lzxReset(careful.handle) != CodecOk) {
                std::abort();
            }
            continue;
        }
        const int result = codec.decode(block.data, block.size, block.uncompressedSize, out);
        if (careful.decode(block.data, block.size, block.uncompressedSize, carefulOut) != result ||
            carefulOut != out) {
            std::abort();  // the two decoding loops disagree
        }
    }
    return 0;
}
