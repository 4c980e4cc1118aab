// The LZX decoder state and the routines that share it. Internal to the codec.
#pragma once

#include "cab/codec.h"

#include <cstdint>

namespace lzx {

constexpr uint32_t kMinWindowBits = 15;
constexpr uint32_t kMaxWindowBits = 21;
constexpr uint32_t kInputOverhead = 6144;  // input buffer bytes beyond the output block size
constexpr uint32_t kWindowSpare = 261;     // allocated beyond the window proper

constexpr int kMaxSlots = 51;               // entries of the position-slot tables
constexpr int kLiteralCount = 256;
constexpr int kMainLengthsSize = 672;       // 256 + 8 x 52
constexpr int kLengthSymbols = 249;
constexpr int kAlignedSymbols = 8;
constexpr int kPretreeSymbols = 20;
// Eleven bits settle nearly every main symbol of executables in one lookup
// (rarer match symbols have codes of 11 bits and more there); it is as many
// as the fast loop holds after the longest match without a refill.
constexpr int kMainLookupBits = 11;
constexpr int kLengthLookupBits = 8;
constexpr int kPretreeLookupBits = 8;
constexpr int kAlignedLookupBits = 7;
constexpr int kAlignedSymbolBits = 3;
constexpr int kTableSymbolBits = 8;
constexpr uint32_t kTableSymbolMask = (1u << kTableSymbolBits) - 1;
constexpr int kMinMatch = 2;
constexpr int kMaxMatch = 257;
constexpr int kTranslatedFrames = 32768;  // frames after a reset that get call translation

enum BlockType : uint32_t { NoBlock = 0, Verbatim = 1, AlignedOffset = 2, Uncompressed = 3 };
enum BlockState : uint32_t { HeaderDue = 1, InBlock = 2 };

// Extra offset bits and distance base (the format's position base - 2) per
// position slot: no extra bits for slots 0..3, then 1, 1, 2, 2, ... 16, 16,
// then 17 for slots 36..50; each position base is the previous one plus
// 2^(previous slot's extra bits).
struct SlotTables {
    uint8_t extraBits[kMaxSlots];
    int32_t distanceBase[kMaxSlots];
};

constexpr SlotTables makeSlotTables() {
    SlotTables t{};
    int32_t positionBase = 0;
    for (int slot = 0; slot < kMaxSlots; ++slot) {
        t.extraBits[slot] = uint8_t(slot < 4 ? 0 : slot < 36 ? slot / 2 - 1 : 17);
        t.distanceBase[slot] = positionBase - 2;
        positionBase += int32_t(1) << t.extraBits[slot];
    }
    return t;
}

inline constexpr SlotTables kSlots = makeSlotTables();

// A main-tree lookup entry. The prefix of a code longer than the table's
// kMainLookupBits holds kMainEntryWalk and, in the top 16 bits, the negated
// number of the overflow node to walk from. Any other entry holds what its
// symbol means, so a loop needs no further table to act on it:
//   bits 0..4    the bits the entry takes: the symbol's path length, plus
//                that of the length code after it when the entry holds that
//                too (kMainEntryBitsMask);
//   bits 8..12   a match's offset bit count, its slot's extraBits;
//   bits 16..23  a literal's byte, or a match's length less kMinMatch as far
//                as the entry knows it: the symbol's length header (0..7),
//                plus the length symbol when the entry holds the length code;
//   bits 24..29  a match's position slot;
//   bit 30       kMainEntryLengthCode: a length code follows, still unread;
//   bit 31       kMainEntryMatch.
// A symbol whose header is 7 gets, in each of its entries, the length code
// that the entry's remaining bits begin with, where those bits hold all of
// it and it is short enough for the length table's first level: one lookup
// then decodes both. An entry of 0 is literal 0 taking no bits, as every
// entry is when all path lengths are 0.
constexpr uint32_t kMainEntryWalk = 0x80;
constexpr uint32_t kMainEntryBitsMask = 0x1F;
constexpr int kMainEntryExtraShift = 8;
constexpr uint32_t kMainEntryExtraMask = 0x1F;
constexpr int kMainEntryValueShift = 16;
constexpr uint32_t kMainEntryValueMask = 0xFF;
constexpr int kMainEntrySlotShift = 24;
constexpr uint32_t kMainEntrySlotMask = 0x3F;
constexpr uint32_t kMainEntryLengthCode = 1u << 30;
constexpr uint32_t kMainEntryMatch = 1u << 31;
static_assert(kMaxSlots <= kMainEntrySlotMask + 1, "every position slot fits its field");

// The entry of main symbol `symbol` with path length `pathLength`, a length
// code after it (header 7) left unread.
inline uint32_t mainEntry(uint32_t symbol, uint32_t pathLength) {
    if (symbol < kLiteralCount) return symbol << kMainEntryValueShift | pathLength;
    const uint32_t header = (symbol - kLiteralCount) & 7;
    const uint32_t slot = (symbol - kLiteralCount) >> 3;
    return kMainEntryMatch | (header == 7 ? kMainEntryLengthCode : 0) |
           slot << kMainEntrySlotShift | header << kMainEntryValueShift |
           uint32_t(kSlots.extraBits[slot]) << kMainEntryExtraShift | pathLength;
}

// Position slots needed to reach every distance of a window.
uint32_t slotCountFor(uint32_t windowSize);

struct Decoder {
    uint8_t* window;  // windowSize + kWindowSpare bytes
    uint32_t windowSize;
    uint32_t windowMask;
    uint32_t repeatedOffsets[3];  // R0, R1, R2

