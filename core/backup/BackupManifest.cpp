#include "backup/BackupManifest.hpp"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <iterator>

#include "OwnFolders.hpp"
#include "Support.hpp"
#include "base/StoredFile.hpp"
#include "base/Text.hpp"

namespace fs = std::filesystem;

namespace {

constexpr char magic[8] = {'O', 'S', 'T', 'M', 'A', 'N', '0', '1'};

/// Stored on disk, so it must not change between builds as std::hash may.
uint64_t stableHash(std::string_view text) { return Text::fnv1a(text); }

}  // namespace

fs::path BackupManifest::filePath(const std::string& target) {
    char name[17];
    std::snprintf(name, sizeof name, "%016llx", static_cast<unsigned long long>(stableHash(target)));
    return Paths::supportDir() / "backup-manifests" / name;
}

BackupManifest::Record BackupManifest::recordOf(const std::string& path, const struct stat& info) {
    return Record{stableHash(path), static_cast<uint64_t>(info.st_ino), static_cast<int64_t>(info.st_ctim.tv_sec),
                  static_cast<int64_t>(info.st_ctim.tv_nsec)};
}

BackupManifest::BackupManifest(const std::string& target) : file(filePath(target)) {
    // A manifest another user could write would tell which files to skip.
    if (OwnFolders::refusal(Paths::supportFolder().string())) return;
    auto contents = Files::read(file);
    if (!contents || contents->size() < sizeof magic || std::memcmp(contents->data(), magic, sizeof magic) != 0 ||
        (contents->size() - sizeof magic) % sizeof(Record) != 0)
        return;
    previous.resize((contents->size() - sizeof magic) / sizeof(Record));
    // An empty list has no storage to copy into, not even zero bytes.
    if (!previous.empty())
        std::memcpy(previous.data(), contents->data() + sizeof magic, contents->size() - sizeof magic);
    // Sorted when written; sorted again in case the file was not written by this code.
    if (!std::is_sorted(previous.begin(), previous.end())) std::sort(previous.begin(), previous.end());
    present = true;
}

bool BackupManifest::unchanged(const std::string& path, const struct stat& info) const {
    if (!present) return true;
    const Record wanted = recordOf(path, info);
    auto found = std::lower_bound(previous.begin(), previous.end(), wanted);
    return found != previous.end() && found->pathHash == wanted.pathHash && found->inode == wanted.inode &&
           found->seconds == wanted.seconds && found->nanoseconds == wanted.nanoseconds;
}

void BackupManifest::note(const std::string& path, const struct stat& info) {
    Record record = recordOf(path, info);
    std::lock_guard guard(noting);
    noted.push_back(record);
}

void BackupManifest::save(bool complete) {
    std::lock_guard guard(noting);
    std::sort(noted.begin(), noted.end());
    std::vector<Record> kept;
    if (!complete) {
        for (const Record& record : previous)
            if (!std::binary_search(noted.begin(), noted.end(), record)) kept.push_back(record);
    }
    std::vector<Record> all;
    all.reserve(noted.size() + kept.size());
    std::merge(noted.begin(), noted.end(), kept.begin(), kept.end(), std::back_inserter(all));
    // A run that found everything as the last one left it has nothing to write.
    // (memcmp may not be handed the null data of an empty vector.)
    if (present && all.size() == previous.size() &&
        (all.empty() || std::memcmp(all.data(), previous.data(), all.size() * sizeof(Record)) == 0))
        return;
    std::string contents(magic, sizeof magic);
    contents.append(reinterpret_cast<const char*>(all.data()), all.size() * sizeof(Record));
    try {
        if (OwnFolders::refusal(Paths::supportFolder().string())) return;
        Paths::makePrivateFolders(file.parent_path().string());
        StoredFile::removeStaleTemporaries(file);
        Files::writeAtomically(file, contents);
    } catch (const OstrevaneError&) {
        // The older manifest, if any, stays whole: a file it doesn't hold, or
        // holds as it was before this run, counts as changed, so the next
        // run copies more, never less.
    }
}
