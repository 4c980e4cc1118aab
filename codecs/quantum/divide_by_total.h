// Division by a model's total as a multiplication: the interval arithmetic
// divides by the total twice per symbol, and a hardware division's latency
// would sit on the decoder's critical path.
#pragma once

#include "codecs/quantum/quantum_state.h"

namespace quantum {

// A total never exceeds the rescale threshold when a symbol is decoded (a
// model that passes it is rescaled at once); the table covers one step more.
constexpr uint32_t kMaxModelTotal = kRescaleThreshold + kFrequencyStep;
constexpr uint32_t kReciprocalShift = 40;

struct ReciprocalTable {
    uint64_t of[kMaxModelTotal + 1];
};

// of[d] = floor(2^40 / d) + 1. For n <= d * 2^16 the product n * of[d] stays
// below 2^57, and n * of[d] / 2^40 exceeds n / d by at most n / 2^40 <= 2^-12,
// less than the 1/d (d <= 3808) that separates n / d from the next integer,
// so the shifted product is exactly floor(n / d).
constexpr ReciprocalTable makeReciprocalTable() {
    ReciprocalTable table{};
    for (uint32_t d = 1; d <= kMaxModelTotal; ++d) {
        table.of[d] = (uint64_t(1) << kReciprocalShift) / d + 1;
    }
    return table;
}

inline constexpr ReciprocalTable kReciprocals = makeReciprocalTable();

// floor(n / total) for n <= total * 65536 and 1 <= total <= kMaxModelTotal.
inline uint32_t divideByTotal(uint32_t n, uint32_t total) {
    return uint32_t((uint64_t(n) * kReciprocals.of[total]) >> kReciprocalShift);
}

}  // namespace quantum
