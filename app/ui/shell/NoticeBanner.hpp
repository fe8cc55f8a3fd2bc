// The model's transient notice, floating over the bottom of the window: an
// icon, the text (at most four lines, selectable), the Trash link after a
// clean, and a close button. It slides in from the bottom edge and fades,
// unless motion is off.
#pragma once

#include <QAbstractButton>
#include <QPointer>
#include <QWidget>
#include <functional>
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

    /// Where the keyboard goes when the banner leaves with it and the control
    /// it came from is gone or hidden: the window's page, in practice.
    std::function<void()> focusElsewhere;

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
    /// Whether the link and the close button are Tab stops: not while the
    /// banner leaves, when a key would land on what is fading away.
    void offerFocus(bool offered);
    /// Hands the keyboard back when it is on the banner: to the control it
    /// came from, else through `focusElsewhere`.
    void handBackFocus();
    void place();
    void animate(bool in);
    void setProgress(double value);

    std::shared_ptr<AppModel> model;
    size_t observation = 0;
    /// The control that had the focus before the banner took it.
    QPointer<QWidget> focusBefore;
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
