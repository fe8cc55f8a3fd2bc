#include "platform/Mounts.hpp"

#include <sys/statvfs.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>

#include "base/Paths.hpp"
#include "platform/Platform.hpp"

namespace fs = std::filesystem;

namespace Mounts {

namespace {

std::vector<std::string_view> fields(std::string_view line) {
    std::vector<std::string_view> result;
    size_t start = 0;
    while (start < line.size()) {
        size_t end = line.find(' ', start);
        if (end == std::string_view::npos) end = line.size();
        if (end > start) result.push_back(line.substr(start, end - start));
        start = end + 1;
    }
    return result;
}

bool parseNumber(std::string_view text, int64_t& value) {
    if (text.empty()) return false;
    value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        value = value * 10 + (c - '0');
    }
    return true;
}

bool hasOption(const std::string& options, std::string_view wanted) {
    size_t start = 0;
    while (start <= options.size()) {
        size_t end = options.find(',', start);
        if (end == std::string::npos) end = options.size();
        if (std::string_view(options).substr(start, end - start) == wanted) return true;
        start = end + 1;
    }
    return false;
}

std::optional<std::string> readWhole(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    if (!file) return std::nullopt;
    std::ostringstream contents;
    contents << file.rdbuf();
    return contents.str();
}

std::optional<fs::path> canonicalOrNone(const fs::path& path) {
    std::error_code error;
    fs::path resolved = fs::canonical(path, error);
    if (error) return std::nullopt;
    return resolved;
}

/// The sysfs folder of the disk behind a block device: partitions lead to
/// their disk, device-mapper devices (encryption, LVM) to what they sit on.
std::optional<fs::path> diskFolder(const std::string& sysRoot, unsigned major, unsigned minor) {
    auto device = canonicalOrNone(fs::path(sysRoot) / "dev" / "block" /
                                  (std::to_string(major) + ":" + std::to_string(minor)));
    for (int hop = 0; device && hop < 8; ++hop) {
        std::error_code error;
        if (fs::exists(*device / "partition", error)) {
            device = device->parent_path();
            continue;
        }
        std::optional<fs::path> below;
        for (fs::directory_iterator slave(*device / "slaves", error), end; !error && slave != end;
             slave.increment(error)) {
            below = canonicalOrNone(slave->path());
            break;
        }
        if (!below) break;
        device = below;
    }
    return device;
}

std::optional<std::string> defaultTable() { return readWhole(Platform::systemPath("/proc/self/mountinfo")); }

std::optional<Capacity> defaultCapacity(const std::string& path) {
    struct statvfs status;
    if (::statvfs(path.c_str(), &status) != 0) return std::nullopt;
    return capacityOf(status);
}

bool defaultIsInternal(const Mount& mount) {
    if (mount.major == 0) return false;
    return internalFromSysfs(Platform::systemPath("/sys"), mount.major, mount.minor);
}

std::optional<std::string> defaultLabel(const Mount& mount) {
    if (mount.major == 0) return std::nullopt;
    const std::string labels = Platform::systemPath("/dev/disk/by-label");
    return labelFromFolder(labels, Platform::systemPath("/sys"), mount.major, mount.minor);
}

std::optional<std::string> defaultFstab() { return readWhole(Platform::systemPath("/etc/fstab")); }

}  // namespace

Hooks& Hooks::active() {
    static Hooks hooks{defaultTable, defaultCapacity, defaultIsInternal, defaultLabel, defaultFstab};
    return hooks;
}

Capacity capacityOf(const struct statvfs& status) {
    int64_t unit = status.f_frsize ? static_cast<int64_t>(status.f_frsize) : static_cast<int64_t>(status.f_bsize);
    // Blocks that are free but reserved for root are neither used by the
    // user nor available to them; like df, leave them out of the total.
    int64_t used = static_cast<int64_t>(status.f_blocks - std::min(status.f_bfree, status.f_blocks)) * unit;
    int64_t available = static_cast<int64_t>(status.f_bavail) * unit;
    return Capacity{used + available, available};
}

std::string unescape(std::string_view field) {
    std::string result;
    result.reserve(field.size());
    for (size_t i = 0; i < field.size(); ++i) {
        if (field[i] == '\\' && i + 3 < field.size()) {
            std::string_view digits = field.substr(i + 1, 3);
            bool octal = digits.size() == 3 &&
                         std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '7'; });
            if (octal) {
                result.push_back(static_cast<char>((digits[0] - '0') * 64 + (digits[1] - '0') * 8 + (digits[2] - '0')));
                i += 3;
                continue;
            }
        }
        result.push_back(field[i]);
    }
    return result;
}

