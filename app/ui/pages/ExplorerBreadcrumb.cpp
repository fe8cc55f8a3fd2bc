#include "ui/pages/ExplorerBreadcrumb.hpp"
#include "ui/controls/TextLabel.hpp"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>

#include "text/Localization.hpp"
#include "ui/controls/FocusRing.hpp"
#include "ui/theme/QtTheme.hpp"
#include "ui/theme/Symbols.hpp"
#include "ui/theme/Typography.hpp"

namespace {
constexpr double paddingX = 16;
constexpr double paddingY = 10;
constexpr double spacing = 4;
constexpr double backSide = 20;
constexpr double backTrailing = 6;
constexpr double dimmedBack = 0.3;

QFont crumbFont(bool last) { return Typography::font(TextStyle::body, last ? QFont::Bold : QFont::Normal); }
double separatorWidth() { return Symbols::side(Typography::size(TextStyle::caption2)); }
}  // namespace

ExplorerBreadcrumb::ExplorerBreadcrumb(std::function<void(const std::string&)> navigate, QWidget* parent)
    : QWidget(parent), navigate(std::move(navigate)) {
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    setFocusPolicy(Qt::TabFocus);
    FocusRing::setDrawnByWidget(this);
}

void ExplorerBreadcrumb::setPath(const std::string& root, const std::string& node) {
    rootPath = root;
    nodePath = node;
    shown = Explorer::crumbs(root, node);
    current = std::min(current, shown.size());
    updateGeometry();
    update();
}

ExplorerBreadcrumb::Placement ExplorerBreadcrumb::place(const std::vector<double>& textWidths, double separator,
                                                        double height) {
    Placement placement;
    const double midY = height / 2;
    placement.back = QRectF(paddingX, midY - backSide / 2, backSide, backSide);
    double x = placement.back.right() + backTrailing;
    for (size_t i = 0; i < textWidths.size(); ++i) {
        x += spacing;
        if (i > 0) {
            placement.separators.emplace_back(x, midY - separator / 2, separator, separator);
            x += separator + spacing;
        }
        placement.texts.emplace_back(x, paddingY, textWidths[i], height - 2 * paddingY);
        x += textWidths[i];
    }
    return placement;
}

ExplorerBreadcrumb::Placement ExplorerBreadcrumb::placement() const {
    std::vector<double> widths;
    for (size_t i = 0; i < shown.size(); ++i)
        widths.push_back(Typography::width(crumbFont(i + 1 == shown.size()), shownText(shown[i].name)));
    return place(widths, separatorWidth(), height());
}

QSize ExplorerBreadcrumb::sizeHint() const {
    const int line = std::max<int>(Typography::lineHeight(crumbFont(true)), static_cast<int>(backSide));
    const int tall = line + static_cast<int>(2 * paddingY);
    std::vector<double> widths;
    for (size_t i = 0; i < shown.size(); ++i)
        widths.push_back(Typography::width(crumbFont(i + 1 == shown.size()), shownText(shown[i].name)));
    const Placement p = place(widths, separatorWidth(), tall);
    const double right = p.texts.empty() ? p.back.right() : p.texts.back().right();
    return {static_cast<int>(right + paddingX), tall};
}

void ExplorerBreadcrumb::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const Placement p = placement();
    QColor back = Foreground::primary();
    back.setAlphaF(back.alphaF() * (canGoBack() ? 1.0 : dimmedBack));
    Symbols::draw(painter, p.back, "chevron.left", back, Typography::size(TextStyle::body));
    for (size_t i = 0; i < shown.size(); ++i) {
        if (i > 0)
            Symbols::draw(painter, p.separators[i - 1], "chevron.right", Foreground::tertiary(),
                          Typography::size(TextStyle::caption2));
        const bool last = i + 1 == shown.size();
        painter.setFont(crumbFont(last));
        painter.setPen(last ? qColor(Theme::paper) : Foreground::secondary());
        Typography::drawLine(painter, p.texts[i], shownText(shown[i].name));
    }
    if (FocusRing::isShownOn(this)) {
        const std::vector<Part> all = parts();
        if (current < all.size()) FocusRing::paint(painter, all[current].rect.adjusted(-3, -1, 3, 1), 4);
    }
}

std::vector<ExplorerBreadcrumb::Part> ExplorerBreadcrumb::parts() const {
    const Placement p = placement();
    std::vector<Part> all{
        {p.back, QString::fromStdString(L("返回上一级")), Explorer::parentPath(nodePath), canGoBack()}};
    for (size_t i = 0; i < shown.size(); ++i)
        all.push_back({p.texts[i], QString::fromStdString(shown[i].name), shown[i].path, true});
    return all;
}

void ExplorerBreadcrumb::activate(size_t index) {
    const std::vector<Part> all = parts();
    if (index >= all.size() || !all[index].enabled || !navigate) return;
    navigate(all[index].path);
}

void ExplorerBreadcrumb::keyPressEvent(QKeyEvent* event) {
    const size_t count = shown.size() + 1;
    switch (event->key()) {
    case Qt::Key_Left:
        if (current > 0) --current;
        break;
    case Qt::Key_Right:
        if (current + 1 < count) ++current;
        break;
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Space: activate(current); break;
    default: return QWidget::keyPressEvent(event);
    }
    update();
}

void ExplorerBreadcrumb::focusInEvent(QFocusEvent* event) {
    // The keyboard starts on the open folder's own crumb.
    current = shown.size();
    update();
    QWidget::focusInEvent(event);
}

void ExplorerBreadcrumb::focusOutEvent(QFocusEvent* event) {
    update();
    QWidget::focusOutEvent(event);
}

void ExplorerBreadcrumb::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || !navigate) return;
    const Placement p = placement();
    if (p.back.contains(event->position())) {
        if (canGoBack()) navigate(Explorer::parentPath(nodePath));
        return;
    }
    for (size_t i = 0; i < p.texts.size(); ++i)
        if (p.texts[i].contains(event->position())) navigate(shown[i].path);
}
