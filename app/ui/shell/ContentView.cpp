#include "ui/shell/ContentView.hpp"

#include <QApplication>
#include <QHBoxLayout>
#include <QPainter>
#include <QVBoxLayout>

#include "pages/Chrome.hpp"
#include "ui/controls/ConfirmSheet.hpp"
#include "ui/controls/FocusKeeper.hpp"
#include "ui/controls/MonoSurface.hpp"
#include "ui/shell/NoticeBanner.hpp"
#include "ui/shell/PageHeader.hpp"
#include "ui/shell/Sidebar.hpp"
#include "ui/theme/QtTheme.hpp"

namespace {
/// The hairline between the sidebar and the page.
class Rule : public QWidget {
public:
    Rule() { setFixedWidth(1); }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.fillRect(rect(), qColor(Theme::line));
    }
};
}  // namespace

ContentView::ContentView(std::shared_ptr<AppModel> model, QWidget* parent) : QWidget(parent), model(std::move(model)) {
    monoSurface(this, Theme::ground);
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(0);
    side = new Sidebar(this->model);
    row->addWidget(side);
    row->addWidget(new Rule);
    auto* column = new QVBoxLayout;
    column->setSpacing(0);
    top = new PageHeader(this->model);
    column->addWidget(top);
    pageArea = new QWidget;
    auto* pageLayout = new QVBoxLayout(pageArea);
    pageLayout->setContentsMargins(0, 0, 0, 0);
    column->addWidget(pageArea, 1);
    row->addLayout(column, 1);
    notice = new NoticeBanner(this->model, this);
    sheetHost = new ConfirmSheetHost(this);
    keeper = new FocusKeeper(this, top, [this] { return current; });
    notice->focusElsewhere = [this] { keeper->returnToPage(); };
    // Every change: whatever a page shows, its focus may need putting back.
    observation = this->model->observe([this] {
        follow();
        keeper->pageChanged();
    });
    follow();
}

ContentView::~ContentView() { model->unobserve(observation); }

void ContentView::follow() {
    const AppModel::Section section = Chrome::shown(model->section());
    if (current && pageSection == section) return;
    // A page's own transient state goes with it: an open sheet is dismissed.
    sheetHost->dismiss();
    // A control on the page that leads to another section goes with its
    // page; the keyboard then stays with the section it led to, on its row.
    const QWidget* focused = QApplication::focusWidget();
    const bool focusOnPage = current && focused && current->isAncestorOf(focused);
    if (current) {
        current->hide();
        if (!pageSection || !PageRegistry::isKept(*pageSection)) current->deleteLater();
    }
    pageSection = section;
    if (auto found = keptPages.find(section); found != keptPages.end()) {
        current = found->second;
    } else {
        current = PageRegistry::factory(section)(PageContext::over(model, sheetHost));
        pageArea->layout()->addWidget(current);
        if (PageRegistry::isKept(section)) keptPages[section] = current;
    }
    current->show();
    if (focusOnPage) side->focusRow(section);
}
