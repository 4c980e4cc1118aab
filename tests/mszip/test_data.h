// Deterministic sample data of several kinds, and zlib-made MSZIP blocks.
#pragma once

#include <zlib.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

namespace test_data {

using Bytes = std::vector<uint8_t>;

enum class Kind { Text, Binary, Random, Skewed, Runs };

inline const char* name(Kind kind) {
    switch (kind) {
        case Kind::Text: return "text";
        case Kind::Binary: return "binary";
        case Kind::Random: return "random";
        case Kind::Skewed: return "skewed";
        case Kind::Runs: return "runs";
    }
    return "?";
}

inline Bytes make(Kind kind, size_t size, uint32_t seed) {
    std::mt19937 random(seed);
    Bytes data;
    data.reserve(size + 64);
    static const char* const words[] = {
        "the ",    "screen ",  "saver ",  "window ", "of ",     "a ",      "cabinet ", "folder ",
        "block ",  "and ",     "files ",  "setup ",  "Q-Mora ", "install ", "with ",   "system ",
        "data ",   "to ",      "in ",     "is ",     "\r\n",    ", ",       ". ",      "display "};
    while (data.size() < size) {
        switch (kind) {
            case Kind::Text: {
                const char* w = words[random() % 24];
                data.insert(data.end(), w, w + std::char_traits<char>::length(w));
                break;
            }
            case Kind::Binary: {
                // Records: an increasing id, a small field, a noisy sample.
                uint32_t id = uint32_t(data.size() / 12);
                uint32_t fields[3] = {id, id % 7, uint32_t(1000 + 50 * std::sin(id * 0.1)) +
                                                      uint32_t(random() % 4)};
                const uint8_t* p = reinterpret_cast<const uint8_t*>(fields);
                data.insert(data.end(), p, p + sizeof fields);
                break;
            }
            case Kind::Random: data.push_back(uint8_t(random())); break;
            case Kind::Skewed: {
                // Symbol k with weight 1/phi^k: Fibonacci-like frequencies
                // make the encoder use its longest codes.
                double u = (random() + 0.5) / 4294967296.0;
                uint32_t k = uint32_t(std::log(u) / std::log(0.6180339887));
                data.push_back(uint8_t(k * 37 + 11));
                break;
            }
            case Kind::Runs: {
                uint8_t byte = uint8_t(random() % 4);
                data.insert(data.end(), 1 + random() % 700, byte);
                break;
            }
        }
    }
    data.resize(size);
    return data;
}

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
