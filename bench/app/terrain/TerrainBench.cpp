// Times the terrain map on two homes: a small one shaped like the demo's and
// a synthetic developer's home of about 226,000 files. For each: the model
// build, the first paint of a fresh view (model and resting drawing: the time
// until the map is ready), the idle time spent lighting the regions in
// advance, and the repaint after each hover change: each a median with its
// min–max over the rounds (the hovers: over every hover of every round).
// Usage: TerrainBench [rounds]   (default 7)
#include <QApplication>
#include <QImage>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "../BenchStats.hpp"
#include "ui/maps/TerrainView.hpp"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

const Date now = Date{} + 24h * 20000;
constexpr int viewWidth = 900, viewHeight = 640;

double millisecondsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

FileNode node(std::string path, int64_t size, int daysAgo, std::vector<FileNode> children = {}) {
    FileNode made;
    made.name = path.substr(path.rfind('/') + 1);
    made.path = std::move(path);
    made.size = size;
    made.fileCount = 1;
    made.modified = now - 24h * daysAgo;
    if (!children.empty()) {
        made.isDirectory = true;
        made.size = made.fileCount = 0;
        for (const FileNode& child : children) made.size += child.size, made.fileCount += child.fileCount;
        std::stable_sort(children.begin(), children.end(), [](auto& a, auto& b) { return a.size > b.size; });
        made.children = std::move(children);
    }
    return made;
}

/// A folder of `files` files spread over nested folders, sizes from a fixed generator.
FileNode synthetic(const std::string& path, int files, int depth, uint64_t& state, int daysAgo) {
    auto next = [&] { return state = state * 6364136223846793005u + 1442695040888963407u; };
    std::vector<FileNode> children;
    if (depth == 0 || files <= 12) {
        for (int i = 0; i < files; ++i)
            children.push_back(node(path + "/f" + std::to_string(i), int64_t(next() >> 44) + 512, daysAgo));
    } else {
        const int folders = 8;
        for (int i = 0; i < folders; ++i)
            children.push_back(synthetic(path + "/d" + std::to_string(i), files / folders, depth - 1, state,
                                         daysAgo + int(next() >> 62) * 150));
    }
    return node(path, 0, daysAgo, std::move(children));
}

std::shared_ptr<const FileNode> demoHome() {
    const int64_t g = 1'000'000'000;
    auto folder = [&](const std::string& name, int64_t size, int days) {
        const std::string path = "/home/u/" + name;
        return node(
            path, 0, days,
            {node(path + "/a", size / 2, days), node(path + "/b", size / 3, days), node(path + "/c", size / 6, days)});
    };
    return std::make_shared<const FileNode>(
        node("/home/u", 0, 1,
             {folder("Library", 42 * g, 2), folder("Downloads", 18 * g, 3), folder("Movies", 14 * g, 400),
              folder("Documents", 9 * g, 10), folder("Archive", 6 * g, 500), node("/home/u/disk.img", 4 * g, 30),
              folder("Pictures", 3 * g, 20)}));
}

std::shared_ptr<const FileNode> developerHome() {
    uint64_t state = 20251208;
    std::vector<FileNode> top;
    const char* names[] = {"src", "node_modules", ".cache",    "Library",  "Downloads", "Movies", "Music",
                           "go",  ".rustup",      "Documents", "Pictures", "builds",    "vm",     "archive"};
    int files = 0;
    for (int i = 0; i < 14; ++i) {
        const int count = 43000 >> (i / 3);
        top.push_back(synthetic(std::string("/home/dev/") + names[i], count, 4, state, (i % 4) * 120));
        files += count;
    }
    FileNode home = node("/home/dev", 0, 1, std::move(top));
    std::printf("developer home: %lld files\n", static_cast<long long>(home.fileCount));
    return std::make_shared<const FileNode>(std::move(home));
}

constexpr double readyTarget = 100, hoverTarget = 4;  // ms

void measure(const char* name, const std::shared_ptr<const FileNode>& home, int rounds) {
    std::vector<double> builds, ready, lighting, hovers;
    QImage target(viewWidth, viewHeight, QImage::Format_ARGB32_Premultiplied);
    for (int round = 0; round < rounds; ++round) {
        auto start = Clock::now();
        const TerrainModel model(home, now);
        builds.push_back(millisecondsSince(start));

        TerrainView view;
        view.clock = [] { return now; };
        view.animated = false;
        view.resize(viewWidth, viewHeight);
        view.setNode(home);
        start = Clock::now();
        view.render(&target);
        ready.push_back(millisecondsSince(start));
        // The regions are lit while the view is idle, one per turn of the
        // event loop, as they are after the map first shows.
        start = Clock::now();
        while (!view.regionsLit()) QCoreApplication::processEvents();
        lighting.push_back(millisecondsSince(start));

        const std::shared_ptr<const TerrainModel> shown = view.model();
        const IsoProjection projection = IsoProjection::fit(*shown, {double(viewWidth), double(viewHeight)});
        for (const TerrainModel::Region& region : shown->regions) {
            const Point at = projection.project(region.summit, shown->terrace(region.summit));
            start = Clock::now();
            view.hoverAt({at.x, at.y + 2});
            view.render(&target);
            hovers.push_back(millisecondsSince(start));
        }
    }
    using BenchStats::spread;
    const double readyMs = BenchStats::median(ready), hoverMax = BenchStats::largest(hovers);
    std::printf(
        "%s:\n  model build %s\n  ready (model + resting paint) %s = %.2f of %.0f ms\n"
        "  regions lit in idle time %s\n  hover repaint %s, worst = %.2f of %.0f ms: %s\n",
        name, spread(builds, 1).c_str(), spread(ready, 1).c_str(), readyMs / readyTarget, readyTarget,
        spread(lighting, 1).c_str(), spread(hovers, 2, "ms", "hovers").c_str(), hoverMax / hoverTarget, hoverTarget,
        hoverMax <= hoverTarget ? "met" : "MISSED");
}

}  // namespace

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication application(argc, argv);
    const int rounds = BenchStats::rounds(argc, argv, 1, 7);
    measure("demo home", demoHome(), rounds);
    measure("developer home", developerHome(), rounds);
    return 0;
}
