#include "ui/pages/SuggestionCard.hpp"
#include "ui/controls/Divider.hpp"

#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QPainter>
#include <QVBoxLayout>

#include "desktop/Desktop.hpp"
#include "pages/SuggestionsLogic.hpp"
#include "text/Localization.hpp"
#include "ui/controls/Discard.hpp"
#include "ui/controls/ElidedLabel.hpp"
#include "ui/controls/FocusKeeper.hpp"
#include "ui/controls/IconButton.hpp"
#include "ui/controls/MonoMenu.hpp"
#include "ui/controls/Shapes.hpp"
#include "ui/controls/Spinner.hpp"
#include "ui/controls/Tags.hpp"
#include "ui/controls/TextLabel.hpp"
#include "ui/controls/TextLink.hpp"
#include "ui/theme/QtTheme.hpp"
#include "ui/theme/Symbols.hpp"
#include "ui/theme/Typography.hpp"

namespace {
QString q(const std::string& text) { return shownText(text); }

/// The symbol on a rounded square of its tint at 0.14.
class Badge : public QWidget {
public:
    Badge(std::string symbol, ThemeColor tint) : symbol(std::move(symbol)), tint(tint) { setFixedSize(36, 36); }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        Shapes::fillRounded(painter, QRectF(rect()), 11, qColor(tint.rgb, 0.14), Qt::transparent);
        Symbols::draw(painter, QRectF(rect()), symbol, qColor(tint), 15);
    }

private:
    std::string symbol;
    ThemeColor tint;
};

/// Selectable monospaced text on a raised rounded plate.
class CommandText : public QLabel {
public:
    explicit CommandText(const QString& text) {
        setTextFormat(Qt::PlainText);
        setText(text);
        setFont(Typography::mono(Typography::size(TextStyle::caption)));
        setContentsMargins(8, 4, 8, 4);
        setTextInteractionFlags(Qt::TextSelectableByMouse);
        setSizePolicy(QSizePolicy::Maximum, QSizePolicy::Fixed);
    }

protected:
    void paintEvent(QPaintEvent* event) override {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        Shapes::fillRounded(painter, QRectF(rect()), 7, qColor(Theme::raised), Qt::transparent);
        painter.end();
        QLabel::paintEvent(event);
    }
};

/// The item list's dark ground, edge to edge inside the card's rounded outline and hairline.
class ItemGround : public QWidget {
public:
    explicit ItemGround(const QWidget* card) : card(card) {}

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        const QRectF outline = QRectF(card->rect()).adjusted(1, 1, -1, -1).translated(-mapTo(card, QPoint(0, 0)));
        painter.setClipPath(Shapes::continuousRect(outline, 15));
        painter.fillRect(rect(), QColor(0, 0, 0, int(0.35 * 255)));
    }

private:
    const QWidget* card;
};

MonoButton* smallButton(const std::string& key) {
    auto* button = new MonoButton(q(L(key)));
    button->setControlSize(ControlSize::small);
    return button;
}
}  // namespace

SuggestionCard::SuggestionCard(std::shared_ptr<AppModel> model, Suggestion suggestion, SuggestionCardState& state,
                               std::function<void()> onApply, QWidget* parent)
    : Card(0, parent),
      model(std::move(model)),
      shown(std::move(suggestion)),
      state(state),
      onApply(std::move(onApply)) {
    FocusKeeper::setScope(this, shown.id);
    // The wrapped detail needs the card's full height for its width, not its preferred height.
    content()->setAlignment(Qt::Alignment());
    content()->addWidget(makeMainRow());
    if (state.expanded && SuggestionCards::hasItems(shown)) {
        itemList = makeItemList();
        content()->addWidget(itemList);
    }
    refresh();
}

