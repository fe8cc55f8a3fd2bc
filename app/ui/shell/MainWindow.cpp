#include "ui/shell/MainWindow.hpp"

#include <QAction>
#include <QApplication>
#include <QMenuBar>

#include "text/Localization.hpp"
#include "ui/controls/ConfirmSheet.hpp"
#include "ui/shell/ContentView.hpp"
#include "ui/shell/LanguageMenu.hpp"
#include "ui/shell/MenuText.hpp"
#include "ui/theme/QtTheme.hpp"

MainWindow::MainWindow(std::shared_ptr<AppModel> model) : model(std::move(model)) {
    // The product name, the same in every language.
    setWindowTitle("Ostrevane");
    auto* content = new ContentView(this->model);
    content->setMinimumSize(minimumWidth, minimumHeight);
    setCentralWidget(content);
    QPalette palette = this->palette();
    palette.setColor(QPalette::Window, qColor(Theme::ground));
    setPalette(palette);
    buildMenus();
    resize(defaultWidth, defaultHeight + menuBar()->sizeHint().height());
    observation = this->model->observe([this] { rescan->setEnabled(!this->model->isScanning()); },
                                       AppModel::Change::scan);
}

MainWindow::~MainWindow() { model->unobserve(observation); }

void MainWindow::buildMenus() {
    QMenu* application = menuBar()->addMenu("Ostrevane");
    language = new LanguageMenu(LanguageChoices::saved(), this);
    language->present = [content = static_cast<ContentView*>(centralWidget())](ConfirmRequest request) {
        content->sheet()->present(std::move(request));
    };
    language->onSaveFailed = [this](const std::string& reason) { model->notify(L("无法保存设置:%@", reason), true); };
    application->addMenu(language);
    application->addSeparator();
    QAction* quit = application->addAction(menuText(L("退出 Ostrevane")));
    quit->setShortcut(QKeySequence::Quit);
    quit->setMenuRole(QAction::QuitRole);
    connect(quit, &QAction::triggered, qApp, &QApplication::quit, Qt::QueuedConnection);

    QMenu* disk = menuBar()->addMenu(menuText(L("磁盘")));
    rescan = disk->addAction(menuText(L("重新扫描")));
    rescan->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_R));
    connect(rescan, &QAction::triggered, this, [this] { model->rescan(); });
    rescan->setEnabled(!model->isScanning());
}

void MainWindow::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    model->bootstrap();
}
