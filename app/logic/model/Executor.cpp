#include "model/Executor.hpp"

ThreadPool::ThreadPool(size_t threads) {
    for (size_t i = 0; i < threads; ++i) workers.emplace_back([this] { work(); });
}

ThreadPool::~ThreadPool() { shutdown(); }

void ThreadPool::submit(Priority priority, std::function<void()> job) {
    {
        std::lock_guard guard(lock);
        if (stopping) return;
        (priority == Priority::userInitiated ? urgent : regular).push_back(std::move(job));
    }
    wake.notify_one();
}

bool ThreadPool::waitIdle(std::chrono::milliseconds limit) {
    std::unique_lock guard(lock);
    return idle.wait_for(guard, limit, [this] { return running == 0 && urgent.empty() && regular.empty(); });
}

void ThreadPool::discardQueued() {
    std::deque<std::function<void()>> dropped;
    {
        std::lock_guard guard(lock);
        dropped.swap(urgent);
        dropped.insert(dropped.end(), std::make_move_iterator(regular.begin()), std::make_move_iterator(regular.end()));
        regular.clear();
        if (running == 0) idle.notify_all();
    }
    // The jobs' captures are released outside the lock.
}

void ThreadPool::shutdown() {
    {
        std::lock_guard guard(lock);
        stopping = true;
        urgent.clear();
        regular.clear();
    }
    wake.notify_all();
    for (auto& worker : workers)
        if (worker.joinable()) worker.join();
    workers.clear();
}

void ThreadPool::work() {
    std::unique_lock guard(lock);
    for (;;) {
        wake.wait(guard, [this] { return stopping || !urgent.empty() || !regular.empty(); });
        if (stopping) return;
        auto& queue = urgent.empty() ? regular : urgent;
        auto job = std::move(queue.front());
        queue.pop_front();
        ++running;
        guard.unlock();
        job();
        // The job's captures are released before the pool reports idle.
        job = nullptr;
        guard.lock();
        --running;
        if (running == 0 && urgent.empty() && regular.empty()) idle.notify_all();
    }
}

void ManualExecutor::submit(Priority priority, std::function<void()> job) {
    submitted.push_back(priority);
    jobs.push_back(std::move(job));
}

bool ManualExecutor::runNext() {
    if (jobs.empty()) return false;
    auto job = std::move(jobs.front());
    jobs.pop_front();
    job();
    return true;
}

bool ManualExecutor::runNewest() {
    if (jobs.empty()) return false;
    auto job = std::move(jobs.back());
    jobs.pop_back();
    job();
    return true;
}

int ManualExecutor::runAll() {
    int ran = 0;
    while (runNext()) ++ran;
    return ran;
}