    uint32_t mainEntries[1 << kMainLookupBits];  // see kMainEntryWalk
    int16_t lengthTable[1 << kLengthLookupBits];
    uint8_t mainLengths[kMainLengthsSize];
    uint8_t lengthLengths[kLengthSymbols];
    // The aligned-offset symbol in the low kAlignedSymbolBits bits of each
    // entry, its path length above them: one load gives both.
    uint8_t alignedTable[1 << kAlignedLookupBits];
    uint8_t alignedLengths[kAlignedSymbols];
    int16_t mainNodes[2 * kMainLengthsSize][2];
    int16_t lengthNodes[2 * kLengthSymbols][2];

    const uint8_t* inPos;
    const uint8_t* inLimit;  // data end + 4: where the look-ahead may reach
    const uint8_t* dataEnd;  // input + input size
    uint8_t* outBuffer;

    uint8_t priorMainLengths[kMainLengthsSize];
    uint8_t priorLengthLengths[kLengthSymbols];

    uint32_t bitBuffer;  // next bit in bit 31
    int32_t spareBits;   // valid bits beyond the top 16
    uint32_t slotCount;
    uint32_t mainSymbols;  // 256 + 8 x slotCount
    bool translationPending;
    bool inputExhausted;
    uint32_t writePos;
    // Set once the folder has produced a whole window: from then on every
    // window byte is the folder's own, and no distance can reach before its
    // first byte.
    bool windowFilled;
    uint32_t translationSize;
    uint32_t translationOffset;
    uint32_t frameCount;
    uint32_t blockSize;
    int32_t blockLeft;
    uint32_t blockType;
    uint32_t blockState;

    // Non-zero: decode every run with the careful loop alone, the reference
    // the fast loop is checked against. Zero (as created) in every real use.
    uint32_t carefulOnly;

    CodecAllocFn alloc;
    CodecFreeFn free;
};

struct Handle {
    uint32_t signature;
    CodecAllocFn alloc;
    CodecFreeFn free;
    uint32_t maxBlockSize;
    Decoder* decoder;
};

// Puts back the state a folder starts from.
void resetDecoder(Decoder& d);

// One frame of `requested` bytes into the window and the caller's buffer.
bool decodeFrame(Decoder& d, uint32_t requested);

// Block headers and trees.
void primeBits(Decoder& d);
bool readBlockHeader(Decoder& d);

// Lookup tables from path lengths: canonical codes, `lookupBits`-bit
// direct table, longer codes through overflow nodes numbered from
// symbolCount. A code of up to lookupBits bits has an entry of its symbol
// in the low kTableSymbolBits bits and its path length above them; a longer
// code's prefix has the negated number of the node to walk from, and the
// walk ends at the bare symbol. False for an incomplete or over-subscribed
// code. For the length tree and the pretree (symbols below 256).
bool buildTable(uint32_t symbolCount, const uint8_t* lengths, int lookupBits, int16_t* table,
                int16_t (*nodes)[2]);
// The aligned-offset tree's 7-bit table, entries as alignedTable holds them.
bool buildAlignedTable(const uint8_t* lengths, uint8_t* table);
// The same for the main tree, into mainEntries and mainNodes from the first
// mainSymbols of mainLengths. The length tree's table must be built first:
// entries that hold a length code take it from lengthTable.
bool buildMainTable(Decoder& d);

// Whether a match `distance` bytes back from window position i stays
// within what the folder has produced. Until the window is filled, i is the
// count of bytes produced, and a distance above it (or 0, which would copy
// bytes not yet produced) reaches before the folder's first byte: what lies
// there is whatever memory held, so such a stream is damaged.
inline bool sourceInFolder(bool windowFilled, uint32_t i, uint32_t distance) {
    return windowFilled || distance - 1 < i;
}

// Block contents into the window at `start`; writePos ends after them.
bool expandVerbatim(Decoder& d, uint32_t start, uint32_t count);
bool expandAligned(Decoder& d, uint32_t start, uint32_t count);
bool copyStored(Decoder& d, uint32_t start, uint32_t count);

// The fast part of an expand run: decodes symbols from window position i
// (advanced as it goes) while the input is far enough from its end that
// no symbol can meet the input limit, then leaves the bit reader in the
// state the careful loop would have reached, for it to finish the run.
// False when a match passes `end`, exactly where the careful loop fails.
template <bool kAligned>
bool expandFast(Decoder& d, uint32_t& i, uint32_t end);

// Copies the frame ending at writePos to the caller and undoes the call
// translation on it.
void emitFrame(Decoder& d, uint32_t count);
uint32_t translateCalls(uint32_t offset, uint32_t size, uint8_t* data, uint32_t n);

}  // namespace lzx
