#include "ui/pages/BackupPage.hpp"
#include "ui/controls/Divider.hpp"

#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QVBoxLayout>
#include <chrono>

#include "desktop/Desktop.hpp"
#include "text/Localization.hpp"
#include "ui/controls/Card.hpp"
#include "ui/controls/ConfirmSheet.hpp"
#include "ui/controls/Discard.hpp"
#include "ui/controls/ElidedLabel.hpp"
#include "ui/controls/FocusKeeper.hpp"
#include "ui/controls/IconButton.hpp"
#include "ui/controls/MonoBar.hpp"
#include "ui/controls/MonoButton.hpp"
#include "ui/controls/MonoSurface.hpp"
#include "ui/controls/PageScroll.hpp"
#include "ui/controls/SectionTitle.hpp"
#include "ui/controls/Spinner.hpp"
#include "ui/controls/SymbolView.hpp"
#include "ui/controls/Tags.hpp"
#include "ui/controls/TextLabel.hpp"
#include "ui/pages/AddPlanSheet.hpp"
#include "ui/pages/DestinationGrid.hpp"
#include "ui/theme/QtTheme.hpp"
#include "ui/theme/Typography.hpp"

using namespace BackupPageLogic;

namespace {
QString q(const std::string& text) { return shownText(text); }
const double captionSize = Typography::size(TextStyle::caption);

QWidget* bare(QBoxLayout* layout, int spacing, QMargins margins = {}) {
    auto* holder = new QWidget;
    holder->setLayout(layout);
    layout->setSpacing(spacing);
    layout->setContentsMargins(margins);
    return holder;
}

/// A row of a symbol and a text, as the design's labels are.
QWidget* symbolLabel(const std::string& symbol, const QString& text, const QFont& font, const QColor& color) {
    auto* row = new QHBoxLayout;
    row->addWidget(new SymbolView(symbol, color, font.pixelSize()));
    QLabel* label = textLabel(text, font, color);
    label->setWordWrap(true);
    row->addWidget(label, 1);
    return bare(row, 6);
}

QWidget* insetDivider() {
    auto* holder = new QWidget;
    auto* row = new QHBoxLayout(holder);
    row->setContentsMargins(16, 0, 0, 0);
    row->addWidget(new Divider(Qt::Horizontal));
    return holder;
}

/// A section's heading row: the title on the left, controls bottom-aligned on the right.
QHBoxLayout* sectionHeader(const std::string& title, const std::string& subtitle) {
    auto* row = new QHBoxLayout;
    row->setSpacing(8);
    row->addWidget(new SectionTitle(q(L(title)), q(L(subtitle))), 1, Qt::AlignBottom);
    return row;
}

MonoButton* plusButton(const std::string& key) {
    auto* button = new MonoButton(q(L(key)));
    button->setSymbol("plus");
    return button;
}

/// The destination's status: a filled accent dot when available, a hollow one when not.
class StatusDot : public QWidget {
public:
    explicit StatusDot(bool available) : available(available) { setFixedSize(7, 7); }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(QPen(available ? qColor(Theme::accent) : qColor(Theme::paper.rgb, 0.6), 1));
        painter.setBrush(available ? qColor(Theme::accent) : Qt::transparent);
        painter.drawEllipse(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5));
    }

private:
    bool available;
};

std::string historySignature(const std::vector<BackupReport>& reports) {
    std::string key = std::to_string(reports.size());
    for (size_t i = 0; i < reports.size() && i < historyLimit; ++i) key += "|" + reports[i].id;
    return key;
}
}  // namespace

BackupPage::BackupPage(const PageContext& context, QWidget* parent)
    : QWidget(parent), model(context.model), sheetHost(context.sheet) {
    monoSurface(this, Theme::ground);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    scroll = new PageScroll(22);
    // Clicked on its background, the page's scrolling frame takes the focus (so
    // the keys scroll it): a reader then hears the page's name.
    scroll->setAccessibleName(q(AppModel::title(AppModel::Section::backup)));
    layout->addWidget(scroll);
    scroll->column()->addStretch(1);
    observation = this->model->observe([this] { update(); },
                                       AppModel::Change::backups | AppModel::Change::backupProgress);
    update();
}

