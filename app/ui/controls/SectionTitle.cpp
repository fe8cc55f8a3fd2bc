#include "ui/controls/SectionTitle.hpp"

#include <QVBoxLayout>

#include "ui/controls/TextLabel.hpp"
#include "ui/theme/Typography.hpp"

SectionTitle::SectionTitle(const QString& title, const std::optional<QString>& subtitle, QWidget* parent)
    : QWidget(parent) {
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(2);
    column->addWidget(textLabel(title, Typography::font(16, QFont::Bold), Foreground::primary()));
    if (subtitle) {
        QLabel* line = textLabel(*subtitle, Typography::font(TextStyle::callout), Foreground::secondary());
        line->setWordWrap(true);
        column->addWidget(line);
    }
}
