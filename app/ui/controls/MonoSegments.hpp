// A capsule segmented control: one capsule per option, the selected one
// filled with the accent. Clicking an option selects it, immediately; so do
// Left and Right while it has the keyboard focus (one Tab stop).
#pragma once

#include <QWidget>
#include <optional>
#include <vector>

class MonoSegments : public QWidget {
    Q_OBJECT
public:
    struct Option {
        QString value;
        QString title;  ///< shown as it is
    };

    MonoSegments(std::vector<Option> options, const QString& selection, QWidget* parent = nullptr);

    const QString& selection() const { return selected; }
    /// Changes the selection without emitting `selectionChanged`.
    void setSelection(const QString& value);
    const std::vector<Option>& options() const { return choices; }

    /// The capsule of each option, given each title's width and the font's line height:
    /// 13 × 5 points around each title, 2 points apart, 3 points inside the outline.
    static std::vector<QRectF> segmentRects(const std::vector<double>& titleWidths, double lineHeight);
    /// The option under `position`, if any (the capsules are the clickable areas).
    std::optional<size_t> optionAt(const QPointF& position) const;
    /// Each option's capsule in the control's coordinates.
    std::vector<QRectF> optionRects() const { return rects(); }
    /// Selects option `index` as a click on it does, emitting `selectionChanged`.
    void choose(size_t index);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

Q_SIGNALS:
    /// A click on an option, also on the one already selected.
    void selectionChanged(const QString& value);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    std::vector<QRectF> rects() const;

    std::vector<Option> choices;
    QString selected;
};
