#include "ui/controls/PageScroll.hpp"

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
    explicit ScrollIndicator(QWidget* parent) : QWidget(parent) {
        setAttribute(Qt::WA_TransparentForMouseEvents);
    }
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

    indicator = new ScrollIndicator(this);
    connect(verticalScrollBar(), &QScrollBar::valueChanged, this, &PageScroll::placeIndicator);
    connect(verticalScrollBar(), &QScrollBar::rangeChanged, this, &PageScroll::placeIndicator);
}

QRectF PageScroll::indicatorRect(const QSizeF& viewport, double contentHeight, double offset) {
    if (contentHeight <= viewport.height() || viewport.height() <= 0) return {};
    const double track = viewport.height() - 2 * indicatorInset;
    const double length = std::max(minimumLength, track * viewport.height() / contentHeight);
    const double travel = contentHeight - viewport.height();
    const double top = indicatorInset + (track - length) * std::clamp(offset / travel, 0.0, 1.0);
    return {viewport.width() - indicatorInset - indicatorWidth, top, indicatorWidth, length};
}

void PageScroll::resizeEvent(QResizeEvent* event) {
    QScrollArea::resizeEvent(event);
    placeIndicator();
}

void PageScroll::placeIndicator() {
    auto* view = static_cast<ScrollIndicator*>(indicator);
    view->setGeometry(viewport()->geometry());
    const QScrollBar* bar = verticalScrollBar();
    const double content = viewport()->height() + bar->maximum();
    view->capsule = indicatorRect(viewport()->size(), content, bar->value());
    view->raise();
    view->update();
}
