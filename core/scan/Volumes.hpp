// The mounted volumes and their capacities, read afresh on every call.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "Support.hpp"
#include "platform/Mounts.hpp"

struct VolumeInfo {
    std::string name;
    std::string mountPoint;
    int64_t totalBytes = 0;
    int64_t usedBytes = 0;
    int64_t availableBytes = 0;
    int64_t freeBytes = 0;
    int64_t purgeableBytes = 0;
    double usedPercent = 0;
    bool isInternal = false;
    bool isRoot = false;
    std::string total;
    std::string used;
    std::string available;

    const std::string& id() const { return mountPoint; }
    bool operator==(const VolumeInfo&) const = default;

    /// The record of one volume from what the system reports; none when the
    /// total capacity is below 1 byte.
    static std::optional<VolumeInfo> make(std::string name, std::string mountPoint, int64_t total, int64_t free,
                                          int64_t importantUse, bool isInternal);
};

/// All thirteen keys are always written and required when reading.
void to_json(json& document, const VolumeInfo& volume);
void from_json(const json& document, VolumeInfo& volume);

namespace Volumes {
/// The mounted volumes worth showing, the startup volume first.
std::vector<VolumeInfo> list();
/// The volume holding a path, reported under that path; none when its
/// capacity cannot be read.
std::optional<VolumeInfo> info(const std::string& path);
std::optional<VolumeInfo> root();
/// The list for a given mount table; the capacities, labels and device
/// facts come from the hooks of Mounts.
std::vector<VolumeInfo> fromMountTable(const std::vector<Mounts::Mount>& table);
}  // namespace Volumes
