#include "ui/controls/TextRuns.hpp"

#include <QFontMetricsF>
#include <QPainter>
#include <cmath>

#include "ui/theme/Typography.hpp"

TextRuns::TextRuns(std::vector<TextRun> runs, QWidget* parent) : QWidget(parent), parts(std::move(runs)) {
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
}

void TextRuns::setRuns(std::vector<TextRun> runs) {
    parts = std::move(runs);
    updateGeometry();
    update();
}

QString TextRuns::text() const {
    QString joined;
    for (const TextRun& run : parts) joined += run.text;
    return joined;
}

QSize TextRuns::sizeHint() const {
    double width = 0;
    int height = 0;
    for (const TextRun& run : parts) {
        width += Typography::width(run.font, run.text);
        height = std::max(height, Typography::lineHeight(run.font));
    }
    return QSize(int(std::ceil(width)), height);
}

QSize TextRuns::minimumSizeHint() const { return QSize(0, sizeHint().height()); }

void TextRuns::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::TextAntialiasing);
    // One baseline for all runs: the one that centres the largest font.
    QFont largest = parts.empty() ? font() : parts.front().font;
    for (const TextRun& run : parts)
        if (run.font.pixelSize() > largest.pixelSize()) largest = run.font;
    const double baseline = Typography::baseline(largest, height() / 2.0);
    double x = 0;
    for (size_t i = 0; i < parts.size(); ++i) {
        const TextRun& run = parts[i];
        QString shown = run.text;
        const double room = width() - x;
        if (Typography::width(run.font, shown) > room)
            shown = QFontMetricsF(run.font).elidedText(shown, Qt::ElideRight, std::max(0.0, room));
        painter.setFont(run.font);
        painter.setPen(run.color);
        painter.drawText(QPointF(x, baseline), shown);
        x += Typography::width(run.font, shown);
        if (x >= width()) break;
    }
}
