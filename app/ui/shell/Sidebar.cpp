#include "ui/shell/Sidebar.hpp"

#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QVBoxLayout>
#include <algorithm>

#include "pages/Chrome.hpp"
#include "text/Localization.hpp"
#include "ui/controls/BrandMark.hpp"
#include "ui/controls/FocusRing.hpp"
#include "ui/controls/MonoBar.hpp"
#include "ui/controls/Shapes.hpp"
#include "ui/controls/SymbolView.hpp"
#include "ui/controls/TextLabel.hpp"
#include "ui/theme/QtTheme.hpp"
#include "ui/theme/Symbols.hpp"
#include "ui/theme/Typography.hpp"

namespace {
const double rowText = Typography::size(TextStyle::body);
constexpr double symbolFrame = 20;
constexpr double spacing = 9;
constexpr double padX = 12;
constexpr double padY = 8;
}  // namespace

SidebarRow::SidebarRow(AppModel::Section section, QWidget* parent) : QAbstractButton(parent), section(section) {
    setFocusPolicy(Qt::TabFocus);
    FocusRing::setRadius(this, 11);
    setCursor(Qt::PointingHandCursor);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    setAccessibleName(QString::fromStdString(AppModel::title(section)));
}

void SidebarRow::setSelected(bool value) {
    if (chosen == value) return;
    chosen = value;
    update();
}

void SidebarRow::setBadge(const std::optional<std::string>& text) {
    std::optional<QString> value;
    if (text) value = QString::fromStdString(*text);
    if (value == badgeText) return;
    badgeText = value;
    update();
}

QSize SidebarRow::sizeHint() const {
    return QSize(Sidebar::columnWidth - 20, int(2 * padY) + Typography::lineHeight(Typography::font(rowText)));
}

SidebarRow::Fit SidebarRow::fit() const {
    const QRectF line = QRectF(rect()).adjusted(padX, padY, -padX, -padY);
    const double room = line.width() - symbolFrame - spacing;
    Fit made{accessibleName(), Typography::font(rowText, chosen ? QFont::Bold : QFont::Medium),
             Typography::monospacedDigits(Typography::font(TextStyle::subheadline, QFont::Medium))};
    const double title = Typography::width(made.titleFont, made.title);
    if (!badgeText) {
        made.title = QFontMetrics(made.titleFont).elidedText(made.title, Qt::ElideRight, int(room));
        return made;
    }
    // A long title in a language with long words ("Cloud Backup" beside "In
    // progress") keeps its words: the badge, the lesser text, gives way first.
    for (double size = Typography::size(TextStyle::subheadline); size >= 9; size -= 0.5) {
        const QFont badge = Typography::monospacedDigits(Typography::font(size, QFont::Medium));
        made.badgeFont = badge;
        if (title + 4 + Typography::width(badge, *badgeText) <= room) return made;
    }
    const double left = room - 4 - Typography::width(made.badgeFont, *badgeText);
    made.title = QFontMetrics(made.titleFont).elidedText(made.title, Qt::ElideRight, int(left));
    return made;
}

void SidebarRow::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF box(rect());
    Shapes::fillRounded(painter, box, 11, qColor(Theme::paper.rgb, chosen ? 0.1 : 0), Qt::transparent);
    const QRectF line = box.adjusted(padX, padY, -padX, -padY);
    const QColor symbolColor = chosen ? qColor(Theme::accent) : qColor(Theme::paper.rgb, 0.7);
    Symbols::draw(painter, QRectF(line.left(), line.top(), symbolFrame, line.height()),
                  std::string(AppModel::symbol(section)), symbolColor, rowText);
    const double foreground = chosen ? 1.0 : 0.8;
    const Fit shown = fit();
    if (badgeText) {
        painter.setFont(shown.badgeFont);
        painter.setPen(qColor(Theme::paper.rgb, foreground * 0.55));
        Typography::drawLine(painter, line, *badgeText, Qt::AlignRight);
    }
    const double left = line.left() + symbolFrame + spacing;
    painter.setFont(shown.titleFont);
    painter.setPen(qColor(Theme::paper.rgb, foreground));
    Typography::drawLine(painter, QRectF(left, line.top(), line.right() - left, line.height()), shown.title);
}

void SidebarRow::keyPressEvent(QKeyEvent* event) {
    const int step = event->key() == Qt::Key_Up ? -1 : event->key() == Qt::Key_Down ? 1 : 0;
    if (step == 0 || event->modifiers() != Qt::NoModifier) return QAbstractButton::keyPressEvent(event);
    if (onStep) onStep(this, step);
}

