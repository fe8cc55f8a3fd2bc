#include "ui/pages/AddPlanSheet.hpp"

#include <QAbstractButton>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QVBoxLayout>

#include "text/Localization.hpp"
#include "ui/controls/ElidedLabel.hpp"
#include "ui/controls/FocusRing.hpp"
#include "ui/controls/MonoButton.hpp"
#include "ui/controls/MonoSurface.hpp"
#include "ui/controls/Shapes.hpp"
#include "ui/controls/TextLabel.hpp"
#include "ui/theme/QtTheme.hpp"
#include "ui/theme/Symbols.hpp"
#include "ui/theme/Typography.hpp"

namespace {
constexpr int sheetWidth = 460;
constexpr int padding = 22;

QString q(const std::string& text) { return shownText(text); }

/// One destination: a radio symbol and the name on a rounded plate that is the hit area.
class ChoiceRow : public QAbstractButton {
public:
    ChoiceRow(const QString& name, bool selected) : name(name), selected(selected) {
        setFont(Typography::font(TextStyle::body, selected ? QFont::Bold : QFont::Normal));
        setFocusPolicy(Qt::TabFocus);
        FocusRing::setRadius(this, 10);
        setCursor(Qt::PointingHandCursor);
        setAccessibleName(name);
    }
    QSize sizeHint() const override { return {sheetWidth - 2 * padding, Typography::lineHeight(font()) + 14}; }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        Shapes::fillRounded(painter, QRectF(rect()), 10, qColor(Theme::paper.rgb, selected ? 0.1 : 0),
                            selected ? qColor(Theme::accent.rgb, 0.7) : qColor(Theme::paper.rgb, 0.16));
        const double side = Symbols::side(Typography::size(TextStyle::body));
        const QRectF symbol(11, (height() - side) / 2, side, side);
        Symbols::draw(painter, symbol, selected ? "largecircle.fill.circle" : "circle",
                      selected ? qColor(Theme::accent) : qColor(Theme::paper.rgb, 0.6),
                      Typography::size(TextStyle::body));
        painter.setFont(font());
        painter.setPen(qColor(Theme::paper));
        const QRectF text(symbol.right() + 9, 0, width() - symbol.right() - 9 - 11, height());
        Typography::drawLine(painter, text, QFontMetrics(font()).elidedText(name, Qt::ElideRight, int(text.width())));
    }

private:
    QString name;
    bool selected;
};

QLabel* caption(const std::string& key) {
    return textLabel(q(L(key)), Typography::font(TextStyle::caption, QFont::DemiBold), Foreground::secondary());
}
}  // namespace

AddPlanSheet::AddPlanSheet(const AddPlanState& state, const std::vector<BackupDestination>& available, Actions actions,
                           QWidget* parent)
    : QWidget(parent) {
    monoSurface(this, Theme::panel);
    setFixedWidth(sheetWidth);
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(padding, padding, padding, padding);
    column->setSpacing(16);
    column->addWidget(
        textLabel(q(L("添加备份计划")), Typography::font(TextStyle::title2, QFont::Bold), Foreground::primary()));

    auto* folder = new QVBoxLayout;
    folder->setSpacing(4);
    folder->addWidget(caption("文件夹"));
    folder->addWidget(new ElidedLabel(q(state.newSource ? Paths::abbreviate(*state.newSource) : ""),
                                      Typography::font(TextStyle::body), Foreground::primary()));
    column->addLayout(folder);

    auto* choices = new QVBoxLayout;
    choices->setSpacing(6);
    choices->addWidget(caption("备份到"));
    const auto selected = state.selectedRow(available);
    for (size_t row = 0; row < available.size(); ++row) {
        auto* choice = new ChoiceRow(q(available[row].name), selected == row);
        connect(choice, &QAbstractButton::clicked, this, [select = actions.select, id = available[row].id] {
            if (select) select(id);
        });
        rows.push_back(choice);
        choices->addWidget(choice);
    }
    column->addLayout(choices);

    if (const auto line = state.locationLine(available)) {
        QLabel* location = textLabel(q(*line), Typography::font(TextStyle::caption), Foreground::secondary());
        location->setWordWrap(true);
        location->setTextInteractionFlags(Qt::TextSelectableByMouse);
        column->addWidget(location);
    }

    auto* buttons = new QHBoxLayout;
    buttons->setSpacing(10);
    buttons->addStretch(1);
    cancel = new MonoButton(q(L("取消")));
    add = new MonoButton(q(L("添加")), MonoButtonStyle{true, Theme::accent});
    add->setEnabled(state.canAdd());
    connect(cancel, &QAbstractButton::clicked, this, [done = actions.cancel] {
        if (done) done();
    });
    connect(add, &QAbstractButton::clicked, this, [done = actions.add] {
        if (done) done();
    });
    buttons->addWidget(cancel);
    buttons->addWidget(add);
    column->addLayout(buttons);
}
