#include "config/Destinations.hpp"

#include <pwd.h>
#include <unistd.h>

#include <unicode/locid.h>
#include <unicode/uchar.h>
#include <unicode/unistr.h>

#include <algorithm>
#include <array>
#include <set>

#include "base/DisplayText.hpp"
#include "base/Files.hpp"
#include "base/JSONCoding.hpp"
#include "base/Paths.hpp"
#include "base/Text.hpp"
#include "config/Config.hpp"
#include "config/PlaceRecords.hpp"
#include "config/Rclone.hpp"
#include "platform/ICloud.hpp"
#include "platform/Mounts.hpp"
#include "platform/Platform.hpp"
#include "text/Localization.hpp"

namespace fs = std::filesystem;

// Records

namespace DestinationKinds {

namespace {
constexpr std::array<std::pair<DestinationKind, const char*>, 8> names = {{
    {DestinationKind::icloud, "icloud"},
    {DestinationKind::googleDrive, "googleDrive"},
    {DestinationKind::dropbox, "dropbox"},
    {DestinationKind::oneDrive, "oneDrive"},
    {DestinationKind::box, "box"},
    {DestinationKind::cloudFolder, "cloudFolder"},
    {DestinationKind::rclone, "rclone"},
    {DestinationKind::folder, "folder"},
}};
}  // namespace

std::string rawValue(DestinationKind kind) {
    for (const auto& [candidate, name] : names)
        if (candidate == kind) return name;
    return "folder";
}

std::optional<DestinationKind> fromRaw(const std::string& raw) {
    for (const auto& [kind, name] : names)
        if (raw == name) return kind;
    return std::nullopt;
}

}  // namespace DestinationKinds

void to_json(json& value, const DestinationKind& kind) { value = DestinationKinds::rawValue(kind); }

void from_json(const json& value, DestinationKind& kind) {
    auto decoded = DestinationKinds::fromRaw(value.get<std::string>());
    if (!decoded) throw std::invalid_argument("unknown destination kind: " + value.get<std::string>());
    kind = *decoded;
}

namespace {

constexpr auto destinationFields = JSONCoding::fields(
    JSONCoding::field("id", &BackupDestination::id), JSONCoding::field("kind", &BackupDestination::kind),
    JSONCoding::field("name", &BackupDestination::name), JSONCoding::field("path", &BackupDestination::path),
    JSONCoding::field("rcloneRemote", &BackupDestination::rcloneRemote),
    JSONCoding::field("available", &BackupDestination::available), JSONCoding::field("note", &BackupDestination::note));

}  // namespace

void to_json(json& value, const BackupDestination& destination) {
    JSONCoding::write(value, destination, destinationFields);
}
void from_json(const json& value, BackupDestination& destination) {
    JSONCoding::read(value, destination, destinationFields);
}

// Discovery