std::vector<Mount> parse(std::string_view mountinfo) {
    std::vector<Mount> table;
    size_t start = 0;
    while (start < mountinfo.size()) {
        size_t end = mountinfo.find('\n', start);
        if (end == std::string_view::npos) end = mountinfo.size();
        auto parts = fields(mountinfo.substr(start, end - start));
        start = end + 1;
        // id parent major:minor root mount-point options [optional fields...] - type source super-options
        auto separator = std::find(parts.begin(), parts.end(), "-");
        if (parts.size() < 6 || separator == parts.end() || separator - parts.begin() < 6 ||
            parts.end() - separator < 3)
            continue;
        Mount mount;
        auto colon = parts[2].find(':');
        int64_t major = 0, minor = 0;
        if (!parseNumber(parts[0], mount.id) || !parseNumber(parts[1], mount.parentId) ||
            colon == std::string_view::npos || !parseNumber(parts[2].substr(0, colon), major) ||
            !parseNumber(parts[2].substr(colon + 1), minor))
            continue;
        mount.major = static_cast<unsigned>(major);
        mount.minor = static_cast<unsigned>(minor);
        mount.root = unescape(parts[3]);
        mount.mountPoint = unescape(parts[4]);
        mount.options = std::string(parts[5]);
        mount.fsType = unescape(separator[1]);
        mount.source = unescape(separator[2]);
        if (parts.end() - separator > 3) mount.superOptions = std::string(separator[3]);
        table.push_back(std::move(mount));
    }
    return table;
}

bool isPseudo(const Mount& mount) {
    static const std::set<std::string> networkTypes = {"nfs", "nfs4", "cifs",      "smb3",  "smbfs", "ncpfs",
                                                       "afs", "ceph", "glusterfs", "davfs", "9p",    "virtiofs"};
    static const std::set<std::string> runtimeFuse = {"fuse.gvfsd-fuse", "fuse.portal", "fuse.lxcfs",
                                                      "fuse.xdg-document-portal", "fuse.snapfuse"};
    if (mount.mountPoint == "/") return false;
    if (mount.source.starts_with("/dev/")) return false;
    if (networkTypes.count(mount.fsType)) return false;
    if (mount.fsType.starts_with("fuse.") && !runtimeFuse.count(mount.fsType)) return false;
    return true;
}

bool isReadOnly(const Mount& mount) { return hasOption(mount.options, "ro") || hasOption(mount.superOptions, "ro"); }

bool isSystemMountPoint(const std::string& mountPoint) {
    if (mountPoint == "/boot" || mountPoint == "/efi") return true;
    if (mountPoint.starts_with("/run/media/")) return false;
    for (const char* prefix : {"/boot/", "/efi/", "/etc/", "/proc/", "/sys/", "/dev/", "/run/", "/snap/", "/var/lib/"})
        if (mountPoint.starts_with(prefix)) return true;
    return false;
}

std::vector<Mount> volumes(const std::vector<Mount>& table) {
    // One file system, one entry: "/" wins, then a mount of its whole tree,
    // then the first mount.
    std::map<std::pair<unsigned, unsigned>, size_t> chosen;
    auto rank = [](const Mount& mount) { return mount.mountPoint == "/" ? 0 : mount.root == "/" ? 1 : 2; };
    std::vector<const Mount*> candidates;
    for (const auto& mount : table) {
        if (isPseudo(mount) || isSystemMountPoint(mount.mountPoint)) continue;
        auto key = std::make_pair(mount.major, mount.minor);
        auto found = chosen.find(key);
        if (found == chosen.end()) {
            chosen[key] = candidates.size();
            candidates.push_back(&mount);
        } else if (rank(mount) < rank(*candidates[found->second])) {
            candidates[found->second] = &mount;
        }
    }
    std::vector<Mount> result;
    // A later mount over "/" hides the earlier one; the last is what "/" is.
    for (auto it = candidates.rbegin(); it != candidates.rend(); ++it)
        if ((*it)->mountPoint == "/") {
            result.push_back(**it);
            break;
        }
    for (const Mount* mount : candidates)
        if (mount->mountPoint != "/") result.push_back(*mount);
    return result;
}

