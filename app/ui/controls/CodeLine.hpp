// A command or configuration text in a dark monospaced box, with a button
// that copies it.
#pragma once

#include <QWidget>

class IconButton;
class QLabel;

class CodeLine : public QWidget {
    Q_OBJECT
public:
    /// `text` is shown (every line of it, selectable) and copied as it is;
    /// `copyName` tells a screen reader what the copy button copies.
    explicit CodeLine(const QString& text, const QString& copyName, QWidget* parent = nullptr);

    void setText(const QString& text);
    const QString& text() const { return content; }
    /// Whether the text has been copied; stays true once set.
    bool copied() const { return isCopied; }
    /// Puts the text on the clipboard as plain text and shows the check mark.
    void copy();

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString content;
    bool isCopied = false;
    QLabel* label;
    IconButton* button;
};
