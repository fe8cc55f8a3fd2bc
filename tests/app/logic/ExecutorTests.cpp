#include <gtest/gtest.h>

#include <future>
#include <mutex>

#include "model/Executor.hpp"

TEST(ThreadPool, UserInitiatedWorkOvertakesQueuedWorkAndDroppedWorkNeverRuns) {
    ThreadPool pool(1);
    std::promise<void> release;
    std::shared_future<void> gate = release.get_future().share();
    std::mutex lock;
    std::vector<std::string> order;
    auto record = [&](std::string name) {
        return [&, name] {
            std::lock_guard guard(lock);
            order.push_back(name);
        };
    };
    pool.submit(Priority::standard, [gate] { gate.wait(); });  // occupies the only worker
    pool.submit(Priority::standard, record("background"));
    pool.submit(Priority::userInitiated, record("user"));
    EXPECT_FALSE(pool.waitIdle(std::chrono::milliseconds(20)));
    release.set_value();
    EXPECT_TRUE(pool.waitIdle(std::chrono::seconds(10)));
    EXPECT_EQ(order, (std::vector<std::string>{"user", "background"}));

    std::promise<void> second;
    std::shared_future<void> secondGate = second.get_future().share();
    pool.submit(Priority::standard, [secondGate] { secondGate.wait(); });
    pool.submit(Priority::standard, record("dropped"));
    pool.discardQueued();  // whether or not the blocker had started, "dropped" had not
    second.set_value();
    pool.shutdown();
    pool.submit(Priority::userInitiated, record("late"));
    EXPECT_TRUE(pool.waitIdle(std::chrono::milliseconds(0)));
    EXPECT_EQ(order.size(), 2u);
}
