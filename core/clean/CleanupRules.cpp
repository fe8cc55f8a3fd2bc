#include "clean/CleanupRules.hpp"

#include <map>
#include <memory>
#include <mutex>

#include "base/Paths.hpp"
#include "platform/Trash.hpp"
#include "platform/UserFolders.hpp"
#include "text/Localization.hpp"

namespace SuggestionEngine {

namespace {

std::vector<CleanupRule> buildDesignedRules() {
    using enum Risk;
    using enum CleanAction;
    constexpr int64_t usual = 50'000'000;
    constexpr int64_t chatApps = 1'000'000'000;
    // `rel` is below the home folder; `largestChildren` lists the place's largest children as items.
    auto row = [](const char* id, const char* rel, const char* category, const char* title, const char* detail,
                  Risk risk, CleanAction action, std::optional<std::string> command, int64_t minBytes,
                  bool largestChildren) {
        // The Trash here is the freedesktop one, which need not be the home's ".Trash".
        std::string place = std::string(rel) == ".Trash" ? "$TRASH" : std::string("~/") + rel;
        return CleanupRule{id,        {std::move(place)},
                           category,  L(title),
                           L(detail), risk,
                           action,    std::move(command),
                           minBytes,  largestChildren ? Breakdown::largestChildren : Breakdown::none};
    };
    return {
        row("user-caches", "Library/Caches", "cache", "应用缓存",
            "各 App 的临时缓存,删除后会按需重新生成。清理前建议先退出占用较大的 App。", safe, trashContents,
            std::nullopt, usual, true),
        row("user-logs", "Library/Logs", "cache", "日志文件", "App 与系统诊断日志,删除不影响使用。", safe,
            trashContents, std::nullopt, usual, false),
        row("trash", ".Trash", "system", "废纸篓", "废纸篓里的文件仍然占用磁盘,清倒后才真正释放。", review, emptyTrash,
            std::nullopt, 10'000'000, false),
        row("xcode-derived-data", "Library/Developer/Xcode/DerivedData", "developer", "Xcode 构建缓存 (DerivedData)",
            "编译中间产物,下次构建时自动重建。", safe, trashContents, std::nullopt, usual, false),
        row("xcode-archives", "Library/Developer/Xcode/Archives", "developer", "Xcode 归档 (Archives)",
            "历史打包产物,含 dSYM。已上架版本的符号文件可能还需要,确认后再删。", review, trashContents, std::nullopt,
            usual, true),
        row("xcode-device-support", "Library/Developer/Xcode/iOS DeviceSupport", "developer", "Xcode 设备支持文件",
            "连接过的 iOS 版本的调试符号,再次连接设备时会重新生成。", safe, trashContents, std::nullopt, usual, false),
        row("simulator-devices", "Library/Developer/CoreSimulator/Devices", "developer", "iOS 模拟器数据",
            "模拟器设备及其中安装的 App 数据。推荐用命令只删除已失效的模拟器。", review, command,
            "xcrun simctl delete unavailable", usual, false),
        row("simulator-caches", "Library/Developer/CoreSimulator/Caches", "developer", "模拟器缓存",
            "dyld 共享缓存,启动模拟器时自动重建。", safe, trashContents, std::nullopt, usual, false),
        row("npm-cache", ".npm/_cacache", "developer", "npm 缓存", "已下载的包缓存,需要时会重新下载。", safe,
            trashContents, "npm cache clean --force", usual, false),
        row("pnpm-store", "Library/pnpm/store", "developer", "pnpm 仓库",
            "pnpm 的全局内容寻址仓库。用命令只清掉不再被引用的包更稳妥。", review, command, "pnpm store prune", usual,
            false),
        row("bun-cache", ".bun/install/cache", "developer", "Bun 安装缓存", "已下载的包缓存,需要时会重新下载。", safe,
            trashContents, std::nullopt, usual, false),
        row("gradle-caches", ".gradle/caches", "developer", "Gradle 缓存", "依赖与构建缓存,下次构建时重新下载。", safe,
            trashContents, std::nullopt, usual, false),
        row("maven-repo", ".m2/repository", "developer", "Maven 本地仓库",
            "已下载的依赖;本地 install 的私有构件不会自动恢复。", review, trashContents, std::nullopt, usual, false),
        row("cargo-registry", ".cargo/registry", "developer", "Cargo 注册表缓存",
            "crate 源码与索引缓存,需要时会重新下载。", safe, trashContents, std::nullopt, usual, false),
        row("go-mod-cache", "go/pkg/mod", "developer", "Go 模块缓存", "模块缓存是只读文件,用命令清理最干净。", safe,
            command, "go clean -modcache", usual, false),
        row("dot-cache", ".cache", "developer", "~/.cache(命令行工具缓存)",
            "pip、Hugging Face 模型、各种 CLI 的缓存。大模型文件重新下载很慢,先看明细再决定。", review, manual,
            std::nullopt, usual, true),
        row("cocoapods-repos", ".cocoapods/repos", "developer", "CocoaPods spec 仓库",
            "spec 索引,pod install 时会重新拉取。", safe, trashContents, std::nullopt, usual, false),
        row("ollama-models", ".ollama/models", "developer", "Ollama 本地模型",
            "本地大模型权重。用 ollama list 查看,ollama rm <模型> 删除不用的。", caution, command, "ollama list", usual,
            false),
        row("docker-data", "Library/Containers/com.docker.docker/Data", "developer", "Docker 镜像与卷",
            "Docker Desktop 的虚拟磁盘。不要直接删文件,用 docker 命令回收未使用的镜像、容器和构建缓存。", caution,
            command, "docker system prune -a", usual, false),
        row("android-system-images", "Library/Android/sdk/system-images", "developer", "Android 模拟器系统镜像",
            "可在 Android Studio 的 SDK Manager 中卸载不用的版本。", review, manual, std::nullopt, usual, false),
        row("android-avd", ".android/avd", "developer", "Android 虚拟设备",
            "AVD 的磁盘镜像,可在 Device Manager 中删除不用的设备。", review, manual, std::nullopt, usual, false),
        row("ios-backups", "Library/Application Support/MobileSync/Backup", "backup", "iPhone / iPad 本地备份",
            "设备的本地备份。确认设备已有 iCloud 备份或不再需要后再删。", caution, manual, std::nullopt, usual, true),
        row("mail-downloads", "Library/Containers/com.apple.mail/Data/Library/Mail Downloads", "cache", "邮件附件缓存",
            "在邮件 App 中打开过的附件副本,原件仍在邮件里。", safe, trashContents, std::nullopt, usual, false),
        row("wechat-data", "Library/Containers/com.tencent.xinWeChat", "apps", "微信聊天文件与缓存",
            "聊天记录、图片、视频和文件。请在 微信 > 设置 > 通用 > 存储空间 里清理,直接删文件会丢聊天记录。", caution,
            manual, std::nullopt, chatApps, false),
        row("qq-data", "Library/Containers/com.tencent.qq", "apps", "QQ 聊天文件与缓存",
            "请在 QQ 的设置里清理缓存与聊天文件。", caution, manual, std::nullopt, chatApps, false),
        row("messages-attachments", "Library/Messages/Attachments", "apps", "信息 App 附件",
            "iMessage 收发的图片与视频。可在文件管理器中按大小查看后清理。", caution, manual, std::nullopt, chatApps,
            false),
    };
}

/// "base/name" for every name: the places a brace list in the table stands for.
std::vector<std::string> each(const std::string& base, std::initializer_list<const char*> names,
                              const std::string& after = "") {
    std::vector<std::string> places;
    for (const char* name : names) places.push_back(Paths::joined(base, name) + after);
    return places;
}

std::vector<CleanupRule> buildLinuxRules() {
    using enum Risk;
    using enum CleanAction;
    constexpr int64_t usual = 50'000'000;
    constexpr int64_t chatApps = 1'000'000'000;
    auto row = [](const char* id, std::vector<std::string> places, const char* category, const char* title,
                  const char* detail, Risk risk, CleanAction action, std::optional<std::string> command,
                  int64_t minBytes, Breakdown breakdown) {
        return CleanupRule{id,     std::move(places),  category, L(title), L(detail), risk,
                           action, std::move(command), minBytes, breakdown};
    };
    std::vector<std::string> electron;
    for (const char* cache : {"Cache", "Code Cache", "GPUCache", "CachedData", "Service Worker/CacheStorage"})
        electron.push_back(std::string("$XDG_CONFIG_HOME/*/") + cache);
    std::vector<std::string> conda;
    for (const char* folder : condaFolders) conda.push_back(Paths::joined(Paths::joined("~", folder), "pkgs"));
    return {
        row("xdg-cache-apps",
            each("$XDG_CACHE_HOME", {"mozilla",        "google-chrome", "chromium",   "BraveSoftware",
                                     "microsoft-edge", "thumbnails",    "fontconfig", "mesa_shader_cache",
                                     "JetBrains",      "ms-playwright", "go-build",   "ccache",
                                     "sccache",        "yarn",          "pip",        "uv",
                                     "pypoetry",       "deno",          "bazel",      "electron",
                                     "node-gyp",       "typescript"}),
            "cache", "浏览器与工具缓存",
            "浏览器、缩略图、字体、着色器和各种开发工具放在 ~/.cache 里的缓存,删除后会按需重新生成。清理前建议先退出浏览器。",
            safe, trashContents, std::nullopt, usual, Breakdown::byPlace),
        row("flatpak-app-caches", {"~/.var/app/*/cache"}, "cache", "Flatpak 应用缓存",
            "Flatpak 应用各自的缓存目录,删除后会重新生成。", safe, trashContents, std::nullopt, usual, Breakdown::none),
        row("snap-app-caches", {"~/snap/*/common/.cache", "~/snap/*/current/.cache"}, "cache", "Snap 应用缓存",
            "Snap 应用各自的缓存目录,删除后会重新生成。", safe, trashContents, std::nullopt, usual, Breakdown::none),
        row("electron-caches", electron, "cache", "Electron 应用缓存",
            "VS Code、Slack、Discord 等 Electron 应用的网页与代码缓存,删除后会重新生成,登录状态不受影响。", safe,
            trashContents, std::nullopt, usual, Breakdown::byMatch),
        row("steam-shader-cache",
            {"$XDG_DATA_HOME/Steam/steamapps/shadercache", "~/.steam/steam/steamapps/shadercache"}, "cache",
            "Steam 着色器缓存", "游戏的着色器预编译缓存,下次启动游戏时重新生成。", safe, trashContents, std::nullopt,
            usual, Breakdown::none),
        row("conda-pkgs", conda, "developer", "conda 包缓存",
            "conda 下载和解压过的包。用命令清理,已安装的环境不受影响。", safe, command, "conda clean --all", usual,
            Breakdown::none),
        row("pnpm-store-linux", {"$XDG_DATA_HOME/pnpm/store"}, "developer", "pnpm 仓库",
            "pnpm 的全局内容寻址仓库。用命令只清掉不再被引用的包更稳妥。", review, command, "pnpm store prune", usual,
            Breakdown::none),
        row("huggingface-models", {"$XDG_CACHE_HOME/huggingface"}, "developer", "Hugging Face 模型缓存",
            "下载过的模型与数据集。重新下载大模型很慢,用命令挑选不再需要的删除。", review, manual,
            "huggingface-cli delete-cache", usual, Breakdown::none),
        row("torch-hub", {"$XDG_CACHE_HOME/torch"}, "developer", "PyTorch 模型缓存",
            "torch.hub 下载的预训练权重,需要时会重新下载。", review, trashContents, std::nullopt, usual,
            Breakdown::none),
        row("rustup-toolchains", {"~/.rustup/toolchains"}, "developer", "Rust 工具链",
            "rustup 安装的各版本工具链。用 rustup toolchain list 查看,rustup toolchain uninstall <版本> 删除不用的。",
            review, command, "rustup toolchain list", usual, Breakdown::none),
        row("podman-storage", {"$XDG_DATA_HOME/containers/storage"}, "developer", "Podman 镜像与容器",
            "Podman 的镜像、容器和卷。不要直接删文件,用 podman 命令回收未使用的部分。", caution, command,
            "podman system prune -a", usual, Breakdown::none),
        row("docker-rootless", {"$XDG_DATA_HOME/docker"}, "developer", "Docker 镜像与卷",
            "无 root 模式 Docker 的数据目录。不要直接删文件,用 docker 命令回收未使用的镜像、容器和构建缓存。", caution,
            command, "docker system prune -a", usual, Breakdown::none),
        row("flatpak-unused", {"$XDG_DATA_HOME/flatpak"}, "apps", "Flatpak 应用与运行时",
            "用户安装的 Flatpak 应用和运行时。用命令卸载不再被任何应用使用的运行时。", review, command,
            "flatpak uninstall --unused", usual, Breakdown::none),
        row("android-sdk-images", {"~/Android/Sdk/system-images"}, "developer", "Android 模拟器系统镜像",
            "可在 Android Studio 的 SDK Manager 中卸载不用的版本。", review, manual, std::nullopt, usual,
            Breakdown::none),
        row("vscode-server", {"~/.vscode-server", "~/.cursor-server"}, "developer", "VS Code 远程服务器",
            "VS Code、Cursor 远程连接到本机时安装的服务端与扩展。旧版本可以删除,下次连接时重新安装。", review, manual,
            std::nullopt, usual, Breakdown::none),
        row("chat-apps-linux",
            {"$DOCUMENTS/xwechat_files", "~/.xwechat", "$XDG_CONFIG_HOME/QQ",
             "$XDG_DATA_HOME/TelegramDesktop/tdata/user_data"},
            "apps", "聊天应用的文件与缓存",
            "微信、QQ、Telegram 的聊天记录、图片、视频和文件。请在应用的设置里清理,直接删文件会丢聊天记录。", caution,
            manual, std::nullopt, chatApps, Breakdown::none),
    };
}

using Tables = std::map<Lang, std::unique_ptr<const std::vector<CleanupRule>>>;

/// A table built once per process in each language it runs in. A test binary
/// that switches language gets a table of its own per language; none is ever
/// replaced, so references handed out stay valid.
const std::vector<CleanupRule>& inCurrentLanguage(Tables& tables, std::vector<CleanupRule> (*build)()) {
    static std::mutex lock;
    std::lock_guard guard(lock);
    auto& table = tables[Langs::current()];
    if (!table) table = std::make_unique<const std::vector<CleanupRule>>(build());
    return *table;
}

}  // namespace

const std::vector<CleanupRule>& known() {
    static Tables tables;
    return inCurrentLanguage(tables, buildDesignedRules);
}

const std::vector<CleanupRule>& linuxRules() {
    static Tables tables;
    return inCurrentLanguage(tables, buildLinuxRules);
}

std::string expandBase(const std::string& pattern, const std::string& home) {
    auto slash = pattern.find('/');
    const std::string base = pattern.substr(0, slash);
    const std::string rest = slash == std::string::npos ? "" : pattern.substr(slash);
    if (base == "~") return home + rest;
    if (base == "$TRASH") return Trash::filesFolder() + rest;
    if (base == "$XDG_CACHE_HOME") return UserFolders::cacheHome() + rest;
    if (base == "$XDG_DATA_HOME") return UserFolders::dataHome() + rest;
    if (base == "$XDG_CONFIG_HOME") return UserFolders::configHome() + rest;
    if (base == "$DOCUMENTS") return UserFolders::current(home).documents + rest;
    return pattern;
}

std::string location(const CleanupRule& rule, const std::string& home) { return expandBase(rule.places.front(), home); }

}  // namespace SuggestionEngine