QWidget* SuggestionCard::makeMainRow() {
    auto* row = new QWidget;
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(16, 16, 16, 16);
    layout->setSpacing(14);
    layout->addWidget(new Badge(SuggestionCards::icon(shown), SuggestionCards::riskTint(shown.risk)), 0, Qt::AlignTop);
    layout->addWidget(makeTexts(), 1, Qt::AlignTop);

    auto* side = new QVBoxLayout;
    side->setSpacing(8);
    auto* size = textLabel(q(shown.reclaimable), Typography::monospacedDigits(Typography::font(19, QFont::ExtraBold)),
                           Foreground::primary());
    side->addWidget(size, 0, Qt::AlignRight);
    actions = new QHBoxLayout;
    actions->setSpacing(8);
    side->addLayout(actions);
    side->setAlignment(actions, Qt::AlignRight);
    side->addStretch(1);
    layout->addLayout(side);
    return row;
}

QWidget* SuggestionCard::makeTexts() {
    auto* texts = new QWidget;
    auto* column = new QVBoxLayout(texts);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(5);
    auto* titleRow = new QHBoxLayout;
    titleRow->setSpacing(8);
    titleRow->addWidget(new ElidedLabel(q(shown.title), Typography::font(14, QFont::Bold), Foreground::primary()), 0);
    titleRow->addWidget(new RiskTag(shown.risk));
    titleRow->addStretch(1);
    column->addLayout(titleRow);
    QLabel* detail = textLabel(q(shown.detail), Typography::font(TextStyle::callout), Foreground::secondary());
    detail->setWordWrap(true);
    column->addWidget(detail);
    if (SuggestionCards::showsCommand(shown)) column->addWidget(makeCommandRow());
    return texts;
}

QWidget* SuggestionCard::makeCommandRow() {
    auto* row = new QWidget;
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 2, 0, 0);
    layout->setSpacing(6);
    layout->addWidget(new CommandText(q(*shown.command)));
    copyLink = new TextLink(q(L(state.copied ? "已拷贝" : "拷贝")), Typography::font(TextStyle::caption));
    copyLink->setAccessibleName(q(L(state.copied ? "已拷贝" : "拷贝")));
    connect(copyLink, &QAbstractButton::clicked, this, &SuggestionCard::copyCommand);
    layout->addWidget(copyLink);
    layout->addStretch(1);
    return row;
}

void SuggestionCard::copyCommand() {
    Desktop::copy(*shown.command);
    state.copied = true;
    // The link's text sets its size: a fresh link, so the row re-lays out.
    auto* fresh = new TextLink(q(L("已拷贝")), Typography::font(TextStyle::caption));
    fresh->setAccessibleName(q(L("已拷贝")));
    connect(fresh, &QAbstractButton::clicked, this, &SuggestionCard::copyCommand);
    // replaceWidget hands back the old layout item for the caller to delete.
    delete copyLink->parentWidget()->layout()->replaceWidget(copyLink, fresh);
    discard(copyLink);
    copyLink = fresh;
}

QWidget* SuggestionCard::makeItemList() {
    auto* holder = new QWidget;
    auto* outer = new QVBoxLayout(holder);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->setSpacing(0);
    outer->addWidget(new Divider(Qt::Horizontal));
    auto* ground = new ItemGround(this);
    auto* column = new QVBoxLayout(ground);
    column->setContentsMargins(0, 6, 0, 6);
    column->setSpacing(0);
    releases.clear();
    for (const SuggestionItem& item : *shown.items) column->addWidget(makeItemRow(item));
    if (const size_t more = SuggestionCards::moreCount(shown)) {
        QLabel* line = textLabel(q(L("以及另外 %@ 项", more)), Typography::font(TextStyle::caption),
                                 Foreground::tertiary());
        line->setContentsMargins(16, 6, 16, 6);
        column->addWidget(line);
    }
    outer->addWidget(ground);
    return holder;
}

