// Hand-made Deflate streams for the decoder tests: a bit writer, canonical
// codes from code lengths, and dynamic block headers with chosen codes.
#pragma once

#include "tests/mszip/rfc1951.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace deflate_writer {

using Bytes = std::vector<uint8_t>;

class BitWriter {
public:
    // Appends a field, least significant bit first.
    void bits(uint32_t value, uint32_t count) {
        for (uint32_t i = 0; i < count; ++i) bit((value >> i) & 1);
    }
    // Appends a Huffman code, its most significant bit first.
    void code(uint32_t value, uint32_t length) {
        for (uint32_t i = length; i-- > 0;) bit((value >> i) & 1);
    }
    void alignToByte() {
        while (used_ != 0) bit(0);
    }
    void byte(uint8_t value) {
        alignToByte();
        bytes_.push_back(value);
    }
    // "CK" followed by the stream so far (a partial last byte padded with 0).
    Bytes mszipBlock() const {
        Bytes block(bytes_.size() + 2);
        block[0] = 'C';
        block[1] = 'K';
        std::copy(bytes_.begin(), bytes_.end(), block.begin() + 2);
        return block;
    }

private:
    void bit(uint32_t b) {
        if (used_ == 0) bytes_.push_back(0);
        bytes_.back() |= uint8_t(b << used_);
        used_ = (used_ + 1) % 8;
    }
    Bytes bytes_;
    uint32_t used_ = 0;
};

// Canonical codes (RFC 1951, 3.2.2) for the given lengths; 0 = unused.
inline std::vector<uint32_t> canonicalCodes(const std::vector<uint32_t>& lengths) {
    uint32_t countOf[17] = {};
    for (uint32_t length : lengths) countOf[length]++;
    countOf[0] = 0;
    uint32_t next[17] = {};
    uint32_t code = 0;
    for (uint32_t length = 1; length <= 16; ++length) {
        code = (code + countOf[length - 1]) << 1;
        next[length] = code;
    }
    std::vector<uint32_t> codes(lengths.size());
    for (std::size_t symbol = 0; symbol < lengths.size(); ++symbol) {
        if (lengths[symbol] != 0) codes[symbol] = next[lengths[symbol]]++;
    }
    return codes;
}

// Lengths that give each length the requested number of codes, handed out
// in symbol order starting with the shortest.
inline std::vector<uint32_t> lengthsFromCounts(const std::vector<uint32_t>& countPerLength,
                                               std::size_t symbols) {
    std::vector<uint32_t> lengths;
    for (uint32_t length = 1; length < countPerLength.size(); ++length) {
        for (uint32_t i = 0; i < countPerLength[length]; ++i) lengths.push_back(length);
    }
    lengths.resize(symbols, 0);
    return lengths;
}

// One item of the code-length sequence of a dynamic header: a symbol 0..18
// and, for 16, 17 and 18, the value of its extra field.
struct LengthItem {
    uint32_t symbol;
    uint32_t extra = 0;
};

// A header's code lengths (literal/length and distance lengths as one
// list) as an encoder sends them: a run of 3 to 138 zeros as one
// repeat (18 from 11 on, else 17), and a length said again 3 to 6 times as
// a repeat of the previous one (16); everything else one by one.
inline std::vector<LengthItem> repeatItems(const std::vector<uint32_t>& lengths) {
    std::vector<LengthItem> items;
    for (size_t i = 0; i < lengths.size();) {
        size_t run = 1;
        while (i + run < lengths.size() && lengths[i + run] == lengths[i]) ++run;
        if (lengths[i] == 0 && run >= 3) {
            run = std::min<size_t>(run, 138);
            items.push_back(run >= 11 ? LengthItem{18, uint32_t(run - 11)}
                                      : LengthItem{17, uint32_t(run - 3)});
        } else if (lengths[i] != 0 && run >= 4) {
            run = std::min<size_t>(run, 7);
            items.push_back({lengths[i]});
            items.push_back({16, uint32_t(run - 4)});
        } else {
            run = 1;
            items.push_back({lengths[i]});
        }
        i += run;
    }
    return items;
}

