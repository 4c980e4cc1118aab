// Arbitrary bytes as a sequence of MSZIP blocks through the codec.
//
// Input: an option byte, then blocks, each a 2-byte little-endian length and
// that many bytes (cut short by the input's end). All blocks of one input
// decode into one persistent 32,768-byte buffer, as a folder does. Each
// block is copied into an allocation of exactly its size: the codec must
// never read past it (it does not rely on look-ahead bytes), and the address
// sanitizer reports any read that does.
//
// A block's history is the previous block's output, and only when that
// block succeeded and filled the whole ring: otherwise a reference reaching
// before the block's first byte is damaged data, as zlib without a
// dictionary also says.
//
// With the full 32,768-byte output size, whenever zlib's inflate, given that
// history, decodes a block completely into
// at most 32,768 bytes, the codec must succeed with the same bytes. A
// smaller output size is also the size of the ring of history; every block
// the codec decodes then must be what zlib makes of it with that ring as
// history. A second instance held to the careful decoding loop, with a
// buffer of its own, must always give the same result and leave the same
// bytes as the fast one.
#include "cab/bytes.h"
#include "codecs/mszip/mszip.h"
#include "codecs/mszip/mszip_decoder.h"

#include <zlib.h>

#include <cstdlib>
#include <cstring>

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

struct Reference {
    int status;      // zlib's last result
    uint32_t size;   // bytes it produced
};

// zlib's reading of the block into `out` (room for `capacity` bytes), with
// the history ring (the output buffer's first `ringSize` bytes; none when
// `ringSize` is 0) as its dictionary. With `zeroTail`, the block is followed by zero bytes, as many
// as the codec's bit reader may supply past a block's end. One inflate state
// serves every block.
Reference inflateReference(const uint8_t* block, size_t size, const uint8_t* ring,
                           uint32_t ringSize, uint8_t* out, uint32_t capacity, bool zeroTail) {
    static z_stream z{};
    static const bool ready = inflateInit2(&z, -15) == Z_OK;
    static const uint8_t zeros[2 * 32768 + 16] = {};
    if (!ready || inflateReset(&z) != Z_OK) std::abort();
    if (ringSize != 0) inflateSetDictionary(&z, ring, ringSize);
    z.next_in = const_cast<Bytef*>(block + 2);
    z.avail_in = uInt(size - 2);
    z.next_out = out;
    z.avail_out = capacity;
    int status = inflate(&z, Z_NO_FLUSH);
    if (zeroTail && (status == Z_OK || status == Z_BUF_ERROR) && z.avail_out != 0) {
        z.next_in = const_cast<Bytef*>(zeros);
        z.avail_in = sizeof zeros;
        status = inflate(&z, Z_NO_FLUSH);
    }
    return {status, uint32_t(z.total_out)};
}

bool isMszipBlock(const uint8_t* block, size_t size) {
    return size >= 2 && block[0] == 'C' && block[1] == 'K';
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static uint8_t window[32768], carefulWindow[32768], history[32768], expected[32769];
    static void* const handle = createCodec(false);
    static void* const careful = createCodec(true);
    if (size == 0) return 0;
    mszipReset(handle);
    mszipReset(careful);
    // Every input starts from an all-zero history, whatever earlier inputs
    // left in the buffers.
    std::memset(window, 0, sizeof window);
    std::memset(carefulWindow, 0, sizeof carefulWindow);
    // Option byte: high bit set asks for a smaller output size.
    const uint32_t outputSize = (data[0] & 0x80) ? (data[0] & 0x7F) * 256u + 1 : 32768u;
    uint32_t previousOutput = 0;  // what the previous block produced; 0 after a failure
    size_t position = 1;
    while (position + 2 <= size) {
        size_t length = readLe16(data + position);
        position += 2;
        if (length > size - position) length = size - position;
        uint8_t* block = static_cast<uint8_t*>(std::malloc(length ? length : 1));
        std::memcpy(block, data + position, length);
        position += length;

        std::memcpy(history, window, sizeof history);
        const uint32_t historySize = previousOutput == outputSize ? outputSize : 0;
        uint32_t produced = outputSize, carefulProduced = outputSize;
        const int result = mszipDecompress(handle, block, uint32_t(length), window, &produced);
        const int carefulResult =
            mszipDecompress(careful, block, uint32_t(length), carefulWindow, &carefulProduced);
        if (carefulResult != result || (result == CodecOk && carefulProduced != produced) ||
            std::memcmp(window, carefulWindow, sizeof window) != 0) {
            std::abort();  // the two decoding loops disagree
        }
        if (result != CodecOk && result != CodecBadData && result != CodecBadSize) std::abort();
        if (result == CodecOk && produced > outputSize) std::abort();
        bool matchesReference = true;
        if (outputSize == 32768 && isMszipBlock(block, length) && length <= 32780) {
            // Whatever zlib decodes to its end within the buffer, the codec
            // must decode to the same bytes.
            const Reference z =
                inflateReference(block, length, history, historySize, expected, 32769, false);
            matchesReference = z.status != Z_STREAM_END || z.size > 32768 ||
                               (result == CodecOk && produced == z.size &&
                                std::memcmp(window, expected, produced) == 0);
        } else if (result == CodecOk && produced != 0) {
            // The smaller ring refuses distances beyond it that zlib takes, so
            // only what the codec decodes is held to zlib's reading: the same
            // bytes, up to where the codec stopped. A codec that stops at a
            // full buffer succeeds whatever comes after, and whatever zlib
            // refuses that the codec need not look at (a block with no
            // end-of-block code can still fill the buffer): then only the
            // bytes zlib produced before refusing are compared.
            const Reference z =
                inflateReference(block, length, history, historySize, expected, produced, true);
            const bool zlibAccepts =
                z.status == Z_OK || z.status == Z_STREAM_END || z.status == Z_BUF_ERROR;
            const bool stoppedFull = produced == outputSize && z.status == Z_DATA_ERROR;
            matchesReference = (zlibAccepts && z.size == produced) ||
                               (stoppedFull && z.size <= produced);
            matchesReference = matchesReference && std::memcmp(window, expected, z.size) == 0;
        }
        std::free(block);
        if (!matchesReference) std::abort();
        previousOutput = result == CodecOk ? produced : 0;
    }
    return 0;
}
