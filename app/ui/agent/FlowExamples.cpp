#include "ui/agent/FlowExamples.hpp"

#include <QPainter>
#include <algorithm>
#include <cmath>

#include "ui/controls/Shapes.hpp"
#include "ui/theme/QtTheme.hpp"
#include "ui/theme/Typography.hpp"

namespace {
constexpr int horizontalPadding = 12;
constexpr int verticalPadding = 7;

QFont chipFont() { return Typography::font(TextStyle::callout); }
}  // namespace

ExampleChip::ExampleChip(const QString& text, QWidget* parent) : QAbstractButton(parent) {
    setText(text);
    setFont(chipFont());
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::TabFocus);
}

QSize ExampleChip::sizeHint() const {
    const int width = int(std::ceil(Typography::width(font(), text()))) + 2 * horizontalPadding;
    return {width, Typography::lineHeight(font()) + 2 * verticalPadding};
}

bool ExampleChip::hitButton(const QPoint& position) const { return Shapes::capsule(QRectF(rect())).contains(position); }

void ExampleChip::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QColor paper = qColor(Theme::paper);
    Shapes::fillCapsule(painter, QRectF(rect()), isDown() ? qColor(Theme::paper.rgb, 0.08) : Qt::transparent,
                        qColor(Theme::paper.rgb, 0.25));
    painter.setFont(font());
    painter.setPen(paper);
    const QRectF box = QRectF(rect()).adjusted(horizontalPadding, 0, -horizontalPadding, 0);
    const QString shown = painter.fontMetrics().elidedText(text(), Qt::ElideRight, int(box.width()));
    Typography::drawLine(painter, box, shown, Qt::AlignLeft);
}

FlowExamples::FlowExamples(const std::vector<QString>& examples, std::function<void(const QString&)> pick,
                           QWidget* parent)
    : QWidget(parent) {
    for (const QString& example : examples) {
        auto* chip = new ExampleChip(example, this);
        connect(chip, &QAbstractButton::clicked, this, [pick, example] {
            if (pick) pick(example);
        });
        chips.push_back(chip);
    }
    QSizePolicy policy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    policy.setHeightForWidth(true);
    setSizePolicy(policy);
}

std::vector<QRect> FlowExamples::cells(int width, int count, int chipHeight) {
    const int columns = std::max(1, (width + spacing) / (minimumColumn + spacing));
    const double columnWidth = double(width - (columns - 1) * spacing) / columns;
    std::vector<QRect> result;
    for (int i = 0; i < count; ++i) {
        const int column = i % columns, row = i / columns;
        const int left = int(std::lround(column * (columnWidth + spacing)));
        const int right = int(std::lround(column * (columnWidth + spacing) + columnWidth));
        result.emplace_back(left, row * (chipHeight + spacing), right - left, chipHeight);
    }
    return result;
}

int FlowExamples::heightForWidth(int width) const {
    if (chips.empty()) return 0;
    const auto all = cells(width, int(chips.size()), chips.front()->sizeHint().height());
    return all.back().bottom() + 1;
}

QSize FlowExamples::sizeHint() const { return {minimumColumn, heightForWidth(minimumColumn)}; }

void FlowExamples::resizeEvent(QResizeEvent*) {
    if (chips.empty()) return;
    const auto all = cells(width(), int(chips.size()), chips.front()->sizeHint().height());
    for (size_t i = 0; i < chips.size(); ++i) chips[i]->setGeometry(all[i]);
}
