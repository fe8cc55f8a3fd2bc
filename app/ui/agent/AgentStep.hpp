// Pieces of the agent page's blocks: a numbered setup step, a symbol beside
// a message, and a hairline divider.
#pragma once

#include <QWidget>
#include <string>

class QBoxLayout;
class QLabel;
class SymbolView;

/// A setup step: its number's circle (a check mark once done) beside a column
/// of the title (14-point bold, shown as it is) and the step's content.
class AgentStep : public QWidget {
    Q_OBJECT
public:
    AgentStep(int number, const QString& title, QWidget* parent = nullptr);

    /// Where the step's content goes, under the title, 8 apart.
    QBoxLayout* content() const { return column; }
    void setDone(bool done);
    /// "checkmark.circle.fill" when done, else "<number>.circle".
    static std::string symbol(int number, bool done);

private:
    int number;
    bool done = false;
    SymbolView* icon;
    QBoxLayout* column;
};

/// A row of `symbol` and a word-wrapped plain-text label in `font` and `color`,
/// the label selectable when `selectable`.
class SymbolMessage : public QWidget {
    Q_OBJECT
public:
    SymbolMessage(const std::string& symbol, const QFont& font, const QColor& color, bool selectable,
                  QWidget* parent = nullptr);

    void setText(const QString& text);
    QString text() const;

private:
    QLabel* label;
};

/// A 1-point horizontal rule in the line colour, `inset` points in from the leading edge.
QWidget* makeDivider(int inset = 0, QWidget* parent = nullptr);
