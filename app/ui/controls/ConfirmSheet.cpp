#include "ui/controls/ConfirmSheet.hpp"

#include <QHBoxLayout>
#include <QKeyEvent>
#include <QVBoxLayout>

#include "text/Localization.hpp"
#include "ui/controls/MonoButton.hpp"
#include "ui/controls/MonoSurface.hpp"
#include "ui/controls/TextLabel.hpp"
#include "ui/theme/QtTheme.hpp"
#include "ui/theme/Typography.hpp"

namespace {
constexpr int sheetWidth = 430;
constexpr int padding = 22;
constexpr int spacing = 10;
constexpr int buttonsGap = 12;  // on top of the column's spacing

QLabel* wrapped(const std::string& text, const QFont& font, const QColor& color) {
    QLabel* label = textLabel(shownText(text), font, color);
    label->setWordWrap(true);
    return label;
}
}  // namespace

ConfirmSheet::ConfirmSheet(ConfirmRequest request, std::function<void()> dismiss, QWidget* parent)
    : QWidget(parent), shown(std::move(request)), dismiss(std::move(dismiss)) {
    monoSurface(this, Theme::panel);
    setFocusPolicy(Qt::StrongFocus);
    setFixedWidth(sheetWidth);
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(padding, padding, padding, padding);
    column->setSpacing(spacing);
    title = wrapped(shown.title, Typography::font(TextStyle::title2, QFont::Bold), Foreground::primary());
    message = wrapped(shown.message, Typography::font(TextStyle::callout), Foreground::secondary());
    column->addWidget(title);
    column->addWidget(message);

    auto* buttons = new QHBoxLayout;
    buttons->setContentsMargins(0, buttonsGap, 0, 0);
    buttons->setSpacing(10);
    buttons->addStretch(1);
    cancel = new MonoButton(QString::fromStdString(shown.cancel.empty() ? L("取消") : shown.cancel));
    confirm = new MonoButton(QString::fromStdString(shown.confirm),
                             MonoButtonStyle{true, shown.destructive ? Theme::danger : Theme::accent});
    if (shown.destructive) confirm->setSymbol("trash");
    buttons->addWidget(cancel);
    buttons->addWidget(confirm);
    column->addLayout(buttons);
    if (!shown.cancellable) cancel->hide();
    connect(cancel, &QAbstractButton::clicked, this, &ConfirmSheet::cancelRequest);
    connect(confirm, &QAbstractButton::clicked, this, &ConfirmSheet::confirmRequest);
}

int ConfirmSheet::heightForWidth(int width) const {
    const int textWidth = width - 2 * padding;
    const int buttons = std::max(cancel->sizeHint().height(), confirm->sizeHint().height());
    return 2 * padding + title->heightForWidth(textWidth) + spacing + message->heightForWidth(textWidth) + spacing +
           buttonsGap + buttons;
}

QSize ConfirmSheet::sizeHint() const { return QSize(sheetWidth, heightForWidth(sheetWidth)); }

void ConfirmSheet::cancelRequest() {
    if (dismiss) dismiss();
}

void ConfirmSheet::confirmRequest() {
    // Copies first: dismissing may schedule this sheet for deletion, and the
    // action may present a new request, which must not be closed by this one.
    const auto action = shown.action;
    const auto close = dismiss;
    if (close) close();
    if (action) action();
}

bool ConfirmSheet::handleKey(int key) {
    if (key == Qt::Key_Escape) {
        cancelRequest();
        return true;
    }
    if ((key == Qt::Key_Return || key == Qt::Key_Enter) && !shown.destructive) {
        confirmRequest();
        return true;
    }
    return false;
}

void ConfirmSheet::keyPressEvent(QKeyEvent* event) {
    if (!handleKey(event->key())) QWidget::keyPressEvent(event);
}

ConfirmSheetHost::ConfirmSheetHost(QWidget* page) : SheetOverlay(page) {
    // A panel's keys are called through copies: they may dismiss the panel, which drops them.
    onCancel = [this] {
        if (sheet())
            sheet()->handleKey(Qt::Key_Escape);
        else if (auto cancel = panelCancel)
            cancel();
    };
    onDefault = [this] {
        if (sheet()) return sheet()->handleKey(Qt::Key_Return);
        auto confirm = panelConfirm;
        return confirm && confirm();
    };
}

void ConfirmSheetHost::present(ConfirmRequest request) {
    panelCancel = nullptr, panelConfirm = nullptr;
    current = std::move(request);
    auto* panel = new ConfirmSheet(
        *current, [this] { dismiss(); }, this);
    SheetOverlay::present(panel);
    // The sheet takes the keys first: it knows which of them confirm.
    panel->setFocus(Qt::OtherFocusReason);
    Q_EMIT requestChanged();
}

void ConfirmSheetHost::presentPanel(QWidget* panel, std::function<void()> cancel, std::function<bool()> confirm) {
    const bool hadRequest = current.has_value();
    current.reset();
    panelCancel = std::move(cancel), panelConfirm = std::move(confirm);
    SheetOverlay::present(panel);
    if (hadRequest) Q_EMIT requestChanged();
}

void ConfirmSheetHost::dismiss() {
    if (!isPresenting()) return;
    const bool hadRequest = current.has_value();
    current.reset();
    panelCancel = nullptr, panelConfirm = nullptr;
    SheetOverlay::close();
    if (hadRequest) Q_EMIT requestChanged();
}
