// Every region of one resting terrain drawing lit in advance, so that a hover
// change is a blit instead of stroking thousands of contour lines (the
// largest region of a home has about 2,800).
#pragma once

#include <QImage>
#include <QPixmap>
#include <QPoint>
#include <QSize>
#include <memory>
#include <optional>
#include <vector>

#include "maps/MapText.hpp"
#include "maps/TerrainScene.hpp"

class TerrainLitRegions {
public:
    /// One region, lit: its highlight, and where the resting drawing can be
    /// covered with `patch` (the resting pixels with the region's lines drawn
    /// over them) in place of drawing the lines. No patch where the lines
    /// reach a pixel the resting drawing leaves partly transparent: covering
    /// those would not give what drawing over them gives.
    struct Lit {
        TerrainHighlight highlight;
        std::optional<QPixmap> patch;
        QPointF at;
    };

    /// Forgets what was prepared and starts over for `resting`, the resting
    /// drawing of `model` in a view of `size` (logical pixels), seen through
    /// `projection`. `measure` must outlive the preparation.
    void reset(const QPixmap& resting, std::shared_ptr<const TerrainModel> model, QSize size,
               const IsoProjection& projection, const TextMeasure& measure);
    /// Lights the next region, largest first; false once every region is lit.
    bool prepareNext();
    /// Whether every region of the current drawing is lit.
    bool complete() const { return model && next >= model->regions.size(); }
    /// The lit region, when it belongs to that model in a view of that size
    /// and ratio and is prepared; null otherwise.
    const Lit* find(const TerrainModel* shown, int region, QSize viewSize, qreal viewRatio) const;

private:
    std::shared_ptr<const TerrainModel> model;
    QSize size;
    qreal ratio = 1;
    IsoProjection projection;
    const TextMeasure* measure = nullptr;
    // The resting drawing, drawn on and restored region by region: the lines
    // land at the very coordinates they have in the view, so every pixel of a
    // patch is what drawing them there gives. Dropped once all are lit.
    QImage scratch;
    std::vector<std::optional<Lit>> lit;
    size_t next = 0;
};
