// A 1-point divider in the line colour, across a row or down a column.
#pragma once

#include <QWidget>

class Divider : public QWidget {
    Q_OBJECT
public:
    /// Qt::Horizontal spans a column's width (1 point high); Qt::Vertical a row's height.
    explicit Divider(Qt::Orientation orientation, QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;
};
