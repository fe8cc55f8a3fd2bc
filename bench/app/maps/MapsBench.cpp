// Times the Voronoi map and the treemap offscreen at 820 × 680, on the demo
// home and on a scanned synthetic developer's home: for the home folder and
// for its largest child, the layout, the first paint of a fresh view (layout
// and resting drawing: the time until the map is ready) and the repaint after
// each hover change, after the hovers the view draws ahead in idle time.
// Prints each as a median with its min–max over the rounds (the hovers: over
// every hover of every round), and the worst hover against the targets.
// Usage: MapsBench [tree [rounds]]   (default 7 rounds)
#include <QApplication>
#include <QImage>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "../BenchStats.hpp"
#include "demo/Demo.hpp"
#include "desktop/QtRuntime.hpp"
#include "maps/Treemap.hpp"
#include "maps/VoronoiMap.hpp"
#include "model/AppModel.hpp"
#include "scan/Scanner.hpp"
#include "ui/controls/Motion.hpp"
#include "ui/maps/TreemapView.hpp"
#include "ui/maps/VoronoiView.hpp"

namespace {
using Clock = std::chrono::steady_clock;
constexpr int viewWidth = 820, viewHeight = 680;
constexpr double readyTarget = 100;  // ms: a folder change or map switch
constexpr double hoverTarget = 4;    // ms: one hover change

double millisecondsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

/// Where to put the pointer for each cell of a layout: its centre.
std::vector<Point> pointerSpots(VoronoiView& view) {
    std::vector<Point> spots;
    for (const VoronoiBlob& blob : view.blobs()) {
        spots.push_back(blob.center);
        for (const VoronoiChild& child : blob.children) spots.push_back(child.center);
    }
    return spots;
}

std::vector<Point> pointerSpots(TreemapView& view) {
    std::vector<Point> spots;
    for (const TreemapCell& cell : view.cells()) spots.push_back({cell.rect.midX(), cell.rect.midY()});
    return spots;
}

template <class View, class Layout>
void measureMap(const char* map, const char* folderName, const NodeRef& folder, Layout layout, int rounds) {
    std::vector<double> layouts, ready, prepared, hovers;
    size_t cells = 0;
    QImage target(viewWidth, viewHeight, QImage::Format_ARGB32_Premultiplied);
    for (int round = 0; round < rounds; ++round) {
        auto start = Clock::now();
        cells = layout(folder);
        layouts.push_back(millisecondsSince(start));

        View view(folder, {});
        view.resize(viewWidth, viewHeight);
        start = Clock::now();
        view.render(&target);
        ready.push_back(millisecondsSince(start));
        // The hovers are drawn ahead while the view is idle, one per turn of
        // the event loop, as they are after the map first shows.
        start = Clock::now();
        while (!view.hoversPrepared()) QCoreApplication::processEvents();
        prepared.push_back(millisecondsSince(start));

        for (const Point& spot : pointerSpots(view)) {
            start = Clock::now();
            view.pointerMoved(spot);
            view.render(&target);
            hovers.push_back(millisecondsSince(start));
        }
    }
    using BenchStats::spread;
    const double readyMs = BenchStats::median(ready), hoverMax = BenchStats::largest(hovers);
    std::printf(
        "  %s, %s: %zu cells\n    layout %s\n    ready (layout + resting paint) %s = %.2f of 100 ms\n"
        "    hovers drawn ahead in idle time %s\n    hover repaint %s, worst = %.2f of 4 ms: %s\n",
        map, folderName, cells, spread(layouts, 1).c_str(), spread(ready, 1).c_str(), readyMs / readyTarget,
        spread(prepared, 1).c_str(), spread(hovers, 2, "ms", "hovers").c_str(), hoverMax / hoverTarget,
        hoverMax <= hoverTarget ? "met" : "MISSED");
}

void measure(const char* name, const NodeRef& home, int rounds) {
    std::printf("%s: %lld files, %zu children\n", name, static_cast<long long>(home->fileCount),
                home->children ? home->children->size() : 0);
    const Size size{viewWidth, viewHeight};
    std::vector<std::pair<std::string, NodeRef>> folders{{"home", home}};
    if (home->children && !home->children->empty())
        folders.emplace_back("largest child (" + home->children->front().name + ")",
                             NodeRef(home, &home->children->front()));
    for (const auto& [label, folder] : folders) {
        measureMap<VoronoiView>(
            "voronoi", label.c_str(), folder, [&](const NodeRef& f) { return VoronoiMap::build(f, size).size(); },
            rounds);
        measureMap<TreemapView>(
            "treemap", label.c_str(), folder,
            [&](const NodeRef& f) { return Treemap::cells(f, Treemap::layoutRect(size)).size(); }, rounds);
    }
}
}  // namespace

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication application(argc, argv);
    const int rounds = BenchStats::rounds(argc, argv, 2, 7);
    ScopedHooks<Motion::Hooks> still(Motion::Hooks{false});  // each hover is drawn in its final state
    {
        QtRuntime runtime;
        auto model = AppModel::make(runtime.runtime());
        Demo::load(*model);
        measure("demo home", NodeRef(model->scan(), &model->scan()->root), rounds);
        runtime.stop(model.get(), 0);
    }
    if (argc > 1) {
        auto start = Clock::now();
        auto scan = std::make_shared<const ScanResult>(Scanner::scan(argv[1]));
        std::printf("(scanned %s in %.0f ms)\n", argv[1], millisecondsSince(start));
        measure("synthetic home", NodeRef(scan, &scan->root), rounds);
    }
    return 0;
}
