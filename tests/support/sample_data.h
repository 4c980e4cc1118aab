// Deterministic sample data of several kinds for the codec tests, benchmarks
// and fuzz seeds: text, binary records, x86-like code full of E8 calls,
// noise, skewed symbol frequencies and long runs.
#pragma once

#include <cmath>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

namespace sample_data {


using Bytes = std::vector<uint8_t>;

enum class Kind { Text, Binary, X86, Random, Skewed, Runs };

inline const char* name(Kind kind) {
    switch (kind) {
        case Kind::Text: return "text";
        case Kind::Binary: return "binary";
        case Kind::X86: return "x86";
        case Kind::Random: return "random";
        case Kind::Skewed: return "skewed";
        case Kind::Runs: return "runs";
    }
    return "?";
}

inline Bytes make(Kind kind, size_t size, uint32_t seed) {
    std::mt19937 random(seed);
    Bytes data;
    data.reserve(size + 700);
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
            case Kind::X86: {
                // A small instruction repertoire: calls to nearby targets,
                // moves, pushes and returns, so calls and operands repeat.
                uint32_t op = random() % 8;
                if (op < 3) {
                    // CALL rel32 to one of a few functions.
                    int32_t target = int32_t(random() % 16) * 0x140 + 0x1000;
                    int32_t rel = target - int32_t(data.size() + 5);
                    data.push_back(0xE8);
                    for (int k = 0; k < 4; ++k) data.push_back(uint8_t(uint32_t(rel) >> (8 * k)));
                } else if (op < 5) {
                    const uint8_t mov[] = {0x8B, 0x45, uint8_t(0x08 + 4 * (random() % 4))};
                    data.insert(data.end(), mov, mov + 3);
                } else if (op < 7) {
                    data.push_back(uint8_t(0x50 + random() % 8));
                } else {
                    const uint8_t tail[] = {0x5D, 0xC3, 0x55, 0x8B, 0xEC};
                    data.insert(data.end(), tail, tail + 5);
                }
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

}  // namespace sample_data
