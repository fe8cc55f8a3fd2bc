// The spinning progress indicator: twelve fading spokes turning while shown.
#pragma once

#include <QWidget>

#include "ui/controls/MonoButton.hpp"

class Spinner : public QWidget {
    Q_OBJECT
public:
    explicit Spinner(ControlSize size = ControlSize::regular, QWidget* parent = nullptr);

    /// The indicator's side in points: 10 mini, 16 small, 24 regular, 32 large and up.
    static int side(ControlSize size);

protected:
    void paintEvent(QPaintEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void timerEvent(QTimerEvent* event) override;

private:
    int step = 0;
    int timer = 0;
};
