// A plain Quantum decoder for checking the codec against: one bit at a time,
// a true division for every quotient, a linear search from the most frequent
// entry and a separate update pass, matches copied byte by byte through a
// window held in one piece. Slow and obvious on purpose; the codec's fast
// paths must give exactly its bytes and its verdict on every block.
#pragma once

#include <cstdint>
#include <utility>
#include <vector>

namespace qreference {

class Decoder {
public:
    explicit Decoder(uint32_t windowBits)
        : windowBits_(windowBits), window_(size_t(1) << windowBits, 0) {
        reset();
    }

    // A folder start: models at their start values, position 0; the window's
    // bytes stay, as in the codec's one-piece window.
    void reset() {
        position_ = 0;
        uint32_t lengthBase = 0, positionBase = 0;
        for (uint32_t s = 0; s < 27; ++s) {
            lengthBase_[s] = lengthBase;
            lengthBase += 1u << lengthExtra(s);
        }
        for (uint32_t s = 0; s < 42; ++s) {
            positionBase_[s] = positionBase;
            positionBase += 1u << positionExtra(s);
        }
        const uint32_t windowSize = 1u << windowBits_;
        start(models_[0], 7);
        for (int k = 1; k <= 4; ++k) start(models_[k], 64);
        start(models_[5], 27);
        start(models_[6], slotsBelow(windowSize));
        start(models_[7], slotsBelow(windowSize < 4096 ? windowSize : 4096));
        start(models_[8], slotsBelow(windowSize < 0x40000 ? windowSize : 0x40000));
    }

    // One block into `output`; true when it decoded cleanly.
    bool decodeBlock(const uint8_t* input, uint32_t inputSize, uint8_t* output,
                     uint32_t outputSize) {
        in_ = input;
        inLeft_ = inputSize;
        bitsLeft_ = 0;
        exhausted_ = false;
        overrun_ = false;
        out_ = output;
        outLeft_ = outputSize;
        code_ = 0;
        for (int k = 0; k < 16; ++k) code_ = ((code_ << 1) | nextBit()) & 0xFFFF;
        low_ = 0;
        high_ = 0xFFFF;
        while (outLeft_ != 0 && !exhausted_) decodeItem();
        return !exhausted_ && !overrun_;
    }

private:
    struct Model {
        uint32_t count;
        int countdown;
        uint32_t cumFreq[65];
        uint32_t symbol[65];
    };

    static uint32_t lengthExtra(uint32_t s) { return s < 6 || s == 26 ? 0 : (s - 2) >> 2; }
    static uint32_t positionExtra(uint32_t s) { return s < 2 ? 0 : (s - 2) >> 1; }

    uint32_t slotsBelow(uint32_t limit) const {
        uint32_t n = 0;
        while (n < 42 && positionBase_[n] < limit) ++n;
        return n;
    }

    static void start(Model& m, uint32_t n) {
        m.count = n;
        m.countdown = 4;
        for (uint32_t j = 0; j <= n; ++j) {
            m.cumFreq[j] = n - j;
            m.symbol[j] = j;
        }
    }

    uint32_t nextBit() {
        if (bitsLeft_ == 0) {
            if (inLeft_ == 0) {
                exhausted_ = true;
                return 0;
            }
            byte_ = *in_++;
            --inLeft_;
            bitsLeft_ = 8;
        }
        --bitsLeft_;
        return (byte_ >> bitsLeft_) & 1;
    }

    uint32_t rawBits(uint32_t n) {
        uint32_t value = 0;
        for (uint32_t k = 0; k < n; ++k) value = (value << 1) | nextBit();
        return value;
    }

