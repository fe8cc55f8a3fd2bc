#include "snapshot/Gallery.hpp"

#include <QApplication>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QMenu>
#include <QPainter>
#include <QVBoxLayout>
#include <memory>

#include "pages/ConfirmRequest.hpp"
#include "text/Localization.hpp"
#include "ui/controls/ConfirmSheet.hpp"
#include "ui/controls/IconButton.hpp"
#include "ui/controls/MonoBar.hpp"
#include "ui/controls/MonoButton.hpp"
#include "ui/controls/MonoMenu.hpp"
#include "ui/controls/MonoSegments.hpp"
#include "ui/controls/MonoSurface.hpp"
#include "ui/controls/Shapes.hpp"
#include "ui/controls/Tags.hpp"
#include "ui/controls/TextLink.hpp"
#include "ui/theme/QtTheme.hpp"
#include "ui/theme/Typography.hpp"

namespace {
QString text(const char* key) { return QString::fromStdString(L(key)); }

/// A map colour on its own, labelled in the colour's label contrast.
class ColorChip : public QWidget {
public:
    ColorChip(const Swatch& swatch, const QString& label) : swatch(swatch), label(label) { setFixedSize(54, 26); }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        Shapes::fillRounded(painter, QRectF(rect()), 7, qColor(swatch), Qt::transparent);
        painter.setFont(Typography::font(11, QFont::Bold));
        painter.setPen(qColor(Theme::labelColor(swatch)));
        Typography::drawLine(painter, QRectF(rect()), label, Qt::AlignHCenter);
    }

private:
    Swatch swatch;
    QString label;
};

QHBoxLayout* row(QBoxLayout* column, int spacing) {
    auto* line = new QHBoxLayout;
    line->setSpacing(spacing);
    column->addLayout(line);
    return line;
}

void finish(QHBoxLayout* line) { line->addStretch(1); }

void addButtons(QBoxLayout* column) {
    QHBoxLayout* line = row(column, 10);
    line->addWidget(new MonoButton(text("主要操作"), MonoButtonStyle{true, Theme::accent}));
    line->addWidget(new MonoButton(text("普通操作")));
    auto* disabled = new MonoButton(text("不可用"));
    disabled->setEnabled(false);
    line->addWidget(disabled);
    auto* small = new MonoButton(text("小按钮"));
    small->setControlSize(ControlSize::small);
    line->addWidget(small);
    auto* menu = new MonoMenu(text("归档到"));
    menu->menu()->addAction(text("iCloud 云盘").replace("&", "&&"));
    line->addWidget(menu);
    line->addWidget(new TextLink(text("文字链接")));
    line->addWidget(new IconButton("magnifyingglass", QString(), {}));
    finish(line);
}

/// The width a row of `widgets` 10 points apart asks for.
int naturalWidth(const std::vector<QWidget*>& widgets) {
    int width = 10 * (int(widgets.size()) - 1);
    for (QWidget* widget : widgets) width += widget->sizeHint().width();
    return width;
}

// The tags and the segmented control share one row where they fit `room`
// (as in Chinese); longer texts (English) put the control on a row of its own
// rather than squeeze or clip either.
void addTags(QBoxLayout* column, int room) {
    std::vector<QWidget*> tags;
    for (Risk risk : {Risk::safe, Risk::review, Risk::caution}) tags.push_back(new RiskTag(risk));
    tags.push_back(new MonoTag(text("只读"), MonoTag::Weight::quiet, Theme::paper));
    tags.push_back(new MonoTag(text("写入"), MonoTag::Weight::outlined, Theme::warn));
    tags.push_back(new MonoTag(text("需确认"), MonoTag::Weight::solid, Theme::danger));
    QWidget* segments = new MonoSegments({{"a", "Voronoi"}, {"b", text("地形")}, {"c", text("矩形")}}, "a");
    std::vector<QWidget*> together = tags;
    together.push_back(segments);
    QHBoxLayout* line = row(column, 10);
    for (QWidget* tag : tags) line->addWidget(tag);
    if (naturalWidth(together) > room) {
        finish(line);
        line = row(column, 10);
    }
    line->addWidget(segments);
    finish(line);
}

