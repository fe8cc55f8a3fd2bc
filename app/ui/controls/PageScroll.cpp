#include "ui/controls/PageScroll.hpp"

#include <QEvent>
#include <QHBoxLayout>
#include <QPainter>
#include <QResizeEvent>
#include <QScrollBar>
#include <QVBoxLayout>
#include <algorithm>

#include "ui/controls/Shapes.hpp"
#include "ui/theme/QtTheme.hpp"

namespace {
constexpr double indicatorWidth = 5;
constexpr double indicatorInset = 3;
constexpr double minimumLength = 24;

/// Draws the capsule; transparent to the mouse, so the content stays clickable under it.
class ScrollIndicator : public QWidget {
public:
    explicit ScrollIndicator(QWidget* parent) : QWidget(parent) { setAttribute(Qt::WA_TransparentForMouseEvents); }
    QRectF capsule;

protected:
    void paintEvent(QPaintEvent*) override {
        if (capsule.isEmpty()) return;
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(Qt::NoPen);
        painter.setBrush(qColor(Theme::paper.rgb, 0.28));
        painter.drawPath(Shapes::capsule(capsule));
    }
};
}  // namespace

PageScroll::PageScroll(int spacing, QWidget* parent) : QScrollArea(parent) {
    setFrameShape(QFrame::NoFrame);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setWidgetResizable(true);
    viewport()->setAutoFillBackground(false);

    auto* content = new QWidget;
    content->setAutoFillBackground(false);
    auto* row = new QHBoxLayout(content);
    row->setContentsMargins(padding, 0, padding, padding);
    row->setSpacing(0);
    auto* holder = new QWidget;
    holder->setMaximumWidth(maximumColumnWidth);
    items = new QVBoxLayout(holder);
    items->setContentsMargins(0, 0, 0, 0);
    items->setSpacing(spacing);
    row->addWidget(holder, 1, Qt::AlignTop);
    row->addStretch(0);
    setWidget(content);

    attachOverlayIndicator(this);
}

QRectF PageScroll::indicatorRect(const QSizeF& viewport, double contentHeight, double offset) {
    if (contentHeight <= viewport.height() || viewport.height() <= 0) return {};
    const double track = viewport.height() - 2 * indicatorInset;
    const double length = std::max(minimumLength, track * viewport.height() / contentHeight);
    const double travel = contentHeight - viewport.height();
    const double top = indicatorInset + (track - length) * std::clamp(offset / travel, 0.0, 1.0);
    return {viewport.width() - indicatorInset - indicatorWidth, top, indicatorWidth, length};
}

namespace {
/// Keeps an indicator over a scroll area's viewport in step with its scroll bar.
class IndicatorPlacer : public QObject {
public:
    IndicatorPlacer(QScrollArea* area, ScrollIndicator* indicator) : QObject(area), area(area), indicator(indicator) {
        area->installEventFilter(this);
    }
    void place() {
        indicator->setGeometry(area->viewport()->geometry());
        const QScrollBar* bar = area->verticalScrollBar();
        const double content = area->viewport()->height() + bar->maximum();
        indicator->capsule = PageScroll::indicatorRect(area->viewport()->size(), content, bar->value());
        indicator->raise();
        indicator->update();
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched == area && (event->type() == QEvent::Resize || event->type() == QEvent::Show)) place();
        return false;
    }

private:
    QScrollArea* area;
    ScrollIndicator* indicator;
};
}  // namespace

void attachOverlayIndicator(QScrollArea* area) {
    area->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    auto* placer = new IndicatorPlacer(area, new ScrollIndicator(area));
    QObject::connect(area->verticalScrollBar(), &QScrollBar::valueChanged, placer, [placer] { placer->place(); });
    QObject::connect(area->verticalScrollBar(), &QScrollBar::rangeChanged, placer, [placer] { placer->place(); });
}
