// Sample data, and zlib-made MSZIP blocks.
#pragma once

#include "tests/support/sample_data.h"

#include <zlib.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <vector>

namespace test_data {

using sample_data::Bytes;
using sample_data::Kind;
using sample_data::make;
using sample_data::name;

// "CK" + a raw Deflate stream of `data` made by zlib, with `dictionary` as
// the history it may refer to. Memory level 9 lets zlib hold a whole block's
// symbols, so even incompressible data stays within the 32,780-byte limit.
inline Bytes zlibMszipBlock(const uint8_t* data, size_t size, const uint8_t* dictionary,
                            size_t dictionarySize, int level, int strategy) {
    z_stream z{};
    if (deflateInit2(&z, level, Z_DEFLATED, -15, 9, strategy) != Z_OK) std::abort();
    if (dictionarySize != 0 &&
        deflateSetDictionary(&z, dictionary, uInt(dictionarySize)) != Z_OK) {
        std::abort();
    }
    Bytes out(2 + deflateBound(&z, uLong(size)) + 16);
    out[0] = 'C';
    out[1] = 'K';
    z.next_in = const_cast<Bytef*>(data);
    z.avail_in = uInt(size);
    z.next_out = out.data() + 2;
    z.avail_out = uInt(out.size() - 2);
    if (deflate(&z, Z_FINISH) != Z_STREAM_END) std::abort();
    out.resize(2 + z.total_out);
    deflateEnd(&z);
    return out;
}

// A folder's blocks: 32,768 bytes each but the last, each compressed with
// the previous 32,768 bytes as history.
inline std::vector<Bytes> zlibFolder(const Bytes& data, int level, int strategy) {
    std::vector<Bytes> blocks;
    size_t offset = 0;
    do {
        size_t size = std::min<size_t>(32768, data.size() - offset);
        size_t history = std::min<size_t>(32768, offset);
        blocks.push_back(zlibMszipBlock(data.data() + offset, size, data.data() + offset - history,
                                        history, level, strategy));
        offset += size;
    } while (offset < data.size());
    return blocks;
}

}  // namespace test_data
