// A first, plain window content: the sidebar with the product name and the
// five sections, a hairline rule, and a page column with a header above an
// empty page. Replaced piece by piece by the real sidebar, header and pages.
#pragma once

#include <QWidget>
#include <memory>

#include "model/AppModel.hpp"

class QLabel;
class QVBoxLayout;
class SectionRow;

class ShellView : public QWidget {
    Q_OBJECT
public:
    /// Observes the model for its whole life.
    explicit ShellView(std::shared_ptr<AppModel> model, QWidget* parent = nullptr);
    ~ShellView() override;

    static constexpr int sidebarWidth = 216;

private:
    QWidget* makeSidebar();
    QWidget* makePageColumn();
    void refresh();

    std::shared_ptr<AppModel> model;
    size_t observation = 0;
    std::vector<SectionRow*> rows;
    QLabel* title = nullptr;
    QLabel* status = nullptr;
};

/// The line under the page title: the scan's state as plain text.
std::string scanStateText(const AppModel& model, Date now);
