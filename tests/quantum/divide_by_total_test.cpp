// The multiply-and-shift division by a model total against true division,
// at every total and around the numerators where the quotient steps.
#include "codecs/quantum/divide_by_total.h"

#include <gtest/gtest.h>

namespace {

TEST(QuantumDivideByTotal, MatchesDivisionWhereverTheQuotientSteps) {
    int wrong = 0;
    for (uint32_t total = 1; total <= quantum::kMaxModelTotal; ++total) {
        for (uint32_t q = 0; q <= 65536; q = q < 65500 ? q + 97 : q + 1) {
            for (uint32_t n : {q * total, q * total + total - 1}) {
                if (n > total * 65536) continue;
                if (quantum::divideByTotal(n, total) != n / total) ++wrong;
            }
        }
    }
    EXPECT_EQ(wrong, 0);
}

}  // namespace
