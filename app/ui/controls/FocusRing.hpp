// The keyboard focus indication of every control: a ring in the accent
// colour around the control, shown only while the window's focus was last
// moved by the keyboard. It lives on a frame of its own that follows the
// focused control, so no control paints it and pointer use never shows it.
// The frame lies above everything in the window (or in the scroll area the
// control scrolls in): neither the control's own fill nor a neighbour nor
// a container's edge hides it.
#pragma once

#include <QFocusFrame>
#include <QRectF>

class QPainter;

class FocusRing : public QFocusFrame {
    Q_OBJECT
public:
    /// The ring's corner radius when a control sets none.
    static constexpr double defaultRadius = 6;
    /// Passed as a radius: the ring rounds its short ends fully (a capsule).
    static constexpr double capsule = -1;

    explicit FocusRing(QWidget* parent = nullptr);

    /// The radius of the ring around `widget` (`capsule` for round ends).
    static void setRadius(QWidget* widget, double radius);
    static double radius(const QWidget* widget);
    /// Leaves `gap` units of the background between `widget` and its ring,
    /// so the ring stands out against a fill of the ring's own colour.
    static void setGap(QWidget* widget, double gap);
    static double gap(const QWidget* widget);
    /// Marks `widget` as drawing its own indication (a list its current row,
    /// the breadcrumb its current crumb): the shared frame leaves it alone.
    static void setDrawnByWidget(QWidget* widget);
    static bool isDrawnByWidget(const QWidget* widget);

    /// Whether `widget` shows its keyboard focus now: it has the focus and
    /// its window's last focus change came from the keyboard.
    static bool isShownOn(const QWidget* widget);
    /// Strokes the ring just outside `rect` (a capsule for a negative radius);
    /// for widgets that draw their own.
    static void paint(QPainter& painter, const QRectF& rect, double radius);

protected:
    void paintEvent(QPaintEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
};
