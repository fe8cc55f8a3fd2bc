// The logo: six rounded power-diagram cells, five in paper and one in the accent.
#pragma once

#include <QWidget>

class QPainter;

class BrandMark : public QWidget {
    Q_OBJECT
public:
    /// The logo in a `size` × `size` square.
    explicit BrandMark(double size, QWidget* parent = nullptr);

    /// Draws the logo into the square of side `size` at `origin`.
    static void paint(QPainter& painter, const QPointF& origin, double size);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    double side;
};
