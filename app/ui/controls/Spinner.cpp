#include "ui/controls/Spinner.hpp"

#include <QPainter>
#include <QTimerEvent>

#include "ui/theme/QtTheme.hpp"

namespace {
constexpr int spokes = 12;
constexpr int interval = 83;  // one spoke per tick: a turn a second
}  // namespace

Spinner::Spinner(ControlSize size, QWidget* parent) : QWidget(parent) { setFixedSize(side(size), side(size)); }

int Spinner::side(ControlSize size) {
    switch (size) {
    case ControlSize::mini: return 10;
    case ControlSize::small: return 16;
    case ControlSize::regular: return 24;
    default: return 32;
    }
}

void Spinner::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const double radius = width() / 2.0;
    painter.translate(radius, radius);
    const double thickness = std::max(1.5, radius * 0.16);
    for (int i = 0; i < spokes; ++i) {
        const int age = (step - i + spokes) % spokes;
        QPen pen(qColor(Theme::paper.rgb, 0.9 - 0.06 * age), thickness, Qt::SolidLine, Qt::RoundCap);
        painter.setPen(pen);
        painter.save();
        painter.rotate(360.0 * i / spokes);
        painter.drawLine(QPointF(0, -radius * 0.48), QPointF(0, -radius + thickness / 2));
        painter.restore();
    }
}

void Spinner::showEvent(QShowEvent*) {
    if (!timer) timer = startTimer(interval);
}

void Spinner::hideEvent(QHideEvent*) {
    if (timer) killTimer(timer);
    timer = 0;
}

void Spinner::timerEvent(QTimerEvent* event) {
    if (event->timerId() != timer) return QWidget::timerEvent(event);
    step = (step + 1) % spokes;
    update();
}