const Mount* holding(const std::vector<Mount>& table, const std::string& path) {
    const Mount* best = nullptr;
    for (const auto& mount : table) {
        if (!Paths::isInside(path, mount.mountPoint)) continue;
        if (!best || mount.mountPoint.size() >= best->mountPoint.size()) best = &mount;
    }
    return best;
}

std::vector<std::string> declaredMountPoints(std::string_view fstab) {
    std::vector<std::string> points;
    std::istringstream lines{std::string(fstab)};
    for (std::string line; std::getline(lines, line);) {
        std::istringstream words(line);
        std::string device, mountPoint, type;
        if (!(words >> device >> mountPoint >> type) || device.starts_with("#") || type == "swap") continue;
        const std::string point = unescape(mountPoint);
        if (point.starts_with("/") && point != "/") points.push_back(Paths::standardize(point));
    }
    return points;
}

namespace {

/// The kernel lists mount points with links resolved; fstab and callers may name them through one.
std::string resolved(const std::string& given) {
    std::error_code error;
    fs::path canonical = fs::weakly_canonical(given, error);
    return error ? given : canonical.string();
}

bool listsMountAt(const std::vector<Mount>& mounts, const std::string& point) {
    return std::any_of(mounts.begin(), mounts.end(), [&](const Mount& mount) { return mount.mountPoint == point; });
}

}  // namespace

bool awaitsItsVolume(const std::string& path) {
    auto fstab = readFstab();
    auto table = readTable();
    if (!fstab || !table) return false;
    const std::string where = resolved(path);
    const std::vector<Mount> mounts = parse(*table);
    for (const auto& declared : declaredMountPoints(*fstab)) {
        const std::string point = resolved(declared);
        if (Paths::isInside(where, point) && !listsMountAt(mounts, point)) return true;
    }
    return false;
}

bool isMounted(const std::string& mountPoint) {
    auto table = readTable();
    return !table || listsMountAt(parse(*table), resolved(mountPoint));
}

std::optional<std::string> ownMountPoint(const std::string& path) {
    auto table = readTable();
    if (!table) return std::nullopt;
    const std::vector<Mount> mounts = parse(*table);
    const Mount* own = holding(mounts, resolved(path));
    if (!own || own->mountPoint == "/") return std::nullopt;
    const Mount* below = holding(mounts, Paths::parentFolder(own->mountPoint));
    if (!below) return std::nullopt;
    return own->mountPoint;
}

bool internalFromSysfs(const std::string& sysRoot, unsigned major, unsigned minor) {
    auto disk = diskFolder(sysRoot, major, minor);
    if (!disk) return false;
    std::string where = disk->string();
    if (where.find("/usb") != std::string::npos) return false;
    // Loop and RAM disks are images, not disks of the machine.
    if (where.find("/devices/virtual/") != std::string::npos) return false;
    auto removable = readWhole((*disk / "removable").string());
    return !(removable && !removable->empty() && (*removable)[0] == '1');
}

std::string unescapeLabel(std::string_view name) {
    std::string result;
    for (size_t i = 0; i < name.size(); ++i) {
        if (name[i] == '\\' && i + 3 < name.size() && name[i + 1] == 'x' &&
            std::isxdigit(static_cast<unsigned char>(name[i + 2])) &&
            std::isxdigit(static_cast<unsigned char>(name[i + 3]))) {
            result.push_back(static_cast<char>(std::stoi(std::string(name.substr(i + 2, 2)), nullptr, 16)));
            i += 3;
            continue;
        }
        result.push_back(name[i]);
    }
    return result;
}

std::optional<std::string> labelFromFolder(const std::string& labelFolder, const std::string& sysRoot, unsigned major,
                                           unsigned minor) {
    auto device = canonicalOrNone(fs::path(sysRoot) / "dev" / "block" /
                                  (std::to_string(major) + ":" + std::to_string(minor)));
    if (!device) return std::nullopt;
    std::string deviceName = device->filename().string();
    std::error_code error;
    for (fs::directory_iterator link(labelFolder, error), end; !error && link != end; link.increment(error)) {
        std::error_code linkError;
        fs::path target = fs::read_symlink(link->path(), linkError);
        if (linkError) continue;
        if (target.filename().string() == deviceName) return unescapeLabel(link->path().filename().string());
    }
    return std::nullopt;
}

}  // namespace Mounts
