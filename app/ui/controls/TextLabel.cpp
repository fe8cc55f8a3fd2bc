#include "ui/controls/TextLabel.hpp"

#include "base/DisplayText.hpp"

QString shownText(const std::string& text) { return QString::fromStdString(DisplayText::escapingBidiControls(text)); }

QLabel* textLabel(const QString& text, const QFont& font, const QColor& color, QWidget* parent) {
    auto* label = new QLabel(parent);
    label->setTextFormat(Qt::PlainText);
    label->setText(text);
    label->setFont(font);
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, color);
    palette.setColor(QPalette::Text, color);
    label->setPalette(palette);
    return label;
}
