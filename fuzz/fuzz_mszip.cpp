// Arbitrary bytes as a sequence of MSZIP blocks through the codec.
//
// Input: an option byte, then blocks, each a 2-byte little-endian length and
// that many bytes (cut short by the input's end). All blocks of one input
// decode into one persistent 32,768-byte buffer, as a folder does. Each
// block is copied into an allocation of exactly its size: the codec must
// never read past it (it does not rely on look-ahead bytes), and the address
// sanitizer reports any read that does.
//
// Whenever zlib's inflate, given the buffer's previous contents as history,
// decodes a block completely into at most 32,768 bytes, the codec must
// succeed with the same bytes. A second instance held to the careful
// decoding loop, with a buffer of its own, must always give the same result
// and leave the same bytes as the fast one.
#include "cab/bytes.h"
#include "codecs/mszip/mszip.h"
#include "codecs/mszip/mszip_decoder.h"

#include <zlib.h>

#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

void* fuzzAlloc(uint32_t size) { return std::malloc(size); }
void fuzzFree(void* block) { std::free(block); }

void* createCodec(bool carefulOnly) {
    uint32_t blockSize = 32768, inputSize = 0;
    void* h = nullptr;
    if (mszipCreate(&blockSize, fuzzAlloc, fuzzFree, &inputSize, &h) != CodecOk) std::abort();
    static_cast<mszip::MszipHandle*>(h)->decoder->carefulOnly = carefulOnly ? 1 : 0;
    return h;
}

// zlib's reading of the block: its output, or false when it does not reach
// the end of the stream within 32,768 bytes.
bool inflateReference(const uint8_t* block, size_t size, const uint8_t* history,
                      std::vector<uint8_t>* out) {
    if (size < 2 || block[0] != 'C' || block[1] != 'K') return false;
    z_stream z{};
    if (inflateInit2(&z, -15) != Z_OK) std::abort();
    inflateSetDictionary(&z, history, 32768);
    out->assign(32769, 0);
    z.next_in = const_cast<Bytef*>(block + 2);
    z.avail_in = uInt(size - 2);
    z.next_out = out->data();
    z.avail_out = uInt(out->size());
    const int status = inflate(&z, Z_FINISH);
    out->resize(z.total_out);
    inflateEnd(&z);
    return status == Z_STREAM_END && out->size() <= 32768;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static uint8_t window[32768], carefulWindow[32768];
    static void* const handle = createCodec(false);
    static void* const careful = createCodec(true);
    if (size == 0) return 0;
    mszipReset(handle);
    mszipReset(careful);
    // Option byte: high bit set asks for a smaller output size.
    const uint32_t outputSize = (data[0] & 0x80) ? (data[0] & 0x7F) * 256u + 1 : 32768u;
    size_t position = 1;
    std::vector<uint8_t> history(32768), expected;
    while (position + 2 <= size) {
        size_t length = readLe16(data + position);
        position += 2;
        if (length > size - position) length = size - position;
        uint8_t* block = static_cast<uint8_t*>(std::malloc(length ? length : 1));
        std::memcpy(block, data + position, length);
        position += length;

        std::memcpy(history.data(), window, 32768);
        const bool referenceDecodes =
            outputSize == 32768 && length <= 32780 && inflateReference(block, length, history.data(), &expected);
        uint32_t produced = outputSize, carefulProduced = outputSize;
        const int result = mszipDecompress(handle, block, uint32_t(length), window, &produced);
        const int carefulResult =
            mszipDecompress(careful, block, uint32_t(length), carefulWindow, &carefulProduced);
        std::free(block);
        if (carefulResult != result || (result == CodecOk && carefulProduced != produced) ||
            std::memcmp(window, carefulWindow, sizeof window) != 0) {
            std::abort();  // the two decoding loops disagree
        }
        if (result != CodecOk && result != CodecBadData && result != CodecBadSize) std::abort();
        if (result == CodecOk && produced > outputSize) std::abort();
        if (referenceDecodes) {
            if (result != CodecOk || produced != expected.size() ||
                std::memcmp(window, expected.data(), produced) != 0) {
                std::abort();
            }
        }
    }
    return 0;
}
