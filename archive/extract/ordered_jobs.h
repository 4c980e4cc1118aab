// A queue of numbered jobs taken by worker threads in an order of the
// caller's choosing (the costliest first, say, so that no worker is left
// alone with a long job at the end), whose results the calling thread
// collects in job order, each as soon as it and every job before it are
// finished.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <optional>
#include <vector>

namespace cabarchive {

class OrderedJobs {
public:
    // Jobs 0..takeOrder.size()-1, handed to workers in `takeOrder`, which
    // lists each job once.
    explicit OrderedJobs(std::vector<uint32_t> takeOrder);

    // Worker side: the next job to run, or nothing when none is left or the
    // queue was stopped.
    std::optional<uint32_t> take();
    // Worker side: `job`'s results are complete and may be read.
    void finish(uint32_t job);

    // Caller side: waits until `job` is finished and returns true, or
    // returns false when it will never be taken because the queue was
    // stopped before it.
    bool await(uint32_t job);
    // No job numbered after `job` is taken from now on; the jobs before it
    // still are, so that everything before a failure is done as in order.
    void stopAfter(uint32_t job);
    // No job not yet taken will be: workers finish what they hold.
    void stop();

private:
    bool wontBeTaken(uint32_t job) const { return !taken_[job] && (stopped_ || job > last_); }

    std::mutex lock_;
    std::condition_variable changed_;
    std::vector<uint32_t> order_;
    std::vector<bool> taken_;
    std::vector<bool> finished_;
    size_t next_ = 0;          // in order_
    uint32_t last_ = UINT32_MAX;  // the last job still to be taken
    bool stopped_ = false;
};

}  // namespace cabarchive