void addBars(QBoxLayout* column) {
    QHBoxLayout* line = row(column, 10);
    const std::pair<double, ThemeColor> bars[] = {{0.62, Theme::accent}, {0.85, Theme::warn}, {0.95, Theme::danger}};
    for (const auto& [value, tint] : bars) {
        auto* bar = new MonoBar(value, 6, tint);
        bar->setFixedWidth(140);
        line->addWidget(bar);
    }
    finish(line);
}

void addChips(QBoxLayout* column) {
    QHBoxLayout* line = row(column, 4);
    const auto& data = Theme::data();
    for (size_t i = 0; i < data.size(); ++i) line->addWidget(new ColorChip(data[i], QString::number(i + 1)));
    line->addWidget(new ColorChip({0.42, 0.4164743, 0.4076600}, text("其他")));
    line->addWidget(new ColorChip({0.25, 0.2479014, 0.2426548}, text("其余")));
    finish(line);
}

constexpr QSize controlsSize(640, 200);
constexpr int controlsPadding = 20;
}  // namespace

namespace Gallery {
QWidget* controlSheet() {
    auto* sheet = new QWidget;
    auto* column = new QVBoxLayout(sheet);
    column->setContentsMargins(controlsPadding, controlsPadding, controlsPadding, controlsPadding);
    column->setSpacing(14);
    addButtons(column);
    addTags(column, controlsSize.width() - 2 * controlsPadding);
    addBars(column);
    addChips(column);
    column->addStretch(1);
    sheet->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    return sheet;
}
}  // namespace Gallery

namespace {

QImage sheetImage(const std::string& title, const std::string& message, int height) {
    auto request = ConfirmRequest::make(title, message, L("移到废纸篓"), true, [] {});
    return Gallery::standalone(new ConfirmSheet(std::move(request), [] {}), QSize(430, height));
}
}  // namespace

namespace Gallery {
QImage standalone(QWidget* content, QSize size) {
    auto frame = std::make_unique<QWidget>();
    frame->setAttribute(Qt::WA_DontShowOnScreen);
    monoSurface(frame.get(), Theme::ground);
    auto* grid = new QGridLayout(frame.get());
    grid->setContentsMargins(0, 0, 0, 0);
    const bool fills = content->sizePolicy().horizontalPolicy() == QSizePolicy::Expanding;
    grid->addWidget(content, 0, 0, fills ? Qt::Alignment() : Qt::AlignCenter);
    if (content->hasHeightForWidth() && !fills) {
        content->setFixedHeight(content->heightForWidth(content->width()));
    }
    frame->setFixedSize(size);
    frame->show();
    QApplication::sendPostedEvents();
    frame->layout()->activate();
    QImage image = frame->grab().toImage().convertToFormat(QImage::Format_ARGB32);
    return image;
}

QImage controls() { return standalone(controlSheet(), controlsSize); }

QImage confirm() {
    return sheetImage(L("清理“Xcode 派生数据”?"),
                      L("约 12.4 GB。文件会进入废纸篓,可以恢复;清倒废纸篓后才真正释放空间。"), 190);
}

QImage confirmICloud(bool demo) {
    const std::string title = demo ? L("把“家庭视频”移到废纸篓?") : L("把“quillbrook”移到废纸篓?");
    const std::string size = demo ? "5.4 GB" : "2.9 MB";
    const std::string note = L(
        " · 它在 iCloud 里:移到废纸篓后,会同时从 iCloud 和你的其他设备上消失。只想腾出这台电脑"
        "的空间,请取消,改用右键菜单里的“释放本地副本”。");
    return sheetImage(title, size + note, 230);
}
}  // namespace Gallery
