// The demo suggestion report: fifteen suggestions in a fixed order.
#include "base/Paths.hpp"
#include "demo/DemoData.hpp"
#include "text/Localization.hpp"

namespace Demo::detail {

namespace {

struct Text {
    const char* title;
    const char* detail;
};
/// Titles and details, row by row; localised when the report is built.
constexpr Text texts[] = {
    {"iCloud 云盘的本地副本",
     "这些文件已经上传到 iCloud,却还完整地存在这台电脑上。释放本地副本后文件仍在云端,打开时自动下载;没传完的文件不会动。"},
    {"长期未用的文件夹:~/Movies/旅行 Vlog 素材 2024",
     "250 天没有任何改动。可以先备份到网盘、校验通过后再移除本地副本。"},
    {"Ollama 本地模型", "本地大模型权重。用 ollama list 查看,ollama rm <模型> 删除不用的。"},
    {"Xcode 构建缓存 (DerivedData)", "编译中间产物,下次构建时自动重建。"},
    {"Docker 镜像与卷", "Docker Desktop 的虚拟磁盘。不要直接删文件,用 docker 命令回收未使用的镜像、容器和构建缓存。"},
    {"闲置项目的依赖与构建目录", "超过 30 天没动过的项目里的依赖和构建产物,重新安装或构建即可恢复。"},
    {"应用缓存", "各 App 的临时缓存,删除后会按需重新生成。清理前建议先退出占用较大的 App。"},
    {"微信聊天文件与缓存",
     "聊天记录、图片、视频和文件。请在 微信 > 设置 > 通用 > 存储空间 里清理,直接删文件会丢聊天记录。"},
    {"iOS 模拟器数据", "模拟器设备及其中安装的 App 数据。推荐用命令只删除已失效的模拟器。"},
    {"下载目录里的安装包", "装好之后就用不到的 .dmg / .pkg / .xip,需要时可以重新下载。"},
    {"~/.cache(命令行工具缓存)", "pip、Hugging Face 模型、各种 CLI 的缓存。大模型文件重新下载很慢,先看明细再决定。"},
    {"Xcode 设备支持文件", "连接过的 iOS 版本的调试符号,再次连接设备时会重新生成。"},
    {"iPhone / iPad 本地备份", "设备的本地备份。确认设备已有 iCloud 备份或不再需要后再删。"},
    {"废纸篓", "废纸篓里的文件仍然占用磁盘,清倒后才真正释放。"},
    {"npm 缓存", "已下载的包缓存,需要时会重新下载。"},
};

struct Row {
    const char* id;
    const char* category;
    double gb;
    Risk risk;
    CleanAction action;
    std::optional<std::string> command;
    /// Below the home folder; already localised where the name is.
    std::vector<std::string> paths;
};

struct Item {
    std::string path;
    double gb;
    const char* note;
};

std::vector<Row> rows() {
    using enum Risk;
    using enum CleanAction;
    const std::string cloudDocs = "Library/Mobile Documents/com~apple~CloudDocs/";
    return {
        {"icloud-local-copies",
         "archive",
         23.1,
         review,
         evict,
         std::nullopt,
         {L(cloudDocs + "摄影 RAW 2023"), L(cloudDocs + "家庭视频"), L(cloudDocs + "论文资料")}},
        {"cold-movies-vlog-2024",
         "archive",
         22.5,
         review,
         offload,
         L("ostrevane offload '~/Movies/旅行 Vlog 素材 2024' --to icloud --execute"),
         {L("Movies/旅行 Vlog 素材 2024")}},
        {"ollama-models", "developer", 19.1, caution, command, "ollama list", {".ollama/models"}},
        {"xcode-derived-data",
         "developer",
         14.6,
         safe,
         trashContents,
         std::nullopt,
         {"Library/Developer/Xcode/DerivedData"}},
        {"docker-data",
         "developer",
         12.3,
         caution,
         command,
         "docker system prune -a",
         {"Library/Containers/com.docker.docker/Data"}},
        {"stale-dev-artifacts",
         "developer",
         12.8,
         review,
         trash,
         std::nullopt,
         {"Code/ml-playground/.venv", "Code/rust-cli/target", "Code/design-system/node_modules",
          "Code/old-landing/node_modules"}},
        {"user-caches", "cache", 9.2, safe, trashContents, std::nullopt, {"Library/Caches"}},
        {"wechat-data", "apps", 8.6, caution, manual, std::nullopt, {"Library/Containers/com.tencent.xinWeChat"}},
        {"simulator-devices",
         "developer",
         7.8,
         review,
         command,
         "xcrun simctl delete unavailable",
         {"Library/Developer/CoreSimulator/Devices"}},
        {"downloads-installers",
         "downloads",
         7.2,
         review,
         trash,
         std::nullopt,
         {"Downloads/DaVinci_Resolve_19.dmg", "Downloads/Xcode_16.2.xip", "Downloads/Docker.dmg"}},
        {"dot-cache", "developer", 7.4, review, manual, std::nullopt, {".cache"}},
        {"xcode-device-support",
         "developer",
         5.8,
         safe,
         trashContents,
         std::nullopt,
         {"Library/Developer/Xcode/iOS DeviceSupport"}},
        {"ios-backups",
         "backup",
         3.8,
         caution,
         manual,
         std::nullopt,
         {"Library/Application Support/MobileSync/Backup"}},
        {"trash", "system", 3.1, review, emptyTrash, std::nullopt, {".Trash"}},
        {"npm-cache", "developer", 3.1, safe, trashContents, "npm cache clean --force", {".npm/_cacache"}},
    };
}

/// The breakdowns of rows 1, 6 and 10 (by row index), in the paths' order.
std::vector<Item> itemsOf(size_t row, const std::vector<std::string>& paths) {
    static const std::vector<std::pair<double, const char*>> cloud{
        {13.9, "420 天没打开"}, {5.4, "310 天没打开"}, {3.8, "95 天没打开"}};
    static const std::vector<std::pair<double, const char*>> stale{
        {4.8, "200 天没动过"}, {3.6, "90 天没动过"}, {2.3, "45 天没动过"}, {1.1, "400 天没动过"}};
    static const std::vector<std::pair<double, const char*>> installers{
        {3.5, "100 天前下载"}, {3.1, "40 天前下载"}, {0.6, "70 天前下载"}};
    const auto* figures = row == 0 ? &cloud : row == 5 ? &stale : row == 9 ? &installers : nullptr;
    std::vector<Item> items;
    if (!figures) return items;
    for (size_t i = 0; i < figures->size(); ++i) items.push_back({paths[i], (*figures)[i].first, (*figures)[i].second});
    return items;
}

/// The engine's SuggestionReport, field for field; suggestions in the engine's own form.
struct ReportShape {
    Date generatedAt;
    std::string mode;
    int64_t totalReclaimableBytes;
    std::string totalReclaimable;
    int64_t safeReclaimableBytes;
    std::string safeReclaimable;
    std::vector<Suggestion> suggestions;
    std::vector<std::string> notes;
};
NLOHMANN_DEFINE_TYPE_NON_INTRUSIVE_WITH_DEFAULT(ReportShape, generatedAt, mode, totalReclaimableBytes, totalReclaimable,
                                                safeReclaimableBytes, safeReclaimable, suggestions, notes)

Suggestion suggestionOf(const Row& row, size_t index, const std::string& home) {
    std::vector<std::string> paths;
    for (const std::string& relative : row.paths) paths.push_back(Paths::joined(home, relative));
    std::optional<std::vector<SuggestionItem>> items;
    for (const Item& item : itemsOf(index, paths)) {
        if (!items) items.emplace();
        items->emplace_back(item.path, bytesOf(item.gb), L(item.note));
    }
    return Suggestion(row.id, row.category, L(texts[index].title), L(texts[index].detail), paths, bytesOf(row.gb),
                      row.risk, row.action, row.command, items);
}

}  // namespace

SuggestionReport report(const std::string& home, Date now) {
    ReportShape shape{offset(now, -660), "full", 0, {}, 0, {}, {}, {}};
    const std::vector<Row> table = rows();
    for (size_t index = 0; index < table.size(); ++index) {
        Suggestion suggestion = suggestionOf(table[index], index, home);
        shape.totalReclaimableBytes += suggestion.reclaimableBytes;
        if (suggestion.risk == Risk::safe) shape.safeReclaimableBytes += suggestion.reclaimableBytes;
        shape.suggestions.push_back(std::move(suggestion));
    }
    shape.totalReclaimable = Fmt::bytes(shape.totalReclaimableBytes);
    shape.safeReclaimable = Fmt::bytes(shape.safeReclaimableBytes);
    return convert<SuggestionReport>(shape, "SuggestionReport");
}

}  // namespace Demo::detail
