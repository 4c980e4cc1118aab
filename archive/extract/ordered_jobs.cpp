#include "archive/extract/ordered_jobs.h"

namespace cabarchive {

std::optional<uint32_t> OrderedJobs::take() {
    const std::lock_guard<std::mutex> guard(lock_);
    if (stopped_ || next_ >= finished_.size()) return std::nullopt;
    return next_++;
}

void OrderedJobs::finish(uint32_t job) {
    {
        const std::lock_guard<std::mutex> guard(lock_);
        finished_[job] = true;
    }
    changed_.notify_all();
}

bool OrderedJobs::await(uint32_t job) {
    std::unique_lock<std::mutex> guard(lock_);
    // A job below next_ was taken and will be finished; one at or above it
    // is never taken once the queue is stopped.
    changed_.wait(guard, [&] { return finished_[job] || (stopped_ && job >= next_); });
    return finished_[job];
}

void OrderedJobs::stop() {
    {
        const std::lock_guard<std::mutex> guard(lock_);
        stopped_ = true;
    }
    changed_.notify_all();
}

}  // namespace cabarchive
