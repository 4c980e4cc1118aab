// Counts the literals and matches of a raw Deflate stream (RFC 1951), so
// that the work a Deflate decoder does per output byte can be set beside the
// LZX decoder's. A measuring aid: it walks the codes one bit at a time and
// gives up (returns false) on anything malformed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace deflate_symbols {

struct Counts {
    uint64_t literals = 0;
    uint64_t matches = 0;
    uint64_t bytes = 0;  // output the symbols stand for
};

namespace detail {

class Bits {
public:
    Bits(const uint8_t* data, size_t size) : data_(data), size_(size) {}
    // n bits, first bit the least significant; false past the end.
    bool get(int n, uint32_t& value) {
        value = 0;
        for (int k = 0; k < n; ++k, ++pos_) {
            if (pos_ / 8 >= size_) return false;
            value |= uint32_t(data_[pos_ / 8] >> (pos_ % 8) & 1) << k;
        }
        return true;
    }
    void toByte() { pos_ = (pos_ + 7) / 8 * 8; }
    bool skipBytes(size_t n) {
        pos_ += 8 * n;
        return pos_ / 8 <= size_;
    }

private:
    const uint8_t* data_;
    size_t size_;
    size_t pos_ = 0;
};

// A canonical code by its path lengths, decoded one bit at a time.
struct Code {
    uint16_t count[16] = {};
    std::vector<uint16_t> symbols;  // by increasing length, then symbol

    explicit Code(const std::vector<uint8_t>& lengths) {
        for (uint8_t l : lengths) ++count[l];
        count[0] = 0;
        for (int l = 1; l < 16; ++l) {
            for (size_t s = 0; s < lengths.size(); ++s) {
                if (lengths[s] == l) symbols.push_back(uint16_t(s));
            }
        }
    }

    bool decode(Bits& in, uint32_t& symbol) const {
        uint32_t code = 0, first = 0, index = 0;
        for (int l = 1; l < 16; ++l) {
            uint32_t bit;
            if (!in.get(1, bit)) return false;
            code |= bit;
            if (code - first < count[l]) {
                symbol = symbols[index + code - first];
                return true;
            }
            index += count[l];
            first = (first + count[l]) << 1;
            code <<= 1;
        }
        return false;
    }
};

inline int lengthExtraBits(uint32_t symbol) {
    return symbol < 265 || symbol == 285 ? 0 : int(symbol - 261) / 4;
}
inline uint32_t lengthBase(uint32_t symbol) {
    if (symbol < 265) return symbol - 254;
    if (symbol == 285) return 258;
    return ((4 + (symbol - 265) % 4) << lengthExtraBits(symbol)) + 3;
}
inline int distanceExtraBits(uint32_t symbol) { return symbol < 4 ? 0 : int(symbol) / 2 - 1; }

inline bool readDynamicCodes(Bits& in, std::vector<uint8_t>& litLen, std::vector<uint8_t>& dist) {
    static const int kOrder[19] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};
    uint32_t hlit, hdist, hclen;
    if (!in.get(5, hlit) || !in.get(5, hdist) || !in.get(4, hclen)) return false;
    std::vector<uint8_t> codeLengths(19, 0);
    for (uint32_t k = 0; k < hclen + 4; ++k) {
        uint32_t l;
        if (!in.get(3, l)) return false;
        codeLengths[size_t(kOrder[k])] = uint8_t(l);
    }
    const Code lengthCode(codeLengths);
    std::vector<uint8_t> all;
    const size_t total = hlit + 257 + hdist + 1;
    while (all.size() < total) {
        uint32_t s, extra;
        if (!lengthCode.decode(in, s)) return false;
        if (s < 16) {
            all.push_back(uint8_t(s));
            continue;
        }
        uint8_t value = 0;
        size_t run;
        if (s == 16) {
            if (all.empty() || !in.get(2, extra)) return false;
            value = all.back();
            run = 3 + extra;
        } else if (s == 17) {
            if (!in.get(3, extra)) return false;
            run = 3 + extra;
        } else {
            if (!in.get(7, extra)) return false;
            run = 11 + extra;
        }
        if (all.size() + run > total) return false;
        all.insert(all.end(), run, value);
    }
    litLen.assign(all.begin(), all.begin() + hlit + 257);
    dist.assign(all.begin() + hlit + 257, all.end());
    return true;
}

}  // namespace detail

// Literals and matches of every block of the stream; false when it is
// malformed or ends early.
inline bool count(const uint8_t* data, size_t size, Counts& counts) {
    detail::Bits in(data, size);
    for (uint32_t last = 0; last == 0;) {
        uint32_t type;
        if (!in.get(1, last) || !in.get(2, type)) return false;
        if (type == 0) {
            uint32_t length, complement;
            in.toByte();
            if (!in.get(16, length) || !in.get(16, complement)) return false;
            if (!in.skipBytes(length)) return false;
            counts.literals += length;
            counts.bytes += length;
            continue;
        }
        std::vector<uint8_t> litLen, dist;
        if (type == 1) {
            litLen.assign(288, 8);
            for (size_t s = 144; s < 256; ++s) litLen[s] = 9;
            for (size_t s = 256; s < 280; ++s) litLen[s] = 7;
            dist.assign(30, 5);
        } else if (type != 2 || !detail::readDynamicCodes(in, litLen, dist)) {
            return false;
        }
        const detail::Code litLenCode(litLen), distCode(dist);
        for (;;) {
            uint32_t s, extra;
            if (!litLenCode.decode(in, s)) return false;
            if (s < 256) {
                ++counts.literals;
                ++counts.bytes;
                continue;
            }
            if (s == 256) break;
            uint32_t d;
            if (s > 285 || !in.get(detail::lengthExtraBits(s), extra)) return false;
            counts.bytes += detail::lengthBase(s) + extra;
            if (!distCode.decode(in, d) ||
                !in.get(detail::distanceExtraBits(d), extra)) {
                return false;
            }
            ++counts.matches;
        }
    }
    return true;
}

}  // namespace deflate_symbols
