#include "tools/cabwriter/lzx_stream.h"

#include <algorithm>
#include <functional>
#include <queue>
#include <stdexcept>

namespace lzxenc {

void BitWriter::put(uint32_t value, int n) {
    for (int bit = n - 1; bit >= 0; --bit) {
        pending_ = pending_ << 1 | ((value >> bit) & 1);
        if (++pendingBits_ == 16) {
            bytes_.push_back(uint8_t(pending_));
            bytes_.push_back(uint8_t(pending_ >> 8));
            pending_ = 0;
            pendingBits_ = 0;
        }
    }
}

void BitWriter::alignToWord(bool wholeWordWhenAligned) {
    if (pendingBits_ != 0) {
        put(0, 16 - pendingBits_);
    } else if (wholeWordWhenAligned) {
        put(0, 16);
    }
}

void BitWriter::putBytes(const uint8_t* data, size_t size) {
    if (pendingBits_ != 0) throw std::logic_error("raw bytes inside a word");
    bytes_.insert(bytes_.end(), data, data + size);
}

void BitWriter::putLong(uint32_t value) {
    uint8_t b[4] = {uint8_t(value), uint8_t(value >> 8), uint8_t(value >> 16), uint8_t(value >> 24)};
    putBytes(b, 4);
}

Bytes BitWriter::take() {
    if (pendingBits_ != 0) throw std::logic_error("taking a stream inside a word");
    Bytes out;
    out.swap(bytes_);
    return out;
}

namespace {

// Plain Huffman lengths (no limit).
std::vector<uint8_t> unlimitedLengths(const std::vector<uint32_t>& freq) {
    struct Node {
        uint64_t weight;
        int index;
    };
    auto heavier = [](const Node& a, const Node& b) {
        return a.weight != b.weight ? a.weight > b.weight : a.index > b.index;
    };
    std::priority_queue<Node, std::vector<Node>, decltype(heavier)> queue(heavier);
    std::vector<int> parent(freq.size() * 2, -1);
    int next = int(freq.size());
    for (size_t s = 0; s < freq.size(); ++s) {
        if (freq[s] != 0) queue.push({freq[s], int(s)});
    }
    while (queue.size() > 1) {
        Node a = queue.top();
        queue.pop();
        Node b = queue.top();
        queue.pop();
        parent[a.index] = next;
        parent[b.index] = next;
        queue.push({a.weight + b.weight, next});
        ++next;
    }
    std::vector<uint8_t> lengths(freq.size(), 0);
    for (size_t s = 0; s < freq.size(); ++s) {
        if (freq[s] == 0) continue;
        int depth = 0;
        for (int p = parent[s]; p != -1; p = parent[p]) ++depth;
        lengths[s] = uint8_t(std::min(depth, 255));
    }
    return lengths;
}

}  // namespace

std::vector<uint8_t> huffmanLengths(const std::vector<uint32_t>& frequencies, int maxLength) {
    std::vector<uint32_t> freq = frequencies;
    int used = 0;
    for (uint32_t f : freq) used += f != 0;
    if (used == 0) return std::vector<uint8_t>(freq.size(), 0);
    if (used == 1) {
        // A lone symbol still needs a complete code: pair it with another.
        size_t lone = std::find_if(freq.begin(), freq.end(), [](uint32_t f) { return f != 0; }) -
                      freq.begin();
        freq[lone == 0 ? 1 : 0] = 1;
    }
    for (;;) {
        std::vector<uint8_t> lengths = unlimitedLengths(freq);
        if (*std::max_element(lengths.begin(), lengths.end()) <= maxLength) return lengths;
        // Too deep: flatten the frequencies and try again.
        for (uint32_t& f : freq) {
            if (f != 0) f = (f >> 1) | 1;
        }
    }
}

std::vector<uint32_t> canonicalCodes(const std::vector<uint8_t>& lengths) {
    std::vector<uint32_t> codes(lengths.size(), 0);
    uint32_t code = 0;
    for (int l = 1; l <= 16; ++l) {  // path lengths are at most 16
        for (size_t s = 0; s < lengths.size(); ++s) {
            if (lengths[s] == l) codes[s] = code++;
        }
        code <<= 1;
    }
    return codes;
}

void writePretreeSection(BitWriter& out, const std::vector<PretreeItem>& items,
                         std::vector<uint8_t> pretreeLengths) {
    if (pretreeLengths.empty()) {
        std::vector<uint32_t> freq(20, 0);
        for (const PretreeItem& item : items) {
            ++freq[item.symbol];
            if (item.symbol == 19) ++freq[item.valueSymbol];
        }
        pretreeLengths = huffmanLengths(freq, 15);
    }
    std::vector<uint32_t> codes = canonicalCodes(pretreeLengths);
    for (uint8_t l : pretreeLengths) out.put(l, 4);
    for (const PretreeItem& item : items) {
        out.put(codes[item.symbol], pretreeLengths[item.symbol]);
        switch (item.symbol) {
            case 17: out.put(item.extra, 4); break;
            case 18: out.put(item.extra, 5); break;
            case 19:
                out.put(item.extra, 1);
                out.put(codes[item.valueSymbol], pretreeLengths[item.valueSymbol]);
                break;
            default: break;
        }
    }
}

void writeLengths(BitWriter& out, const uint8_t* prior, const uint8_t* lengths, std::size_t count,
                  const LengthCoding& coding) {
    auto delta = [](uint8_t before, uint8_t now) { return uint32_t((before + 17 - now) % 17); };
    std::vector<PretreeItem> items;
    for (std::size_t i = 0; i < count;) {
        std::size_t run = 1;
        while (i + run < count && lengths[i + run] == lengths[i]) ++run;
        if (lengths[i] == 0 && coding.zeroRuns && run >= 20) {
            std::size_t n = std::min<std::size_t>(run, 51);
            items.push_back({18, uint32_t(n - 20)});
            i += n;
        } else if (lengths[i] == 0 && coding.zeroRuns && run >= 4) {
            std::size_t n = std::min<std::size_t>(run, 19);
            items.push_back({17, uint32_t(n - 4)});
            i += n;
        } else if (coding.sameRuns && run >= 4) {
            std::size_t n = std::min<std::size_t>(run, 5);
            items.push_back({19, uint32_t(n - 4), delta(prior[i], lengths[i])});
            i += n;
        } else {
            items.push_back({delta(prior[i], lengths[i])});
            ++i;
        }
    }
    writePretreeSection(out, items);
}

}  // namespace lzxenc