QWidget* SuggestionCard::makeItemRow(const SuggestionItem& item) {
    auto* row = new QWidget;
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(16, 6, 16, 6);
    layout->setSpacing(10);
    layout->addWidget(
        new ElidedLabel(q(Paths::abbreviate(item.path)), Typography::font(TextStyle::callout), Foreground::primary()),
        0);
    if (item.note)
        layout->addWidget(textLabel(q(*item.note), Typography::font(TextStyle::caption), Foreground::tertiary()));
    layout->addStretch(1);
    layout->addWidget(textLabel(q(item.size), Typography::monospacedDigits(Typography::font(TextStyle::callout)),
                                Foreground::secondary()));
    if (shown.action == CleanAction::evict) {
        MonoButton* release = smallButton("释放");
        release->setToolTip(Qt::convertFromPlainText(q(L("只释放这一项的本地副本,文件仍在 iCloud"))));
        std::weak_ptr<AppModel> weak = model;
        connect(release, &QAbstractButton::clicked, this, [weak, path = item.path, key = shown.id] {
            if (auto strong = weak.lock()) strong->evict({path}, key);
        });
        release->setEnabled(!model->busySuggestion());
        releases.emplace_back(release);
        layout->addWidget(release);
    }
    layout->addWidget(new IconButton(
        "magnifyingglass", q(L("在文件管理器中显示")),
        [path = item.path, unanswered = Desktop::noticeOn(model)] { Desktop::reveal(path, unanswered); }));
    return row;
}

void SuggestionCard::toggleExpanded() {
    state.expanded = !state.expanded;
    if (state.expanded && !itemList) {
        itemList = makeItemList();
        content()->addWidget(itemList);
    } else if (!state.expanded && itemList) {
        discard(itemList);
        itemList = nullptr;
        releases.clear();
    }
    refresh();
}

void SuggestionCard::refresh() {
    while (QLayoutItem* item = actions->takeAt(0)) {
        discard(item->widget());
        delete item;
    }
    first = nullptr;
    switch (SuggestionCards::firstControl(shown)) {
    case SuggestionCards::FirstControl::details: {
        MonoButton* button = smallButton(state.expanded ? "收起" : "明细");
        connect(button, &QAbstractButton::clicked, this, &SuggestionCard::toggleExpanded);
        first = button;
        break;
    }
    case SuggestionCards::FirstControl::show: {
        MonoButton* button = smallButton("查看");
        connect(
            button, &QAbstractButton::clicked, this,
            [path = shown.paths.front(), unanswered = Desktop::noticeOn(model)] { Desktop::reveal(path, unanswered); });
        first = button;
        break;
    }
    case SuggestionCards::FirstControl::none: break;
    }
    if (first) actions->addWidget(first);
    addSecondControl();
    for (const auto& release : releases) {
        if (release) release->setEnabled(!model->busySuggestion());
    }
}

void SuggestionCard::addSecondControl() {
    using SuggestionCards::SecondControl;
    const auto available = model->availableDestinations();
    const SecondControl control = SuggestionCards::secondControl(shown, model->busySuggestion(), !available.empty());
    second = nullptr;
    spinnerShown = control == SecondControl::spinner;
    if (spinnerShown) {
        actions->addWidget(new Spinner(ControlSize::small));
        return;
    }
    if (control == SecondControl::none) return;
    if (control == SecondControl::archiveMenu) {
        auto* menu = new MonoMenu(q(L(SuggestionCards::label(control))));
        menu->setControlSize(ControlSize::small);
        std::weak_ptr<AppModel> weak = model;
        for (const BackupDestination& destination : available) {
            QString title = q(destination.name);
            QAction* entry = menu->menu()->addAction(title.replace('&', "&&"));
            connect(entry, &QAction::triggered, this, [weak, path = shown.paths.front(), destination] {
                if (auto strong = weak.lock()) strong->offload(path, destination);
            });
        }
        // An archive ends by moving the folder to the Trash: a folder the
        // cleaner refuses (the home, ~/Desktop, the user folders) is refused
        // here, with the reason, instead of after the backup.
        const std::optional<std::string> refusal = model->placeRefusal(shown.paths.front());
        menu->setEnabled(!model->runningBackup() && !refusal);
        if (refusal) menu->setToolTip(Qt::convertFromPlainText(q(*refusal)));
        second = menu;
    } else {
        MonoButton* button = smallButton(SuggestionCards::label(control));
        connect(button, &QAbstractButton::clicked, this, [this] {
            if (onApply) onApply();
        });
        button->setEnabled(!model->busySuggestion());
        second = button;
    }
    actions->addWidget(second);
}
