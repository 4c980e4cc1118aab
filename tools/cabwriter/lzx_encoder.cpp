#include "tools/cabwriter/lzx_encoder.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <stdexcept>

namespace lzxenc {
namespace {

constexpr int kSlotTableSize = 51;
constexpr int kLengthSymbols = 249;
constexpr uint32_t kMaxMatch = 257;

struct Slots {
    std::array<int, kSlotTableSize> extraBits;
    std::array<uint32_t, kSlotTableSize> distanceBase;  // position base - 2
};

Slots makeSlots() {
    Slots s{};
    uint32_t positionBase = 0;
    for (int slot = 0; slot < kSlotTableSize; ++slot) {
        s.extraBits[slot] = slot < 4 ? 0 : slot < 36 ? slot / 2 - 1 : 17;
        s.distanceBase[slot] = positionBase - 2;
        positionBase += uint32_t(1) << s.extraBits[slot];
    }
    return s;
}

const Slots kSlots = makeSlots();

int slotCountFor(uint32_t windowSize) {
    int count = 4;
    uint32_t total = 4;
    while (total < windowSize) total += uint32_t(1) << kSlots.extraBits[count++];
    return count;
}

// One decoded item: a literal, or a match with its main-tree header and slot.
struct Item {
    uint32_t length;  // 1 for a literal
    uint8_t literal;
    int slot;
    uint32_t offsetBits;
};

// A match candidate: repeat is the repeated offset it reuses, or -1.
struct Match {
    uint32_t length = 0;
    uint32_t distance = 0;
    int repeat = -1;
};

// Lazy parsing, tuned like a Deflate encoder's default level: a match this
// long is taken without looking one byte on, one this long makes the chain
// walk a quarter as far, and one this long ends the walk.
constexpr uint32_t kLazyEnough = 16;
constexpr uint32_t kLazyGood = 8;
constexpr uint32_t kNiceLength = 128;

uint32_t decodeTranslated(uint32_t value, uint32_t position, uint32_t size) {
    if (value < size) return value - position;
    if (0u - value <= position) return value + size;
    return value;
}

class Encoder {
public:
    Encoder(const uint8_t* data, size_t size, const Options& options, ParseCounts* counts)
        : data_(data, data + size), options_(options), counts_(counts) {
        if (options.windowBits < 15 || options.windowBits > 21) {
            throw std::invalid_argument("LZX window bits must be 15..21");
        }
        windowSize_ = uint32_t(1) << options.windowBits;
        slotCount_ = slotCountFor(windowSize_);
        mainSymbols_ = 256 + 8 * slotCount_;
        priorMain_.assign(mainSymbols_, 0);
        priorLength_.assign(kLengthSymbols, 0);
        if (options.frameSize == 0 || options.frameSize > 32768) {
            throw std::invalid_argument("frame size must be 1..32768");
        }
    }

    std::vector<Frame> run() {
        applyTranslation();
        buildHashChains();
        frameEnd_ = std::min<size_t>(options_.frameSize, data_.size());
        if (options_.translationSize != 0 || options_.sendTranslationSize) {
            out_.put(1, 1);
            out_.put(options_.translationSize >> 16, 16);
            out_.put(options_.translationSize & 0xFFFF, 16);
        } else {
            out_.put(0, 1);
        }
        size_t blockIndex = 0;
        for (size_t start = 0; start < data_.size(); ++blockIndex) {
            const size_t size = std::min<size_t>(options_.blockSize, data_.size() - start);
            BlockKind kind = BlockKind::Best;
            if (!options_.blockKinds.empty()) {
                kind = options_.blockKinds[blockIndex % options_.blockKinds.size()];
            }
            encodeBlock(start, size, kind);
            start += size;
        }
        finishFrame();
        return std::move(frames_);
    }

private:
    // ---- Call translation ------------------------------------------------

    void applyTranslation() {
        if (options_.translationSize == 0) return;
        uint32_t offset = 0;
        size_t frameIndex = 0;
        for (size_t start = 0; start < data_.size() && frameIndex < 32768; ++frameIndex) {
            const uint32_t n = uint32_t(std::min<size_t>(options_.frameSize, data_.size() - start));
            translateFrame(data_.data() + start, n, offset, options_.translationSize);
            offset += n;
            start += n;
        }
    }

    // ---- Matching ----------------------------------------------------------

    static constexpr int kHashBits = 15;

    uint32_t hashAt(size_t i) const {
        uint32_t v = uint32_t(data_[i]) << 16 | uint32_t(data_[i + 1]) << 8 | data_[i + 2];
        return (v * 2654435761u) >> (32 - kHashBits);
    }

