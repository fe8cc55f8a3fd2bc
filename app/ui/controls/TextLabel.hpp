// Labels for dynamic and fixed texts: always plain text, never rich text.
#pragma once

#include <QColor>
#include <QFont>
#include <QLabel>
#include <string>

/// Dynamic text as it is shown: bidirectional formatting characters are
/// written as escapes ("\\u202e"), so a file name can neither reverse how the
/// rest of its line reads nor disguise its own ending.
QString shownText(const std::string& text);

/// A plain-text label in `font` and `color`, one line unless the caller turns on word wrap.
QLabel* textLabel(const QString& text, const QFont& font, const QColor& color, QWidget* parent = nullptr);
