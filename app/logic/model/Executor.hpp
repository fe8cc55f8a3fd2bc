// Where the model's engine work runs: off the UI thread, on a pool of the
// application's own, so a slow scan never stalls the window.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

/// How soon a job should start relative to others waiting: work a user is
/// watching for (the start-up and the scan) goes ahead of background refreshes.
enum class Priority { userInitiated, standard };

/// Runs jobs away from the caller's thread. Any thread may submit.
class Executor {
public:
    virtual ~Executor() = default;
    virtual void submit(Priority priority, std::function<void()> job) = 0;
};

/// A fixed set of worker threads taking jobs from two FIFO queues, the
/// user-initiated one first. Jobs must not throw.
class ThreadPool : public Executor {
public:
    explicit ThreadPool(size_t threads = 4);
    /// Same as shutdown(): queued jobs are dropped, running ones finish.
    ~ThreadPool() override;
    ThreadPool(const ThreadPool&) = delete;
    ThreadPool& operator=(const ThreadPool&) = delete;

    /// Ignored after shutdown().
    void submit(Priority priority, std::function<void()> job) override;
    /// Waits at most `limit` for every queued and running job to finish;
    /// true when the pool is idle.
    bool waitIdle(std::chrono::milliseconds limit);
    /// Drops the jobs that have not started; running ones go on.
    void discardQueued();
    /// Drops queued jobs, lets running ones finish and joins every worker.
    void shutdown();

private:
    void work();
    std::mutex lock;
    std::condition_variable wake;
    std::condition_variable idle;
    std::deque<std::function<void()>> urgent;
    std::deque<std::function<void()>> regular;
    size_t running = 0;
    bool stopping = false;
    std::vector<std::thread> workers;
};

/// An executor whose jobs run only when the test says so, on the test's
/// thread, in submission order (priority is recorded, not honoured).
class ManualExecutor : public Executor {
public:
    void submit(Priority priority, std::function<void()> job) override;
    /// Runs the oldest queued job; false when none is queued.
    bool runNext();
    /// Runs the most recently queued job, so a test can let a newer request
    /// finish before an older one; false when none is queued.
    bool runNewest();
    /// Runs jobs until none is queued (jobs may submit more); returns how many ran.
    int runAll();
    size_t pending() const { return jobs.size(); }
    /// The priority of every job submitted so far, in order.
    const std::vector<Priority>& priorities() const { return submitted; }

private:
    std::deque<std::function<void()>> jobs;
    std::vector<Priority> submitted;
};
