// The offload records on an rclone remote, read, listed and written through
// rclone itself: lsjson for what a folder holds, cat for a record, copyto to
// upload a new one and deletefile to take one back.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <set>

#include "backup/Archive.hpp"
#include "backup/Private.hpp"
#include "base/Files.hpp"
#include "base/InputLimits.hpp"
#include "base/Paths.hpp"
#include "base/Shell.hpp"
#include "base/StoredFile.hpp"
#include "config/Destinations.hpp"
#include "config/Rclone.hpp"
#include "text/Localization.hpp"

namespace fs = std::filesystem;

namespace Archive::Remote {

namespace {

/// Listings of a large backup and uploads over a slow link take long; the
/// rclone check's limit serves them too.
constexpr double listTimeout = Rclone::checkTimeout;

/// "2026-12-10T12:47:31.123456789+01:00" as seconds and nanoseconds since
/// the epoch; rclone writes as many digits of the fraction as the remote keeps.
std::optional<std::pair<int64_t, int64_t>> modificationTime(const std::string& text) {
    std::string whole = text;
    int64_t nanoseconds = 0;
    if (text.size() > 19 && text[19] == '.') {
        size_t end = 20;
        int digits = 0;
        for (; end < text.size() && text[end] >= '0' && text[end] <= '9'; ++end, ++digits)
            if (digits < 9) nanoseconds = nanoseconds * 10 + (text[end] - '0');
        for (; digits < 9; ++digits) nanoseconds *= 10;
        whole = text.substr(0, 19) + text.substr(end);
    }
    auto date = ISODate::parse(whole);
    if (!date) return std::nullopt;
    return std::pair{static_cast<int64_t>(std::chrono::system_clock::to_time_t(*date)), nanoseconds};
}

std::optional<File> listedFile(const json& entry) {
    if (!entry.is_object() || entry.value("IsDir", false)) return std::nullopt;
    const auto path = entry.find("Path"), size = entry.find("Size"), modified = entry.find("ModTime");
    if (path == entry.end() || !path->is_string() || size == entry.end() || !size->is_number_integer() ||
        modified == entry.end() || !modified->is_string())
        return std::nullopt;
    auto time = modificationTime(modified->get<std::string>());
    if (!time) return std::nullopt;
    return File{path->get<std::string>(), size->get<int64_t>(), time->first, time->second};
}

/// rclone's listing of `folder`; `recursive` for everything below it.
std::optional<std::vector<File>> listed(const std::string& program, const std::string& folder, bool recursive) {
    std::vector<std::string> arguments = {"lsjson", "--files-only", folder};
    if (recursive) arguments.push_back("--recursive");
    Shell::Output output = Shell::run(program, arguments, listTimeout);
    // 3: the folder is not there, which lists nothing.
    if (output.status == 3) return std::vector<File>{};
    if (output.status != 0) return std::nullopt;
    auto document = InputLimits::parse(output.stdoutText, StoredFile::depthLimit);
    if (!document || !document->is_array()) return std::nullopt;
    std::vector<File> files;
    for (const json& entry : *document)
        if (auto file = listedFile(entry)) files.push_back(std::move(*file));
    return files;
}

}  // namespace

std::optional<std::vector<File>> list(const std::string& program, const std::string& folder) {
    return listed(program, folder, true);
}

std::optional<Records> read(const std::string& program, const std::string& remote, bool ignoringCase) {
    const std::string folder = BackupEngine::onRemote(remote, recordFolder());
    auto records = listed(program, folder, false);
    if (!records) return std::nullopt;
    std::vector<std::string> texts;
    for (const File& file : *records) {
        if (!file.path.ends_with(".json") || file.size > InputLimits::storedFileBytes()) continue;
        Shell::Output output = Shell::run(program, {"cat", Paths::joined(folder, file.path)}, listTimeout);
        if (output.status != 0) return std::nullopt;
        texts.push_back(std::move(output.stdoutText));
    }
    return Records::of(texts, ignoringCase);
}

std::string write(const std::string& program, const std::string& remote, const std::string& source,
                  const std::vector<File>& files) {
    const std::string name = recordName();
    const std::string record = Paths::joined(BackupEngine::onRemote(remote, recordFolder()), name);
    // Uploaded from a file of its own in the support folder, removed afterwards.
    const fs::path local = Paths::supportDir() / name;
    Files::writeAtomically(local, encoded(record, source, files));
    Shell::Output output = Shell::run(program, {"copyto", local.string(), record}, listTimeout);
    ::unlink(local.c_str());
    if (output.status != 0) throw OstrevaneError(Text::trim(output.stderrText));
    return record;
}

void withdraw(const std::string& program, const std::string& record) {
    Shell::run(program, {"deletefile", record}, listTimeout);
}

}  // namespace Archive::Remote

