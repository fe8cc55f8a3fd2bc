// The model's dispatcher and timer on the Qt event loop.
#pragma once

#include <QObject>
#include <memory>

#include "model/Dispatcher.hpp"
#include "model/Timer.hpp"

/// Posts jobs to the thread that created it (the UI thread), through its own
/// context object, as queued calls: they run in the order they were posted.
/// Must be destroyed on that thread, after every poster has stopped.
class QtDispatcher : public Dispatcher {
public:
    QtDispatcher();
    void post(std::function<void()> job) override;

private:
    std::unique_ptr<QObject> context;
};

/// Single-shot timers on the UI thread; a pending job is dropped when the
/// timer object goes away.
class QtTimer : public Timer {
public:
    QtTimer();
    void after(double seconds, std::function<void()> job) override;

private:
    std::unique_ptr<QObject> context;
};
