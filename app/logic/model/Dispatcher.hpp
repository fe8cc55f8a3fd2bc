// How results of background work come back to the thread that owns the model.
#pragma once

#include <deque>
#include <functional>
#include <mutex>

/// Runs jobs on the owning (UI) thread, in the order they were posted. Any
/// thread may post.
class Dispatcher {
public:
    virtual ~Dispatcher() = default;
    virtual void post(std::function<void()> job) = 0;
};

/// A dispatcher whose jobs run only when the test drains it, so a test decides
/// exactly when a background result lands.
class ManualDispatcher : public Dispatcher {
public:
    void post(std::function<void()> job) override {
        std::lock_guard guard(lock);
        queue.push_back(std::move(job));
    }
    /// Runs jobs until none is queued (jobs may post more); returns how many ran.
    int drain() {
        int ran = 0;
        while (auto job = take()) {
            job();
            ++ran;
        }
        return ran;
    }
    size_t pending() const {
        std::lock_guard guard(lock);
        return queue.size();
    }

private:
    std::function<void()> take() {
        std::lock_guard guard(lock);
        if (queue.empty()) return {};
        auto job = std::move(queue.front());
        queue.pop_front();
        return job;
    }
    mutable std::mutex lock;
    std::deque<std::function<void()>> queue;
};
