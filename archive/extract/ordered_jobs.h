// A queue of numbered jobs taken by worker threads in order, whose results
// the calling thread collects in the same order, each as soon as it and
// every job before it are finished.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <optional>
#include <vector>

namespace cabarchive {

class OrderedJobs {
public:
    explicit OrderedJobs(uint32_t count) : finished_(count, false) {}

    // Worker side: the next job to run, or nothing when none is left or the
    // queue was stopped.
    std::optional<uint32_t> take();
    // Worker side: `job`'s results are complete and may be read.
    void finish(uint32_t job);

    // Caller side: waits until `job` is finished and returns true, or
    // returns false when it was never taken because the queue was stopped.
    bool await(uint32_t job);
    // No job not yet taken will be: workers finish what they hold.
    void stop();

private:
    std::mutex lock_;
    std::condition_variable changed_;
    std::vector<bool> finished_;
    uint32_t next_ = 0;
    bool stopped_ = false;
};

}  // namespace cabarchive
