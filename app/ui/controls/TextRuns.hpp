// One line of text made of runs in different fonts and colours, all on one
// baseline ("其中 32.7 GB 可放心清理" with the figure in bold accent). When the
// line is too narrow, the last run is cut with an ellipsis.
#pragma once

#include <QColor>
#include <QFont>
#include <QWidget>
#include <vector>

struct TextRun {
    QString text;  ///< shown as it is
    QFont font;
    QColor color;
};

class TextRuns : public QWidget {
    Q_OBJECT
public:
    explicit TextRuns(std::vector<TextRun> runs = {}, QWidget* parent = nullptr);

    void setRuns(std::vector<TextRun> runs);
    /// The runs' texts joined.
    QString text() const;

    /// As wide as all runs, as high as the tallest run's line.
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    std::vector<TextRun> parts;
};
