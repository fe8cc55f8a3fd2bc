// The explorer's breadcrumb: a back button, then the open folder's crumbs
// separated by chevrons, the last in bold paper. One painted row; a click on
// the back button or a crumb asks for that folder. By keyboard it is one Tab
// stop: Left and Right choose a part, Return or Space opens it.
#pragma once

#include <QWidget>
#include <functional>
#include <optional>
#include <vector>

#include "pages/Explorer.hpp"

class ExplorerBreadcrumb : public QWidget {
    Q_OBJECT
public:
    /// `navigate` is called with the folder path to open.
    explicit ExplorerBreadcrumb(std::function<void(const std::string&)> navigate, QWidget* parent = nullptr);

    /// Shows the crumbs from the scan's root to the open folder.
    void setPath(const std::string& rootPath, const std::string& nodePath);
    const std::vector<Crumb>& crumbs() const { return shown; }
    /// The back button does something only below the root.
    bool canGoBack() const { return nodePath != rootPath; }

    /// Where things go for crumb texts of the given widths: the back button's
    /// square first, then per crumb its separator (none before the first) and
    /// its text. Padded 16 × 10, 4 points apart, 6 more after the back button.
    struct Placement {
        QRectF back;
        std::vector<QRectF> separators;  ///< one per crumb after the first
        std::vector<QRectF> texts;
    };
    static Placement place(const std::vector<double>& textWidths, double separatorWidth, double height);

    /// What can be clicked: the back button, then each crumb.
    struct Part {
        QRectF rect;
        QString name;         ///< the crumb's text; "返回上一级" for the back button
        std::string path;     ///< the folder it opens
        bool enabled = true;  ///< the back button only below the root
    };
    std::vector<Part> parts() const;
    /// Opens part `index` as a click on it does (nothing for a disabled part).
    void activate(size_t index);
    /// The part Left and Right move between while the breadcrumb has the focus.
    size_t currentPart() const { return current; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return {80, sizeHint().height()}; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    Placement placement() const;

    std::function<void(const std::string&)> navigate;
    std::string rootPath;
    std::string nodePath;
    std::vector<Crumb> shown;
    size_t current = 0;
};
