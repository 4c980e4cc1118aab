// Pieces of an LZX stream, for the test encoder and for tests that build
// streams by hand: the bit writer (16-bit little-endian words, most
// significant bit first), canonical Huffman codes from path lengths, and
// the pretree-coded delta transmission of a tree's path lengths.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace lzxenc {

using Bytes = std::vector<uint8_t>;

class BitWriter {
public:
    // Appends the low n bits of value (n 0..32), first bit the most significant.
    void put(uint32_t value, int n);
    // Pads with zero bits to the next 16-bit word; a whole word when
    // `wholeWordWhenAligned` and already on a boundary.
    void alignToWord(bool wholeWordWhenAligned = false);
    // Raw bytes after the bit stream has been aligned to a word.
    void putBytes(const uint8_t* data, std::size_t size);
    void putByte(uint8_t byte) { putBytes(&byte, 1); }
    void putLong(uint32_t value);  // 32 bits little-endian, raw
    bool aligned() const { return pendingBits_ == 0; }
    // Takes the bytes written so far (the stream must be word-aligned).
    Bytes take();
    std::size_t size() const { return bytes_.size(); }

private:
    Bytes bytes_;
    uint32_t pending_ = 0;  // bits not yet in a whole word, at the bottom
    int pendingBits_ = 0;
};

// Length-limited Huffman path lengths for the frequencies (0 = unused). With
// one used symbol a second one is added so that the code is complete; with
// none every length is 0.
std::vector<uint8_t> huffmanLengths(const std::vector<uint32_t>& frequencies, int maxLength);

// Canonical codes for path lengths: by increasing length, then symbol.
std::vector<uint32_t> canonicalCodes(const std::vector<uint8_t>& lengths);

// How writeLengths may code the lengths.
struct LengthCoding {
    bool zeroRuns = true;  // symbols 17 and 18
    bool sameRuns = true;  // symbol 19
};

// One entry of a pretree section: a delta code 0..16, or a run code 17, 18
// or 19 with its extra bits (and, for 19, the delta code of its value).
struct PretreeItem {
    uint32_t symbol;
    uint32_t extra = 0;
    uint32_t valueSymbol = 0;
};

// Writes the items as one pretree section, with a pretree made from their
// frequencies (or the given 20 pretree lengths, when not empty).
void writePretreeSection(BitWriter& out, const std::vector<PretreeItem>& items,
                         std::vector<uint8_t> pretreeLengths = {});

// One pretree section: 20 pretree lengths (4 bits each), then the deltas of
// `lengths` against `prior`.
void writeLengths(BitWriter& out, const uint8_t* prior, const uint8_t* lengths, std::size_t count,
                  const LengthCoding& coding = {});

}  // namespace lzxenc
