#include "ui/pages/SuggestionsPage.hpp"

#include <QHBoxLayout>
#include <QLabel>
#include <QStackedLayout>
#include <QVBoxLayout>

#include "desktop/Desktop.hpp"
#include "text/Localization.hpp"
#include "ui/controls/ConfirmSheet.hpp"
#include "ui/controls/Discard.hpp"
#include "ui/controls/MonoButton.hpp"
#include "ui/controls/MonoSurface.hpp"
#include "ui/controls/PageScroll.hpp"
#include "ui/controls/ScanningView.hpp"
#include "ui/controls/Spinner.hpp"
#include "ui/controls/SymbolView.hpp"
#include "ui/controls/TextLabel.hpp"
#include "ui/theme/QtTheme.hpp"
#include "ui/theme/Typography.hpp"

namespace {
QString q(const std::string& text) { return QString::fromStdString(text); }

QWidget* analyzingPlaceholder() {
    auto* holder = new QWidget;
    auto* column = new QVBoxLayout(holder);
    column->setSpacing(12);
    column->addStretch(1);
    column->addWidget(new Spinner(ControlSize::regular), 0, Qt::AlignHCenter);
    column->addWidget(textLabel(q(L("正在分析…")), Typography::font(TextStyle::body), Foreground::secondary()), 0,
                      Qt::AlignHCenter);
    column->addStretch(1);
    return holder;
}

QWidget* noteLine(const std::string& note) {
    auto* row = new QWidget;
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(4);
    const QFont caption = Typography::font(TextStyle::caption);
    layout->addWidget(new SymbolView("info.circle", Foreground::secondary(), Typography::size(TextStyle::caption)), 0,
                      Qt::AlignTop);
    QLabel* text = textLabel(q(note), caption, Foreground::secondary());
    text->setWordWrap(true);
    layout->addWidget(text, 1);
    return row;
}
}  // namespace

SuggestionsPage::SuggestionsPage(const PageContext& context, QWidget* parent)
    : QWidget(parent), model(context.model), confirm(context.sheet) {
    monoSurface(this, Theme::ground);
    stack = new QStackedLayout(this);
    reportView = new PageScroll(16);
    // Clicked on its background, the page's scrolling frame takes the focus (so
    // the keys scroll it): a reader then hears the page's name.
    reportView->setAccessibleName(q(AppModel::title(AppModel::Section::suggestions)));
    std::weak_ptr<AppModel> weak = this->model;
    scanning = new ScanningView([weak] {
        if (auto strong = weak.lock()) strong->cancelScan();
    });
    stack->addWidget(reportView);
    stack->addWidget(scanning);
    stack->addWidget(analyzingPlaceholder());
    using Change = AppModel::Change;
    observation = this->model->observe([this] { update(); }, Change::analysis | Change::scan | Change::scanProgress |
                                                                 Change::backups | Change::cleaning);
    update();
}

SuggestionsPage::~SuggestionsPage() { model->unobserve(observation); }

CleaningCalls SuggestionsPage::calls() const {
    std::weak_ptr<AppModel> weak = model;
    return {[weak](const Suggestion& suggestion) {
                if (auto strong = weak.lock()) strong->apply(suggestion);
            },
            [weak](const SuggestionReport& report) {
                if (auto strong = weak.lock()) strong->applyAllSafe(report);
            },
            [weak] {
                if (auto strong = weak.lock()) strong->emptyTrash();
            },
            [weak](const std::vector<std::string>& paths, const std::string& key) {
                if (auto strong = weak.lock()) strong->evict(paths, key);
            }};
}

void SuggestionsPage::ask(const Suggestion& suggestion) {
    confirm->present(SuggestionRequests::ask(suggestion, calls()));
}
void SuggestionsPage::askEmptyTrash() { confirm->present(SuggestionRequests::askEmptyTrash(calls())); }
void SuggestionsPage::askAllSafe(const SuggestionReport& report) {
    confirm->present(SuggestionRequests::askAllSafe(report, calls()));
}

void SuggestionsPage::update() {
    const auto before = shownState;
    shownState = SuggestionRequests::pageState(model->report().has_value(), model->isScanning());
    switch (shownState) {
    case SuggestionRequests::PageState::report:
        if (model->report() != shownReport) rebuildReport(*model->report());
        refreshBusy();
        stack->setCurrentIndex(0);
        break;
    case SuggestionRequests::PageState::scanning:
        scanning->setProgress(model->scanProgress());
        stack->setCurrentIndex(1);
        break;
    case SuggestionRequests::PageState::analyzing: stack->setCurrentIndex(2); break;
    }
    // The sheet belongs to the report view: it goes when the report does.
    const bool reportLeft = before == SuggestionRequests::PageState::report && shownState != before;
    if (reportLeft && confirm) confirm->dismiss();
}

