// A button drawn as underlined accent text, with no padding or background;
// the text's own rectangle is clickable.
#pragma once

#include <QAbstractButton>

#include "ui/theme/Typography.hpp"

class TextLink : public QAbstractButton {
    Q_OBJECT
public:
    /// A link labelled `text` (plain text) in `font`.
    explicit TextLink(const QString& text, const QFont& font = Typography::font(TextStyle::body),
                      QWidget* parent = nullptr);

    /// The accent at 0.55 opacity while pressed, else at full strength.
    static QColor color(bool pressed);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString labelText;
};
