// The application's runtime on Qt: the pool engine work runs on, the
// dispatcher and timer that bring results back, and the orderly stop.
#pragma once

#include <memory>

#include "model/AppModel.hpp"

class ThreadPool;

/// Owns the executor the model's jobs, the agent page's checks and the
/// desktop calls run on. Create it on the UI thread after the QApplication;
/// call stop() before the QApplication goes away. Creating it caps the C
/// library's allocation arenas for the process (unless MALLOC_ARENA_MAX says
/// otherwise), which keeps a scan's many threads from each holding pages of
/// their own.
class QtRuntime {
public:
    QtRuntime();
    ~QtRuntime();
    /// A runtime for a model, bound to the real engine.
    AppRuntime runtime() const;
    /// Cancels the model's scans and backups, drops engine work that has not
    /// started, waits briefly for running work and joins the pool. When work is still running after the
    /// wait, ends the process at once with `status` (after flushing the
    /// standard streams), so no engine thread outlives static destruction.
    void stop(AppModel* model, int status);

private:
    std::shared_ptr<ThreadPool> pool;
    std::shared_ptr<Dispatcher> dispatcher;
    std::shared_ptr<Timer> timer;
};