BackupPage::~BackupPage() {
    model->unobserve(observation);
    // The sheet's actions call this page: they go with it.
    if (sheet()) sheetHost->dismiss();
}

bool BackupPage::showsOwnSheet() const {
    return sheetHost && shownSheet && static_cast<QObject*>(sheetHost->panel()) == shownSheet.data();
}

AddPlanSheet* BackupPage::sheet() const {
    return showsOwnSheet() ? static_cast<AddPlanSheet*>(shownSheet.data()) : nullptr;
}
int BackupPage::destinationColumns() const { return grid ? grid->columns() : 0; }
int BackupPage::destinationCardCount() const { return grid ? grid->count() : 0; }

void BackupPage::replace(QWidget*& section, QWidget* fresh, int index) {
    if (section) {
        scroll->column()->removeWidget(section);
        discard(section);
    }
    section = fresh;
    if (fresh) scroll->column()->insertWidget(index, fresh);
}

void BackupPage::update() {
    int index = 0;
    const auto& progress = model->backupProgress();
    const std::string runKey = model->runningBackup() ? std::string(progress ? "bar" : "counting") : "";
    if (runKey != runningKey) {
        runningKey = runKey;
        replace(running, runKey.empty() ? nullptr : makeRunningCard(), index);
    }
    if (running) ++index;
    refreshRunning();

    std::string destKey;
    for (const BackupDestination& d : model->destinations())
        destKey += d.id + "\n" + d.name + "\n" + location(d) + (d.available ? "+" : "-") + d.note.value_or("") + "\n";
    if (destKey != destinationsKey || !destinations) {
        destinationsKey = destKey;
        replace(destinations, makeDestinations(), index);
    }
    ++index;

    std::string planKey = destKey + model->runningBackup().value_or("") + (model->runningBackup() ? "*" : "");
    for (const BackupPlan& plan : model->plans()) {
        const auto line = lastRunLine(plan, std::chrono::system_clock::now(), model->history());
        planKey += plan.id + plan.source + plan.destinationId + (line ? line->text : "") + "\n";
    }
    if (planKey != plansKey || !plans) {
        plansKey = planKey;
        replace(plans, makePlans(), index);
    }
    ++index;

    const std::string histKey = historySignature(model->history());
    if (histKey != historyKey) {
        historyKey = histKey;
        replace(history, model->history().empty() ? nullptr : makeHistory(), index);
    }
    // The open sheet follows the available destinations, and only them.
    std::string sheetKey;
    for (const BackupDestination& d : model->availableDestinations()) sheetKey += d.id + "\n" + d.name + "\n";
    if (sheetKey != availableKey) {
        availableKey = sheetKey;
        if (sheet()) showSheet();
    }
}

QWidget* BackupPage::makeRunningCard() {
    auto* card = new Card(16);
    card->content()->setSpacing(8);
    auto* top = new QHBoxLayout;
    top->addWidget(symbolLabel("arrow.triangle.2.circlepath", q(L("正在备份")), Typography::font(14, QFont::Bold),
                               Foreground::primary()));
    top->addStretch(1);
    auto* cancel = new MonoButton(q(L("取消")));
    std::weak_ptr<AppModel> weak = model;
    connect(cancel, &QAbstractButton::clicked, this, [weak] {
        if (auto strong = weak.lock()) strong->cancelBackup();
    });
    top->addWidget(cancel);
    card->content()->addWidget(bare(top, 8));
    bar = nullptr, counts = nullptr, currentPath = nullptr;
    if (model->backupProgress()) {
        bar = new MonoBar(0, 6, Theme::accent);
        card->content()->addWidget(bar);
        auto* row = new QHBoxLayout;
        counts = textLabel({}, Typography::monospacedDigits(Typography::font(TextStyle::caption)),
                           Foreground::secondary());
        row->addWidget(counts);
        row->addStretch(1);
        currentPath = new ElidedLabel({}, Typography::font(TextStyle::caption), Foreground::secondary());
        currentPath->setAlignRight(true);
        currentPath->setMaximumWidth(380);
        row->addWidget(currentPath, 1);
        card->content()->addWidget(bare(row, 8));
    } else {
        auto* row = new QHBoxLayout;
        row->addWidget(new Spinner(ControlSize::small));
        row->addWidget(textLabel(q(L("正在统计文件…")), Typography::font(TextStyle::caption), Foreground::secondary()));
        row->addStretch(1);
        card->content()->addWidget(bare(row, 8));
    }
    return card;
}

