#include "ui/shell/NoticeBanner.hpp"

#include <QApplication>
#include <QEvent>
#include <QGraphicsOpacityEffect>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QTextLayout>
#include <QVariantAnimation>
#include <cmath>

#include "text/Localization.hpp"
#include "ui/controls/FocusChain.hpp"
#include "ui/controls/Motion.hpp"
#include "ui/controls/Shapes.hpp"
#include "ui/controls/SymbolView.hpp"
#include "ui/controls/TextLabel.hpp"
#include "ui/controls/TextLink.hpp"
#include "ui/theme/QtTheme.hpp"
#include "ui/theme/Symbols.hpp"
#include "ui/theme/Typography.hpp"

namespace {
constexpr double radius = 14;
const double symbolText = Typography::size(TextStyle::body);
constexpr int padX = 16;
constexpr int padY = 12;
constexpr int spacing = 10;
// The shadow: black at 0.5, a Gaussian blur of radius 14 (sigma 7), 4 points down.
constexpr int shadowOffset = 4;
constexpr int shadowMargin = 24;
constexpr int enterMilliseconds = 250;

/// A symbol at body size in the secondary colour; no chrome.
class CloseButton : public QAbstractButton {
public:
    CloseButton() {
        setFocusPolicy(Qt::TabFocus);
        setAccessibleName(QString::fromStdString(L("关闭")));
        const int side = int(Symbols::side(symbolText));
        setFixedSize(side, side);
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        Symbols::draw(painter, QRectF(rect()), "xmark", Foreground::secondary(), symbolText);
    }
};

/// Three box blurs of the alpha channel approximate a Gaussian of `sigma`.
void blurAlpha(QImage& image, int boxRadius) {
    const int w = image.width(), h = image.height();
    std::vector<int> line(std::max(w, h));
    auto pass = [&](bool horizontal) {
        const int length = horizontal ? w : h, count = horizontal ? h : w;
        for (int k = 0; k < count; ++k) {
            auto at = [&](int i) -> uchar& {
                uchar* bits = image.bits();
                const int x = horizontal ? i : k, y = horizontal ? k : i;
                return bits[y * image.bytesPerLine() + x * 4 + 3];
            };
            for (int i = 0; i < length; ++i) line[i] = at(i);
            int sum = 0;
            for (int i = -boxRadius; i <= boxRadius; ++i) sum += (i >= 0 && i < length) ? line[i] : 0;
            for (int i = 0; i < length; ++i) {
                at(i) = uchar(sum / (2 * boxRadius + 1));
                const int out = i - boxRadius, in = i + boxRadius + 1;
                if (out >= 0) sum -= line[out];
                if (in < length) sum += line[in];
            }
        }
    };
    for (int i = 0; i < 3; ++i) {
        pass(true);
        pass(false);
    }
}

/// The soft shadow under the panel; it takes no mouse events.
class BannerShadow : public QWidget {
public:
    explicit BannerShadow(QWidget* parent) : QWidget(parent) { setAttribute(Qt::WA_TransparentForMouseEvents); }

protected:
    void paintEvent(QPaintEvent*) override {
        if (cache.size() != size()) render();
        QPainter painter(this);
        painter.drawImage(0, 0, cache);
    }

private:
    void render() {
        cache = QImage(size(), QImage::Format_ARGB32_Premultiplied);
        cache.fill(Qt::transparent);
        {
            QPainter painter(&cache);
            painter.setRenderHint(QPainter::Antialiasing);
            const QRectF panel = QRectF(rect()).adjusted(shadowMargin, shadowMargin + shadowOffset, -shadowMargin,
                                                         -shadowMargin + shadowOffset);
            painter.fillPath(Shapes::continuousRect(panel, radius), QColor(0, 0, 0, 255));
        }
        blurAlpha(cache, 6);
        // Black with the blurred coverage as alpha, at 0.5 overall.
        for (int y = 0; y < cache.height(); ++y) {
            auto* row = reinterpret_cast<QRgb*>(cache.scanLine(y));
            for (int x = 0; x < cache.width(); ++x) row[x] = qRgba(0, 0, 0, qAlpha(row[x]) / 2);
        }
    }
    QImage cache;
};
}  // namespace

