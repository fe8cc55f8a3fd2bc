// The offload: back the source up, check the copy file by file, record at the
// destination what it archived, and only then move the source to the Trash,
// held against other programs' opens, putting it back when it changed after
// its check or was opened meanwhile. The same checks answer the verifications
// on their own.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <memory>
#include <set>
#include <unordered_map>

#include "backup/Archive.hpp"
#include "backup/BackupFiles.hpp"
#include "backup/Private.hpp"
#include "backup/SourceHold.hpp"
#include "backup/SourceStamps.hpp"
#include "base/DisplayText.hpp"
#include "base/Paths.hpp"
#include "clean/Cleaner.hpp"
#include "config/Rclone.hpp"
#include "platform/FileSystem.hpp"
#include "platform/FolderChain.hpp"
#include "platform/Trash.hpp"
#include "scan/Scanner.hpp"
#include "text/Localization.hpp"

namespace fs = std::filesystem;

namespace BackupEngine {

namespace {

/// Whether `sourceName` (in `sourceFolder`) has an exact copy at `targetName`
/// (in `targetFolder`). The check decides whether the source may go to the
/// Trash, so sizes alone are not enough: a stale copy of a rewritten file has
/// the same size. `path` and `copyPath` name the two files for the hooks.
bool sameCopy(int sourceFolder, const char* sourceName, int targetFolder, const char* targetName,
              const std::string& path, const std::string& copyPath) {
    return !attributeFault(path) &&
           BackupFiles::sameContentAt(sourceFolder, sourceName, targetFolder, targetName, path, copyPath);
}

/// Where the copy of a source lies: the folder that is the copy of a folder,
/// or the one that holds the copy of a single file under `name`.
struct CopyPlace {
    TargetFolder folder;
    /// Empty for the copy of a folder.
    std::string name;
    /// Names the copy for the hooks.
    std::string path;
    /// Whether the destination takes names differing only in case for one.
    bool ignoringCase = false;
};

/// The name in the open folder `folder` of the copy of `name`, seen through
/// the folder's own listing where the destination ignores case; none where
/// not exactly one name there takes its place.
std::optional<std::string> copyNameIn(const CopyPlace& copy, int folder, const std::string& name) {
    return spellingAt(folder, name, copy.ignoringCase);
}

/// The place of the copy of `source` (at `target`) below the destination's
/// folder `held`.
CopyPlace placeBelow(const TargetFolder& held, const std::string& source, bool isDirectory, const std::string& target,
                     bool ignoringCase) {
    CopyPlace place;
    place.path = target;
    place.ignoringCase = ignoringCase;
    std::vector<std::string> parts = components(relativeTarget(source));
    if (!isDirectory) {
        place.name = parts.back();
        parts.pop_back();
    }
    place.folder = openTargetChain(held.fd.get(), parts, false, held.error);
    return place;
}

/// The place of a copy at the path `target`.
CopyPlace placeAt(const std::string& target, bool isDirectory) {
    CopyPlace place;
    place.path = target;
    std::string folder = target;
    if (!isDirectory) {
        place.name = std::string(Paths::lastComponentView(target));
        folder = fs::path(target).parent_path().string();
    }
    place.ignoringCase = Archive::ignoresCase(folder);
    place.folder.fd = UniqueFd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    return place;
}

/// What a check of a copy found.
struct CopyCheck {
    /// Every entry of the source was read.
    bool complete = true;
    /// Regular files, by device and inode, whose copy differs or is missing.
    std::set<std::pair<uint64_t, uint64_t>> differing;
    /// The copies found exact, each by its path below the target (empty for
    /// a single file's) and as it is at the destination: what the offload's
    /// record lists.
    std::vector<Archive::File> copies;

    /// Notes the copy `name` in `folder` as exact.
    void noteCopy(int folder, const char* name, std::string below) {
        struct stat info;
        if (::fstatat(folder, name, &info, AT_SYMLINK_NOFOLLOW) != 0) return;
        copies.push_back({std::move(below), static_cast<int64_t>(info.st_size),
                          static_cast<int64_t>(info.st_mtim.tv_sec), static_cast<int64_t>(info.st_mtim.tv_nsec)});
    }

