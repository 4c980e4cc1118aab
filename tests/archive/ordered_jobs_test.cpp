// The queue that hands folder jobs to workers in one order and gives them
// back to the caller in another.
#include "archive/extract/ordered_jobs.h"

#include <gtest/gtest.h>

#include <optional>
#include <thread>
#include <vector>

namespace {

using cabarchive::OrderedJobs;

std::vector<uint32_t> takeAll(OrderedJobs& queue) {
    std::vector<uint32_t> taken;
    while (const std::optional<uint32_t> job = queue.take()) taken.push_back(*job);
    return taken;
}

TEST(OrderedJobs, WorkersTakeInTheOrderGivenAndTheCallerCollectsInJobOrder) {
    OrderedJobs queue({3, 0, 2, 1});
    const std::vector<uint32_t> taken = takeAll(queue);
    EXPECT_EQ(taken, (std::vector<uint32_t>{3, 0, 2, 1}));
    // Finished by a worker in its own order, collected in job order.
    std::thread worker([&] {
        for (const uint32_t job : taken) queue.finish(job);
    });
    for (uint32_t job = 0; job < 4; ++job) EXPECT_TRUE(queue.await(job)) << job;
    worker.join();
}

TEST(OrderedJobs, AStopAfterAJobStillHandsOutTheJobsBeforeIt) {
    // Job 3, taken first, fails: 0..2 are still wanted as in one pass, 4
    // and 5 are never taken, and awaiting them does not block.
    OrderedJobs queue({3, 5, 0, 4, 2, 1});
    ASSERT_EQ(queue.take(), std::optional<uint32_t>(3));
    queue.stopAfter(3);
    const std::vector<uint32_t> rest = takeAll(queue);
    ASSERT_EQ(rest, (std::vector<uint32_t>{0, 2, 1}));
    for (const uint32_t job : {3u, 0u, 2u, 1u}) queue.finish(job);
    for (uint32_t job = 0; job < 4; ++job) EXPECT_TRUE(queue.await(job)) << job;
    EXPECT_FALSE(queue.await(4));
    EXPECT_FALSE(queue.await(5));

    // A later stop after an earlier job narrows it further; a stop after a
    // later job than one already asked changes nothing.
    OrderedJobs narrowing({4, 3, 2, 1, 0});
    ASSERT_EQ(narrowing.take(), std::optional<uint32_t>(4));
    narrowing.stopAfter(4);
    narrowing.stopAfter(1);
    narrowing.stopAfter(3);
    EXPECT_EQ(takeAll(narrowing), (std::vector<uint32_t>{1, 0}));
}

TEST(OrderedJobs, AFullStopLeavesOnlyWhatWasTaken) {
    OrderedJobs queue({1, 0, 2});
    ASSERT_EQ(queue.take(), std::optional<uint32_t>(1));
    queue.stop();
    EXPECT_EQ(queue.take(), std::nullopt);
    EXPECT_FALSE(queue.await(0));
    queue.finish(1);
    EXPECT_TRUE(queue.await(1));
    EXPECT_FALSE(queue.await(2));
}

}  // namespace
