// Quantum encoder: adaptive models, a 16-bit arithmetic coder with pending
// (straddle) bits, raw bits spliced in at the decoder's reading point, and a
// greedy hash-chain LZ parser.
#include "tools/cabwriter/quantum_encoder.h"

#include <algorithm>
#include <array>
#include <stdexcept>

namespace cabwriter {
namespace {

constexpr uint32_t kLengthExtra[27] = {0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2, 2,
                                       3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};

uint32_t positionExtra(uint32_t slot) { return slot < 2 ? 0 : (slot - 2) >> 1; }

// Frequencies kept as a cumulative table ordered as the decoder orders it.
struct AdaptiveModel {
    int n = 0;
    int countdown = 4;
    std::array<uint32_t, 65> cum{};
    std::array<uint32_t, 65> sym{};

    void start(int symbols) {
        n = symbols;
        countdown = 4;
        for (int j = 0; j <= n; ++j) {
            cum[j] = uint32_t(n - j);
            sym[j] = uint32_t(j);
        }
    }

    int indexOf(uint32_t symbol) const {
        for (int i = 0; i < n; ++i) {
            if (sym[i] == symbol) return i;
        }
        throw std::invalid_argument("symbol outside the model");
    }

    void update(int index) {
        for (int j = 0; j <= index; ++j) cum[j] += 8;
        if (cum[0] > 3800) rescale();
    }

    void rescale() {
        if (--countdown != 0) {
            for (int i = n - 1; i >= 0; --i) {
                cum[i] >>= 1;
                if (cum[i] <= cum[i + 1]) cum[i] = cum[i + 1] + 1;
            }
            return;
        }
        countdown = 50;
        std::array<uint32_t, 65> freq{};
        for (int i = 0; i < n; ++i) freq[i] = (cum[i] - cum[i + 1] + 1) >> 1;
        for (int i = 0; i < n; ++i) {
            for (int j = i + 1; j < n; ++j) {
                if (freq[j] > freq[i]) {
                    std::swap(freq[i], freq[j]);
                    std::swap(sym[i], sym[j]);
                }
            }
        }
        cum[n] = 0;
        for (int i = n - 1; i >= 0; --i) cum[i] = cum[i + 1] + freq[i];
    }
};

struct RawBits {
    size_t codePosition;  // index in the coder's bit sequence it goes before
    uint32_t value;
    uint32_t count;
};

}  // namespace

struct QuantumEncoder::State {
    uint32_t windowBits;
    uint32_t windowSize;
    uint32_t lengthBase[27];
    uint32_t positionBase[42];
    AdaptiveModel selector, literals[4], lengths, positions, positions3, positions4;

    // Coder.
    uint32_t low = 0, high = 0xFFFF, pending = 0;
    size_t shifts = 0;
    std::vector<uint8_t> codeBits;
    std::vector<RawBits> raw;

    // History and match finder.
    Bytes history;
    std::vector<int64_t> chain;  // previous position with the same hash
    std::vector<int64_t> head;   // latest position per hash

    static constexpr uint32_t kHashBits = 15;

    int slotsBelow(uint32_t limit) const {
        int count = 0;
        while (count < 42 && positionBase[count] < limit) ++count;
        return count;
    }

    void startModels() {
        selector.start(7);
        for (AdaptiveModel& m : literals) m.start(64);
        lengths.start(27);
        positions.start(slotsBelow(windowSize));
        positions3.start(slotsBelow(std::min<uint32_t>(windowSize, 4096)));
        positions4.start(slotsBelow(std::min<uint32_t>(windowSize, 0x40000)));
    }

    void emit(uint32_t bit) {
        codeBits.push_back(uint8_t(bit));
        for (; pending != 0; --pending) codeBits.push_back(uint8_t(bit ^ 1));
    }

