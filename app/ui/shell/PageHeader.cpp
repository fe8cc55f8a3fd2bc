#include "ui/shell/PageHeader.hpp"

#include <QHBoxLayout>
#include <QLabel>
#include <QTextDocument>

#include "pages/Chrome.hpp"
#include "text/Localization.hpp"
#include "ui/controls/MonoButton.hpp"
#include "ui/controls/PageScroll.hpp"
#include "ui/controls/Spinner.hpp"
#include "ui/controls/TextLabel.hpp"
#include "ui/theme/Typography.hpp"

PageHeader::PageHeader(std::shared_ptr<AppModel> model, QWidget* parent) : QWidget(parent), model(std::move(model)) {
    auto* row = new QHBoxLayout(this);
    // 46 points at the top keep the content clear of the window's title bar.
    row->setContentsMargins(PageScroll::padding, 46, PageScroll::padding, 16);
    row->setSpacing(12);
    heading = textLabel({}, Typography::font(TextStyle::title, QFont::ExtraBold), Foreground::primary());
    ageLine = textLabel({}, Typography::font(TextStyle::caption), Foreground::tertiary());
    spinner = new Spinner(ControlSize::small);
    stop = new MonoButton(QString::fromStdString(L("停止扫描")));
    rescan = new MonoButton(QString::fromStdString(L("重新扫描")));
    rescan->setSymbol("arrow.clockwise");
    rescan->setToolTip(Qt::convertFromPlainText(QString::fromStdString(L("重新扫描主目录 (Ctrl+R)"))));
    connect(stop, &QAbstractButton::clicked, this, [this] {
        // Only the token: the model clears isScanning when the cancelled scan returns.
        if (const CancelTokenPtr& token = this->model->scanCancel()) token->cancel();
    });
    connect(rescan, &QAbstractButton::clicked, this, [this] { this->model->rescan(); });
    row->addWidget(heading);
    row->addStretch(1);
    for (QWidget* item : {static_cast<QWidget*>(spinner), static_cast<QWidget*>(stop), static_cast<QWidget*>(ageLine),
                          static_cast<QWidget*>(rescan)})
        row->addWidget(item, 0, Qt::AlignVCenter);
    setFixedHeight(46 + 30 + 16);
    // Its age is recomputed at every change but a progress tick.
    observation = this->model->observe([this] { refresh(); }, AppModel::Change::allButProgress);
    refresh();
}

PageHeader::~PageHeader() { model->unobserve(observation); }

void PageHeader::refresh() {
    heading->setText(QString::fromStdString(AppModel::title(Chrome::shown(model->section()))));
    // The age is computed whenever the header is refreshed; no timer keeps it current.
    const Chrome::HeaderControls controls = Chrome::headerControls(model->isScanning(), model->scan().get(),
                                                                   std::chrono::system_clock::now());
    spinner->setVisible(controls.scanning);
    stop->setVisible(controls.scanning);
    ageLine->setVisible(controls.age.has_value());
    if (controls.age) ageLine->setText(QString::fromStdString(*controls.age));
    rescan->setVisible(controls.rescan);
}
