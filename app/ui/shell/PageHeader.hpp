// The row above every page: the section's title, and the scan controls (the
// last scan's age and a rescan button, or a spinner and a stop button while
// a scan runs).
#pragma once

#include <QWidget>
#include <memory>

#include "model/AppModel.hpp"

class MonoButton;
class QLabel;
class Spinner;

class PageHeader : public QWidget {
    Q_OBJECT
public:
    /// Observes the model for its whole life.
    explicit PageHeader(std::shared_ptr<AppModel> model, QWidget* parent = nullptr);
    ~PageHeader() override;

    QLabel* title() const { return heading; }
    MonoButton* rescanButton() const { return rescan; }

private:
    void refresh();

    std::shared_ptr<AppModel> model;
    size_t observation = 0;
    QLabel* heading;
    QLabel* ageLine;
    Spinner* spinner;
    MonoButton* stop;
    MonoButton* rescan;
};
