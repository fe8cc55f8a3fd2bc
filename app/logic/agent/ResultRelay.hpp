// How the agent page's objects hand background results to the UI thread
// without outliving their owner.
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>

#include "model/Dispatcher.hpp"

/// Owned by an object whose background work reports through a `Dispatcher`.
/// Background threads keep a `Handle`; a job posted through it runs on the
/// dispatcher's thread only while the owner still lives, and once the owner
/// is gone nothing more reaches the dispatcher (which then need not outlive
/// the threads). Create and destroy it on the dispatcher's thread.
class ResultRelay {
    struct State {
        /// Held while posting, so the owner (and with it the dispatcher) stays while a job is handed over.
        std::mutex lock;
        Dispatcher* dispatcher;
        /// Read without the lock when a job runs: a dispatcher may run jobs inside post().
        std::atomic<bool> open{true};
    };

public:
    class Handle {
    public:
        /// Any thread. Queues `job` for the owner's thread; dropped if the
        /// owner is gone by the time it would post or run.
        void post(std::function<void()> job) const;

    private:
        friend class ResultRelay;
        explicit Handle(std::shared_ptr<State> state) : state(std::move(state)) {}
        std::shared_ptr<State> state;
    };

    explicit ResultRelay(Dispatcher& dispatcher);
    ~ResultRelay();
    ResultRelay(const ResultRelay&) = delete;
    ResultRelay& operator=(const ResultRelay&) = delete;

    /// A handle for one background task.
    Handle handle() const { return Handle(state); }

private:
    std::shared_ptr<State> state;
};