    void buildHashChains() {
        previous_.assign(data_.size(), -1);
        std::vector<int64_t> head(size_t(1) << kHashBits, -1);
        for (size_t i = 0; i + 3 <= data_.size(); ++i) {
            uint32_t h = hashAt(i);
            previous_[i] = head[h];
            head[h] = int64_t(i);
        }
    }

    // Bytes equal at `at` and `from` (from < at), up to `limit` and the
    // longest match; eight at a time while they last.
    uint32_t matchLength(size_t at, size_t from, size_t limit) const {
        const uint32_t most = uint32_t(std::min<size_t>(limit - at, kMaxMatch));
        uint32_t n = 0;
        for (; n + 8 <= most; n += 8) {
            uint64_t a, b;
            std::memcpy(&a, &data_[at + n], 8);
            std::memcpy(&b, &data_[from + n], 8);
            if (a != b) break;
        }
        while (n < most && data_[at + n] == data_[from + n]) ++n;
        return n;
    }

    // The longest match at position i, not passing `limit`, among the three
    // repeated offsets and up to `chain` hash-chain candidates; a length
    // below 2 means none. Changes nothing: a literal leaves the repeated
    // offsets as they are, so a match found here stays valid one byte on.
    Match findMatch(size_t i, size_t limit, int chain) const {
        const uint32_t maxDistance = windowSize_ - 3;
        Match best;
        if (chain <= 0) return best;
        for (int r = 0; r < 3; ++r) {
            uint32_t d = repeated_[r];
            if (d == 0 || d > i || d > maxDistance) continue;
            uint32_t n = matchLength(i, i - d, limit);
            if (n >= 2 && n > best.length) best = {n, d, r};
        }
        for (int64_t cand = i + 3 <= data_.size() ? previous_[i] : -1; cand >= 0 && chain > 0;
             cand = previous_[size_t(cand)], --chain) {
            uint32_t d = uint32_t(i - size_t(cand));
            if (d > maxDistance) break;
            // A fresh distance must beat a repeated one by two bytes, so a
            // candidate that differs at the byte it would need is passed over.
            const uint32_t toBeat = std::max<uint32_t>(2, best.length + (best.repeat >= 0 ? 1 : 0));
            if (i + toBeat >= limit || data_[i + toBeat] != data_[size_t(cand) + toBeat]) continue;
            uint32_t n = matchLength(i, size_t(cand), limit);
            if (n > toBeat) best = {n, d, -1};
            if (options_.lazy && best.length >= kNiceLength) break;
        }
        return best;
    }

    // The item for a match found at the current position (a literal when
    // there is none), with the repeated offsets updated as the decoder will.
    Item take(const Match& match, uint8_t literal) {
        if (match.length < 2) return {1, literal, -1, 0};
        Item item{match.length, 0, 0, 0};
        if (match.repeat >= 0) {
            item.slot = match.repeat;
            if (match.repeat == 1) std::swap(repeated_[0], repeated_[1]);
            if (match.repeat == 2) std::swap(repeated_[0], repeated_[2]);
            return item;
        }
        int slot = 3;
        while (slot + 1 < slotCount_ && kSlots.distanceBase[slot + 1] <= match.distance) ++slot;
        item.slot = slot;
        item.offsetBits = match.distance - kSlots.distanceBase[slot];
        repeated_[2] = repeated_[1];
        repeated_[1] = repeated_[0];
        repeated_[0] = match.distance;
        return item;
    }

    // Whether the match one byte on is worth a literal first: longer, by two
    // bytes when it would give up a repeated offset for a fresh distance.
    static bool laterIsBetter(const Match& now, const Match& later) {
        const bool givesUpRepeat = now.repeat >= 0 && later.repeat < 0;
        return later.length > now.length + (givesUpRepeat ? 1 : 0);
    }

    // ---- Blocks --------------------------------------------------------------

    std::vector<Item> parse(size_t start, size_t size) {
        std::vector<Item> items;
        const size_t end = start + size;
        const uint32_t frame = options_.frameSize;
        // A match never passes the block's end or a frame's end.
        auto limitAt = [&](size_t i) { return std::min(end, (i / frame + 1) * frame); };
        if (!options_.lazy) {
            for (size_t i = start; i < end;) {
                Item item = take(findMatch(i, limitAt(i), options_.maxChain), data_[i]);
                items.push_back(item);
                i += item.length;
            }
            return items;
        }
        // One-step lazy evaluation: before a match is taken, the match one
        // byte on is looked at, and when it is better a literal goes first.
        Match now = findMatch(start, limitAt(start), options_.maxChain);
        for (size_t i = start; i < end;) {
            if (now.length >= 2 && now.length < kLazyEnough && i + 1 < end) {
                const int chain =
                    now.length >= kLazyGood ? std::max(1, options_.maxChain / 4) : options_.maxChain;
                Match later = findMatch(i + 1, limitAt(i + 1), chain);
                if (laterIsBetter(now, later)) {
                    items.push_back(take(Match{}, data_[i]));
                    ++i;
                    now = later;
                    continue;
                }
            }
            Item item = take(now, data_[i]);
            items.push_back(item);
            i += item.length;
            if (i < end) now = findMatch(i, limitAt(i), options_.maxChain);
        }
        return items;
    }