void BackupPage::refreshRunning() {
    const auto& progress = model->backupProgress();
    if (!bar || !progress) return;
    bar->setValue(progressFraction(*progress));
    counts->setText(q(progressCounts(*progress)));
    currentPath->setText(q(Paths::abbreviate(progress->currentPath)));
}

QWidget* BackupPage::makeDestinations() {
    auto* column = new QVBoxLayout;
    QHBoxLayout* header = sectionHeader("备份目的地",
                                        "自动识别已登录的网盘同步目录;也可以添加外置硬盘、NAS 或任意同步文件夹。");
    MonoButton* addFolderButton = plusButton("添加文件夹…");
    connect(addFolderButton, &QAbstractButton::clicked, this, &BackupPage::addFolder);
    header->addWidget(addFolderButton, 0, Qt::AlignBottom);
    column->addLayout(header);
    if (model->destinations().empty()) {
        auto* card = new Card(16);
        card->content()->addWidget(symbolLabel(
            "icloud.slash",
            q(L("没有检测到网盘。用 Nextcloud、Dropbox 等客户端同步一个文件夹,在桌面的在线账户里添加 Google 账户,配置一个 rclone 远端,或接上外置硬盘后,它们会自动出现在这里。")),
            Typography::font(TextStyle::body), Foreground::secondary()));
        column->addWidget(card);
    }
    grid = new DestinationGrid;
    std::weak_ptr<AppModel> weak = model;
    for (const BackupDestination& destination : model->destinations()) {
        auto* card = new Card(16);
        // Wrapped notes need the card's full height for its width, not its preferred height.
        card->content()->setAlignment(Qt::Alignment());
        auto* row = new QHBoxLayout;
        const QColor symbolColor = destination.available ? qColor(Theme::paper) : Foreground::tertiary();
        row->addWidget(new SymbolView(kindSymbol(destination.kind), symbolColor, Typography::size(TextStyle::title2),
                                      QSizeF(32, 0)),
                       0, Qt::AlignTop);
        auto* texts = new QVBoxLayout;
        auto* nameRow = new QHBoxLayout;
        nameRow->addWidget(new ElidedLabel(q(destination.name), Typography::font(14, QFont::Bold),
                                           Foreground::primary(), Qt::ElideRight));
        nameRow->addWidget(new StatusDot(destination.available));
        if (!destination.available)
            nameRow->addWidget(new MonoTag(q(L("未就绪")), MonoTag::Weight::quiet, Theme::paper));
        nameRow->addStretch(1);
        texts->addWidget(bare(nameRow, 6));
        texts->addWidget(
            new ElidedLabel(q(location(destination)), Typography::font(TextStyle::caption), Foreground::secondary()));
        if (destination.note) {
            QLabel* note = textLabel(q(*destination.note), Typography::font(TextStyle::caption),
                                     Foreground::tertiary());
            note->setWordWrap(true);
            texts->addWidget(note);
        }
        row->addWidget(bare(texts, 3), 1, Qt::AlignTop);
        if (destination.kind == DestinationKind::folder) {
            row->addWidget(new IconButton("minus.circle", q(L("移除这个目的地(不会删除里面的备份)")),
                                          [weak, destination] {
                                              if (auto strong = weak.lock())
                                                  strong->removeCustomDestination(destination);
                                          }),
                           0, Qt::AlignTop);
        }
        card->content()->addWidget(bare(row, 12));
        FocusKeeper::setScope(card, destination.id);
        grid->add(card);
    }
    column->addWidget(grid);
    return bare(column, 10);
}

