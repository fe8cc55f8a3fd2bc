#include "ui/maps/MapFades.hpp"

#include <QPainter>
#include <algorithm>

#include "ui/controls/Motion.hpp"

namespace {
constexpr int frameMilliseconds = 16;
}  // namespace

MapFades::MapFades(std::function<void()> repaint, QObject* parent) : QObject(parent), repaint(std::move(repaint)) {
    timer.setInterval(frameMilliseconds);
    connect(&timer, &QTimer::timeout, this, &MapFades::tick);
}

double MapFades::progress() const {
    if (!timer.isActive()) return 1;
    return motion.progress(static_cast<double>(clock.nsecsElapsed()) / 1e9);
}

double MapFades::current(const Shown& layer) const { return layer.from + (layer.to - layer.from) * progress(); }

double MapFades::opacity(const std::string& id) const {
    for (const Shown& layer : shown)
        if (layer.layer.id == id) return current(layer);
    return 0;
}

void MapFades::show(std::vector<Layer> layers, const MapMotion::Animation& animation) {
    std::vector<Shown> next;
    // Leaving layers first, so they stay below the ones that come in.
    for (const Shown& old : shown) {
        const bool stays = std::any_of(layers.begin(), layers.end(),
                                       [&](const Layer& l) { return l.id == old.layer.id; });
        if (!stays) next.push_back({old.layer, current(old), 0, old.image});
    }
    for (Layer& layer : layers) {
        auto old = std::find_if(shown.begin(), shown.end(), [&](const Shown& s) { return s.layer.id == layer.id; });
        next.push_back({std::move(layer), old == shown.end() ? 0 : current(*old), 1, QPixmap()});
    }
    shown = std::move(next);
    motion = animation;
    if (Motion::enabled() && animation.duration > 0) {
        clock.start();
        timer.start();
    } else {
        timer.stop();
        tick();
    }
    if (repaint) repaint();
}

void MapFades::tick() {
    if (progress() >= 1) {
        timer.stop();
        shown.erase(std::remove_if(shown.begin(), shown.end(), [](const Shown& s) { return s.to == 0; }), shown.end());
        for (Shown& layer : shown) {
            layer.from = layer.to;
            layer.image = QPixmap();  // settled layers are painted directly
        }
    }
    if (repaint) repaint();
}

void MapFades::paint(QPainter& painter) const {
    for (const Shown& layer : shown) {
        const double alpha = current(layer);
        if (alpha <= 0 || !layer.layer.paint) continue;
        if (alpha >= 1) {
            layer.layer.paint(painter);
            continue;
        }
        if (layer.image.isNull()) {
            QPaintDevice* device = painter.device();
            const qreal ratio = device->devicePixelRatioF();
            layer.image = QPixmap(QSize(device->width(), device->height()) * ratio);
            layer.image.setDevicePixelRatio(ratio);
            layer.image.fill(Qt::transparent);
            QPainter offscreen(&layer.image);
            offscreen.setRenderHints(painter.renderHints());
            layer.layer.paint(offscreen);
        }
        painter.save();
        painter.setOpacity(alpha);
        painter.drawPixmap(0, 0, layer.image);
        painter.restore();
    }
}
