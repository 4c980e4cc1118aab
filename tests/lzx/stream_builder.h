// Hand-made LZX streams, for what an encoder rarely emits and for damage:
// the caller states every header, tree and symbol.
#pragma once

#include "codecs/lzx/lzx_decoder.h"
#include "tools/cabwriter/lzx_stream.h"

#include <stdexcept>
#include <vector>

namespace lzxtest {

// Complete code lengths giving every listed symbol a code (balanced).
inline std::vector<uint8_t> lengthsFor(size_t count, const std::vector<uint32_t>& symbols) {
    std::vector<uint32_t> freq(count, 0);
    for (uint32_t s : symbols) freq.at(s) = 1;
    return lzxenc::huffmanLengths(freq, 16);
}

class StreamBuilder {
public:
    explicit StreamBuilder(int windowBits)
        : slotCount_(lzx::slotCountFor(uint32_t(1) << windowBits)),
          mainSymbols_(256 + 8 * slotCount_),
          priorMain_(mainSymbols_, 0),
          priorLength_(lzx::kLengthSymbols, 0) {}

    uint32_t mainSymbols() const { return mainSymbols_; }
    lzxenc::BitWriter& bits() { return bits_; }

    void translation(bool on, uint32_t size = 0) {
        bits_.put(on ? 1 : 0, 1);
        if (on) {
            bits_.put(size >> 16, 16);
            bits_.put(size & 0xFFFF, 16);
        }
    }

    void header(uint32_t type, uint32_t size) {
        bits_.put(type, 3);
        bits_.put(size >> 16, 8);
        bits_.put((size >> 8) & 0xFF, 8);
        bits_.put(size & 0xFF, 8);
    }

    void alignedTree(const std::vector<uint8_t>& lengths) {
        for (uint8_t l : lengths) bits_.put(l, 3);
        aligned_ = lengths;
        alignedCodes_ = lzxenc::canonicalCodes(lengths);
    }

    // Main and length trees as pretree-coded deltas against the last ones.
    void trees(const std::vector<uint8_t>& main, const std::vector<uint8_t>& length,
               const lzxenc::LengthCoding& coding = {}) {
        lzxenc::writeLengths(bits_, priorMain_.data(), main.data(), 256, coding);
        lzxenc::writeLengths(bits_, priorMain_.data() + 256, main.data() + 256, mainSymbols_ - 256,
                             coding);
        lzxenc::writeLengths(bits_, priorLength_.data(), length.data(), length.size(), coding);
        setTrees(main, length);
    }

    // Tells the builder the trees the decoder holds (when sent by hand).
    void setTrees(const std::vector<uint8_t>& main, const std::vector<uint8_t>& length) {
        main_ = priorMain_ = main;
        length_ = priorLength_ = length;
        mainCodes_ = lzxenc::canonicalCodes(main_);
        lengthCodes_ = lzxenc::canonicalCodes(length_);
    }

    void symbol(uint32_t s) {
        if (main_.at(s) == 0 && mainSymbols_ > 0) throw std::logic_error("symbol without a code");
        bits_.put(mainCodes_[s], main_[s]);
    }
    void literal(uint8_t byte) { symbol(byte); }

    // A match of `length` (2..257) in `slot`; offset bits as the block type reads them.
    void match(uint32_t length, uint32_t slot, uint32_t offsetBits = 0, bool alignedBlock = false) {
        uint32_t header = length - 2 < 7 ? length - 2 : 7;
        symbol(256 + 8 * slot + header);
        if (header == 7) bits_.put(lengthCodes_.at(length - 9), length_.at(length - 9));
        if (slot < 4) return;
        int extra = lzx::kSlots.extraBits[slot];
        if (alignedBlock && extra >= 3) {
            if (extra > 3) bits_.put(offsetBits >> 3, extra - 3);
            bits_.put(alignedCodes_.at(offsetBits & 7), aligned_.at(offsetBits & 7));
        } else {
            bits_.put(offsetBits, extra);
        }
    }

    // Uncompressed block: header, padding, R0..R2 and the raw bytes (with the
    // pad byte when odd, unless the caller places it).
    void stored(const std::vector<uint8_t>& bytes, uint32_t r0 = 1, uint32_t r1 = 1,
                uint32_t r2 = 1, bool padByte = true) {
        header(lzx::Uncompressed, uint32_t(bytes.size()));
        bits_.alignToWord(true);
        bits_.putLong(r0);
        bits_.putLong(r1);
        bits_.putLong(r2);
        bits_.putBytes(bytes.data(), bytes.size());
        if (padByte && bytes.size() % 2 == 1) bits_.putByte(0);
    }

    std::vector<uint8_t> finish() {
        bits_.alignToWord();
        return bits_.take();
    }

private:
    uint32_t slotCount_;
    uint32_t mainSymbols_;
    std::vector<uint8_t> priorMain_, priorLength_;
    std::vector<uint8_t> main_, length_, aligned_;
    std::vector<uint32_t> mainCodes_, lengthCodes_, alignedCodes_;
    lzxenc::BitWriter bits_;
};

// A verbatim block's slot and offset bits for a fresh distance.
inline void slotFor(uint32_t distance, uint32_t& slot, uint32_t& offsetBits) {
    slot = 4;
    while (slot + 1 < uint32_t(lzx::kMaxSlots) &&
           uint32_t(lzx::kSlots.distanceBase[slot + 1]) <= distance) {
        ++slot;
    }
    offsetBits = distance - uint32_t(lzx::kSlots.distanceBase[slot]);
}

}  // namespace lzxtest
