// MSZIP blocks: "CK" followed by one raw Deflate stream made by zlib.
#include "tools/cabwriter/cab_writer.h"
#include "tools/cabwriter/writer_internal.h"

#include <zlib.h>

#include <algorithm>
#include <stdexcept>

namespace cabwriter {
namespace {

constexpr size_t kHistorySize = 32768;

// One raw Deflate stream (window 2^15, no zlib header) of `data`, ending with
// a last-block bit; `dictionary` is the history it may refer back into.
Bytes deflateRaw(const uint8_t* data, size_t size, const uint8_t* dictionary,
                 size_t dictionarySize, int level, int strategy) {
    z_stream stream{};
    if (deflateInit2(&stream, level, Z_DEFLATED, -15, 9, strategy) != Z_OK) {
        throw std::invalid_argument("zlib refused the MSZIP level or strategy");
    }
    if (dictionarySize > kHistorySize) {
        dictionary += dictionarySize - kHistorySize;
        dictionarySize = kHistorySize;
    }
    if (dictionarySize > 0 &&
        deflateSetDictionary(&stream, dictionary, uInt(dictionarySize)) != Z_OK) {
        deflateEnd(&stream);
        throw std::runtime_error("zlib refused the preset dictionary");
    }
    Bytes out(deflateBound(&stream, uLong(size)) + 16);
    stream.next_in = const_cast<Bytef*>(data);
    stream.avail_in = uInt(size);
    int status = Z_OK;
    while (status != Z_STREAM_END) {
        if (stream.total_out == out.size()) out.resize(out.size() * 2);
        stream.next_out = out.data() + stream.total_out;
        stream.avail_out = uInt(out.size() - stream.total_out);
        status = deflate(&stream, Z_FINISH);
        if (status != Z_OK && status != Z_STREAM_END && status != Z_BUF_ERROR) {
            deflateEnd(&stream);
            throw std::runtime_error("zlib deflate failed");
        }
    }
    out.resize(stream.total_out);
    deflateEnd(&stream);
    return out;
}

}  // namespace

Bytes mszipBlock(const uint8_t* data, size_t size, const uint8_t* dictionary,
                 size_t dictionarySize, int level, int strategy) {
    Bytes stream = deflateRaw(data, size, dictionary, dictionarySize, level, strategy);
    // memLevel 9 lets zlib hold a whole block's symbols, so even data that
    // does not compress comes out as at most two Deflate blocks and fits a
    // decoder's input buffer; anything larger would be refused there.
    if (stream.size() + 2 > detail::kMaxMszipBlockData) {
        throw std::runtime_error("MSZIP block larger than a decoder accepts");
    }
    Bytes block(stream.size() + 2);
    block[0] = 'C';
    block[1] = 'K';
    std::copy(stream.begin(), stream.end(), block.begin() + 2);
    return block;
}

}  // namespace cabwriter
