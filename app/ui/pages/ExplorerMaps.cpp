#include "ui/pages/ExplorerMaps.hpp"

#include <QPainter>

#include "Localization.hpp"
#include "ui/maps/MapPaint.hpp"
#include "ui/maps/TreemapView.hpp"
#include "ui/maps/VoronoiView.hpp"
#include "ui/theme/QtTheme.hpp"
#include "ui/theme/Symbols.hpp"
#include "ui/theme/Typography.hpp"

namespace {
/// Stands in for the terrain map until it is built: the map's black panel with its name.
class TerrainPlaceholder : public QWidget {
public:
    TerrainPlaceholder() {
        setMinimumSize(MapPaint::minimumWidth, MapPaint::minimumHeight);
        setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.fillPath(MapPaint::frame(QSizeF(size())), Qt::black);
        const QRectF middle(0, height() / 2.0 - 40, width(), 40);
        Symbols::draw(painter, middle, "mountain.2", Foreground::tertiary(), 28);
        painter.setFont(Typography::font(TextStyle::callout));
        painter.setPen(Foreground::secondary());
        Typography::drawLine(painter, QRectF(0, height() / 2.0 + 4, width(), 20), QString::fromStdString(L("地形")),
                             Qt::AlignHCenter);
    }
};

template <class View>
ExplorerMap mapOf(const NodeRef& folder, std::function<void(const NodeRef&)> onOpen) {
    auto* view = new View(folder, std::move(onOpen));
    return {view, [view](const NodeRef& next) { view->setNode(next); }};
}
}  // namespace

ExplorerMap makeExplorerMap(ExplorerMode mode, const NodeRef& folder, std::function<void(const NodeRef&)> onOpen) {
    switch (mode) {
    case ExplorerMode::terrain: return {new TerrainPlaceholder, [](const NodeRef&) {}};
    case ExplorerMode::grid: return mapOf<TreemapView>(folder, std::move(onOpen));
    case ExplorerMode::voronoi: break;
    }
    return mapOf<VoronoiView>(folder, std::move(onOpen));
}
