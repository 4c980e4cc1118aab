// Reading a dynamic block's code lengths. While eight input bytes are left,
// a loop on its own copy of the reservoir takes one symbol per lookup, with
// an 8-byte refill before every four; near the input's end the byte-wise
// reader takes over, supplying zeros past the input. Both read the same
// lengths.
#include "codecs/mszip/code_lengths.h"

#include "codecs/mszip/bit_reader.h"
#include "codecs/mszip/deflate_tables.h"

#include <cstring>

namespace mszip {
namespace {

constexpr uint32_t kMaxLengths = kMaxLiteralLengthCodes + kMaxDistanceCodes;
constexpr SymbolEntries kCodeLengthEntries =
    symbolEntries(kCodeLengthSymbols, kFirstRepeatSymbol, kRepeatBase, kRepeatExtra);
// A repeat's lengths are written 16 at a time, up to 15 past its end.
constexpr uint32_t kFillChunk = 16;

// Where the reading has got to: the next length to write, and the last
// length written (a repeat before any length repeats length 0).
struct LengthCursor {
    uint32_t position = 0;
    uint32_t previous = 0;
};

// Writes `repeat` copies of `value` at `to`, and up to kFillChunk - 1
// more after them that later lengths overwrite: whole chunks, so that the
// common short repeats take no loop whose end is mispredicted.
inline void fillLengths(uint16_t* to, uint32_t value, uint32_t repeat) {
    uint16_t chunk[kFillChunk];
    for (uint16_t& slot : chunk) slot = uint16_t(value);
    uint32_t done = 0;
    do {
        std::memcpy(to + done, chunk, sizeof chunk);
        done += kFillChunk;
    } while (done < repeat);
}

// Takes one repeat whose entry is `entry` and whose extra bits are `extra`.
inline bool takeRepeat(HuffmanEntry entry, uint32_t extra, uint16_t* lengths, uint32_t total,
                       LengthCursor& at) {
    const uint32_t repeat = entry.value + extra;
    const uint32_t value = entry.kind == kRepeatPreviousExtra ? at.previous : 0;
    if (repeat > total - at.position) return false;
    fillLengths(lengths + at.position, value, repeat);
    at.position += repeat;
    at.previous = value;
    return true;
}

// The code-length table's entries: lengths (Literal), repeats (kind = their
// extra bits, 2, 3 or 7), or InvalidCode; no links, since no code-length
// code is longer than the table.
inline bool isRepeat(HuffmanEntry entry) { return entry.kind <= kRepeatExtra[2]; }

// Reads lengths while the 8-byte refill stays inside the input.
bool readWithWholeWords(MszipDecoder* d, const HuffmanEntry* table, uint32_t tableBits,
                        uint16_t* lengths, uint32_t total, LengthCursor& at) {
    // Past the end of the input only the careful reader goes on.
    if (d->inputUsed + 8 > d->inputSize) return true;
    const uint8_t* in = d->input + d->inputUsed;
    const uint8_t* const inLimit = d->input + d->inputSize - 8;
    uint64_t bits = d->bitBuffer;
    uint32_t count = d->bitCount;
    const uint64_t mask = (uint64_t(1) << tableBits) - 1;
    // One symbol: false for a pattern of no code or a repeat past the end.
    auto take = [&]() {
        const HuffmanEntry entry = table[bits & mask];
        if (entry.kind == kLiteral) {
            lengths[at.position++] = entry.value;
            at.previous = entry.value;
        } else if (isRepeat(entry)) {
            const uint32_t extra = uint32_t(bits >> (entry.codeBits - entry.kind)) &
                                   ((1u << entry.kind) - 1);
            if (!takeRepeat(entry, extra, lengths, total, at)) return false;
        } else {
            return false;
        }
        bits >>= entry.codeBits;
        count -= entry.codeBits;
        return true;
    };
    // A symbol takes at most 7 + 7 bits, so four fit in the bits a refill
    // leaves: the refill, whose load waits for the bits taken before it,
    // then stands on the path of every fourth symbol only.
    constexpr uint32_t kSymbolsPerRefill = 4;
    static_assert(kSymbolsPerRefill * (kCodeLengthLookupBits + kRepeatExtra[2]) <= kRefillFloor);
    bool sound = true;
    while (sound && at.position < total && in <= inLimit) {
        refill(bits, count, in);
        for (uint32_t i = 0; i < kSymbolsPerRefill && at.position < total; ++i) {
            if (!take()) {
                sound = false;
                break;
            }
        }
    }
    d->bitBuffer = bits & ((uint64_t(1) << count) - 1);
    d->bitCount = count;
    d->inputUsed = uint32_t(in - d->input);
    return sound;
}

// Reads the lengths left, a field at a time.
bool readCarefully(MszipDecoder* d, const HuffmanEntry* table, uint32_t tableBits,
                   uint16_t* lengths, uint32_t total, LengthCursor& at) {
    while (at.position < total) {
        needBits(d, tableBits);
        const HuffmanEntry entry = table[lowBits(d->bitBuffer, tableBits)];
        if (entry.kind == kLiteral) {
            dropBits(d, entry.codeBits);
            lengths[at.position++] = entry.value;
            at.previous = entry.value;
            continue;
        }
        if (!isRepeat(entry)) return false;  // a pattern of no code
        dropBits(d, entry.codeBits - entry.kind);
        const uint32_t extra = readBits(d, entry.kind);
        if (!takeRepeat(entry, extra, lengths, total, at)) return false;
    }
    return true;
}

}  // namespace

bool buildCodeLengthTable(const uint32_t* codeLengthLengths, HuffmanEntry* store,
                          uint32_t capacity, uint32_t* lookupBits) {
    const HuffmanResult result = buildHuffmanTable(codeLengthLengths, kCodeLengthSymbols,
                                                   kCodeLengthEntries, store, capacity, lookupBits);
    // With no code at all, lengths must still follow.
    return result == TableComplete && *lookupBits != 0;
}

bool readCodeLengths(MszipDecoder* d, const HuffmanEntry* table, uint32_t tableBits,
                     uint32_t* lengths, uint32_t total) {
    // Read into 16-bit slots first: stores of 32-bit lengths could alias the
    // decoder's 32-bit reader fields, which the compiler would then have to
    // reload from memory after every length. The slack takes the chunks a
    // repeat writes past its end.
    uint16_t read[kMaxLengths + kFillChunk];
    if (total > kMaxLengths) return false;
    LengthCursor at;
    if (!d->carefulOnly && !readWithWholeWords(d, table, tableBits, read, total, at)) {
        return false;
    }
    if (!readCarefully(d, table, tableBits, read, total, at)) return false;
    for (uint32_t i = 0; i < total; ++i) lengths[i] = read[i];
    return true;
}

}  // namespace mszip
