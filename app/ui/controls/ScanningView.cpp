#include "ui/controls/ScanningView.hpp"

#include <QFontMetrics>
#include <QLabel>
#include <QVBoxLayout>

#include "Support.hpp"
#include "pages/NumberText.hpp"
#include "text/Localization.hpp"
#include "ui/controls/MonoButton.hpp"
#include "ui/controls/Spinner.hpp"
#include "ui/controls/TextLabel.hpp"
#include "ui/theme/Typography.hpp"

namespace {
constexpr int maxPathWidth = 460;
}

ScanningView::ScanningView(std::function<void()> stop, QWidget* parent) : QWidget(parent), stop(std::move(stop)) {
    auto* column = new QVBoxLayout(this);
    column->setSpacing(14);
    column->addStretch(1);
    column->addWidget(new Spinner(ControlSize::large), 0, Qt::AlignHCenter);
    const QString heading = QString::fromStdString(L("正在扫描主目录…"));
    column->addWidget(textLabel(heading, Typography::font(TextStyle::title3, QFont::Bold), Foreground::primary()), 0,
                      Qt::AlignHCenter);
    counterLine = textLabel({}, Typography::monospacedDigits(Typography::font(TextStyle::callout)),
                            Foreground::secondary());
    pathLine = textLabel({}, Typography::font(TextStyle::caption), Foreground::tertiary());
    pathLine->setMaximumWidth(maxPathWidth);
    column->addWidget(counterLine, 0, Qt::AlignHCenter);
    column->addWidget(pathLine, 0, Qt::AlignHCenter);
    auto* stopButton = new MonoButton(QString::fromStdString(L("停止")));
    connect(stopButton, &QAbstractButton::clicked, this, [this] {
        if (this->stop) this->stop();
    });
    column->addWidget(stopButton, 0, Qt::AlignHCenter);
    column->addStretch(1);
    setProgress(std::nullopt);
}

void ScanningView::setProgress(const std::optional<ScanProgress>& progress) {
    counterLine->setVisible(progress.has_value());
    pathLine->setVisible(progress.has_value());
    if (!progress) return;
    counterLine->setText(counters(*progress));
    pathLine->setText(shownPath(progress->currentPath, pathLine->font(), maxPathWidth));
}

QString ScanningView::counters(const ScanProgress& progress) {
    return QString::fromStdString(L("%@ 个文件 · %@", NumberText::grouped(progress.files), Fmt::bytes(progress.bytes)));
}

QString ScanningView::shownPath(const std::string& path, const QFont& font, int maxWidth) {
    return QFontMetrics(font).elidedText(shownText(Paths::abbreviate(path)), Qt::ElideMiddle, maxWidth);
}