    struct Trees {
        std::vector<uint8_t> main, length, aligned;
        std::vector<uint32_t> mainCodes, lengthCodes, alignedCodes;
    };

    static uint32_t mainSymbolOf(const Item& item) {
        if (item.slot < 0) return item.literal;
        uint32_t header = std::min<uint32_t>(item.length - 2, 7);
        return 256 + 8 * uint32_t(item.slot) + header;
    }

    static bool usesAligned(const Item& item) {
        return item.slot >= 4 && kSlots.extraBits[size_t(item.slot)] >= 3;
    }

    Trees makeTrees(const std::vector<Item>& items, bool aligned) const {
        std::vector<uint32_t> mainFreq(mainSymbols_, 0), lengthFreq(kLengthSymbols, 0),
            alignedFreq(8, 0);
        for (const Item& item : items) {
            ++mainFreq[mainSymbolOf(item)];
            if (item.slot >= 0 && item.length - 2 >= 7) ++lengthFreq[item.length - 9];
            if (aligned && usesAligned(item)) ++alignedFreq[item.offsetBits & 7];
        }
        Trees t;
        t.main = huffmanLengths(mainFreq, 16);
        t.length = huffmanLengths(lengthFreq, 16);
        t.aligned = huffmanLengths(alignedFreq, 7);
        t.mainCodes = canonicalCodes(t.main);
        t.lengthCodes = canonicalCodes(t.length);
        t.alignedCodes = canonicalCodes(t.aligned);
        return t;
    }

    static uint64_t cost(const std::vector<Item>& items, const Trees& t, bool aligned) {
        uint64_t bits = 0;
        for (const Item& item : items) {
            bits += t.main[mainSymbolOf(item)];
            if (item.slot < 0) continue;
            if (item.length - 2 >= 7) bits += t.length[item.length - 9];
            if (item.slot >= 4) {
                int extra = kSlots.extraBits[size_t(item.slot)];
                bits += aligned && extra >= 3 ? extra - 3 + t.aligned[item.offsetBits & 7] : extra;
            }
        }
        return bits;
    }

    void encodeBlock(size_t start, size_t size, BlockKind kind) {
        const std::array<uint32_t, 3> repeatedBefore = repeated_;
        std::vector<Item> items = parse(start, size);
        if (kind == BlockKind::Best) {
            Trees verbatim = makeTrees(items, false), aligned = makeTrees(items, true);
            uint64_t verbatimBits = cost(items, verbatim, false);
            uint64_t alignedBits = cost(items, aligned, true) + 24;
            kind = alignedBits < verbatimBits ? BlockKind::Aligned : BlockKind::Verbatim;
            // Trees cost roughly a kilobit; raw bytes need no trees.
            if (std::min(verbatimBits, alignedBits) + 1200 > uint64_t(size) * 8 + 128) {
                kind = BlockKind::Uncompressed;
            }
        }
        if (kind == BlockKind::Uncompressed) {
            repeated_ = repeatedBefore;
            writeStored(start, size);
            return;
        }
        const bool aligned = kind == BlockKind::Aligned;
        Trees t = makeTrees(items, aligned);
        if (counts_ != nullptr) {
            for (const Item& item : items) ++(item.slot < 0 ? counts_->literals : counts_->matches);
        }
        atFrameBoundary(start);
        out_.put(aligned ? 2 : 1, 3);
        out_.put(uint32_t(size) >> 16 & 0xFF, 8);
        out_.put(uint32_t(size) >> 8 & 0xFF, 8);
        out_.put(uint32_t(size) & 0xFF, 8);
        if (aligned) {
            for (uint8_t l : t.aligned) out_.put(l, 3);
        }
        writeLengths(out_, priorMain_.data(), t.main.data(), 256, options_.lengthCoding);
        writeLengths(out_, priorMain_.data() + 256, t.main.data() + 256, mainSymbols_ - 256,
                     options_.lengthCoding);
        writeLengths(out_, priorLength_.data(), t.length.data(), kLengthSymbols,
                     options_.lengthCoding);
        priorMain_ = t.main;
        priorLength_ = t.length;

        size_t pos = start;
        for (const Item& item : items) {
            atFrameBoundary(pos);
            uint32_t symbol = mainSymbolOf(item);
            out_.put(t.mainCodes[symbol], t.main[symbol]);
            pos += item.length;
            if (item.slot < 0) continue;
            if (item.length - 2 >= 7) {
                out_.put(t.lengthCodes[item.length - 9], t.length[item.length - 9]);
            }
            if (item.slot < 4) continue;
            int extra = kSlots.extraBits[size_t(item.slot)];
            if (aligned && extra >= 3) {
                if (extra > 3) out_.put(item.offsetBits >> 3, extra - 3);
                uint32_t a = item.offsetBits & 7;
                out_.put(t.alignedCodes[a], t.aligned[a]);
            } else {
                out_.put(item.offsetBits, extra);
            }
        }
    }

