// The model's transient notice, floating over the bottom of the window: an
// icon, the text (at most four lines, selectable), the Trash link after a
// clean, and a close button. It slides in from the bottom edge and fades,
// unless motion is off.
#pragma once

#include <QAbstractButton>
#include <QPointer>
#include <QWidget>
#include <memory>
#include <optional>

#include "model/AppModel.hpp"

class QLabel;
class QVariantAnimation;
class SymbolView;
class TextLink;

class NoticeBanner : public QWidget {
    Q_OBJECT
public:
    static constexpr int maxWidth = 640;
    static constexpr int bottomGap = 18;
    static constexpr int maxLines = 4;

    /// Lays itself over the bottom centre of `window` (its parent) and
    /// observes the model for its whole life.
    NoticeBanner(std::shared_ptr<AppModel> model, QWidget* window);
    ~NoticeBanner() override;

    QAbstractButton* closeButton() const { return close; }
    TextLink* trashLink() const { return trash; }
    QLabel* message() const { return text; }

    /// `text` wrapped at `width` in `font`, cut after `lines` lines; a cut
    /// last line ends in "…". Lines are joined by "\n".
    static QString clamp(const QString& text, const QFont& font, int width, int lines);
    /// The panel's frame in a window of `window` size: at most 640 wide,
    /// centred, `height` high, 18 above the bottom edge.
    static QRect panelRect(QSize window, int height);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void refresh();
    void place();
    void animate(bool in);
    void setProgress(double value);

    std::shared_ptr<AppModel> model;
    size_t observation = 0;
    /// The model's notice as last seen.
    std::optional<AppModel::Notice> shown;
    /// What the panel draws: the last notice, kept while the banner leaves.
    std::optional<AppModel::Notice> displayed;
    QWidget* shadow;
    SymbolView* icon;
    QLabel* text;
    TextLink* trash;
    QAbstractButton* close;
    QVariantAnimation* motion;
    double progress = 0;
};
