#include "ui/pages/DiskCard.hpp"

#include <QBoxLayout>
#include <QEvent>
#include <QFontMetricsF>
#include <QLabel>
#include <QPainter>
#include <cmath>

#include "pages/OverviewCards.hpp"
#include "text/Localization.hpp"
#include "ui/controls/SymbolView.hpp"
#include "ui/controls/TextLabel.hpp"
#include "ui/controls/TextRuns.hpp"
#include "ui/pages/CapacityBar.hpp"
#include "ui/theme/QtTheme.hpp"
#include "ui/theme/Typography.hpp"

namespace {
constexpr double columnMin = 190;
constexpr double columnGap = 14;
constexpr int rowGap = 8;
constexpr double swatchSide = 12;
constexpr double entrySpacing = 7;

QFont entryFont() { return Typography::font(TextStyle::callout); }
}  // namespace

LegendEntry::LegendEntry(UsageSegment segment, QWidget* parent) : QAbstractButton(parent), shown(std::move(segment)) {
    setFocusPolicy(Qt::TabFocus);
    setEnabled(shown.path.has_value());
    setCursor(isEnabled() ? Qt::PointingHandCursor : Qt::ArrowCursor);
    // A reader hears what the entry shows: the category and its size.
    setAccessibleName(QString::fromStdString(shown.label + ", " + Fmt::bytes(shown.bytes)));
}

void LegendEntry::setDimmed(bool value) {
    if (dimmed == value) return;
    dimmed = value;
    update();
}

QSize LegendEntry::sizeHint() const {
    const QFont font = entryFont();
    const double width = swatchSide + entrySpacing + Typography::width(font, QString::fromStdString(shown.label)) +
                         entrySpacing + Typography::width(font, QString::fromStdString(Fmt::bytes(shown.bytes)));
    // A point of slack: the entry's own width never cuts its label.
    return QSize(int(std::ceil(width)) + 1, Typography::lineHeight(font));
}

void LegendEntry::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setOpacity((dimmed ? 0.4 : 1.0) * (isEnabled() ? 1.0 : 0.35));
    const QRectF box(rect());
    paintSegmentFill(painter, QRectF(0, box.center().y() - swatchSide / 2, swatchSide, swatchSide), shown, 3.5);
    const QFont font = entryFont();
    painter.setFont(font);
    const QString size = QString::fromStdString(Fmt::bytes(shown.bytes));
    const double sizeWidth = Typography::width(font, size);
    const double left = swatchSide + entrySpacing;
    const double labelRoom = std::max(0.0, box.width() - left - entrySpacing - sizeWidth);
    const QString label = QFontMetricsF(font).elidedText(QString::fromStdString(shown.label), Qt::ElideRight,
                                                         labelRoom + 0.5);
    painter.setPen(Foreground::primary());
    Typography::drawLine(painter, QRectF(left, 0, labelRoom, box.height()), label);
    painter.setPen(Foreground::secondary());
    const double labelWidth = Typography::width(font, label);
    Typography::drawLine(painter, QRectF(left + labelWidth + entrySpacing, 0, sizeWidth + 1, box.height()), size);
}

LegendGrid::LegendGrid(QWidget* parent)
    : QWidget(parent), grid(new ResponsiveGrid(columnMin, columnGap, rowGap, this)) {
    grid->setItemsKeepTheirWidth(true);
    grid->setPreferredWidth(400);
    QSizePolicy policy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    policy.setHeightForWidth(true);
    setSizePolicy(policy);
}

void LegendGrid::setEntries(std::vector<LegendEntry*> entries) {
    // Hidden at once: deletion waits for the event loop, and a stale entry must not show meanwhile.
    for (LegendEntry* item : items) {
        grid->removeWidget(item);
        item->hide();
        item->deleteLater();
    }
    items = std::move(entries);
    for (LegendEntry* item : items) {
        item->setParent(this);
        item->show();
        grid->addWidget(item);
    }
    // Placed now rather than on the next layout pass, so a picture taken at once shows them.
    grid->activate();
    updateGeometry();
}

