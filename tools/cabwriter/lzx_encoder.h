// A test encoder for LZX folders: greedy (or, as an option, lazy) hash-chain
// matching that prefers the three repeated offsets, length-limited canonical Huffman trees sent as
// pretree-coded deltas, verbatim, aligned-offset and uncompressed blocks
// (chosen per block or forced), blocks spanning frames, and the E8 call
// translation. It exists to check the decoder, not to compress well.
#pragma once

#include "tools/cabwriter/lzx_stream.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace lzxenc {

enum class BlockKind { Best, Verbatim, Aligned, Uncompressed };

struct Options {
    int windowBits = 16;  // 15..21
    // Call translation: 0 sends the header bit 0 (unless sendTranslationSize).
    uint32_t translationSize = 0;
    bool sendTranslationSize = false;  // header bit 1 even when the size is 0
    // Kinds of the blocks in turn (cycled); empty means Best for every block.
    std::vector<BlockKind> blockKinds;
    uint32_t blockSize = 65536;  // uncompressed bytes per block; blocks may span frames
    int maxChain = 24;           // hash-chain candidates tried per position; 0: literals only
    // Lazy matching as Deflate encoders do it: a match shorter than 16 bytes
    // is put off by a literal when the match one byte on is longer. Fewer,
    // longer matches than the default greedy parse, and more time; use a
    // longer chain with it (a Deflate encoder's default level walks 128).
    bool lazy = false;
    uint32_t frameSize = 32768;  // every frame but the last
    LengthCoding lengthCoding;
};

// One CFDATA block's worth: the compressed bytes of one frame and the
// frame's uncompressed size.
struct Frame {
    Bytes data;
    uint32_t size = 0;
};

// What a parse produced: main-tree symbols by kind.
struct ParseCounts {
    uint64_t literals = 0;
    uint64_t matches = 0;
};

// Encodes one folder's bytes as LZX frames; with `counts`, also adds the
// literals and matches of the blocks it codes (not of uncompressed blocks).
std::vector<Frame> encode(const uint8_t* data, std::size_t size, const Options& options = {},
                          ParseCounts* counts = nullptr);

// The call translation the decoder undoes, applied to one frame in place:
// the encoder's side of it. `offset` is the frame's position in the folder's
// output. Throws std::runtime_error in the rare case that an operand reaching
// into the frame's last six bytes cannot be represented.
void translateFrame(uint8_t* frame, uint32_t n, uint32_t offset, uint32_t translationSize);

}  // namespace lzxenc