NoticeBanner::NoticeBanner(std::shared_ptr<AppModel> model, QWidget* window)
    : QWidget(window), model(std::move(model)), shadow(new BannerShadow(window)) {
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(padX, padY, padX, padY);
    row->setSpacing(spacing);
    row->setAlignment(Qt::AlignTop);
    icon = new SymbolView("checkmark.circle.fill", qColor(Theme::accent), symbolText);
    text = textLabel({}, Typography::font(TextStyle::callout), Foreground::primary());
    text->setWordWrap(true);
    text->setTextInteractionFlags(Qt::TextSelectableByMouse);
    text->setCursor(Qt::IBeamCursor);
    trash = new TextLink(QString::fromStdString(L("清倒废纸篓…")));
    close = new CloseButton;
    connect(trash, &QAbstractButton::clicked, this,
            [this] { this->model->setSection(AppModel::Section::suggestions); });
    connect(close, &QAbstractButton::clicked, this, [this] { this->model->dismissNotice(); });
    row->addWidget(icon, 0, Qt::AlignTop);
    row->addWidget(text, 0, Qt::AlignTop);
    row->addSpacing(8 - spacing);
    row->addStretch(1);
    row->addWidget(trash, 0, Qt::AlignTop);
    row->addWidget(close, 0, Qt::AlignTop);

    motion = new QVariantAnimation(this);
    motion->setEasingCurve(QEasingCurve::OutCubic);
    connect(motion, &QVariantAnimation::valueChanged, this,
            [this](const QVariant& value) { setProgress(value.toDouble()); });
    connect(motion, &QVariantAnimation::finished, this, [this] {
        if (progress <= 0) {
            hide();
            shadow->hide();
        }
    });
    window->installEventFilter(this);
    connect(qApp, &QApplication::focusChanged, this, [this](QWidget* old, QWidget* now) {
        if (now && isAncestorOf(now) && !(old && isAncestorOf(old))) focusBefore = old;
    });
    hide();
    shadow->hide();
    observation = this->model->observe([this] { refresh(); }, AppModel::Change::notice | AppModel::Change::cleaning);
    refresh();
}

NoticeBanner::~NoticeBanner() { model->unobserve(observation); }

QString NoticeBanner::clamp(const QString& text, const QFont& font, int width, int lines) {
    QString flowing = text;
    flowing.replace('\n', QChar::LineSeparator);
    QTextLayout layout(flowing, font);
    // A word longer than the line is broken anywhere, as the label would otherwise run past its edge.
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout.setTextOption(option);
    QStringList shown;
    layout.beginLayout();
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
        line.setLineWidth(width);
        if (shown.size() == lines - 1) {
            // The last line allowed takes the rest, cut with an ellipsis when it does not fit.
            QString rest = flowing.mid(line.textStart());
            const bool more = layout.createLine().isValid();
            rest.replace(QChar::LineSeparator, ' ');
            QString cut = QFontMetrics(font).elidedText(rest, Qt::ElideRight, width);
            if (more && !cut.endsWith(QChar(0x2026))) cut += QChar(0x2026);
            shown << cut;
            break;
        }
        shown << flowing.mid(line.textStart(), line.textLength()).remove(QChar::LineSeparator).trimmed();
    }
    layout.endLayout();
    return shown.join('\n');
}

QRect NoticeBanner::panelRect(QSize window, int height) {
    const int width = std::min(maxWidth, window.width());
    return QRect((window.width() - width) / 2, window.height() - bottomGap - height, width, height);
}