    uint32_t decodeSymbol(Model& m) {
        const uint32_t total = m.cumFreq[0];
        uint32_t range = high_ - low_ + 1;
        const uint32_t target = ((code_ - low_ + 1) * total - 1) / range;
        uint32_t i = 0;
        while (m.cumFreq[i + 1] > target) ++i;
        const uint32_t symbol = m.symbol[i];
        const uint32_t upper = m.cumFreq[i], lower = m.cumFreq[i + 1];
        range = high_ - low_ + 1;
        const uint32_t oldLow = low_;
        high_ = (oldLow + upper * range / total - 1) & 0xFFFF;
        low_ = (oldLow + lower * range / total) & 0xFFFF;
        for (;;) {
            if ((low_ & 0x8000) != (high_ & 0x8000)) {
                if ((low_ & 0x4000) != 0 && (high_ & 0x4000) == 0) {
                    code_ ^= 0x4000;
                    low_ &= 0x3FFF;
                    high_ |= 0x4000;
                } else {
                    break;
                }
            }
            low_ = (low_ << 1) & 0xFFFF;
            high_ = ((high_ << 1) | 1) & 0xFFFF;
            code_ = ((code_ << 1) | nextBit()) & 0xFFFF;
        }
        for (uint32_t j = 0; j <= i; ++j) m.cumFreq[j] += 8;
        if (m.cumFreq[0] > 3800) rescale(m);
        return symbol;
    }

    static void rescale(Model& m) {
        const int n = int(m.count);
        if (--m.countdown != 0) {
            for (int i = n - 1; i >= 0; --i) {
                m.cumFreq[i] >>= 1;
                if (m.cumFreq[i] <= m.cumFreq[i + 1]) m.cumFreq[i] = m.cumFreq[i + 1] + 1;
            }
            return;
        }
        m.countdown = 50;
        for (int i = 0; i < n; ++i) m.cumFreq[i] = (m.cumFreq[i] - m.cumFreq[i + 1] + 1) >> 1;
        for (int i = 0; i < n; ++i) {
            for (int j = i + 1; j < n; ++j) {
                if (m.cumFreq[j] > m.cumFreq[i]) {
                    std::swap(m.cumFreq[i], m.cumFreq[j]);
                    std::swap(m.symbol[i], m.symbol[j]);
                }
            }
        }
        for (int i = n - 1; i >= 0; --i) m.cumFreq[i] += m.cumFreq[i + 1];
    }

    void put(uint8_t byte) {
        --outLeft_;
        *out_++ = byte;
        window_[position_ & (window_.size() - 1)] = byte;
        ++position_;
    }

    // A match longer than the output owed, or reaching before the folder's
    // first byte, fails the block.
    void copy(uint32_t length, uint32_t distance) {
        if (outLeft_ < length || distance > position_) {
            overrun_ = true;
            outLeft_ = 0;
            return;
        }
        const uint32_t mask = uint32_t(window_.size() - 1);
        const uint32_t source = position_ - distance;
        for (uint32_t k = 0; k < length; ++k) put(window_[(source + k) & mask]);
    }

    void decodeItem() {
        const uint32_t selector = decodeSymbol(models_[0]);
        if (selector < 4) {
            put(uint8_t(decodeSymbol(models_[1 + selector]) + 64 * selector));
            return;
        }
        uint32_t length = selector == 4 ? 3 : 4;
        Model* positions = &models_[selector == 4 ? 7 : 8];
        if (selector == 6) {
            const uint32_t slot = decodeSymbol(models_[5]);
            length = lengthBase_[slot] + rawBits(lengthExtra(slot)) + 5;
            positions = &models_[6];
        }
        const uint32_t slot = decodeSymbol(*positions);
        copy(length, positionBase_[slot] + rawBits(positionExtra(slot)) + 1);
    }

    uint32_t windowBits_;
    std::vector<uint8_t> window_;
    uint32_t position_ = 0;
    Model models_[9] = {};
    uint32_t lengthBase_[27] = {}, positionBase_[42] = {};
    const uint8_t* in_ = nullptr;
    uint32_t inLeft_ = 0, bitsLeft_ = 0, byte_ = 0;
    uint8_t* out_ = nullptr;
    uint32_t outLeft_ = 0;
    uint32_t low_ = 0, high_ = 0, code_ = 0;
    bool exhausted_ = false, overrun_ = false;
};

}  // namespace qreference
