#include "archive/extract/ordered_jobs.h"

#include <utility>

namespace cabarchive {

OrderedJobs::OrderedJobs(std::vector<uint32_t> takeOrder)
    : order_(std::move(takeOrder)), taken_(order_.size(), false), finished_(order_.size(), false) {}

std::optional<uint32_t> OrderedJobs::take() {
    const std::lock_guard<std::mutex> guard(lock_);
    while (!stopped_ && next_ < order_.size()) {
        const uint32_t job = order_[next_++];
        if (job > last_) continue;  // after a stop: left for good
        taken_[job] = true;
        return job;
    }
    return std::nullopt;
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
    // A job taken will be finished; one not taken and stopped before never
    // will be; any other is still to be taken by a worker.
    changed_.wait(guard, [&] { return finished_[job] || wontBeTaken(job); });
    return finished_[job];
}

void OrderedJobs::stopAfter(uint32_t job) {
    {
        const std::lock_guard<std::mutex> guard(lock_);
        if (job < last_) last_ = job;
    }
    changed_.notify_all();
}

void OrderedJobs::stop() {
    {
        const std::lock_guard<std::mutex> guard(lock_);
        stopped_ = true;
    }
    changed_.notify_all();
}

}  // namespace cabarchive
