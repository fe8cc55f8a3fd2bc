// Delayed work on the UI thread, injectable so tests control time.
#pragma once

#include <algorithm>
#include <functional>
#include <vector>

/// Runs a job on the UI thread after a delay. Called on the UI thread only.
class Timer {
public:
    virtual ~Timer() = default;
    virtual void after(double seconds, std::function<void()> job) = 0;
};

/// A timer whose clock moves only when the test advances it.
class ManualTimer : public Timer {
public:
    void after(double seconds, std::function<void()> job) override {
        waiting.push_back({clock + seconds, sequence++, std::move(job)});
    }
    /// Moves the clock forward, running every job that falls due on the way,
    /// earliest first (jobs due together run in the order they were set).
    void advance(double seconds) {
        const double target = clock + seconds;
        for (;;) {
            auto next = std::min_element(waiting.begin(), waiting.end(), [](const Entry& a, const Entry& b) {
                return a.due != b.due ? a.due < b.due : a.order < b.order;
            });
            if (next == waiting.end() || next->due > target) break;
            clock = next->due;
            auto job = std::move(next->job);
            waiting.erase(next);
            job();
        }
        clock = target;
    }

private:
    struct Entry {
        double due;
        long order;
        std::function<void()> job;
    };
    double clock = 0;
    long sequence = 0;
    std::vector<Entry> waiting;
};