    void encode(AdaptiveModel& m, uint32_t symbol) {
        const int i = m.indexOf(symbol);
        const uint32_t total = m.cum[0];
        const uint32_t range = high - low + 1;
        high = (low + (m.cum[i] * range) / total - 1) & 0xFFFF;
        low = (low + (m.cum[i + 1] * range) / total) & 0xFFFF;
        for (;;) {
            if (((low ^ high) & 0x8000) == 0) {
                emit(high >> 15);
            } else if ((low & 0x4000) != 0 && (high & 0x4000) == 0) {
                ++pending;
                low &= 0x3FFF;
                high |= 0x4000;
            } else {
                break;
            }
            low = (low << 1) & 0xFFFF;
            high = ((high << 1) | 1) & 0xFFFF;
            ++shifts;
        }
        m.update(i);
    }

    void rawBits(uint32_t value, uint32_t count) {
        if (count != 0) raw.push_back({16 + shifts, value, count});
    }

    Bytes finish() {
        // Two more bits pin a value inside the final interval; the decoder
        // reads 16 bits ahead of its last shift, so zeros fill up to there.
        ++pending;
        emit((low & 0x4000) ? 1 : 0);
        while (codeBits.size() < 16 + shifts) codeBits.push_back(0);
        std::vector<uint8_t> bits;
        size_t next = 0;
        auto spliceRawAt = [&](size_t position) {
            while (next < raw.size() && raw[next].codePosition == position) {
                for (uint32_t k = raw[next].count; k-- != 0;) {
                    bits.push_back(uint8_t((raw[next].value >> k) & 1));
                }
                ++next;
            }
        };
        for (size_t p = 0; p < codeBits.size(); ++p) {
            spliceRawAt(p);
            bits.push_back(codeBits[p]);
        }
        spliceRawAt(codeBits.size());
        Bytes out((bits.size() + 7) / 8, 0);
        for (size_t k = 0; k < bits.size(); ++k) {
            if (bits[k]) out[k / 8] |= uint8_t(0x80 >> (k % 8));
        }
        low = 0;
        high = 0xFFFF;
        pending = 0;
        shifts = 0;
        codeBits.clear();
        raw.clear();
        return out;
    }

    uint32_t maxDistance(uint32_t length) const {
        const AdaptiveModel& m = length == 3 ? positions3 : length == 4 ? positions4 : positions;
        const int last = m.n - 1;
        return positionBase[last] + (uint32_t(1) << positionExtra(uint32_t(last)));
    }

    void encodeDistance(AdaptiveModel& m, uint32_t distance) {
        const uint32_t value = distance - 1;
        int slot = m.n - 1;
        while (positionBase[slot] > value) --slot;
        encode(m, uint32_t(slot));
        rawBits(value - positionBase[slot], positionExtra(uint32_t(slot)));
    }

    void appendMatchBytes(uint32_t length, uint32_t distance) {
        for (uint32_t k = 0; k < length; ++k) {
            const size_t size = history.size();
            history.push_back(distance <= size ? history[size - distance] : 0);
        }
    }

    uint32_t hashAt(size_t pos) const {
        const uint32_t v = uint32_t(history[pos]) | (uint32_t(history[pos + 1]) << 8) |
                           (uint32_t(history[pos + 2]) << 16);
        return (v * 2654435761u) >> (32 - kHashBits);
    }

