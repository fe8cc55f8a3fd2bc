// The window's left column: the logo and product name, one row per section
// with its badge, and the startup disk's free space at the bottom.
#pragma once

#include <QAbstractButton>
#include <QWidget>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "model/AppModel.hpp"

class MonoBar;
class QLabel;

/// One section's row: symbol, title and optional badge; the whole rounded
/// rectangle is clickable.
class SidebarRow : public QAbstractButton {
    Q_OBJECT
public:
    SidebarRow(AppModel::Section section, QWidget* parent = nullptr);

    const AppModel::Section section;
    void setSelected(bool value);
    void setBadge(const std::optional<std::string>& text);
    const std::optional<QString>& badge() const { return badgeText; }

    /// 8 points above and below one 13-point line.
    QSize sizeHint() const override;

    /// How the title and the badge share the row at its current width.
    struct Fit {
        QString title;  ///< the title, elided only when nothing else makes room
        QFont titleFont;
        QFont badgeFont;  ///< 11 points, smaller (down to 9) when that keeps the title whole
    };
    Fit fit() const;

    /// Up or Down on the focused row: the sidebar moves to the row above or below.
    std::function<void(SidebarRow* from, int step)> onStep;

protected:
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    bool chosen = false;
    std::optional<QString> badgeText;
};

class Sidebar : public QWidget {
    Q_OBJECT
public:
    static constexpr int columnWidth = 216;

    /// Observes the model for its whole life; rows set the model's section.
    explicit Sidebar(std::shared_ptr<AppModel> model, QWidget* parent = nullptr);
    ~Sidebar() override;

    const std::vector<SidebarRow*>& rows() const { return sectionRows; }
    /// Gives the keyboard focus to the row of `section`.
    void focusRow(AppModel::Section section);

private:
    /// Focuses and selects the row `step` rows from `from`, when there is one.
    void moveFrom(SidebarRow* from, int step);
    QWidget* makeBrand();
    QWidget* makeFooter();
    void refresh();

    std::shared_ptr<AppModel> model;
    size_t observation = 0;
    std::vector<SidebarRow*> sectionRows;
    QWidget* footerBox = nullptr;
    QLabel* volumeName = nullptr;
    MonoBar* bar = nullptr;
    QLabel* freeLine = nullptr;
    QWidget* lowSpace = nullptr;
};
