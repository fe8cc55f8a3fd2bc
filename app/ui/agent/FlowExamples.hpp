// The example questions of the agent page as outlined chips in a grid whose
// columns adapt to the width.
#pragma once

#include <QAbstractButton>
#include <functional>
#include <vector>

/// One example: its text on one line in an outlined capsule that takes clicks everywhere.
class ExampleChip : public QAbstractButton {
    Q_OBJECT
public:
    explicit ExampleChip(const QString& text, QWidget* parent = nullptr);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return {0, sizeHint().height()}; }

protected:
    void paintEvent(QPaintEvent* event) override;
    bool hitButton(const QPoint& position) const override;
};

/// The chips in as many columns of at least 300 as fit with 8 between them
/// (at least one), sharing the width equally, filled row by row, rows 8 apart.
class FlowExamples : public QWidget {
    Q_OBJECT
public:
    static constexpr int minimumColumn = 300;
    static constexpr int spacing = 8;

    /// One chip per example (the examples are distinct); clicking one calls `pick` with its text.
    FlowExamples(const std::vector<QString>& examples, std::function<void(const QString&)> pick,
                 QWidget* parent = nullptr);
};
