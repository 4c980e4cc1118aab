// The adaptive frequency models and the slot tables of lengths and distances.
#include "codecs/quantum/quantum_state.h"

namespace quantum {

const uint8_t kLengthExtraBits[kLengthSlots] = {
    0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2, 2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0,
};

const uint8_t kPositionExtraBits[kPositionSlots] = {
    0,  0,  0,  0,  1,  1,  2,  2,  3,  3,  4,  4,  5,  5,  6,  6,  7,  7,  8,  8,  9,
    9,  10, 10, 11, 11, 12, 12, 13, 13, 14, 14, 15, 15, 16, 16, 17, 17, 18, 18, 19, 19,
};

namespace {

// A match of length 3 reaches at most 4 KB back, one of length 4 at most
// 256 KB; longer matches reach the whole window.
constexpr uint32_t kPosition3Limit = 4096;
constexpr uint32_t kPosition4Limit = 0x40000;

void startModel(Model& m, int32_t symbolCount) {
    m.symbolCount = symbolCount;
    m.rescaleCountdown = kFirstRebuildCountdown;
    for (int32_t j = 0; j <= symbolCount; ++j) {
        m.entries[j].cumFreq = uint32_t(symbolCount - j);
        m.entries[j].symbol = uint32_t(j);
    }
}

int32_t slotsBelow(const uint32_t* bases, uint32_t limit) {
    int32_t count = 0;
    while (count < int32_t(kPositionSlots) && bases[count] < limit) ++count;
    return count;
}

uint32_t smaller(uint32_t a, uint32_t b) { return a < b ? a : b; }

}  // namespace

void initModels(Decoder& d) {
    d.lengthBase[0] = 0;
    for (uint32_t s = 1; s < kLengthSlots; ++s) {
        d.lengthBase[s] = d.lengthBase[s - 1] + (uint32_t(1) << kLengthExtraBits[s - 1]);
    }
    d.positionBase[0] = 0;
    for (uint32_t s = 1; s < kPositionSlots; ++s) {
        d.positionBase[s] = d.positionBase[s - 1] + (uint32_t(1) << kPositionExtraBits[s - 1]);
    }
    startModel(d.selectorModel, 7);
    for (Model& m : d.literalModels) startModel(m, 64);
    startModel(d.lengthModel, int32_t(kLengthSlots));
    startModel(d.positionModel, slotsBelow(d.positionBase, d.windowSize));
    startModel(d.position3Model, slotsBelow(d.positionBase, smaller(d.windowSize, kPosition3Limit)));
    startModel(d.position4Model, slotsBelow(d.positionBase, smaller(d.windowSize, kPosition4Limit)));
}

void rescaleModel(Model& m) {
    const int32_t n = m.symbolCount;
    ModelEntry* e = m.entries;
    if (--m.rescaleCountdown != 0) {
        // Halve in place, keeping every frequency at least 1.
        for (int32_t i = n - 1; i >= 0; --i) {
            e[i].cumFreq >>= 1;
            if (e[i].cumFreq <= e[i + 1].cumFreq) e[i].cumFreq = e[i + 1].cumFreq + 1;
        }
        return;
    }
    m.rescaleCountdown = kRebuildInterval;
    // Own frequencies, halved and rounded up.
    for (int32_t i = 0; i < n; ++i) {
        e[i].cumFreq = (e[i].cumFreq - e[i + 1].cumFreq + 1) >> 1;
    }
    // Highest frequency first. This exchange sort does not keep ties in
    // order, and the stream depends on the exact result, so it stays as is.
    for (int32_t i = 0; i < n; ++i) {
        for (int32_t j = i + 1; j < n; ++j) {
            if (e[j].cumFreq > e[i].cumFreq) {
                const ModelEntry held = e[i];
                e[i] = e[j];
                e[j] = held;
            }
        }
    }
    for (int32_t i = n - 1; i >= 0; --i) e[i].cumFreq += e[i + 1].cumFreq;
}

}  // namespace quantum
