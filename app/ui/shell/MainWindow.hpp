// The one window: its content, its menus and the model's start-up on first show.
#pragma once

#include <QMainWindow>
#include <memory>

#include "model/AppModel.hpp"

class QAction;
class LanguageMenu;

class MainWindow : public QMainWindow {
    Q_OBJECT
public:
    static constexpr int defaultWidth = 1180;
    static constexpr int defaultHeight = 780;
    static constexpr int minimumWidth = 980;
    static constexpr int minimumHeight = 640;

    explicit MainWindow(std::shared_ptr<AppModel> model);
    ~MainWindow() override;

    /// The Disk menu's Rescan item (Ctrl+R), disabled while a scan runs.
    QAction* rescanAction() const { return rescan; }
    /// The Ostrevane menu's language submenu, started from the stored choice.
    LanguageMenu* languageMenu() const { return language; }

protected:
    /// Every appearance asks for the start-up; the model runs it only once.
    void showEvent(QShowEvent* event) override;

private:
    void buildMenus();

    std::shared_ptr<AppModel> model;
    QAction* rescan = nullptr;
    LanguageMenu* language = nullptr;
    size_t observation = 0;
};
