// Backup destinations as the backup and offload tests use them: available
// from the start, named as the user would see them.
#pragma once

#include <filesystem>
#include <string>

#include "config/Destinations.hpp"

namespace testing_support {

/// The available folder destination "folder:<name>" at `path`.
inline BackupDestination folderDestination(const std::filesystem::path& path, const std::string& name = "Drive",
                                           DestinationKind kind = DestinationKind::folder) {
    BackupDestination destination;
    destination.id = "folder:" + name;
    destination.kind = kind;
    destination.name = name;
    destination.path = path.string();
    destination.available = true;
    return destination;
}

/// The available destination of the rclone remote `remote` ("name:").
inline BackupDestination rcloneDestination(const std::string& remote) {
    BackupDestination destination;
    destination.id = "rclone:" + remote.substr(0, remote.size() - 1);
    destination.kind = DestinationKind::rclone;
    destination.name = "rclone · " + remote.substr(0, remote.size() - 1);
    destination.rcloneRemote = remote;
    destination.available = true;
    return destination;
}

}  // namespace testing_support
