// The weighted Voronoi map of a folder: resting cells in a cached pixmap, the
// hovered cell opened and its hovered nested cell lit on top, the pill naming
// what is under the pointer, and a tap that opens a folder.
#pragma once

#include <optional>
#include <vector>

#include "maps/LayoutCache.hpp"
#include "maps/MapHover.hpp"
#include "maps/VoronoiMap.hpp"
#include "ui/maps/MapView.hpp"

class VoronoiView : public MapView {
    Q_OBJECT
public:
    VoronoiView(NodeRef node, OpenAction onOpen, QWidget* parent = nullptr);

    /// The layout at the view's current size, built once per key.
    const std::vector<VoronoiBlob>& blobs();
    const std::optional<MapHover>& hover() const { return hovered; }
    /// Sets the hover (nothing when unchanged), swapping or stepping its layers.
    void setHover(std::optional<MapHover> next);

    void pointerMoved(Point point) override;
    void pointerLeft() override;

protected:
    std::string prepareLayout() override;
    void paintResting(QPainter& painter) override;
    void folderChanged() override;
    void tapped(Point point) override;
    /// Each blob opened, as hovering it shows it.
    size_t preparedHoverCount() override;
    HoverDrawing preparedHover(size_t blob) override;

private:
    /// The open and lit layers and the pill for the current hover.
    void refreshLayers(const MapMotion::Animation& motion);
    HoverDrawing drawing(const VoronoiFocus& focus);

    LayoutCache<std::vector<VoronoiBlob>> cache;
    std::string key;
    std::optional<MapHover> hovered;
};