void NoticeBanner::refresh() {
    const std::optional<AppModel::Notice>& notice = model->notice();
    // The Trash link follows trashPending, which may change while the same notice shows.
    const bool link = notice && model->trashPending() && !notice->isError;
    if (notice == shown && (!notice || link == !trash->isHidden())) return;
    const bool wasShown = shown.has_value();
    shown = notice;
    if (notice) displayed = notice;
    if (!notice) {
        // Gone: the keyboard goes back before the banner starts to fade, so
        // neither its hiding nor a key pressed while it fades finds it there.
        handBackFocus();
        offerFocus(false);
        animate(false);
        return;
    }
    offerFocus(true);
    icon->setSymbol(notice->isError ? "exclamationmark.triangle.fill" : "checkmark.circle.fill",
                    qColor(notice->isError ? Theme::danger : Theme::accent));
    text->setFont(Typography::font(TextStyle::callout, notice->isError ? QFont::DemiBold : QFont::Normal));
    trash->setVisible(link);
    place();
    update();
    if (!wasShown || progress < 1) animate(true);
}

void NoticeBanner::offerFocus(bool offered) {
    for (QWidget* control : {static_cast<QWidget*>(trash), static_cast<QWidget*>(close)})
        control->setFocusPolicy(offered ? Qt::TabFocus : Qt::NoFocus);
}

void NoticeBanner::handBackFocus() {
    QWidget* focused = QApplication::focusWidget();
    if (!focused || !isAncestorOf(focused)) return;
    if (focusBefore && focusBefore->isVisible() && focusBefore->isEnabled()) {
        focusBefore->setFocus(Qt::OtherFocusReason);
        FocusChain::scrollTo(focusBefore);
    } else if (focusElsewhere) {
        focusElsewhere();
    }
}

void NoticeBanner::place() {
    QWidget* window = parentWidget();
    if (!window || !displayed) return;
    const int width = std::min(maxWidth, window->width());
    // The text gets what the row leaves it: everything but the paddings, the icon, the link and the close button.
    int fixed = 2 * padX + icon->width() + spacing + 8 + close->width() + spacing;
    if (!trash->isHidden()) fixed += trash->sizeHint().width() + spacing;
    const int textWidth = std::max(40, width - fixed);
    text->setFixedWidth(textWidth);
    text->setText(clamp(shownText(displayed->text), text->font(), textWidth, maxLines));
    const int height = layout()->heightForWidth(width) > 0 ? layout()->heightForWidth(width) : sizeHint().height();
    QRect panel = panelRect(window->size(), height);
    // Entering: from below the window's bottom edge.
    panel.translate(0, int(std::lround((1 - progress) * (height + bottomGap))));
    setGeometry(panel);
    shadow->setGeometry(panel.adjusted(-shadowMargin, -shadowMargin, shadowMargin, shadowMargin));
    shadow->stackUnder(this);
}

void NoticeBanner::animate(bool in) {
    motion->stop();
    const double target = in ? 1 : 0;
    if (!Motion::enabled()) {
        setProgress(target);
        if (!in) {
            hide();
            shadow->hide();
        }
        return;
    }
    show();
    shadow->show();
    motion->setDuration(enterMilliseconds);
    motion->setStartValue(progress);
    motion->setEndValue(target);
    motion->start();
}

void NoticeBanner::setProgress(double value) {
    progress = value;
    for (QWidget* widget : {static_cast<QWidget*>(this), shadow}) {
        if (value >= 1) {
            widget->setGraphicsEffect(nullptr);
        } else {
            auto* fade = qobject_cast<QGraphicsOpacityEffect*>(widget->graphicsEffect());
            if (!fade) {
                fade = new QGraphicsOpacityEffect(widget);
                widget->setGraphicsEffect(fade);
            }
            fade->setOpacity(value);
        }
    }
    if (value > 0) {
        show();
        shadow->show();
    }
    place();
}

bool NoticeBanner::eventFilter(QObject* watched, QEvent* event) {
    if (watched == parentWidget() && event->type() == QEvent::Resize) place();
    return QWidget::eventFilter(watched, event);
}

void NoticeBanner::paintEvent(QPaintEvent*) {
    if (!displayed) return;
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const bool error = displayed->isError;
    Shapes::fillRounded(painter, QRectF(rect()), radius, qColor(Theme::raised),
                        error ? qColor(Theme::danger.rgb, 0.8) : qColor(Theme::paper.rgb, 0.3));
}
