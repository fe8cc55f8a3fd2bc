#include "desktop/QtDispatcher.hpp"

#include <QMetaObject>
#include <QTimer>
#include <cmath>

QtDispatcher::QtDispatcher() : context(std::make_unique<QObject>()) {}

void QtDispatcher::post(std::function<void()> job) {
    QMetaObject::invokeMethod(
        context.get(), [job = std::move(job)] { job(); }, Qt::QueuedConnection);
}

QtTimer::QtTimer() : context(std::make_unique<QObject>()) {}

void QtTimer::after(double seconds, std::function<void()> job) {
    const int milliseconds = static_cast<int>(std::lround(std::max(0.0, seconds) * 1000));
    QTimer::singleShot(milliseconds, context.get(), [job = std::move(job)] { job(); });
}
