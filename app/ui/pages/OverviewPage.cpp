#include "ui/pages/OverviewPage.hpp"
#include "ui/controls/PageScroll.hpp"

#include <QBoxLayout>
#include <QScrollBar>

#include "pages/OverviewCards.hpp"
#include "pages/UsageSegments.hpp"
#include "text/Localization.hpp"
#include "ui/controls/Card.hpp"
#include "ui/controls/MonoButton.hpp"
#include "ui/controls/TextLabel.hpp"
#include "ui/pages/DiskCard.hpp"
#include "ui/pages/SummaryCardView.hpp"
#include "ui/pages/TopSuggestions.hpp"
#include "ui/theme/QtTheme.hpp"
#include "ui/theme/Typography.hpp"

namespace {
/// The callout shown while full disk access is missing.
QWidget* makePermissionBanner() {
    auto* callout = new Callout("lock.shield", Theme::warn);
    auto* row = new QHBoxLayout;
    row->setSpacing(12);
    auto* texts = new QVBoxLayout;
    texts->setSpacing(2);
    texts->addWidget(textLabel(QString::fromStdString(L("部分目录没有读取权限")),
                               Typography::font(TextStyle::callout, QFont::Bold), Foreground::primary()));
    texts->addWidget(
        textLabel(QString::fromStdString(L("废纸篓、邮件和部分 App 数据读不到,统计会偏小。授权后重新扫描即可。")),
                  Typography::font(TextStyle::caption), Foreground::secondary()));
    row->addLayout(texts);
    row->addStretch(1);
    // Linux has no settings page that grants a program access to folders:
    // the button is the design's, and opens nothing.
    auto* open = new MonoButton(QString::fromStdString(L("打开设置")));
    row->addWidget(open, 0, Qt::AlignVCenter);
    callout->content()->addLayout(row);
    return callout;
}
}  // namespace

OverviewPage::OverviewPage(const PageContext& context, QWidget* parent) : QScrollArea(parent), model(context.model) {
    setFrameShape(QFrame::NoFrame);
    setWidgetResizable(true);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    attachOverlayIndicator(this);
    // Clicked on its background, the page's scrolling frame takes the focus (so
    // the keys scroll it): a reader then hears the page's name.
    setAccessibleName(QString::fromStdString(AppModel::title(AppModel::Section::overview)));
    auto* surface = new QWidget;
    // Never squeezed below what its content needs: a short window scrolls instead.
    surface->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Minimum);
    surface->setAutoFillBackground(false);
    viewport()->setAutoFillBackground(false);
    auto* outer = new QHBoxLayout(surface);
    outer->setContentsMargins(0, 0, 0, 0);
    auto* columnWidget = new QWidget;
    columnWidget->setMaximumWidth(maxColumnWidth);
    auto* column = new QVBoxLayout(columnWidget);
    column->setContentsMargins(PageScroll::padding, 0, PageScroll::padding, PageScroll::padding);
    column->setSpacing(18);
    outer->addWidget(columnWidget, 1);
    // Past 1100 points the column stays at the leading edge.
    outer->addStretch(0);

    banner = makePermissionBanner();
    column->addWidget(banner, 0, Qt::AlignLeft);
    disk = new DiskCard(model);
    column->addWidget(disk);
    auto* cards = new QHBoxLayout;
    cards->setSpacing(14);
    const MonoButtonStyle filled{true, Theme::accent};
    reclaim = new SummaryCardView("sparkles", L("可释放空间"), filled,
                                  [this] { model->setSection(AppModel::Section::suggestions); });
    scan = new SummaryCardView("house", L("主目录"), {}, [this] {
        switch (OverviewCards::scanState(OverviewFacts::of(*model, std::chrono::system_clock::now()))) {
        case OverviewCards::ScanState::scanning:
            if (const CancelTokenPtr& token = model->scanCancel()) token->cancel();
            break;
        case OverviewCards::ScanState::none: model->rescan(); break;
        case OverviewCards::ScanState::scanned:
            // The explorer opens at the home folder even when another folder was open.
            model->setExplorerPath(model->scan()->root.path);
            model->setSection(AppModel::Section::explorer);
            break;
        }
    });
    backup = new SummaryCardView("icloud.and.arrow.up", L("网盘备份"), {},
                                 [this] { model->setSection(AppModel::Section::backup); });
    for (SummaryCardView* card : {reclaim, scan, backup}) cards->addWidget(card, 1);
    column->addLayout(cards);
    top = new TopSuggestions([this] { model->setSection(AppModel::Section::suggestions); });
    column->addWidget(top);
    column->addStretch(1);
    setWidget(surface);
    // Its ages are recomputed at every change but a backup's progress tick.
    observation = model->observe([this] { refresh(); }, AppModel::Change::all & ~AppModel::Change::backupProgress);
    refresh();
}

OverviewPage::~OverviewPage() { model->unobserve(observation); }

void OverviewPage::refresh() {
    const OverviewFacts facts = OverviewFacts::of(*model, std::chrono::system_clock::now());
    banner->setVisible(OverviewCards::showsPermissionBanner(facts));
    disk->setVisible(facts.rootVolume != nullptr);
    if (facts.rootVolume) disk->show(*facts.rootVolume, UsageSegments::segments(*facts.rootVolume, facts.scan));
    reclaim->show(OverviewCards::reclaim(facts), OverviewCards::safeLine(facts));
    scan->show(OverviewCards::scan(facts), std::nullopt,
               OverviewCards::scanState(facts) == OverviewCards::ScanState::scanning);
    backup->show(OverviewCards::backup(facts));
    const size_t count = OverviewCards::topCount(facts);
    top->setVisible(count > 0);
    if (count > 0) top->show(*facts.report, count);
}
