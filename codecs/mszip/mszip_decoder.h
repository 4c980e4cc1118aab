// The MSZIP handle and the per-call decoder state shared by the codec entry
// points and the Deflate block decoder.
#pragma once

#include "cab/codec.h"
#include "codecs/mszip/huffman_table.h"

#include <cstddef>
#include <cstdint>

namespace mszip {

constexpr uint32_t kMszipMaxBlockSize = 32768;
constexpr uint32_t kMszipInputOverhead = 12;  // "CK" plus the worst stored-block framing
constexpr uint32_t kHistoryRingSize = 32768;

// Slots a dynamic block's tables may need, for the worst complete code each
// table can be asked for (at most 286 literal/length codes up to 15 bits,
// looked up 11 bits first; at most 30 distance codes up to 15 bits, looked
// up 8 bits first). The code-length table (at most 128 slots) shares the
// literal/length store. The bounds are enumerated by the table tests.
// Eleven and eight bits settle nearly every literal, length and distance of
// executables in one lookup, at the price of filling 2,048 and 256
// first-level slots per block.
constexpr uint32_t kLiteralStoreCapacity = 2340;
constexpr uint32_t kDistanceStoreCapacity = 400;
constexpr uint32_t kLiteralLookupBits = 11;
constexpr uint32_t kDistanceLookupBits = 8;
constexpr uint32_t kCodeLengthLookupBits = 7;

struct MszipDecoder {
    uint32_t lastBlock;  // BFINAL of the Deflate block most recently started

    // Input: the bytes after "CK". `inputUsed` counts the bytes taken into
    // the bit reservoir, including the zero bytes supplied past the end.
    const uint8_t* input;
    uint32_t inputSize;
    uint32_t inputUsed;
    uint64_t bitBuffer;  // pending bits, next bit in bit 0; none above bitCount
    uint32_t bitCount;

    // Output: the caller's buffer, which is also the history ring.
    uint8_t* windowStart;
    uint32_t outPos;      // offset of the next byte to write
    uint32_t outLeft;     // bytes this call may still produce
    uint32_t ringSize;    // history ring span: the buffer given, at most 32,768
    // How far before this call's first byte a reference may reach: the whole
    // ring when the folder's previous block filled it exactly, else 0. The
    // ring's bytes are then that block's, in order. After a shorter block its far
    // end holds an older block's bytes, or whatever the buffer held before
    // the folder, so a reference to them is damaged data.
    uint32_t ringReach;
    // Bytes the folder's previous call produced; 0 after a reset or a call
    // that failed (its bytes are not history). Kept from call to call.
    uint32_t previousOutput;
    uint32_t maxBlockSize;

    // Non-zero: decode with the careful loops alone (codes and code
    // lengths), the reference the fast loops are checked against. Zero (as
    // created) in every real use.
    uint32_t carefulOnly;

    HuffmanEntry literalStore[kLiteralStoreCapacity];
    HuffmanEntry distanceStore[kDistanceStoreCapacity];
};

// The distance store follows the literal store, so that the code loop
// reaches both through one pointer; the fixed tables are laid out alike.
constexpr uint32_t kDistanceTableOffset = kLiteralStoreCapacity;
static_assert(offsetof(MszipDecoder, distanceStore) ==
              offsetof(MszipDecoder, literalStore) + kDistanceTableOffset * sizeof(HuffmanEntry));

struct MszipHandle {
    uint32_t signature;  // kMszipSignature while alive, 0 once destroyed
    CodecFreeFn free;
    uint32_t maxBlockSize;
    MszipDecoder* decoder;
};

// Decodes one Deflate block (header included) into the output buffer, until
// its end or until outLeft reaches 0. False when the data cannot be decoded.
bool decodeDeflateBlock(MszipDecoder* decoder);

// What a block's literal codes say about its data: hints for the speed of
// the code loop that never change its result.
struct LiteralShape {
    // k when most literals have codes of exactly k bits, else 0.
    uint32_t commonLength = 0;
    // k when most literals have codes of k or k + 1 bits, else 0.
    uint32_t pairLength = 0;
};

// The code loop shared by fixed and dynamic blocks. False on damaged data.
bool decodeCompressedData(MszipDecoder* decoder, const HuffmanEntry* literalTable,
                          uint32_t literalBits, const HuffmanEntry* distanceTable,
                          uint32_t distanceBits, LiteralShape shape = {});

}  // namespace mszip
