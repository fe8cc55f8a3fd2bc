#include "ui/agent/FlowExamples.hpp"

#include <QPainter>
#include <cmath>

#include "ui/controls/ResponsiveGrid.hpp"
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
    auto* grid = new ResponsiveGrid(minimumColumn, spacing, spacing, this);
    for (const QString& example : examples) {
        auto* chip = new ExampleChip(example, this);
        connect(chip, &QAbstractButton::clicked, this, [pick, example] {
            if (pick) pick(example);
        });
        grid->addWidget(chip);
    }
    QSizePolicy policy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    policy.setHeightForWidth(true);
    setSizePolicy(policy);
}
