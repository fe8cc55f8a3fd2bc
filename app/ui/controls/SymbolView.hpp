// A symbol centred in a fixed frame, for rows and labels built of widgets.
#pragma once

#include <QColor>
#include <QWidget>
#include <string>

class SymbolView : public QWidget {
    Q_OBJECT
public:
    /// `symbol` drawn for text of `textSize` points in `color`, centred in a
    /// frame of `frame` (each side at least the symbol's own square).
    SymbolView(const std::string& symbol, const QColor& color, double textSize, QSizeF frame = {},
               QWidget* parent = nullptr);

    void setSymbol(const std::string& symbol, const QColor& color);

    QSize sizeHint() const override { return frameSize; }
    QSize minimumSizeHint() const override { return frameSize; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    std::string symbolName;
    QColor color;
    double textSize;
    QSize frameSize;
};
