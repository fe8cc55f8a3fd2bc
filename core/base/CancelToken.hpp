// How a long operation learns that whoever started it wants it stopped.
#pragma once

#include <memory>
#include <mutex>

/// A cooperative cancel flag shared between an operation and whoever may stop
/// it. It only ever goes from live to cancelled.
class CancelToken {
public:
    void cancel() {
        std::lock_guard guard(lock);
        cancelled = true;
    }
    bool isCancelled() const {
        std::lock_guard guard(lock);
        return cancelled;
    }

private:
    mutable std::mutex lock;
    bool cancelled = false;
};
using CancelTokenPtr = std::shared_ptr<CancelToken>;

inline bool isCancelled(const CancelTokenPtr& token) { return token && token->isCancelled(); }
