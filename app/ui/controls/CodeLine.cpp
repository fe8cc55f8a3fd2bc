#include "ui/controls/CodeLine.hpp"

#include <QClipboard>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>

#include "text/Localization.hpp"
#include "ui/controls/IconButton.hpp"
#include "ui/controls/Shapes.hpp"
#include "ui/controls/TextLabel.hpp"
#include "ui/theme/QtTheme.hpp"
#include "ui/theme/Typography.hpp"

namespace {
constexpr double cornerRadius = 11;
}

CodeLine::CodeLine(const QString& text, const QString& copyName, QWidget* parent) : QWidget(parent), content(text) {
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(12, 8, 6, 8);
    row->setSpacing(8);
    label = textLabel(text, Typography::mono(Typography::size(TextStyle::caption)), Foreground::primary());
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    label->setWordWrap(true);
    label->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    row->addWidget(label, 1, Qt::AlignTop);
    button = new IconButton("doc.on.doc", QString::fromStdString(L("拷贝")), [this] { copy(); });
    // Seen, the button copies the box beside it; heard, it must say which.
    button->setAccessibleName(copyName);
    row->addWidget(button, 0, Qt::AlignTop);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Maximum);
}

void CodeLine::setText(const QString& text) {
    if (text == content) return;
    content = text;
    label->setText(text);
}

void CodeLine::copy() {
    QClipboard* clipboard = QGuiApplication::clipboard();
    clipboard->clear();
    clipboard->setText(content);
    isCopied = true;
    button->setSymbol("checkmark");
}

void CodeLine::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    Shapes::fillRounded(painter, QRectF(rect()), cornerRadius, QColor::fromRgbF(0, 0, 0, 0.45f), qColor(Theme::line));
}
