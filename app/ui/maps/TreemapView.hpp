// The two-level treemap of a folder: resting cells in a cached pixmap, the
// hovered cell highlighted on top with the pill, and a tap that opens a folder.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "maps/LayoutCache.hpp"
#include "maps/Treemap.hpp"
#include "ui/maps/MapView.hpp"

class TreemapView : public MapView {
    Q_OBJECT
public:
    TreemapView(NodeRef node, OpenAction onOpen, QWidget* parent = nullptr);

    /// The layout at the view's current size, built once per key.
    const std::vector<TreemapCell>& cells();
    const std::optional<std::string>& hoverID() const { return hovered; }
    /// Sets the hovered cell's id (nothing when unchanged), stepping its layers.
    void setHoverID(std::optional<std::string> id);

    void pointerMoved(Point point) override;
    void pointerLeft() override;

protected:
    std::string prepareLayout() override;
    void paintResting(QPainter& painter) override;
    void folderChanged() override;
    void tapped(Point point) override;

private:
    void refreshLayers();

    LayoutCache<std::vector<TreemapCell>> cache;
    std::string key;
    std::optional<std::string> hovered;
};