QWidget* BackupPage::makePlans() {
    const bool hasAvailable = !model->availableDestinations().empty();
    auto* column = new QVBoxLayout;
    QHBoxLayout* header = sectionHeader("备份计划", "增量备份:只复制新增和修改过的文件,从不删除目的地里的内容。");
    runAll = nullptr;
    if (offersRunAll(model->plans().size())) {
        runAll = new MonoButton(q(L("全部备份")));
        runAll->setEnabled(!model->runningBackup());
        std::weak_ptr<AppModel> weak = model;
        connect(runAll, &QAbstractButton::clicked, this, [weak] {
            if (auto strong = weak.lock()) strong->runAllPlans();
        });
        header->addWidget(runAll, 0, Qt::AlignBottom);
    }
    addPlanControl = plusButton("添加备份…");
    addPlanControl->setEnabled(hasAvailable);
    connect(addPlanControl, &QAbstractButton::clicked, this, &BackupPage::addPlan);
    header->addWidget(addPlanControl, 0, Qt::AlignBottom);
    column->addLayout(header);
    if (model->plans().empty()) {
        auto* card = new Card(16);
        card->content()->addWidget(symbolLabel("folder.badge.plus", q(emptyPlansText(hasAvailable)),
                                               Typography::font(TextStyle::body), Foreground::secondary()));
        column->addWidget(card);
    } else {
        auto* card = new Card(0);
        for (size_t i = 0; i < model->plans().size(); ++i) {
            if (i > 0) card->content()->addWidget(insetDivider());
            card->content()->addWidget(makePlanRow(model->plans()[i]));
        }
        column->addWidget(card);
    }
    return bare(column, 10);
}

QWidget* BackupPage::makePlanRow(const BackupPlan& plan) {
    auto* row = new QHBoxLayout;
    row->addWidget(new SymbolView("folder.fill", Foreground::primary(), Typography::size(TextStyle::body)));
    auto* texts = new QVBoxLayout;
    auto* route = new QHBoxLayout;
    route->addWidget(new ElidedLabel(q(Paths::abbreviate(plan.source)),
                                     Typography::font(TextStyle::body, QFont::DemiBold), Foreground::primary()));
    route->addWidget(new SymbolView("arrow.right", Foreground::tertiary(), captionSize));
    route->addWidget(textLabel(q(destinationLabel(plan, model->destinations())), Typography::font(TextStyle::body),
                               Foreground::secondary()));
    route->addStretch(1);
    texts->addWidget(bare(route, 6));
    if (const auto line = lastRunLine(plan, std::chrono::system_clock::now(), model->history())) {
        const QColor color = line->ok ? Foreground::secondary() : qColor(Theme::danger);
        auto* label = new QHBoxLayout;
        label->addWidget(new SymbolView(line->ok ? "checkmark" : "exclamationmark.triangle.fill", color, captionSize));
        label->addWidget(
            new ElidedLabel(q(line->text), Typography::font(TextStyle::caption, line->ok ? QFont::Normal : QFont::Bold),
                            color, Qt::ElideRight),
            1);
        texts->addWidget(bare(label, 4));
    } else {
        texts->addWidget(textLabel(q(L("尚未运行")), Typography::font(TextStyle::caption), Foreground::tertiary()));
    }
    row->addWidget(bare(texts, 3), 1);
    if (planIsRunning(model->runningBackup(), plan.id)) row->addWidget(new Spinner(ControlSize::small));
    auto* now = new MonoButton(q(L("立即备份")));
    now->setEnabled(!model->runningBackup());
    std::weak_ptr<AppModel> weak = model;
    connect(now, &QAbstractButton::clicked, this, [weak, plan] {
        if (auto strong = weak.lock()) strong->run(plan);
    });
    row->addWidget(now);
    row->addWidget(new IconButton("trash", q(L("删除这个计划(不会删除已有备份)")), [weak, plan] {
        if (auto strong = weak.lock()) strong->removePlan(plan);
    }));
    QWidget* holder = bare(row, 12, {16, 11, 16, 11});
    FocusKeeper::setScope(holder, plan.id);
    return holder;
}

