// A Quantum encoder for tests, fuzz seeds and benchmarks: the exact inverse
// of the decoder (same adaptive models, same interval arithmetic and
// renormalisation, raw extra bits placed where the decoder reads them) with
// a simple greedy LZ parser that keeps to Quantum's length and distance
// limits. Written independently of the decoder's sources.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace cabwriter {

class QuantumEncoder {
public:
    using Bytes = std::vector<uint8_t>;

    // windowBits 10..21 (std::invalid_argument otherwise).
    explicit QuantumEncoder(uint32_t windowBits);
    ~QuantumEncoder();
    QuantumEncoder(const QuantumEncoder&) = delete;
    QuantumEncoder& operator=(const QuantumEncoder&) = delete;

    // A folder start: models at their start values, history forgotten.
    void reset();

    // One whole block: the data parsed into literals and matches that reach
    // back into this folder's earlier bytes, never past the block's end.
    Bytes encodeBlock(const uint8_t* data, size_t size);

    // Item by item, for tests that need a particular stream. A match's bytes
    // are taken from the history the encoder knows; a distance reaching
    // before it adds zeros there.
    void literal(uint8_t byte);
    void match(uint32_t length, uint32_t distance);  // length 3..259
    Bytes finishBlock();

    // The largest distance the decoder can express for a match of this length.
    uint32_t maxDistance(uint32_t length) const;

    // What the items so far produce (the folder's output since reset).
    const Bytes& history() const;

private:
    struct State;
    State* state_;
};

}  // namespace cabwriter
