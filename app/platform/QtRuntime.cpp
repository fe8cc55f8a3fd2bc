#include "platform/QtRuntime.hpp"

#include <unistd.h>

#include <cstdio>
#include <iostream>

#include "platform/Desktop.hpp"
#include "platform/QtDispatcher.hpp"

namespace {
constexpr std::chrono::milliseconds quitGrace{3000};
}

QtRuntime::QtRuntime()
    : pool(std::make_shared<ThreadPool>(4)), dispatcher(std::make_shared<QtDispatcher>()),
      timer(std::make_shared<QtTimer>()) {
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