namespace BackupEngine {

namespace {

/// The coarsest step of time, up to a second, that a remote could have kept
/// a time with these nanoseconds in: rclone takes times within the remote's
/// precision for equal.
int64_t remoteStep(int64_t nanoseconds) {
    int64_t step = 1;
    while (step < 1'000'000'000 && nanoseconds % (step * 10) == 0) step *= 10;
    return step;
}

/// Whether rclone would take the local file for the remote one and leave it.
bool sameToRclone(const struct stat& local, const Archive::File& remote) {
    if (local.st_size != remote.size) return false;
    const int64_t apart = (static_cast<int64_t>(local.st_mtim.tv_sec) - remote.modifiedSeconds) * 1'000'000'000 +
                          (local.st_mtim.tv_nsec - remote.modifiedNanoseconds);
    return std::llabs(apart) < remoteStep(remote.modifiedNanoseconds);
}

bool passedOver(const std::string& below, const std::set<std::string>& excludes) {
    for (const auto& part : components(below))
        if (excludes.count(part)) return true;
    return false;
}

/// The local file a remote file below the copy's target stands for: below
/// the source folder, or the single file source itself; none for any other.
std::optional<std::string> localOf(const std::string& source, bool isDirectory, const std::string& below) {
    if (isDirectory) return joined(source, below);
    if (below == std::string(Paths::lastComponentView(source))) return source;
    return std::nullopt;
}

/// Where the copy's target lies below the remote.
std::string targetPlace(const std::string& source, bool isDirectory) {
    std::string place = relativeTarget(source);
    if (!isDirectory) place = place.substr(0, place.rfind('/'));
    return place;
}

}  // namespace

std::vector<std::string> archivedInTheWay(const std::string& program, const std::string& source, bool isDirectory,
                                          const BackupDestination& destination, const std::string& target,
                                          const std::set<std::string>& excludes) {
    // Whether a remote ignores case cannot be told from here: taken as if it did.
    const auto records = Archive::Remote::read(program, *destination.rcloneRemote, true);
    if (!records)
        throw OstrevaneError(
            L("无法列出 %@ 中的文件,没有复制任何文件。",
              DisplayText::path(Rclone::remotePath(*destination.rcloneRemote, Destinations::backupFolderName))));
    if (records->empty()) return {};
    auto listing = Archive::Remote::list(program, target);
    if (!listing) throw OstrevaneError(L("无法列出 %@ 中的文件,没有复制任何文件。", DisplayText::path(target)));
    const std::string place = targetPlace(source, isDirectory);
    std::vector<std::string> inTheWay;
    for (const Archive::File& file : *listing) {
        Archive::File archived = file;
        archived.path = joined(place, file.path);
        if (!records->holds(archived) || passedOver(file.path, excludes)) continue;
        auto local = localOf(source, isDirectory, file.path);
        struct stat info;
        if (!local || ::lstat(local->c_str(), &info) != 0 || !S_ISREG(info.st_mode) || sameToRclone(info, file))
            continue;
        inTheWay.push_back(file.path);
    }
    return inTheWay;
}

std::vector<Archive::File> remoteCopies(const std::string& program, const std::string& source, bool isDirectory,
                                        const std::string& target) {
    auto listing = Archive::Remote::list(program, target);
    if (!listing) throw OstrevaneError(L("无法列出 %@ 中的文件,没有复制任何文件。", DisplayText::path(target)));
    const std::string place = targetPlace(source, isDirectory);
    const std::set<std::string> passOver(BackupOptions::offloadExcludes.begin(), BackupOptions::offloadExcludes.end());
    std::vector<Archive::File> copies;
    for (Archive::File& file : *listing) {
        auto local = localOf(source, isDirectory, file.path);
        struct stat info;
        if (!local || passedOver(file.path, passOver) || ::lstat(local->c_str(), &info) != 0 ||
            !S_ISREG(info.st_mode) || info.st_size != file.size)
            continue;
        file.path = joined(place, file.path);
        copies.push_back(std::move(file));
    }
    return copies;
}

std::string exactPathFilter(const std::string& below) {
    std::string pattern = "/";
    for (char c : below) {
        if (std::string_view("\\*?[]{}").find(c) != std::string_view::npos) pattern += '\\';
        pattern += c;
    }
    return pattern;
}

}  // namespace BackupEngine