    void index(size_t pos) {
        if (pos + 3 > history.size()) return;
        if (chain.size() < pos + 1) chain.resize(pos + 1, -1);
        const uint32_t h = hashAt(pos);
        chain[pos] = head[h];
        head[h] = int64_t(pos);
    }
};

QuantumEncoder::QuantumEncoder(uint32_t windowBits) : state_(new State) {
    if (windowBits < 10 || windowBits > 21) {
        delete state_;
        throw std::invalid_argument("Quantum window bits must be 10 to 21");
    }
    state_->windowBits = windowBits;
    state_->windowSize = uint32_t(1) << windowBits;
    state_->lengthBase[0] = 0;
    for (int s = 1; s < 27; ++s) {
        state_->lengthBase[s] = state_->lengthBase[s - 1] + (1u << kLengthExtra[s - 1]);
    }
    state_->positionBase[0] = 0;
    for (uint32_t s = 1; s < 42; ++s) {
        state_->positionBase[s] = state_->positionBase[s - 1] + (1u << positionExtra(s - 1));
    }
    reset();
}

QuantumEncoder::~QuantumEncoder() { delete state_; }

void QuantumEncoder::reset() {
    state_->startModels();
    state_->history.clear();
    state_->chain.clear();
    state_->head.assign(size_t(1) << State::kHashBits, -1);
}

void QuantumEncoder::literal(uint8_t byte) {
    State& s = *state_;
    s.encode(s.selector, byte >> 6);
    s.encode(s.literals[byte >> 6], byte & 63u);
    s.history.push_back(byte);
}

void QuantumEncoder::match(uint32_t length, uint32_t distance) {
    State& s = *state_;
    if (length < 3 || length > 259 || distance == 0 || distance > maxDistance(length)) {
        throw std::invalid_argument("match outside Quantum's limits");
    }
    if (length == 3 || length == 4) {
        s.encode(s.selector, length == 3 ? 4 : 5);
        s.encodeDistance(length == 3 ? s.positions3 : s.positions4, distance);
    } else {
        const uint32_t value = length - 5;
        int slot = 26;
        while (s.lengthBase[slot] > value) --slot;
        s.encode(s.selector, 6);
        s.encode(s.lengths, uint32_t(slot));
        s.rawBits(value - s.lengthBase[slot], kLengthExtra[slot]);
        s.encodeDistance(s.positions, distance);
    }
    s.appendMatchBytes(length, distance);
}

QuantumEncoder::Bytes QuantumEncoder::finishBlock() { return state_->finish(); }

uint32_t QuantumEncoder::maxDistance(uint32_t length) const { return state_->maxDistance(length); }

const QuantumEncoder::Bytes& QuantumEncoder::history() const { return state_->history; }

QuantumEncoder::Bytes QuantumEncoder::encodeBlock(const uint8_t* data, size_t size) {
    State& s = *state_;
    const size_t start = s.history.size();
    // The block's bytes join the history first so the match finder sees them;
    // items are then coded over them without changing them.
    s.history.insert(s.history.end(), data, data + size);
    const size_t end = s.history.size();
    // Re-index the last two positions of the previous block, which now have
    // three bytes to hash.
    for (size_t p = start >= 2 ? start - 2 : 0; p < start; ++p) s.index(p);

    const uint32_t limit3 = maxDistance(3), limit4 = maxDistance(4), limitLong = maxDistance(5);
    constexpr int kChainDepth = 24;
    size_t pos = start;
    std::vector<std::pair<uint32_t, uint32_t>> items;  // (length, distance); length 0 = literal
    while (pos < end) {
        uint32_t bestLength = 0, bestDistance = 0;
        if (pos + 3 <= end) {
            const uint32_t maxLength = uint32_t(std::min<size_t>(259, end - pos));
            int64_t candidate = s.head[s.hashAt(pos)];
            for (int depth = 0; candidate >= 0 && depth < kChainDepth; ++depth) {
                const uint32_t distance = uint32_t(pos - size_t(candidate));
                if (distance > limitLong) break;
                uint32_t length = 0;
                while (length < maxLength &&
                       s.history[size_t(candidate) + length] == s.history[pos + length]) {
                    ++length;
                }
                const bool allowed = length >= 5 || (length == 4 && distance <= limit4) ||
                                     (length == 3 && distance <= limit3);
                if (allowed && length > bestLength) {
                    bestLength = length;
                    bestDistance = distance;
                    if (length == maxLength) break;
                }
                candidate = s.chain[size_t(candidate)];
            }
        }
        if (bestLength >= 3) {
            items.push_back({bestLength, bestDistance});
            for (uint32_t k = 0; k < bestLength; ++k) s.index(pos + k);
            pos += bestLength;
        } else {
            items.push_back({0, s.history[pos]});
            s.index(pos);
            ++pos;
        }
    }
    // Code the items; the history already holds their bytes.
    s.history.resize(start);
    for (const auto& [length, value] : items) {
        if (length == 0) {
            literal(uint8_t(value));
        } else {
            match(length, value);
        }
    }
    return finishBlock();
}

}  // namespace cabwriter