Sidebar::Sidebar(std::shared_ptr<AppModel> model, QWidget* parent) : QWidget(parent), model(std::move(model)) {
    setFixedWidth(columnWidth);
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(10, 0, 10, 14);
    column->setSpacing(3);
    column->addWidget(makeBrand());
    for (AppModel::Section section : AppModel::sections()) {
        auto* row = new SidebarRow(section);
        connect(row, &QAbstractButton::clicked, this, [this, section] { this->model->setSection(section); });
        row->onStep = [this](SidebarRow* from, int step) { moveFrom(from, step); };
        sectionRows.push_back(row);
        column->addWidget(row);
    }
    column->addSpacerItem(new QSpacerItem(0, 12, QSizePolicy::Minimum, QSizePolicy::MinimumExpanding));
    column->addWidget(makeFooter());
    observation = this->model->observe([this] { refresh(); }, AppModel::Change::section | AppModel::Change::analysis |
                                                                  AppModel::Change::volumes |
                                                                  AppModel::Change::backups);
    refresh();
}

Sidebar::~Sidebar() { model->unobserve(observation); }

void Sidebar::moveFrom(SidebarRow* from, int step) {
    const auto at = std::find(sectionRows.begin(), sectionRows.end(), from);
    if (at == sectionRows.end()) return;
    const long index = long(at - sectionRows.begin()) + step;
    if (index < 0 || index >= long(sectionRows.size())) return;
    SidebarRow* next = sectionRows[size_t(index)];
    // Arrow keys move the keyboard focus as Tab does: the ring follows.
    window()->setAttribute(Qt::WA_KeyboardFocusChange);
    next->setFocus(Qt::TabFocusReason);
    next->click();
}

void Sidebar::focusRow(AppModel::Section section) {
    for (SidebarRow* row : sectionRows)
        if (row->section == section) row->setFocus(Qt::OtherFocusReason);
}

QWidget* Sidebar::makeBrand() {
    auto* brand = new QWidget;
    auto* row = new QHBoxLayout(brand);
    // 46 points at the top keep the row clear of the window's title bar.
    row->setContentsMargins(12, 46, 12, 18);
    row->setSpacing(9);
    row->addWidget(new BrandMark(22), 0, Qt::AlignVCenter);
    // The product name, the same in every language.
    row->addWidget(textLabel("Ostrevane", Typography::font(16, QFont::ExtraBold), Foreground::primary()), 0,
                   Qt::AlignVCenter);
    row->addStretch(1);
    brand->setFixedHeight(46 + 30 + 18);
    return brand;
}

QWidget* Sidebar::makeFooter() {
    footerBox = new QWidget;
    auto* column = new QVBoxLayout(footerBox);
    column->setContentsMargins(12, 0, 12, 4);
    column->setSpacing(7);
    volumeName = textLabel({}, Typography::font(TextStyle::caption, QFont::DemiBold), Foreground::primary());
    bar = new MonoBar(0, 4, Theme::accent);
    freeLine = textLabel({}, Typography::font(TextStyle::caption2), Foreground::secondary());
    lowSpace = new QWidget;
    auto* warning = new QHBoxLayout(lowSpace);
    warning->setContentsMargins(0, 0, 0, 0);
    warning->setSpacing(4);
    const double size = Typography::size(TextStyle::caption2);
    warning->addWidget(new SymbolView("exclamationmark.triangle.fill", qColor(Theme::danger), size));
    warning->addWidget(textLabel(QString::fromStdString(L("空间不足")),
                                 Typography::font(TextStyle::caption2, QFont::Bold), qColor(Theme::danger)));
    warning->addStretch(1);
    for (QWidget* item :
         {static_cast<QWidget*>(volumeName), static_cast<QWidget*>(bar), static_cast<QWidget*>(freeLine), lowSpace})
        column->addWidget(item);
    return footerBox;
}

void Sidebar::refresh() {
    const AppModel::Section shown = Chrome::shown(model->section());
    for (SidebarRow* row : sectionRows) {
        row->setSelected(row->section == shown);
        row->setBadge(Chrome::badge(row->section, model->report(), model->runningBackup()));
    }
    const VolumeInfo* volume = model->rootVolume();
    footerBox->setVisible(volume != nullptr);
    if (!volume) return;
    volumeName->setText(shownText(volume->name));
    bar->setValue(volume->usedPercent / 100);
    bar->setTint(Chrome::footerTint(volume->usedPercent));
    freeLine->setText(QString::fromStdString(Chrome::footerLine(*volume)));
    lowSpace->setVisible(Chrome::lowOnSpace(volume->usedPercent));
}
