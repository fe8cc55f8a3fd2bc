// One line of plain text that shortens itself with an ellipsis (in the middle
// for paths) instead of widening its row.
#pragma once

#include <QColor>
#include <QWidget>

class ElidedLabel : public QWidget {
    Q_OBJECT
public:
    ElidedLabel(const QString& text, const QFont& font, const QColor& color, Qt::TextElideMode mode = Qt::ElideMiddle,
                QWidget* parent = nullptr);

    void setText(const QString& text);
    const QString& text() const { return fullText; }
    /// Right-aligns the text when the label is wider than the text.
    void setAlignRight(bool right);

    /// The full text's width; the label may shrink to a few characters.
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString fullText;
    QColor color;
    Qt::TextElideMode mode;
    bool alignRight = false;
};