void SuggestionsPage::rebuildReport(const SuggestionReport& report) {
    shownReport = report;
    cardsStale = true;
    for (QWidget* widget : reportWidgets) discard(widget);
    reportWidgets.clear();
    cardList.clear();
    auto add = [this](QWidget* widget) {
        reportView->column()->addWidget(widget);
        reportWidgets.push_back(widget);
    };
    add(makeHeader(report));
    banner = makeTrashBanner();
    add(banner);
    for (const Suggestion& suggestion : report.suggestions) {
        auto* card = new SuggestionCard(model, suggestion, cardStates[suggestion.id],
                                        [this, suggestion] { ask(suggestion); });
        cardList.push_back(card);
        add(card);
    }
    for (const std::string& note : report.notes) add(noteLine(note));
}

QWidget* SuggestionsPage::makeHeader(const SuggestionReport& report) {
    auto* header = new QWidget;
    auto* row = new QHBoxLayout(header);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(16);
    auto* texts = new QVBoxLayout;
    texts->setSpacing(4);
    texts->addWidget(textLabel(q(L("可释放约 %@", report.totalReclaimable)), Typography::font(28, QFont::ExtraBold),
                               Foreground::primary()));
    // A share of nothing says nothing: no "of this" line without safe items.
    if (report.safeReclaimableBytes > 0) {
        auto* line = new QHBoxLayout;
        line->setSpacing(0);
        const QFont callout = Typography::font(TextStyle::callout);
        line->addWidget(textLabel(q(L("其中 ")), callout, Foreground::secondary()));
        line->addWidget(textLabel(q(report.safeReclaimable), Typography::font(TextStyle::callout, QFont::Bold),
                                  qColor(Theme::accent)));
        line->addWidget(textLabel(q(L(" 是缓存和构建产物,可以放心清理;其余需要你看一眼再决定。")), callout,
                                  Foreground::secondary()));
        line->addStretch(1);
        texts->addLayout(line);
    }
    row->addLayout(texts, 1);
    allSafeSpinner = new Spinner(ControlSize::small);
    row->addWidget(allSafeSpinner);
    // Disabled without safe items, and then without a figure of nothing.
    const std::string allSafeTitle = report.safeReclaimableBytes > 0 ? L("清理安全项 %@", report.safeReclaimable)
                                                                     : L("清理安全项");
    allSafe = new MonoButton(q(allSafeTitle), MonoButtonStyle{true, Theme::accent});
    allSafe->setControlSize(ControlSize::large);
    connect(allSafe, &QAbstractButton::clicked, this, [this, report] { askAllSafe(report); });
    row->addWidget(allSafe);
    return header;
}

QWidget* SuggestionsPage::makeTrashBanner() {
    auto* callout = new Callout("trash", Theme::paper);
    callout->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Maximum);
    auto* row = new QHBoxLayout;
    row->setSpacing(10);
    auto* texts = new QVBoxLayout;
    texts->setSpacing(2);
    texts->addWidget(textLabel(q(L("清理的文件在废纸篓里")), Typography::font(TextStyle::callout, QFont::Bold),
                               Foreground::primary()));
    texts->addWidget(textLabel(q(L("确认没有误删后清倒废纸篓,空间才会真正释放。")),
                               Typography::font(TextStyle::caption), Foreground::secondary()));
    row->addLayout(texts);
    row->addStretch(1);
    emptyTrashSpinner = new Spinner(ControlSize::small);
    row->addWidget(emptyTrashSpinner);
    auto* open = new MonoButton(q(L("打开废纸篓")));
    connect(open, &QAbstractButton::clicked, this, [this] { Desktop::openTrash(Desktop::noticeOn(model)); });
    row->addWidget(open);
    emptyTrash = new MonoButton(q(L("清倒废纸篓…")));
    connect(emptyTrash, &QAbstractButton::clicked, this, [this] { askEmptyTrash(); });
    row->addWidget(emptyTrash);
    callout->content()->addLayout(row);
    return callout;
}

void SuggestionsPage::refreshBusy() {
    const auto& busy = model->busySuggestion();
    allSafeSpinner->setVisible(busy == SuggestionRequests::allSafeKey);
    allSafe->setEnabled(shownReport->safeReclaimableBytes != 0 && !busy);
    banner->setVisible(model->trashPending());
    emptyTrashSpinner->setVisible(busy == SuggestionRequests::emptyTrashKey);
    emptyTrash->setEnabled(!busy);
    // Cards change only with the busy key, a backup starting or ending, or the destinations.
    std::string key = busy.value_or("") + "|" + (model->runningBackup() ? "1" : "0");
    for (const BackupDestination& destination : model->availableDestinations())
        key += "|" + destination.id + destination.name;
    if (key == cardKey && !cardsStale) return;
    cardKey = key;
    cardsStale = false;
    for (SuggestionCard* card : cardList) card->refresh();
}
