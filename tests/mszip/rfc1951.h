// Deflate's length and distance codes for the tests, derived here from the
// rules of RFC 1951 (3.2.5) rather than taken from the decoder, so the
// tests do not share the tables they check.
#pragma once

#include <array>
#include <cstdint>

namespace rfc1951 {

struct Code {
    uint32_t base;
    uint32_t extraBits;
};

// Length symbols 257..285: four symbols per extra-bit count from 265 on,
// each covering 2^extra lengths; 285 stands alone for 258.
inline constexpr std::array<Code, 29> kLengths = [] {
    std::array<Code, 29> codes{};
    uint32_t base = 3;
    for (uint32_t i = 0; i < 28; ++i) {
        const uint32_t extra = i < 8 ? 0 : (i - 4) / 4;
        codes[i] = {base, extra};
        base += 1u << extra;
    }
    codes[28] = {258, 0};
    return codes;
}();

// Distance codes 0..29: two codes per extra-bit count from code 4 on.
inline constexpr std::array<Code, 30> kDistances = [] {
    std::array<Code, 30> codes{};
    uint32_t base = 1;
    for (uint32_t i = 0; i < 30; ++i) {
        const uint32_t extra = i < 4 ? 0 : i / 2 - 1;
        codes[i] = {base, extra};
        base += 1u << extra;
    }
    return codes;
}();

static_assert(kLengths[27].base == 227 && kLengths[27].extraBits == 5);
static_assert(kDistances[29].base == 24577 && kDistances[29].extraBits == 13);

inline constexpr uint32_t kFirstLengthSymbol = 257;

// Order of the code-length code's lengths in a dynamic block header.
inline constexpr uint8_t kCodeLengthOrder[19] = {16, 17, 18, 0, 8,  7, 9,  6, 10, 5,
                                                 11, 4,  12, 3, 13, 2, 14, 1, 15};

// The length symbol (minus 257) and distance code that carry a value.
inline uint32_t lengthIndex(uint32_t length) {
    uint32_t s = 28;
    while (kLengths[s].base > length) --s;
    return s;
}
inline uint32_t distanceIndex(uint32_t distance) {
    uint32_t d = 29;
    while (kDistances[d].base > distance) --d;
    return d;
}

}  // namespace rfc1951