    bool passed() const { return complete && differing.empty(); }
};

/// Compares every regular file below the source folder (`sourceFd`, taken
/// over) with the file of the same relative path below the copy's folder. A file
/// whose copy differs or is missing is listed and the walk goes on, so the
/// offload can copy those again; an entry that cannot be read ends the check
/// incomplete, since an unread entry may not have been copied, and so does
/// a cancel. Every entry met is stamped. Both trees are walked one component
/// at a time through folder descriptors, so no depth is too deep to check.
CopyCheck checkFolder(int sourceFd, const std::string& sourceRoot, const CopyPlace& copy,
                      const std::set<std::string>& passOver, SourceStamps& stamps, const CancelTokenPtr& cancel) {
    struct Level {
        std::vector<std::string> names;
        size_t next = 0;
        size_t pathLength = 0;
        bool targetOpen = false;  // a missing target folder fails only at a file below it
        /// Where the destination ignores case: the target folder's names by
        /// their place, and the places the source's names took so far.
        std::unordered_map<std::string, std::vector<std::string>> copies;
        std::set<std::string> taken;
    };
    CopyCheck check;
    auto incomplete = [&] {
        check.complete = false;
        return check;
    };
    FolderChain sources, targets;
    if (sources.adopt(sourceFd) < 0) return incomplete();
    const std::string& targetRoot = copy.path;
    int targetFd = copy.folder.fd.valid() ? ::fcntl(copy.folder.fd.get(), F_DUPFD_CLOEXEC, 0) : -1;
    std::vector<Level> levels(1);
    levels[0].pathLength = sourceRoot.size();
    levels[0].targetOpen = targetFd >= 0 && targets.adopt(targetFd) >= 0;
    // A lookup by name would go through the kernel's case-exact name cache,
    // and could find there a copy that the disk has since replaced with
    // that of a name spelled otherwise: each copy is found in its folder's
    // listing, and must be the only name that takes its place.
    auto listCopies = [&](Level& level) {
        if (level.targetOpen && copy.ignoringCase) level.copies = namesByPlace(targets.innermost());
    };
    auto copyName = [&](Level& level, const std::string& name) -> std::optional<std::string> {
        if (!level.targetOpen) return std::nullopt;
        if (!copy.ignoringCase) return name;
        const std::string place = Archive::folded(name);
        const auto found = level.copies.find(place);
        if (!level.taken.insert(place).second || found == level.copies.end() || found->second.size() != 1)
            return std::nullopt;
        return found->second.front();
    };
    listCopies(levels[0]);
    if (readNames(sources.innermost(), levels[0].names) != 0) return incomplete();
    std::string path = sourceRoot;
    while (!levels.empty()) {
        if (isCancelled(cancel)) return incomplete();
        Level& level = levels.back();
        if (level.next == level.names.size()) {
            sources.leave();
            if (level.targetOpen) targets.leave();
            levels.pop_back();
            continue;
        }
        const std::string& name = level.names[level.next++];
        path.resize(level.pathLength);
        if (!path.ends_with("/")) path += '/';
        path += name;
        struct stat info;
        if (attributeFault(path) || ::fstatat(sources.innermost(), name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0)
            return incomplete();
        stamps.add(info);
        if (S_ISDIR(info.st_mode)) {
            if (!FileSystem::canOpenFolder(path)) return incomplete();
            const auto copied = copyName(level, name);
            if (sources.enter(name.c_str(), info.st_dev, info.st_ino) < 0) return incomplete();
            Level child;
            child.pathLength = path.size();
            child.targetOpen = copied && targets.enter(copied->c_str()) >= 0;
            if (readNames(sources.innermost(), child.names) != 0) return incomplete();
            listCopies(child);
            levels.push_back(std::move(child));
        } else if (S_ISREG(info.st_mode) && !passOver.count(name)) {
            const auto copied = copyName(level, name);
            if (!copied || !sameCopy(sources.innermost(), name.c_str(), targets.innermost(), copied->c_str(), path,
                                     targetRoot + path.substr(sourceRoot.size())))
                check.differing.insert({info.st_dev, info.st_ino});
            else
                check.noteCopy(targets.innermost(), copied->c_str(), path.substr(sourceRoot.size()));
        } else if (S_ISLNK(info.st_mode)) {
            auto text = BackupFiles::linkText(sources.innermost(), name);
            const auto copied = copyName(level, name);
            if (!copied || !text || BackupFiles::linkText(targets.innermost(), *copied) != text) return incomplete();
        }
    }
    return check;
}

/// The local check of the whole source, stamping what it meets.
CopyCheck checkLocal(const std::string& source, const CopyPlace& copy, SourceStamps& stamps,
                     const CancelTokenPtr& cancel = nullptr) {
    CopyCheck check;
    check.complete = false;
    struct stat info;
    if (!stamps.addRoot(source, info)) return check;
    // A source that changed its kind since the copy has none to compare with.
    if (S_ISDIR(info.st_mode) != copy.name.empty()) return check;
    if (!S_ISDIR(info.st_mode)) {
        check.complete = true;
        const int folder = copy.folder.fd.get();
        const auto copied = folder < 0 ? std::nullopt : copyNameIn(copy, folder, copy.name);
        if (!copied || !sameCopy(AT_FDCWD, source.c_str(), folder, copied->c_str(), source, copy.path))
            check.differing.insert({info.st_dev, info.st_ino});
        else
            check.noteCopy(folder, copied->c_str(), "");
        return check;
    }
    if (!FileSystem::canOpenFolder(source)) return check;
    int fd = ::open(source.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return check;
    const std::set<std::string> passOver(BackupOptions::offloadExcludes.begin(), BackupOptions::offloadExcludes.end());
    return checkFolder(fd, source, copy, passOver, stamps, cancel);
}

/// The check of an offload's copy. A local check stamps the source as it
/// goes; rclone's compares sizes only, so the source was stamped before the
/// copy (`stampedBeforeCopy`): a file rewritten in the same size after it went
/// up then shows after the move. None when the copy cannot be checked at all.
CopyCheck checkCopy(const std::string& source, const BackupDestination& destination, const std::string& target,
                    const CopyPlace& copy, SourceStamps& stamps, bool stampedBeforeCopy, const CancelTokenPtr& cancel) {
    if (!destination.rcloneRemote) {
        stamps = SourceStamps();
        return checkLocal(source, copy, stamps, cancel);
    }
    CopyCheck check;
    check.complete = stampedBeforeCopy && verifyRclone(source, target);
    return check;
}

/// The folders of the copy below a copy place, each opened and (where the
/// destination ignores case) listed once, however many of its files the
/// second look after the move asks for.
class CopyFolders {
public:
    explicit CopyFolders(const CopyPlace& copy) : copy(copy) {}

    /// The open folder holding the copy of the file at `relative` below the
    /// source, and the copy's name there; none where it has no copy.
    std::optional<std::pair<int, std::string>> copyOf(const std::string& relative) {
        std::vector<std::string> parts = components(relative);
        const std::string name = parts.back();
        parts.pop_back();
        std::string key;
        Folder* folder = &at(key, [&] { return openTargetChain(copy.folder.fd.get(), {}, false); });
        for (const auto& part : parts) {
            const auto copied = nameIn(*folder, part);
            if (!copied) return std::nullopt;
            const TargetFolder& parent = folder->opened;
            key = Paths::joined(key, part);
            folder = &at(key, [&] { return openChild(parent, *copied, false); });
        }
        if (!folder->opened.fd.valid()) return std::nullopt;
        const auto copied = nameIn(*folder, name);
        if (!copied) return std::nullopt;
        return std::pair{folder->opened.fd.get(), *copied};
    }

private:
    struct Folder {
        TargetFolder opened;
        std::optional<std::unordered_map<std::string, std::vector<std::string>>> places;
    };

    /// The folder kept under `key` (its path below the source), opened by
    /// `open` the first time.
    template <typename Open>
    Folder& at(const std::string& key, Open&& open) {
        auto [found, made] = folders.try_emplace(key);
        if (made) found->second.opened = open();
        return found->second;
    }

    std::optional<std::string> nameIn(Folder& folder, const std::string& name) {
        if (!copy.ignoringCase) return name;
        if (!folder.opened.fd.valid()) return std::nullopt;
        if (!folder.places) folder.places = namesByPlace(folder.opened.fd.get());
        return spellingIn(*folder.places, name);
    }

    const CopyPlace& copy;
    std::map<std::string, Folder> folders;
};

/// The second look, after the move, at the files whose stamps cannot prove
/// them unchanged: compared with their copies at `copy` (which outlives the
/// look) as the check compared them. rclone's check compared sizes only,
/// which the stamps hold.
SourceStamps::SameAsChecked recheck(const std::string& source, const BackupDestination& destination,
                                    const CopyPlace& copy) {
    if (destination.rcloneRemote) return [](int, const std::string&, const std::string&) { return true; };
    auto folders = std::make_shared<CopyFolders>(copy);
    return [source, &copy, folders](int folder, const std::string& name, const std::string& relative) {
        if (relative.empty()) {
            const auto copied = copyNameIn(copy, copy.folder.fd.get(), copy.name);
            return copied && sameCopy(folder, name.c_str(), copy.folder.fd.get(), copied->c_str(), source, copy.path);
        }
        const auto& passOver = BackupOptions::offloadExcludes;
        if (std::find(passOver.begin(), passOver.end(), name) != passOver.end()) return true;
        const auto copied = folders->copyOf(relative);
        return copied && sameCopy(folder, name.c_str(), copied->first, copied->second.c_str(), joined(source, relative),
                                  joined(copy.path, relative));
    };
}

/// Writes the copies and the record out to the destination's disk (`held`,
/// open from before the copy, so its flush reports every write-back error
/// since) and says whether they got there. The check read the copies back
/// from memory: a drive that fails its write-back, or is pulled before it,
/// would otherwise hold less than was checked once the source is gone.
/// rclone's copies are the remote's.
bool flushedToDisk(const BackupDestination& destination, const std::optional<TargetFolder>& held,
                   const std::string& target) {
    if (destination.rcloneRemote) return true;
    if (Backup::Hooks::active().flushCopies(target) != 0) return false;
    return held && held->fd.valid() && ::syncfs(held->fd.get()) == 0;
}

/// Records at the destination (its folder `held`) what the checked copies
/// are, so no later backup replaces them once the source is gone; gives the
/// record's path. Throws OstrevaneError when the record cannot be written.
std::string recordArchive(const std::string& source, const BackupDestination& destination,
                          const std::optional<TargetFolder>& held, const std::string& target, const CopyCheck& check) {
    if (destination.rcloneRemote) {
        auto program = Rclone::executable();
        if (!program)
            throw OstrevaneError(L("未找到 rclone。安装: sudo apt install rclone,然后运行 rclone config 添加网盘。"));
        struct stat info;
        const bool isDirectory = ::stat(source.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
        return Archive::Remote::write(*program, *destination.rcloneRemote, source,
                                      remoteCopies(*program, source, isDirectory, target));
    }
    std::vector<Archive::File> files = check.copies;
    const std::string place = relativeTarget(source);
    for (Archive::File& file : files) file.path = place + file.path;
    if (!held || !held->fd.valid()) throw OstrevaneError(describe(held ? held->error : EBADF));
    return Archive::write(held->fd.get(), destination.path.value_or(""), source, files);
}

/// Takes back the record of an offload whose source stayed after all.
void withdrawArchive(const BackupDestination& destination, const std::optional<TargetFolder>& held,
                     const std::string& record) {
    if (!destination.rcloneRemote) return held ? Archive::withdraw(held->fd.get(), record) : void();
    if (auto program = Rclone::executable()) Archive::Remote::withdraw(*program, record);
}

/// Why the source may not be offloaded before anything is copied; none when it may.
std::optional<std::string> offloadRefusal(const std::string& source) {
    if (auto reason = Cleaner::refusal(source)) return reason;
    // The Trash would take the link and leave what it leads to in place.
    struct stat info;
    if (::lstat(source.c_str(), &info) == 0 && S_ISLNK(info.st_mode)) {
        auto text = BackupFiles::linkText(AT_FDCWD, source);
        if (!text) return L("它是指向 %@ 的符号链接;请直接归档它指向的位置", "?");
        return L("它是指向 %@ 的符号链接;请直接归档它指向的位置", DisplayText::path(*text));
    }
    return std::nullopt;
}

/// The message of an offload whose source stays because of the entries in
/// `kept`, each named with its reason.
std::string keptMessage(const std::vector<SourceHold::Kept>& kept) {
    std::string list;
    for (size_t index = 0; index < kept.size() && index < BackupReport::errorLimit; ++index) {
        if (index > 0) list += L(";");
        list += L("%@(%@)", DisplayText::path(kept[index].path), kept[index].reason);
    }
    if (kept.size() > BackupReport::errorLimit) list += L(";") + "…";
    return L("备份和校验都成功,但 %@ 项未处理,本地文件保持不动:%@", kept.size(), list);
}

/// Moves the checked source to the Trash and makes sure what went there is
/// what was checked: a source changed since its check, or one whose file
/// another program opened meanwhile, is put back. Files whose stamps cannot
/// tell are compared again through `sameAsChecked`. A source with a file in
/// use or an entry the backup does not copy stays where it is, whole.
/// Fills the outcome of `result` but its message's success text.
bool trashCheckedSource(const std::string& source, const SourceStamps& stamps,
                        const SourceStamps::SameAsChecked& sameAsChecked, OffloadReport& result) {
    SourceHold hold;
    if (auto kept = hold.take(source); !kept.empty()) {
        result.message = keptMessage(kept);
        return false;
    }
    if (!stamps.rootUnchanged(source)) {
        result.verified = false;
        result.message = L("%@ 在校验后有改动,本地文件保持不动。", DisplayText::path(source));
        return false;
    }
    std::string trashed;
    try {
        // The refusal checks again, on the folder the move then starts from.
        trashed = Cleaner::moveToTrash(source);
    } catch (const std::exception& error) {
        result.message = L("备份和校验都成功,但本地副本未能移到废纸篓:%@", error.what());
        return false;
    }
    // A file opened while it moved may be written to from now on, in the Trash.
    auto opened = hold.firstOpened(source);
    auto changed = opened ? std::nullopt : stamps.firstChange(trashed, source, sameAsChecked);
    if (!opened && !changed) opened = hold.firstOpened(source);
    // A writer behind a mount served from elsewhere went unseen by the
    // leases: what it wrote since the first look shows in this one.
    if (!opened && !changed && !hold.leasesSeeEveryOpener())
        changed = stamps.firstChange(trashed, source, sameAsChecked);
    if (!opened && !changed) {
        result.sourceTrashed = true;
        return true;
    }
    // The backup may not hold what went to the Trash. The hold lasts until
    // the source is back, so a program waiting to open it finds it there.
    result.verified = false;
    try {
        Trash::putBack(trashed, source);
        result.message = opened
                             ? L("%@ 在移动时被其他程序打开,本地文件已放回原处,没有归档。", DisplayText::path(*opened))
                             : L("%@ 在校验后有改动,本地文件已放回原处,没有归档。", DisplayText::path(*changed));
    } catch (const std::exception& error) {
        result.sourceTrashed = true;
        result.message = opened ? L("%@ 在移动时被其他程序打开,没有归档;本地文件未能放回原处(%@),仍在废纸篓中:%@",
                                    DisplayText::path(*opened), error.what(), DisplayText::path(trashed))
                                : L("%@ 在校验后有改动,没有归档;本地文件未能放回原处(%@),仍在废纸篓中:%@",
                                    DisplayText::path(*changed), error.what(), DisplayText::path(trashed));
    }
    return false;
}

}  // namespace

bool verifyLocal(const std::string& source, const std::string& target) {
    SourceStamps stamps;
    struct stat info;
    const bool isDirectory = ::stat(source.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
    return checkLocal(source, placeAt(target, isDirectory), stamps).passed();
}

bool verifyRclone(const std::string& source, const std::string& target) { return Rclone::check(source, target); }

OffloadReport offload(const std::string& sourcePath, const BackupDestination& destination, bool dryRun,
                      const CancelTokenPtr& cancel, const BackupProgressHandler& progress) {
    const std::string source = Paths::expandGiven(sourcePath);
    if (auto reason = offloadRefusal(source))
        throw OstrevaneError(L("不能归档 %@:%@", DisplayText::path(source), *reason));
    const int64_t size = Scanner::quickSize(source);

    OffloadReport result;
    SourceStamps stamps;
    const bool stampedBeforeCopy = destination.rcloneRemote && !dryRun && stamps.record(source);
    BackupOptions options(dryRun, BackupOptions::offloadExcludes);
    // Opened by the first run; the copies, their check and the record all
    // reach the destination through it.
    std::optional<TargetFolder> held;
    result.backup = runHeld(source, destination, options, held, cancel, progress);
    result.dryRun = dryRun;
    if (dryRun) {
        result.bytes = size;
        result.message = L("试运行:将备份到 %@,校验后把本地的 %@ 移到废纸篓。", DisplayText::path(result.backup.target),
                           Fmt::bytes(size));
        return result;
    }
    if (result.backup.status != BackupStatus::ok) {
        result.message = L("备份没有完整成功(%@),本地文件保持不动。", result.backup.summary);
        return result;
    }
    struct stat info;
    const bool isDirectory = ::stat(source.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
    const std::string target = copyTarget(source, isDirectory, destination);
    const CopyPlace copy = held
                               ? placeBelow(*held, source, isDirectory, target, Archive::ignoresCase(*destination.path))
                               : CopyPlace{};
    CopyCheck check = checkCopy(source, destination, target, copy, stamps, stampedBeforeCopy, cancel);
    if (check.complete && !check.differing.empty()) {
        // Copies that look current but differ (a rewrite that kept the size
        // and the time): copied once more, then checked again.
        options.copyAgain = std::move(check.differing);
        BackupReport again = runHeld(source, destination, options, held, cancel, progress);
        if (again.status != BackupStatus::ok) {
            result.backup = std::move(again);
            result.message = L("备份没有完整成功(%@),本地文件保持不动。", result.backup.summary);
            return result;
        }
        result.backup = std::move(again);
        check = checkCopy(source, destination, target, copy, stamps, stampedBeforeCopy, cancel);
    }
    // A cancel during the check or the flush is no licence to move the source: it stays.
    const std::string cancelled = L("备份没有完整成功(%@),本地文件保持不动。", result.backup.summary + L("(已取消)"));
    const std::string notPassed = L("备份完成但校验未通过,本地文件保持不动。");
    if (isCancelled(cancel) || !check.passed()) {
        result.message = isCancelled(cancel) ? cancelled : notPassed;
        return result;
    }
    result.verified = true;
    std::string record;
    try {
        record = recordArchive(source, destination, held, target, check);
    } catch (const OstrevaneError& error) {
        result.message = L("备份和校验都成功,但归档记录未能写入目的地:%@,本地文件保持不动。", error.message);
        return result;
    }
    // The record goes to the disk with the copies: the source goes only once both are there.
    const bool stored = flushedToDisk(destination, held, target);
    if (isCancelled(cancel) || !stored) {
        withdrawArchive(destination, held, record);
        result.verified = false;
        result.message = isCancelled(cancel) ? cancelled : notPassed;
        return result;
    }
    Backup::Hooks::active().afterCheck();
    // A drive pulled (or unmounted) since the first open took the copies and
    // the record with it; its path may now lead to the bare mount point.
    if (held && !stillLeadsTo(*destination.path, *held)) {
        withdrawArchive(destination, held, record);
        result.message = L("备份和校验都成功,但 %@ 的磁盘在归档期间被移走了,本地文件保持不动。",
                           DisplayText::path(*destination.path));
        return result;
    }
    const BackupReport& backup = result.backup;
    const bool trashed = trashCheckedSource(source, stamps, recheck(source, destination, copy), result);
    // A source that stayed is no archive's only copy.
    if (!result.sourceTrashed) withdrawArchive(destination, held, record);
    if (!trashed) return result;
    result.bytes = size;
    result.message = L("已备份到 %@ 并校验通过,本地副本(%@)已移到废纸篓。清倒废纸篓后释放空间。",
                       DisplayText::path(backup.target), Fmt::bytes(size));
    if (destination.kind == DestinationKind::icloud)
        result.message += L("备份在 iCloud 云盘中仍占本地空间,上传完成后可用 evict 释放本地副本。");
    return result;
}

}  // namespace BackupEngine
