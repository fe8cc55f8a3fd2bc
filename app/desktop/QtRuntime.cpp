#include "desktop/QtRuntime.hpp"

#include <malloc.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <iostream>

#include "desktop/Desktop.hpp"
#include "desktop/QtDispatcher.hpp"
#include "platform/Platform.hpp"

namespace {
constexpr std::chrono::milliseconds quitGrace{3000};
// A scan runs on dozens of threads, and the C library would give each its
// own allocation arena, every one holding pages of its own: opening a home of
// 1.7 million files peaked about 7 MB higher. The scan allocates little per
// entry, so two arenas cost it no measurable time.
constexpr int allocationArenas = 2;

void limitAllocationArenas() {
    // Whoever set the C library's own variable keeps their choice.
    if (!Platform::environment("MALLOC_ARENA_MAX")) mallopt(M_ARENA_MAX, allocationArenas);
}
}  // namespace

QtRuntime::QtRuntime()
    : pool(std::make_shared<ThreadPool>(4)),
      dispatcher(std::make_shared<QtDispatcher>()),
      timer(std::make_shared<QtTimer>()) {
    limitAllocationArenas();
    Desktop::useExecutor(pool);
}

QtRuntime::~QtRuntime() {
    Desktop::useExecutor(nullptr);
    pool->shutdown();
}

AppRuntime QtRuntime::runtime() const { return AppRuntime{dispatcher, pool, timer, AppEngine::live()}; }

void QtRuntime::stop(AppModel* model, int status) {
    Desktop::useExecutor(nullptr);
    if (model) model->cancelAll();
    // Work that has not started never will; only running work gets the grace.
    pool->discardQueued();
    if (!pool->waitIdle(quitGrace)) {
        std::cout.flush();
        std::cerr.flush();
        std::fflush(nullptr);
        _exit(status);
    }
    pool->shutdown();
}
