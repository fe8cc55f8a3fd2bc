// The hover layers of a map, each identified by a text: a layer that appears
// fades in, one that goes fades out, one that stays keeps its opacity, so a
// change of hovered cell cross-fades the old overlay into the new one.
#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QPixmap>
#include <QTimer>
#include <functional>
#include <string>
#include <vector>

#include "maps/MapMotion.hpp"

class QPainter;

class MapFades : public QObject {
    Q_OBJECT
public:
    struct Layer {
        std::string id;
        std::function<void(QPainter&)> paint;
    };

    /// `repaint` is called whenever opacities changed and the view must redraw.
    explicit MapFades(std::function<void()> repaint, QObject* parent = nullptr);

    /// Makes `layers` the shown set, animated with `motion` (at once when
    /// animations are off). A layer whose id is already shown keeps its
    /// opacity and takes the new painter.
    void show(std::vector<Layer> layers, const MapMotion::Animation& motion);
    /// Paints every layer, old ones under new ones, each at its current opacity.
    void paint(QPainter& painter) const;
    /// Opacity of the layer `id` now; 0 when it is not shown.
    double opacity(const std::string& id) const;

private:
    struct Shown {
        Layer layer;
        double from = 0;
        double to = 1;
        /// The layer drawn once while it fades, so it fades as one picture
        /// (its parts do not show through each other); made on first use.
        mutable QPixmap image;
    };
    double progress() const;
    double current(const Shown& shown) const;
    void tick();

    std::function<void()> repaint;
    std::vector<Shown> shown;
    MapMotion::Animation motion;
    QElapsedTimer clock;
    QTimer timer;
};
