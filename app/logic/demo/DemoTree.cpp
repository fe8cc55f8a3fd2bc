// The demo volume and the demo home-folder tree.
#include <algorithm>
#include <optional>

#include "base/Paths.hpp"
#include "demo/DemoData.hpp"
#include "text/Localization.hpp"

namespace Demo::detail {

namespace {

/// One node of the demo tree: its own bytes in GB and the age in days of its
/// own content; children absent for a file, a list (maybe empty) for a folder.
struct Entry {
    std::string name;
    double gb = 0;
    double days = 0;
    std::optional<std::vector<Entry>> children;

    FileNode node(const std::string& parentPath, Date now) const;
};

Entry folder(std::string name, double gb, double days, std::vector<Entry> children = {}) {
    return {std::move(name), gb, days, std::move(children)};
}
Entry file(std::string name, double gb, double days) { return {std::move(name), gb, days, std::nullopt}; }

/// Children largest first; equal sizes keep the entries' order.
std::vector<FileNode> nodesOf(const std::vector<Entry>& entries, const std::string& path, Date now) {
    std::vector<FileNode> nodes;
    for (const Entry& entry : entries) nodes.push_back(entry.node(path, now));
    std::stable_sort(nodes.begin(), nodes.end(), [](const FileNode& a, const FileNode& b) { return a.size > b.size; });
    return nodes;
}

FileNode Entry::node(const std::string& parentPath, Date now) const {
    FileNode node;
    node.name = name;
    node.path = Paths::joined(parentPath, name);
    node.modified = offset(now, -days * 86400);
    node.size = bytesOf(gb);
    if (!children) {
        node.fileCount = 1;
        return node;
    }
    node.isDirectory = true;
    node.fileCount = std::max<int64_t>(1, static_cast<int64_t>(gb * 900));
    node.children = nodesOf(*children, node.path, now);
    for (const FileNode& child : *node.children) {
        node.size += child.size;
        node.fileCount += child.fileCount;
        node.modified = std::max(*node.modified, *child.modified);
    }
    return node;
}

// The tree is laid out as it nests, not as the formatter would.
// clang-format off
std::vector<Entry> topLevel() {
    return {
        folder("Library", 1.4, 30, {
            folder("Mobile Documents", 0, 30, {
                folder("com~apple~CloudDocs", 0.6, 30, {
                    folder(L("摄影 RAW 2023"), 0, 420, {
                        folder(L("冰岛"), 6.2, 430),
                        folder(L("京都"), 4.9, 400),
                        folder(L("杂片"), 2.8, 380),
                    }),
                    folder(L("设计稿"), 0, 6, {
                        folder(L("品牌升级"), 3.6, 6),
                        folder(L("App 改版"), 2.9, 14),
                        folder(L("归档"), 1.7, 200),
                    }),
                    folder(L("家庭视频"), 5.4, 310),
                    folder(L("论文资料"), 3.8, 95),
                    folder(L("扫描件"), 1.9, 220),
                }),
                folder("com~apple~Keynote", 2.6, 40),
                folder("iCloud~md~obsidian", 1.8, 1),
                folder("com~apple~Pages", 1.2, 70),
            }),
            folder("Developer", 0, 30, {
                folder("Xcode", 0, 30, {
                    folder("DerivedData", 0, 2, {
                        folder("Shop-abcd", 6.8, 2),
                        folder("Widgets-efgh", 4.6, 9),
                        folder("Playground-ijkl", 3.2, 60),
                    }),
                    folder("iOS DeviceSupport", 0, 60, {
                        folder("iPhone16,1 18.1", 3.1, 60),
                        folder("iPhone15,2 17.5", 2.7, 190),
                    }),
                    folder("Archives", 1.6, 120),
                }),
                folder("CoreSimulator", 0, 30, {
                    folder("Devices", 7.8, 30),
                    folder("Caches", 1.2, 30),
                }),
            }),
            folder("Containers", 0.8, 30, {
                folder("com.docker.docker", 0, 30, {
                    folder("Data", 12.3, 4),
                }),
                folder("com.tencent.xinWeChat", 8.6, 1),
                folder("com.apple.mail", 1, 3),
            }),
            folder("Application Support", 1.2, 30, {
                folder("Google", 4.2, 1),
                folder("MobileSync", 0, 30, {
                    folder("Backup", 3.8, 400),
                }),
                folder("Code", 2.1, 1),
                folder("Slack", 1.6, 1),
                folder("Figma", 1.1, 2),
            }),
            folder("Caches", 1.4, 1, {
                folder("com.spotify.client", 2.4, 1),
                folder("Google", 1.9, 1),
                folder("Homebrew", 1.6, 12),
                folder("pip", 1.1, 40),
                folder("com.figma.Desktop", 0.8, 2),
            }),
            folder("Group Containers", 3.4, 1),
            folder("Messages", 0, 30, {
                folder("Attachments", 2, 5),
            }),
            folder("Logs", 0.6, 1),
        }),
        folder("Movies", 0.9, 30, {
            folder(L("旅行 Vlog 素材 2024"), 0, 250, {
                folder(L("A 机"), 13.2, 250),
                folder(L("无人机"), 7.4, 260),
                folder(L("音频"), 1.9, 255),
            }),
            folder(L("婚礼剪辑.fcpbundle"), 14.1, 50),
            folder(L("录屏"), 3.2, 12),
        }),
        folder("Downloads", 2.1, 0.5, {
            folder(L("课程录像"), 6.4, 200),
            file(L("公开数据集.zip"), 4.2, 150),
            file("DaVinci_Resolve_19.dmg", 3.5, 100),
            file("Xcode_16.2.xip", 3.1, 40),
            folder(L("Figma 导出"), 1.1, 8),
            file("Docker.dmg", 0.6, 70),
        }),
        folder("Code", 0.4, 30, {
            folder("ml-playground", 0.5, 200, {
                folder(".venv", 4.8, 200),
                folder("checkpoints", 2.6, 210),
            }),
            folder("rust-cli", 0.2, 90, {
                folder("target", 3.6, 90),
            }),
            folder("shop-web", 0.6, 1, {
                folder("node_modules", 1.8, 1),
                folder(".next", 0.6, 1),
            }),
            folder("design-system", 0.3, 45, {
                folder("node_modules", 2.3, 45),
            }),
            folder("ios-app", 1.4, 3, {
                folder("build", 1.2, 3),
            }),
            folder("old-landing", 0.1, 400, {
                folder("node_modules", 1.1, 400),
            }),
        }),
        folder(".ollama", 0, 30, {
            folder("models", 19.1, 20),
        }),
        folder("Pictures", 0.3, 30, {
            folder("Photos Library.photoslibrary", 16.5, 1),
            folder(L("截图"), 0.9, 2),
        }),
        folder("Documents", 0.8, 30, {
            folder(L("工作"), 0, 2, {
                folder(L("2025 项目"), 3.9, 2),
                folder(L("提案"), 1.6, 30),
                folder(L("会议录音"), 1.3, 60),
            }),
            folder("Zoom", 3.4, 30),
            folder(L("个人"), 2.1, 15),
            folder(L("合同与票据"), 1.2, 20),
        }),
        folder(".cache", 0.5, 30, {
            folder("huggingface", 6.1, 25),
            folder("uv", 0.8, 6),
        }),
        folder("Desktop", 0.5, 1, {
            folder(L("待整理"), 3.6, 30),
            folder(L("截屏"), 1.1, 1),
        }),
        folder("Music", 0, 30, {
            folder("Music", 4, 90),
        }),
        folder(".npm", 0, 30, {
            folder("_cacache", 3.1, 3),
        }),
        folder(".Trash", 3.1, 2),
        folder(".gradle", 2.4, 120),
        folder(".cargo", 1.8, 90),
    };
}
// clang-format on

/// The engine's VolumeInfo, field for field, in its JSON form.
struct VolumeShape {
    std::string name, mountPoint;
    int64_t totalBytes, usedBytes, availableBytes, freeBytes, purgeableBytes;
    double usedPercent;
    bool isInternal, isRoot;
    std::string total, used, available;
};
NLOHMANN_DEFINE_TYPE_NON_INTRUSIVE_WITH_DEFAULT(VolumeShape, name, mountPoint, totalBytes, usedBytes, availableBytes,
                                                freeBytes, purgeableBytes, usedPercent, isInternal, isRoot, total, used,
                                                available)

/// The engine's ScanResult, field for field; the root in the engine's own form.
struct ScanShape {
    FileNode root;
    Date scannedAt;
    double duration;
    int64_t fileCount;
    std::vector<std::string> inaccessible;
    int64_t inaccessibleCount;
    std::vector<std::string> cloudOnly;
    int64_t minNodeSize;
};
NLOHMANN_DEFINE_TYPE_NON_INTRUSIVE_WITH_DEFAULT(ScanShape, root, scannedAt, duration, fileCount, inaccessible,
                                                inaccessibleCount, cloudOnly, minNodeSize)

}  // namespace

VolumeInfo volume() {
    const int64_t total = 494'380'000'000, used = 430'980'000'000, available = 63'400'000'000;
    VolumeShape shape{"Macintosh HD",
                      "/",
                      total,
                      used,
                      available,
                      51'200'000'000,
                      12'200'000'000,
                      double(used) / double(total) * 100,
                      true,
                      true,
                      Fmt::bytes(total),
                      Fmt::bytes(used),
                      Fmt::bytes(available)};
    return convert<VolumeInfo>(shape, "VolumeInfo");
}

FileNode tree(const std::string& home, Date now) {
    FileNode root;
    root.name = Paths::lastComponent(home);
    root.path = home;
    root.isDirectory = true;
    root.children = nodesOf(topLevel(), home, now);
    root.size = 700'000'000;
    root.fileCount = 1'200;
    for (const FileNode& child : *root.children) {
        root.size += child.size;
        root.fileCount += child.fileCount;
    }
    // The root's date is the scan's own, not its newest child's.
    root.modified = offset(now, -600);
    return root;
}

ScanResult scan(const FileNode& root, Date now) {
    ScanShape shape{root, offset(now, -720), 41.6, root.fileCount, {}, 0, {}, 1'048'576};
    return convert<ScanResult>(shape, "Optional<ScanResult>");
}

}  // namespace Demo::detail
