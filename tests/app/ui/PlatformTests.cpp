// The desktop calls that may wait run on the application's pool, never on a
// thread of their own that would outlive the application's shutdown.
#include <gtest/gtest.h>

#include "model/Executor.hpp"
#include "desktop/Desktop.hpp"

TEST(Desktop, RevealRunsOnTheApplicationsPool) {
    auto pool = std::make_shared<ManualExecutor>();
    Desktop::useExecutor(pool);
    Desktop::reveal("/nonexistent/ostrevane-reveal-test");
    Desktop::useExecutor(nullptr);
    // Queued there, so stopping the pool drops it or waits for it; it is dropped unrun here.
    EXPECT_EQ(pool->pending(), 1u);
    EXPECT_EQ(pool->priorities(), std::vector<Priority>{Priority::userInitiated});
}