namespace Destinations {

namespace {

struct HomeSyncFolder {
    std::string folder;
    std::string displayName;
    DestinationKind kind;
};

// Rebuilt per call rather than cached: the display names follow the
// language, which is fixed for a process but not for a test binary.
std::vector<HomeSyncFolder> homeSyncFolders() {
    return {
        {"Dropbox", "Dropbox", DestinationKind::dropbox},
        {"OneDrive", "OneDrive", DestinationKind::oneDrive},
        {"Google Drive", "Google Drive", DestinationKind::googleDrive},
        {"BaiduSyncdisk", L("百度网盘同步空间"), DestinationKind::cloudFolder},
        {"Nutstore Files", L("坚果云"), DestinationKind::cloudFolder},
        {"pCloud Drive", "pCloud", DestinationKind::cloudFolder},
        {"Sync", L("Sync 同步文件夹"), DestinationKind::cloudFolder},
        {"MEGA", "MEGA", DestinationKind::cloudFolder},
        {"Nextcloud", "Nextcloud", DestinationKind::cloudFolder},
        {"ownCloud", "ownCloud", DestinationKind::cloudFolder},
        {"pCloudDrive", "pCloud", DestinationKind::cloudFolder},
        {"Yandex.Disk", "Yandex.Disk", DestinationKind::cloudFolder},
    };
}

const std::array<const char*, 7> myDriveNames = {"My Drive",  "我的云端硬盘", "我的雲端硬碟", "マイドライブ",
                                                 "Mon Drive", "Meine Ablage", "Mi unidad"};
const std::array<const char*, 4> notMyDrive = {"Shared drives", "共享云端硬盘", "Other computers", "其他计算机"};

using Files::isFolder;

/// Entry names of a folder, sorted; none when it cannot be listed.
std::vector<std::string> sortedEntries(const std::string& folder) {
    std::vector<std::string> names;
    std::error_code error;
    fs::directory_iterator entries(folder, error);
    if (error) return names;
    for (auto end = fs::directory_iterator(); entries != end; entries.increment(error)) {
        if (error) break;
        names.push_back(entries->path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::string idFromFolderName(const std::string& name) {
    std::string id = Text::lowercased(name);
    std::replace(id.begin(), id.end(), ' ', '-');
    return id;
}

std::string resolvingLinks(const std::string& path) {
    // The system would read such a path only up to its NUL and resolve a
    // real folder, hiding a valid destination there; it names none itself.
    if (path.find('\0') != std::string::npos) return path;
    std::error_code error;
    fs::path resolved = fs::weakly_canonical(path, error);
    return error ? path : resolved.string();
}

std::optional<std::string> googleMyDrive(const std::string& root) {
    for (const char* name : myDriveNames)
        if (isFolder(Paths::joined(root, name))) return Paths::joined(root, name);
    for (const auto& entry : sortedEntries(root)) {
        if (entry.starts_with(".")) continue;
        if (std::find(notMyDrive.begin(), notMyDrive.end(), entry) != notMyDrive.end()) continue;
        if (isFolder(Paths::joined(root, entry))) return Paths::joined(root, entry);
    }
    return std::nullopt;
}

/// The pieces of splitting at "-" at most once, leaving out empty pieces the
/// way the sync clients' folder names are read: "-a-b" gives "a" and "b".
std::vector<std::string> splitOnceAtDash(const std::string& name) {
    std::vector<std::string> pieces;
    size_t start = 0;
    size_t at = 0;
    for (; at < name.size(); ++at) {
        if (name[at] != '-') continue;
        bool added = at > start;
        if (added) pieces.push_back(name.substr(start, at - start));
        start = at + 1;
        if (added && pieces.size() == 1) break;
    }
    if (start < name.size()) pieces.push_back(name.substr(start));
    return pieces;
}

class DiscoveryList {
public:
    void add(BackupDestination candidate) {
        if (candidate.path) {
            // Marked even if the id check below drops the candidate.
            if (!seenPaths.insert(resolvingLinks(*candidate.path)).second) return;
        }
        for (const auto& existing : list)
            if (existing.id == candidate.id) return;
        list.push_back(std::move(candidate));
    }
    std::vector<BackupDestination> take() { return std::move(list); }

private:
    std::vector<BackupDestination> list;
    std::set<std::string> seenPaths;
};

/// Only a signed-in account uploads what is copied into its drive: a folder
/// of that name without one (a home copied over from another computer) is a
/// plain folder, which the user may add as one.
void addICloudDrive(DiscoveryList& list) {
    if (!ICloud::isSignedIn()) return;
    std::string path = ICloud::driveFolder();
    if (!isFolder(path)) return;
    list.add({"icloud", DestinationKind::icloud, L("iCloud 云盘"), path, std::nullopt, true,
              L("文件复制进 iCloud 云盘后由系统上传;开启存储优化后本地副本会按需释放。")});
}

void addCloudStorageFolders(DiscoveryList& list) {
    const std::string root = Paths::joined(Paths::home(), "Library/CloudStorage");
    for (const auto& entry : sortedEntries(root)) {
        if (entry.starts_with(".")) continue;
        const std::string full = Paths::joined(root, entry);
        if (!isFolder(full)) continue;

        auto pieces = splitOnceAtDash(entry);
        std::string provider = pieces.empty() ? entry : pieces.front();
        std::string account = entry.find('-') != std::string::npos && !pieces.empty() ? pieces.back() : "";
        std::string key = Text::lowercased(provider);

        DestinationKind kind;
        std::string baseName;
        std::optional<std::string> path = full;
        if (key.starts_with("icloud")) {
            continue;  // iCloud Drive has its own entry
        } else if (key.starts_with("googledrive")) {
            kind = DestinationKind::googleDrive, baseName = "Google Drive", path = googleMyDrive(full);
        } else if (key.starts_with("dropbox")) {
            kind = DestinationKind::dropbox, baseName = "Dropbox";
        } else if (key.starts_with("onedrive")) {
            kind = DestinationKind::oneDrive, baseName = "OneDrive";
        } else if (key.starts_with("box")) {
            kind = DestinationKind::box, baseName = "Box";
        } else {
            kind = DestinationKind::cloudFolder, baseName = provider;
        }
        std::string name = account.empty() ? baseName : baseName + " (" + account + ")";
        std::optional<std::string> note;
        if (!path) note = L("没有找到可写入的“我的云端硬盘”目录,请确认客户端已登录。");
        list.add({idFromFolderName(entry), kind, name, path, std::nullopt, path.has_value(), note});
    }
}

void addHomeSyncFolders(DiscoveryList& list) {
    const std::string home = Paths::home();
    for (const auto& row : homeSyncFolders()) {
        std::string path = Paths::joined(home, row.folder);
        if (!isFolder(path)) continue;
        list.add({idFromFolderName(row.folder), row.kind, row.displayName, path, std::nullopt, true, std::nullopt});
    }
}

/// Insync keeps one folder per account and, inside it, one per drive.
void addInsyncDrives(DiscoveryList& list) {
    const std::string root = Paths::joined(Paths::home(), "Insync");
    for (const auto& account : sortedEntries(root)) {
        if (account.starts_with(".") || !isFolder(Paths::joined(root, account))) continue;
        for (const auto& drive : sortedEntries(Paths::joined(root, account))) {
            const std::string path = Paths::joined(Paths::joined(root, account), drive);
            if (drive.starts_with(".") || !isFolder(path)) continue;
            DestinationKind kind = Text::lowercased(drive).find("onedrive") != std::string::npos
                                       ? DestinationKind::oneDrive
                                       : DestinationKind::googleDrive;
            list.add({"insync-" + idFromFolderName(account + "-" + drive), kind, drive + " (" + account + ")", path,
                      std::nullopt, true, std::nullopt});
        }
    }
}

/// The value of `key` in a gvfs mount name ("google-drive:host=h,user=u").
std::optional<std::string> gvfsField(const std::string& name, const std::string& key) {
    const std::string wanted = key + "=";
    size_t start = name.find(':');
    if (start == std::string::npos) return std::nullopt;
    for (++start; start < name.size();) {
        size_t end = name.find(',', start);
        if (end == std::string::npos) end = name.size();
        const std::string field = name.substr(start, end - start);
        if (field.starts_with(wanted)) return field.substr(wanted.size());
        start = end + 1;
    }
    return std::nullopt;
}

void addOnlineAccounts(DiscoveryList& list) {
    const std::string root = Paths::joined(runtimeFolder(), "gvfs");
    for (const auto& entry : sortedEntries(root)) {
        if (!entry.starts_with("google-drive:") || !isFolder(Paths::joined(root, entry))) continue;
        auto host = gvfsField(entry, "host");
        auto user = gvfsField(entry, "user");
        if (!host || !user) continue;
        const std::string account = *user + "@" + *host;
        list.add({"gnome-google-drive-" + Text::lowercased(account), DestinationKind::googleDrive,
                  "Google Drive (" + account + ")", Paths::joined(root, entry), std::nullopt, true, std::nullopt});
    }
}

/// Removable and USB volumes where the desktop or the user mounts them.
void addRemovableVolumes(DiscoveryList& list) {
    auto text = Mounts::readTable();
    if (!text) return;
    const std::vector<std::string> roots = volumeRoots();
    for (const auto& mount : Mounts::volumes(Mounts::parse(*text))) {
        const bool placed = std::any_of(roots.begin(), roots.end(), [&](const std::string& root) {
            return mount.mountPoint != root && Paths::isInside(mount.mountPoint, root);
        });
        // A drive someone plugged in: a block device, not built in, writable.
        const bool removable = mount.source.starts_with("/dev/") && !Mounts::isInternal(mount);
        if (!placed || !removable || Mounts::isReadOnly(mount) || !isFolder(mount.mountPoint)) continue;
        auto label = Mounts::label(mount);
        const std::string name = label && !label->empty() ? *label : Paths::lastComponent(mount.mountPoint);
        list.add(
            {volumeIdPrefix + name, DestinationKind::folder, name, mount.mountPoint, std::nullopt, true, std::nullopt});
    }
}

void addCustomFolders(DiscoveryList& list) {
    // load() holds the configuration lock only while it reads.
    for (const auto& custom : ConfigStore::load().customDestinations) {
        std::string path = Paths::expand(custom.path);
        auto unusable = Paths::unusable(custom.path);
        bool available = !unusable && isFolder(path) && !Mounts::awaitsItsVolume(path) && !awaitsItsDrive(path);
        std::optional<std::string> note = unusable;
        if (!available && !note) note = L("目录当前不可用(外置磁盘未连接?)");
        list.add({custom.id(), DestinationKind::folder, custom.name, path, std::nullopt, available, note});
    }
}

void addRcloneRemotes(DiscoveryList& list) {
    for (const auto& remote : Rclone::listRemotes()) {
        std::string name = remote.substr(0, remote.size() - 1);
        list.add({"rclone:" + name, DestinationKind::rclone, "rclone · " + name, std::nullopt, remote, true,
                  L("通过 rclone 直接上传,不占用本地空间。")});
    }
}

std::string defaultRuntimeFolder() {
    auto runtime = Platform::environment("XDG_RUNTIME_DIR");
    if (runtime && runtime->starts_with("/")) return *runtime;
    return Platform::systemPath("/run/user/" + std::to_string(::getuid()));
}

std::vector<std::string> defaultVolumeRoots() {
    std::string user;
    if (const passwd* entry = ::getpwuid(::getuid()); entry && entry->pw_name) user = entry->pw_name;
    return {Platform::systemPath("/media/" + user), Platform::systemPath("/run/media/" + user),
            Platform::systemPath("/mnt")};
}

}  // namespace

Hooks& Hooks::active() {
    static Hooks current{defaultRuntimeFolder, defaultVolumeRoots};
    return current;
}

std::vector<BackupDestination> discover(bool includeRclone) {
    DiscoveryList list;
    addICloudDrive(list);
    addCloudStorageFolders(list);
    addHomeSyncFolders(list);
    addInsyncDrives(list);
    addOnlineAccounts(list);
    addCustomFolders(list);
    addRemovableVolumes(list);
    if (includeRclone) addRcloneRemotes(list);
    return list.take();
}

// Resolving

bool awaitsItsDrive(const std::string& folder) {
    auto mountPoint = PlaceRecords::mountPointWhenAdded(folder);
    return mountPoint && !Mounts::isMounted(*mountPoint);
}

std::optional<BackupDestination> atFolder(const std::string& folder, const std::vector<BackupDestination>& candidates) {
    const std::string resolved = resolvingLinks(folder);
    for (const auto& candidate : candidates)
        if (candidate.path && resolvingLinks(*candidate.path) == resolved) return candidate;
    return std::nullopt;
}

std::optional<BackupDestination> match(const std::string& query, const std::vector<BackupDestination>& candidates) {
    const std::string q = HorizontalSpace::trim(query);
    for (const auto& candidate : candidates)
        if (Text::equalIgnoringCase(candidate.id, q) || candidate.name == q) return candidate;
    // An id as a listing shows it, quoted when a disk's label asks for it.
    if (auto typed = DisplayText::unquoted(q))
        for (const auto& candidate : candidates)
            if (Text::equalIgnoringCase(candidate.id, *typed)) return candidate;
    return std::nullopt;
}

BackupDestination resolve(const std::string& query, const std::optional<std::vector<BackupDestination>>& candidates) {
    const std::vector<BackupDestination> list = candidates ? *candidates : discover(true);
    const std::string q = HorizontalSpace::trim(query);

    if (auto found = match(q, list)) {
        if (found->available) return *found;
        throw OstrevaneError(L("备份目的地“%@”当前不可用。%@", found->name, found->note.value_or("")));
    }

    if (auto reason = Paths::unusable(query)) throw OstrevaneError(*reason);
    if (q.starts_with("/") || q.starts_with("~")) {
        // The query as given, since a folder's name may end in a blank.
        std::string path = Paths::expand(query);
        if (!isFolder(path)) throw OstrevaneError(L("目的地目录不存在: %@", DisplayText::path(path)));
        std::string name = path == "/" ? path : fs::path(path).filename().string();
        return {path, DestinationKind::folder, name, path, std::nullopt, true, std::nullopt};
    }

    std::string ids;
    for (const auto& candidate : list) ids += (ids.empty() ? "" : ", ") + DisplayText::name(candidate.id);
    if (ids.empty()) ids = L("(无)");
    throw OstrevaneError(L("找不到备份目的地“%@”。可用: %@,也可以直接传一个文件夹路径。", q, ids));
}

}  // namespace Destinations