    void writeStored(size_t start, size_t size) {
        atFrameBoundary(start);
        out_.put(3, 3);
        out_.put(uint32_t(size) >> 16 & 0xFF, 8);
        out_.put(uint32_t(size) >> 8 & 0xFF, 8);
        out_.put(uint32_t(size) & 0xFF, 8);
        out_.alignToWord(true);
        for (uint32_t r : repeated_) out_.putLong(r);
        size_t pos = start;
        const size_t end = start + size;
        while (pos < end) {
            atFrameBoundary(pos);
            size_t n = std::min(end, frameEnd_) - pos;
            out_.putBytes(data_.data() + pos, n);
            pos += n;
        }
        // The pad byte goes wherever the byte after the data falls, which
        // may be the start of the next frame's data.
        if (size % 2 == 1) {
            atFrameBoundary(pos);
            out_.putByte(0);
        }
    }

    // Ends the current frame when `pos` has reached its end (and data follows).
    void atFrameBoundary(size_t pos) {
        if (pos < frameEnd_ || pos >= data_.size()) return;
        finishFrame();
        frameEnd_ = std::min<size_t>(frameEnd_ + options_.frameSize, data_.size());
    }

    void finishFrame() {
        out_.alignToWord();
        Frame frame;
        frame.data = out_.take();
        size_t frameStart = frames_.size() * size_t(options_.frameSize);
        frame.size = uint32_t(std::min<size_t>(options_.frameSize, data_.size() - frameStart));
        if (data_.empty()) return;
        frames_.push_back(std::move(frame));
    }

    Bytes data_;
    Options options_;
    ParseCounts* counts_;
    uint32_t windowSize_ = 0;
    int slotCount_ = 0;
    int mainSymbols_ = 0;
    std::vector<int64_t> previous_;
    std::array<uint32_t, 3> repeated_{1, 1, 1};
    std::vector<uint8_t> priorMain_, priorLength_;
    BitWriter out_;
    std::vector<Frame> frames_;
    size_t frameEnd_ = 0;
};

}  // namespace

void translateFrame(uint8_t* frame, uint32_t n, uint32_t offset, uint32_t translationSize) {
    if (n < 6) return;
    // The decoder finds the same opcode positions in the translated frame:
    // bytes outside operands are unchanged and operands are skipped.
    for (uint32_t j = 0; j < n - 6;) {
        if (frame[j] != 0xE8) {
            ++j;
            continue;
        }
        const uint32_t position = offset + j;
        // Operand bytes from n - 6 on are read by the decoder as 0xE8 and
        // restored afterwards: only the bytes before them are free.
        const uint32_t free = std::min<uint32_t>(4, n - 6 - (j + 1));
        uint32_t target = 0;
        for (uint32_t k = 0; k < 4; ++k) {
            uint8_t byte = j + 1 + k < n - 6 ? frame[j + 1 + k] : 0xE8;
            target |= uint32_t(byte) << (8 * k);
        }
        const uint32_t freeMask = free == 4 ? 0xFFFFFFFFu : (uint32_t(1) << (8 * free)) - 1;
        const uint32_t fixedHigh = target & ~freeMask;
        bool found = false;
        for (uint32_t candidate : {target + position, target - translationSize, target}) {
            uint32_t value = (candidate & freeMask) | fixedHigh;
            if ((decodeTranslated(value, position, translationSize) & freeMask) ==
                (target & freeMask)) {
                for (uint32_t k = 0; k < free; ++k) frame[j + 1 + k] = uint8_t(value >> (8 * k));
                found = true;
                break;
            }
        }
        if (!found) throw std::runtime_error("call operand near a frame end cannot be translated");
        j += 5;
    }
}

std::vector<Frame> encode(const uint8_t* data, size_t size, const Options& options,
                          ParseCounts* counts) {
    return Encoder(data, size, options, counts).run();
}

}  // namespace lzxenc
