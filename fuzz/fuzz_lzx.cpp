// LZX frames straight into the codec (lzx_fuzz_input.h gives the format):
// the window size and every block's sizes come from the input. Each call
// must end in CodecOk with exactly the size asked for, or CodecBadData;
// the sanitizers watch every read and write. A second instance held to the
// careful decoding loop must give the same result and the same bytes as the
// fast one. Both instances are kept from input to input and brought back to
// their fresh state after each (lzx_instances.h). The encoder round trip is
// fuzz_lzx_roundtrip's.
#include "fuzz/lzx_fuzz_input.h"
#include "fuzz/lzx_instances.h"

#include <cstdlib>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    const lzxfuzz::Input in = lzxfuzz::parse(data, size);
    lzxfuzz::KeptCodec& codec = lzxfuzz::keptCodec(in.windowBits, false);
    lzxfuzz::KeptCodec& careful = lzxfuzz::keptCodec(in.windowBits, true);
    for (const lzxfuzz::Block& block : in.blocks) {
        if (block.reset) {
            if (lzxReset(codec.handle) != CodecOk || lzxReset(careful.handle) != CodecOk) {
                std::abort();
            }
            continue;
        }
        const uint32_t n = block.uncompressedSize;
        uint8_t* out = static_cast<uint8_t*>(std::malloc(n ? n : 1));
        uint8_t* carefulOut = static_cast<uint8_t*>(std::malloc(n ? n : 1));
        const int result = codec.decode(block.data, block.size, n, out);
        const int carefulResult = careful.decode(block.data, block.size, n, carefulOut);
        const bool agree =
            carefulResult == result && (result != CodecOk || std::memcmp(out, carefulOut, n) == 0);
        std::free(out);
        std::free(carefulOut);
        if (!agree) std::abort();  // the two decoding loops disagree
    }
    codec.restore();
    careful.restore();
    return 0;
}