DiskCard::DiskCard(std::shared_ptr<AppModel> model, QWidget* parent) : Card(20, parent), model(std::move(model)) {
    content()->setSpacing(16);
    content()->setAlignment(Qt::Alignment());  // the content fills the card
    auto* header = new QHBoxLayout;
    header->setSpacing(8);
    const QColor secondary = Foreground::secondary();
    header->addWidget(new SymbolView("internaldrive.fill", secondary, Typography::size(TextStyle::title2)), 0,
                      Qt::AlignVCenter);
    name = textLabel({}, Typography::font(20, QFont::ExtraBold), Foreground::primary());
    header->addWidget(name, 0, Qt::AlignVCenter);
    header->addStretch(1);
    available = new TextRuns;
    header->addWidget(available, 0, Qt::AlignVCenter);
    content()->addLayout(header);
    capacity = new CapacityBar;
    capacity->onHover = [this](const QString& id) { setHovered(id); };
    content()->addWidget(capacity);
    grid = new LegendGrid;
    content()->addWidget(grid);
    warningRow = new QWidget;
    auto* warning = new QHBoxLayout(warningRow);
    warning->setContentsMargins(0, 0, 0, 0);
    warning->setSpacing(6);
    const QColor danger = qColor(Theme::danger);
    warning->addWidget(new SymbolView("exclamationmark.triangle.fill", danger, Typography::size(TextStyle::callout)));
    warningText = textLabel({}, Typography::font(TextStyle::callout, QFont::Bold), danger);
    warning->addWidget(warningText);
    warning->addStretch(1);
    content()->addWidget(warningRow);
}

void DiskCard::show(const VolumeInfo& volume, const std::vector<UsageSegment>& value) {
    name->setText(shownText(volume.name));
    const QFont body = Typography::font(TextStyle::body);
    available->setRuns({
        {QString::fromStdString(L("可用 ")), body, Foreground::secondary()},
        {QString::fromStdString(volume.available), Typography::font(18, QFont::ExtraBold), Foreground::primary()},
        {QString::fromStdString(" / " + volume.total), body, Foreground::secondary()},
    });
    capacity->setSegments(value, volume.totalBytes, QString::fromStdString(volume.available));
    if (value != segments) {
        segments = value;
        std::vector<LegendEntry*> entries;
        for (const UsageSegment& segment : segments) {
            auto* entry = new LegendEntry(segment);
            connect(entry, &QAbstractButton::clicked, this, [this, path = segment.path.value_or("")] {
                model->setExplorerPath(path);
                model->setSection(AppModel::Section::explorer);
            });
            entry->setMouseTracking(true);
            entry->installEventFilter(this);
            entries.push_back(entry);
        }
        grid->setEntries(std::move(entries));
        hovered.clear();
        setHovered({});
    }
    const std::optional<std::string> warning = OverviewCards::diskWarning(volume);
    warningRow->setVisible(warning.has_value());
    if (warning) warningText->setText(QString::fromStdString(*warning));
}

bool DiskCard::eventFilter(QObject* watched, QEvent* event) {
    auto* entry = qobject_cast<LegendEntry*>(watched);
    if (entry && (event->type() == QEvent::Enter || event->type() == QEvent::Leave)) {
        const QString id = QString::fromStdString(entry->segment().id);
        // Leaving clears the hover only when it is still this entry's.
        if (event->type() == QEvent::Enter)
            setHovered(id);
        else if (hovered == id)
            setHovered({});
    }
    return Card::eventFilter(watched, event);
}

void DiskCard::setHovered(const QString& id) {
    hovered = id;
    capacity->setHovered(id);
    for (LegendEntry* entry : grid->entries())
        entry->setDimmed(!id.isEmpty() && QString::fromStdString(entry->segment().id) != id);
}
