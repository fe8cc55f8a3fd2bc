// Labels for dynamic and fixed texts: always plain text, never rich text.
#pragma once

#include <QColor>
#include <QFont>
#include <QLabel>

/// A plain-text label in `font` and `color`, one line unless the caller turns on word wrap.
QLabel* textLabel(const QString& text, const QFont& font, const QColor& color, QWidget* parent = nullptr);