QWidget* BackupPage::makeHistory() {
    auto* column = new QVBoxLayout;
    column->addWidget(new SectionTitle(q(L("备份记录"))));
    auto* card = new Card(0);
    const auto& reports = model->history();
    historyRows = int(std::min(reports.size(), historyLimit));
    for (int i = 0; i < historyRows; ++i) {
        if (i > 0) card->content()->addWidget(insetDivider());
        card->content()->addWidget(makeHistoryRow(reports[i]));
    }
    column->addWidget(card);
    return bare(column, 10);
}

QWidget* BackupPage::makeHistoryRow(const BackupReport& report) {
    const bool ok = report.status == BackupStatus::ok;
    auto* row = new QHBoxLayout;
    row->addWidget(new SymbolView(ok ? "checkmark.circle" : "exclamationmark.triangle.fill",
                                  ok ? qColor(Theme::accent) : qColor(Theme::danger), Typography::size(TextStyle::body),
                                  QSizeF(18, 0)));
    auto* texts = new QVBoxLayout;
    texts->addWidget(new ElidedLabel(q(Paths::abbreviate(report.source) + " → " + report.destinationName),
                                     Typography::font(TextStyle::body, ok ? QFont::Normal : QFont::Bold),
                                     Foreground::primary()));
    texts->addWidget(new ElidedLabel(q(summaryText(report)), Typography::font(TextStyle::caption),
                                     Foreground::secondary(), Qt::ElideRight));
    row->addWidget(bare(texts, 2), 1);
    row->addWidget(textLabel(q(Fmt::ago(report.finishedAt, std::chrono::system_clock::now())),
                             Typography::font(TextStyle::caption), Foreground::tertiary()));
    if (revealable(report.target)) {
        row->addWidget(new IconButton(
            "magnifyingglass", q(L("在文件管理器中显示备份")),
            [target = report.target, unanswered = Desktop::noticeOn(model)] { Desktop::reveal(target, unanswered); }));
    }
    QWidget* holder = bare(row, 10, {16, 9, 16, 9});
    FocusKeeper::setScope(holder, report.id);
    return holder;
}

void BackupPage::addFolder() {
    if (const auto folder = Desktop::chooseFolder(window())) model->addCustomDestination(*folder);
}

void BackupPage::addPlan() {
    sheetState.chose(Desktop::chooseFolder(window()), model->availableDestinations());
    showSheet();
}

void BackupPage::showSheet() {
    if (!sheetHost) return;
    if (!sheetState.isOpen()) {
        if (sheet()) sheetHost->dismiss();
        return;
    }
    AddPlanSheet::Actions actions{[this](const std::string& id) {
                                      sheetState.select(id);
                                      showSheet();
                                  },
                                  [this] { cancelSheet(); }, [this] { confirmSheet(); }};
    auto* made = new AddPlanSheet(sheetState, model->availableDestinations(), actions);
    shownSheet = made;
    // Another sheet on the shared host (the language prompt) may replace this
    // one: the plan being made then goes with it, as on Cancel.
    connect(made, &QObject::destroyed, this, [this] {
        if (!showsOwnSheet()) sheetState.cancel();
    });
    sheetHost->presentPanel(
        made, [this] { cancelSheet(); }, [this] { return confirmSheet(); });
}

void BackupPage::cancelSheet() {
    sheetState.cancel();
    showSheet();
}

bool BackupPage::confirmSheet() {
    if (!sheetState.canAdd()) return false;
    if (auto plan = sheetState.add()) model->addPlan(plan->first, plan->second);
    showSheet();
    return true;
}
