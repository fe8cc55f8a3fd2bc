#include "scan/Volumes.hpp"

#include <unicode/normalizer2.h>
#include <unicode/unistr.h>

#include <algorithm>
#include <cmath>

#include "base/JSONCoding.hpp"
#include "base/Text.hpp"
#include "platform/Host.hpp"

namespace {

/// Names compare by code point, canonically equivalent spellings alike.
std::string comparable(const std::string& name) {
    UErrorCode status = U_ZERO_ERROR;
    const icu::Normalizer2* nfc = icu::Normalizer2::getNFCInstance(status);
    if (U_FAILURE(status)) return name;
    icu::UnicodeString normalised = nfc->normalize(icu::UnicodeString::fromUTF8(name), status);
    if (U_FAILURE(status)) return name;
    std::string result;
    normalised.toUTF8String(result);
    return result;
}

/// What a volume without a label is called: the computer's name for the one
/// holding "/", which is never shown as a bare "/", else its mount point's
/// last component.
std::string unlabelledName(const std::string& mountPoint) {
    if (mountPoint == "/") return Host::computerName();
    return Paths::lastComponent(mountPoint);
}

std::optional<VolumeInfo> volumeOf(const Mounts::Mount* mount, const std::string& path) {
    auto capacity = Mounts::capacity(path);
    if (!capacity) return std::nullopt;
    std::optional<std::string> label = mount ? Mounts::label(*mount) : std::nullopt;
    std::string name = label && !label->empty() ? *label : unlabelledName(mount ? mount->mountPoint : path);
    bool internal = mount ? Mounts::isInternal(*mount) : false;
    // Linux keeps no purgeable space: what is available is all that is free.
    return VolumeInfo::make(std::move(name), path, capacity->total, capacity->available, 0, internal);
}

std::vector<Mounts::Mount> currentTable() {
    auto text = Mounts::readTable();
    return text ? Mounts::parse(*text) : std::vector<Mounts::Mount>{};
}

}  // namespace

std::optional<VolumeInfo> VolumeInfo::make(std::string name, std::string mountPoint, int64_t total, int64_t free,
                                           int64_t importantUse, bool isInternal) {
    if (total < 1) return std::nullopt;
    VolumeInfo volume;
    volume.name = std::move(name);
    volume.mountPoint = std::move(mountPoint);
    volume.totalBytes = total;
    volume.freeBytes = free;
    volume.availableBytes = std::max(free, importantUse);
    volume.usedBytes = total - free;
    volume.purgeableBytes = volume.availableBytes - free;
    volume.usedPercent = std::round(static_cast<double>(volume.usedBytes) / static_cast<double>(total) * 1000.0) / 10.0;
    volume.isInternal = isInternal;
    volume.isRoot = volume.mountPoint == "/";
    volume.total = Fmt::bytes(volume.totalBytes);
    volume.used = Fmt::bytes(volume.usedBytes);
    volume.available = Fmt::bytes(volume.availableBytes);
    return volume;
}

namespace {

constexpr auto volumeFields = JSONCoding::fields(
    JSONCoding::field("name", &VolumeInfo::name), JSONCoding::field("mountPoint", &VolumeInfo::mountPoint),
    JSONCoding::field("totalBytes", &VolumeInfo::totalBytes), JSONCoding::field("usedBytes", &VolumeInfo::usedBytes),
    JSONCoding::field("availableBytes", &VolumeInfo::availableBytes),
    JSONCoding::field("freeBytes", &VolumeInfo::freeBytes),
    JSONCoding::field("purgeableBytes", &VolumeInfo::purgeableBytes),
    JSONCoding::field("usedPercent", &VolumeInfo::usedPercent),
    JSONCoding::field("isInternal", &VolumeInfo::isInternal), JSONCoding::field("isRoot", &VolumeInfo::isRoot),
    JSONCoding::field("total", &VolumeInfo::total), JSONCoding::field("used", &VolumeInfo::used),
    JSONCoding::field("available", &VolumeInfo::available));

}  // namespace

void to_json(json& document, const VolumeInfo& volume) { JSONCoding::write(document, volume, volumeFields); }
void from_json(const json& document, VolumeInfo& volume) { JSONCoding::read(document, volume, volumeFields); }

namespace Volumes {

std::vector<VolumeInfo> fromMountTable(const std::vector<Mounts::Mount>& table) {
    std::vector<VolumeInfo> records;
    for (const auto& mount : Mounts::volumes(table)) {
        if (mount.mountPoint != "/" && Mounts::isReadOnly(mount)) continue;
        if (auto record = volumeOf(&mount, mount.mountPoint)) records.push_back(std::move(*record));
    }
    bool hasRoot = std::any_of(records.begin(), records.end(), [](const VolumeInfo& v) { return v.isRoot; });
    if (!hasRoot)
        if (auto rootRecord = volumeOf(Mounts::holding(table, "/"), "/"))
            records.insert(records.begin(), std::move(*rootRecord));
    std::vector<std::pair<std::string, VolumeInfo>> keyed;
    keyed.reserve(records.size());
    for (auto& record : records) keyed.emplace_back(comparable(record.name), std::move(record));
    std::stable_sort(keyed.begin(), keyed.end(), [](const auto& a, const auto& b) {
        if (a.second.isRoot != b.second.isRoot) return a.second.isRoot;
        return a.first < b.first;
    });
    std::vector<VolumeInfo> result;
    result.reserve(keyed.size());
    for (auto& entry : keyed) result.push_back(std::move(entry.second));
    return result;
}

std::vector<VolumeInfo> list() { return fromMountTable(currentTable()); }

std::optional<VolumeInfo> info(const std::string& path) {
    auto table = currentTable();
    return volumeOf(Mounts::holding(table, path), path);
}

std::optional<VolumeInfo> root() { return info("/"); }

}  // namespace Volumes
