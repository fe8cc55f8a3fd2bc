#include "ui/controls/MonoSegments.hpp"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <cmath>

#include "ui/controls/FocusRing.hpp"
#include "ui/controls/Shapes.hpp"
#include "ui/theme/QtTheme.hpp"
#include "ui/theme/Typography.hpp"

namespace {
constexpr double outlineInset = 3;
constexpr double spacing = 2;
constexpr double horizontalPadding = 13;
constexpr double verticalPadding = 5;

QFont titleFont() { return Typography::font(TextStyle::callout, QFont::DemiBold); }
}  // namespace

MonoSegments::MonoSegments(std::vector<Option> options, const QString& selection, QWidget* parent)
    : QWidget(parent), choices(std::move(options)), selected(selection) {
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    setFocusPolicy(Qt::TabFocus);
    FocusRing::setRadius(this, FocusRing::capsule);
}

void MonoSegments::setSelection(const QString& value) {
    selected = value;
    update();
}

std::vector<QRectF> MonoSegments::segmentRects(const std::vector<double>& titleWidths, double lineHeight) {
    std::vector<QRectF> rects;
    double x = outlineInset;
    for (double width : titleWidths) {
        const double segmentWidth = width + 2 * horizontalPadding;
        rects.emplace_back(x, outlineInset, segmentWidth, lineHeight + 2 * verticalPadding);
        x += segmentWidth + spacing;
    }
    return rects;
}

std::vector<QRectF> MonoSegments::rects() const {
    std::vector<double> widths;
    for (const Option& option : choices) widths.push_back(Typography::width(titleFont(), option.title));
    return segmentRects(widths, Typography::lineHeight(titleFont()));
}

std::optional<size_t> MonoSegments::optionAt(const QPointF& position) const {
    const auto all = rects();
    for (size_t i = 0; i < all.size(); ++i) {
        if (Shapes::capsule(all[i]).contains(position)) return i;
    }
    return std::nullopt;
}

QSize MonoSegments::sizeHint() const {
    const auto all = rects();
    const double height = Typography::lineHeight(titleFont()) + 2 * verticalPadding + 2 * outlineInset;
    const double width = all.empty() ? 2 * outlineInset : all.back().right() + outlineInset;
    return QSize(int(std::ceil(width)), int(std::ceil(height)));
}

void MonoSegments::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    if (!isEnabled()) painter.setOpacity(0.35);
    Shapes::fillCapsule(painter, QRectF(rect()), Qt::transparent, qColor(Theme::paper.rgb, 0.3));
    painter.setFont(titleFont());
    const auto all = rects();
    for (size_t i = 0; i < all.size(); ++i) {
        const bool isSelected = choices[i].value == selected;
        if (isSelected) Shapes::fillCapsule(painter, all[i], qColor(Theme::accent), Qt::transparent);
        painter.setPen(qColor(isSelected ? Theme::ink : Theme::paper));
        Typography::drawLine(painter, all[i], choices[i].title, Qt::AlignHCenter);
    }
}

void MonoSegments::mousePressEvent(QMouseEvent* event) {
    const auto index = optionAt(event->position());
    if (!index || event->button() != Qt::LeftButton) return QWidget::mousePressEvent(event);
    choose(*index);
}

void MonoSegments::choose(size_t index) {
    if (index >= choices.size()) return;
    selected = choices[index].value;
    update();
    Q_EMIT selectionChanged(selected);
}

void MonoSegments::keyPressEvent(QKeyEvent* event) {
    const int step = event->key() == Qt::Key_Left ? -1 : event->key() == Qt::Key_Right ? 1 : 0;
    if (step == 0 || choices.empty() || event->modifiers() != Qt::NoModifier) return QWidget::keyPressEvent(event);
    size_t current = 0;
    bool found = false;
    for (size_t i = 0; i < choices.size(); ++i) {
        if (choices[i].value != selected) continue;
        current = i;
        found = true;
    }
    // Without a selection, Right starts at the first option and Left at the last.
    const long next = found ? long(current) + step : (step > 0 ? 0 : long(choices.size()) - 1);
    if (next < 0 || next >= long(choices.size())) return;
    choose(size_t(next));
}
