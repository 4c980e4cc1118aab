// Keeping each piece of a benchmark's work at its fastest over all passes: a
// pass that other work on the machine interrupted says nothing about the
// decoder, and on a shared machine a whole pass is seldom left alone, one
// piece often is.
#pragma once

#include <algorithm>
#include <chrono>
#include <cstddef>
#include <vector>

namespace bench {

using Clock = std::chrono::steady_clock;

// The fastest time seen for each piece, in seconds.
using PieceTimes = std::vector<double>;

// The sum of the pieces' fastest times.
inline double total(const PieceTimes& times) {
    double sum = 0;
    for (double t : times) sum += t;
    return sum;
}

// Keeps the time since `start` for `piece` when it is its fastest yet.
inline void keepFastest(PieceTimes& best, size_t piece, Clock::time_point start) {
    best[piece] = std::min(best[piece], std::chrono::duration<double>(Clock::now() - start).count());
}

}  // namespace bench