// A block with dynamic codes: header, code lengths, then the caller's
// symbols through literal() / match() / end().
class DynamicBlock {
public:
    // The code lengths are sent one by one, or as the given sequence
    // (repeats included) when `items` is not empty. The code-length code
    // gives 13 symbols 4 bits and 6 symbols 5 bits, unless
    // `codeLengthLengths` (19 lengths, in symbol order) says otherwise.
    DynamicBlock(BitWriter& out, bool last, std::vector<uint32_t> literalLengths,
                 std::vector<uint32_t> distanceLengths, std::vector<LengthItem> items = {},
                 std::vector<uint32_t> codeLengthLengths = {})
        : out_(out), literalLengths_(std::move(literalLengths)),
          distanceLengths_(std::move(distanceLengths)) {
        if (items.empty()) {
            for (uint32_t length : literalLengths_) items.push_back({length});
            for (uint32_t length : distanceLengths_) items.push_back({length});
        }
        if (codeLengthLengths.empty()) {
            for (uint32_t s = 0; s < 19; ++s) codeLengthLengths.push_back(s < 13 ? 4 : 5);
        }
        writeHeader(last, items, codeLengthLengths);
    }

    void symbol(uint32_t s) { out_.code(literalCodes_[s], literalLengths_[s]); }
    void literal(uint8_t byte) { symbol(byte); }
    void end() { symbol(256); }
    void match(uint32_t length, uint32_t distance) {
        const uint32_t s = rfc1951::lengthIndex(length);
        symbol(rfc1951::kFirstLengthSymbol + s);
        out_.bits(length - rfc1951::kLengths[s].base, rfc1951::kLengths[s].extraBits);
        const uint32_t d = rfc1951::distanceIndex(distance);
        distanceCode(d, distance - rfc1951::kDistances[d].base);
    }
    void distanceCode(uint32_t code, uint32_t extra) {
        out_.code(distanceCodes_[code], distanceLengths_[code]);
        out_.bits(extra, rfc1951::kDistances[code].extraBits);
    }

private:
    void writeHeader(bool last, const std::vector<LengthItem>& items,
                     const std::vector<uint32_t>& codeLengthLengths) {
        std::vector<uint32_t> codeLengthCodes = canonicalCodes(codeLengthLengths);
        out_.bits(last ? 1 : 0, 1);
        out_.bits(2, 2);
        out_.bits(uint32_t(literalLengths_.size() - 257), 5);
        out_.bits(uint32_t(distanceLengths_.size() - 1), 5);
        out_.bits(19 - 4, 4);
        for (uint32_t s : rfc1951::kCodeLengthOrder) out_.bits(codeLengthLengths[s], 3);
        for (const LengthItem& item : items) {
            out_.code(codeLengthCodes[item.symbol], codeLengthLengths[item.symbol]);
            if (item.symbol == 16) out_.bits(item.extra, 2);
            if (item.symbol == 17) out_.bits(item.extra, 3);
            if (item.symbol == 18) out_.bits(item.extra, 7);
        }
        literalCodes_ = canonicalCodes(literalLengths_);
        distanceCodes_ = canonicalCodes(distanceLengths_);
    }

    BitWriter& out_;
    std::vector<uint32_t> literalLengths_, distanceLengths_;
    std::vector<uint32_t> literalCodes_, distanceCodes_;
};

// Fixed-code symbols (RFC 1951, 3.2.6).
inline void fixedSymbol(BitWriter& out, uint32_t symbol) {
    if (symbol < 144) out.code(0x30 + symbol, 8);
    else if (symbol < 256) out.code(0x190 + symbol - 144, 9);
    else if (symbol < 280) out.code(symbol - 256, 7);
    else out.code(0xC0 + symbol - 280, 8);
}

inline void fixedMatch(BitWriter& out, uint32_t length, uint32_t distance) {
    const uint32_t s = rfc1951::lengthIndex(length);
    fixedSymbol(out, rfc1951::kFirstLengthSymbol + s);
    out.bits(length - rfc1951::kLengths[s].base, rfc1951::kLengths[s].extraBits);
    const uint32_t d = rfc1951::distanceIndex(distance);
    out.code(d, 5);
    out.bits(distance - rfc1951::kDistances[d].base, rfc1951::kDistances[d].extraBits);
}

// A fixed-code block of literals and matches, given as bytes and
// {length, distance} pairs (a pair with length 0 is skipped).
struct Token {
    uint32_t literalOrLength;
    uint32_t distance = 0;  // 0: a literal
};

inline void fixedBlock(BitWriter& out, bool last, const std::vector<Token>& tokens) {
    out.bits(last ? 1 : 0, 1);
    out.bits(1, 2);
    for (const Token& t : tokens) {
        if (t.distance == 0) fixedSymbol(out, t.literalOrLength);
        else fixedMatch(out, t.literalOrLength, t.distance);
    }
    fixedSymbol(out, 256);
}

}  // namespace deflate_writer
