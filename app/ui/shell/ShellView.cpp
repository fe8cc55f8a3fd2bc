#include "ui/shell/ShellView.hpp"

#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QVBoxLayout>

#include "Localization.hpp"
#include "ui/theme/QtTheme.hpp"

namespace {

QFont uiFont(int pixelSize, QFont::Weight weight = QFont::Normal) {
    QFont font("Noto Sans CJK SC");
    font.setPixelSize(pixelSize);
    font.setWeight(weight);
    return font;
}

QLabel* plainLabel(const QString& text, const QFont& font, const QColor& color) {
    auto* label = new QLabel(text);
    label->setTextFormat(Qt::PlainText);
    label->setFont(font);
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, color);
    label->setPalette(palette);
    return label;
}

void fill(QWidget* widget, const ThemeColor& color) {
    widget->setAutoFillBackground(true);
    QPalette palette = widget->palette();
    palette.setColor(QPalette::Window, qColor(color));
    widget->setPalette(palette);
}

/// The hairline between the sidebar and the page: `line` over the ground.
class Rule : public QWidget {
public:
    Rule() { setFixedWidth(1); }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.fillRect(rect(), qColor(Theme::ground));
        painter.fillRect(rect(), qColor(Theme::line));
    }
};

}  // namespace

/// One section in the sidebar; the shown one sits on a faint rounded plate.
class SectionRow : public QWidget {
public:
    SectionRow(AppModel::Section section, std::function<void()> choose)
        : section(section), choose(std::move(choose)) {
        setFixedHeight(34);
        setFont(uiFont(14));
        setCursor(Qt::PointingHandCursor);
    }
    const AppModel::Section section;
    void setSelected(bool value) {
        if (selected == value) return;
        selected = value;
        update();
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        if (selected) {
            QPainterPath plate;
            plate.addRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), 11, 11);
            painter.fillPath(plate, qColor(Theme::paper.rgb, 0.08));
        }
        painter.setPen(qColor(Theme::paper.rgb, selected ? 1.0 : 0.7));
        painter.drawText(rect().adjusted(12, 0, -12, 0), Qt::AlignVCenter | Qt::AlignLeft | Qt::TextSingleLine,
                         QString::fromStdString(AppModel::title(section)));
    }
    void mousePressEvent(QMouseEvent* event) override {
        if (event->button() == Qt::LeftButton) choose();
    }

private:
    std::function<void()> choose;
    bool selected = false;
};

ShellView::ShellView(std::shared_ptr<AppModel> model, QWidget* parent) : QWidget(parent), model(std::move(model)) {
    fill(this, Theme::ground);
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(makeSidebar());
    layout->addWidget(new Rule);
    layout->addWidget(makePageColumn(), 1);
    observation = this->model->observe([this] { refresh(); });
    refresh();
}

ShellView::~ShellView() { model->unobserve(observation); }

QWidget* ShellView::makeSidebar() {
    auto* sidebar = new QWidget;
    sidebar->setFixedWidth(sidebarWidth);
    auto* layout = new QVBoxLayout(sidebar);
    layout->setContentsMargins(12, 22, 12, 16);
    layout->setSpacing(2);
    // The product name is the same in every language.
    auto* name = plainLabel("Ostrevane", uiFont(17, QFont::Bold), qColor(Theme::paper));
    name->setContentsMargins(12, 0, 0, 14);
    layout->addWidget(name);
    for (AppModel::Section section : AppModel::sections()) {
        auto* row = new SectionRow(section, [this, section] { model->setSection(section); });
        rows.push_back(row);
        layout->addWidget(row);
    }
    layout->addStretch(1);
    return sidebar;
}

QWidget* ShellView::makePageColumn() {
    auto* column = new QWidget;
    auto* layout = new QVBoxLayout(column);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    auto* header = new QWidget;
    auto* headerLayout = new QHBoxLayout(header);
    headerLayout->setContentsMargins(28, 22, 28, 14);
    title = plainLabel({}, uiFont(22, QFont::Black), qColor(Theme::paper));
    status = plainLabel({}, uiFont(12), qColor(Theme::paper.rgb, 0.55));
    headerLayout->addWidget(title);
    headerLayout->addStretch(1);
    headerLayout->addWidget(status);
    layout->addWidget(header);
    auto* page = new QWidget;
    fill(page, Theme::ground);
    layout->addWidget(page, 1);
    return column;
}

void ShellView::refresh() {
    // No section shows the overview.
    const AppModel::Section shown = model->section().value_or(AppModel::Section::overview);
    for (SectionRow* row : rows) row->setSelected(row->section == shown);
    title->setText(QString::fromStdString(AppModel::title(shown)));
    status->setText(QString::fromStdString(scanStateText(*model, std::chrono::system_clock::now())));
}

std::string scanStateText(const AppModel& model, Date now) {
    if (model.isScanning()) {
        if (const auto& progress = model.scanProgress()) return L("已扫描 %@ 个文件", progress->files);
        return L("正在扫描主目录…");
    }
    if (model.isAnalyzing()) return L("正在分析…");
    if (const auto& scan = model.scan()) return L("扫描于%@", Fmt::ago(scan->scannedAt, now));
    return {};
}
