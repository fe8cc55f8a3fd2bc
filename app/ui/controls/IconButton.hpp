// A symbol in a 22 × 22 square with no chrome; the whole square is clickable.
#pragma once

#include <QAbstractButton>
#include <functional>
#include <string>

class IconButton : public QAbstractButton {
    Q_OBJECT
public:
    /// `help` is the tooltip, plain text (none when empty); `action` runs on click.
    IconButton(const std::string& symbol, const QString& help, std::function<void()> action, QWidget* parent = nullptr);

    void setSymbol(const std::string& symbol);
    const std::string& symbol() const { return symbolName; }

    QSize sizeHint() const override { return {22, 22}; }
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    std::string symbolName;
};
