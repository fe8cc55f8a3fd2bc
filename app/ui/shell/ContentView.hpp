// The root of the main window: the sidebar, a hairline rule, and the page
// header above the page of the model's section; the notice banner over the
// bottom of the window and the confirm sheet over everything.
#pragma once

#include <QWidget>
#include <map>
#include <memory>
#include <optional>

#include "model/AppModel.hpp"
#include "ui/shell/PageRegistry.hpp"

class ConfirmSheetHost;
class FocusKeeper;
class NoticeBanner;
class PageHeader;
class Sidebar;

class ContentView : public QWidget {
    Q_OBJECT
public:
    /// Observes the model for its whole life; builds the page of its section.
    explicit ContentView(std::shared_ptr<AppModel> model, QWidget* parent = nullptr);
    ~ContentView() override;

    /// The page shown now.
    QWidget* page() const { return current; }
    Sidebar* sidebar() const { return side; }
    PageHeader* header() const { return top; }
    NoticeBanner* banner() const { return notice; }
    ConfirmSheetHost* sheet() const { return sheetHost; }

private:
    /// Replaces the page when the section changed (none counts as the overview).
    void follow();

    std::shared_ptr<AppModel> model;
    size_t observation = 0;
    Sidebar* side;
    PageHeader* top;
    QWidget* pageArea;
    QWidget* current = nullptr;
    /// Pages built once and kept across section changes.
    std::map<AppModel::Section, QWidget*> keptPages;
    std::optional<AppModel::Section> pageSection;
    NoticeBanner* notice;
    ConfirmSheetHost* sheetHost;
    FocusKeeper* keeper;
};
