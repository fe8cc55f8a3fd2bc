#include "clean/Cleaner.hpp"
#include "clean/CleanerEmptying.hpp"

#include <limits.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <ctime>
#include <map>
#include <set>

#include "OwnFolders.hpp"
#include "base/DisplayText.hpp"
#include "base/JSONCoding.hpp"
#include "clean/IdleTimes.hpp"
#include "platform/ICloud.hpp"
#include "platform/Trash.hpp"
#include "platform/UserFolders.hpp"
#include "scan/ScanStore.hpp"
#include "scan/Scanner.hpp"
#include "text/Localization.hpp"

CleanResult::CleanResult(bool dryRun, std::vector<std::string> trashed, std::vector<CleanFailure> failed, int64_t bytes,
                         std::string message)
    : dryRun(dryRun),
      trashed(std::move(trashed)),
      failed(std::move(failed)),
      bytes(bytes),
      size(Fmt::bytes(bytes)),
      message(std::move(message)) {}

namespace {

// Paths keep the bytes of names that are no UTF-8; the encoder escapes them,
// so a path in the report names the file it stands for.
constexpr auto failureFields = JSONCoding::fields(JSONCoding::field("path", &CleanFailure::path),
                                                  JSONCoding::field("reason", &CleanFailure::reason));

constexpr auto resultFields = JSONCoding::fields(
    JSONCoding::field("dryRun", &CleanResult::dryRun), JSONCoding::field("trashed", &CleanResult::trashed),
    JSONCoding::field("failed", &CleanResult::failed), JSONCoding::field("bytes", &CleanResult::bytes),
    JSONCoding::field("size", &CleanResult::size), JSONCoding::field("message", &CleanResult::message));

}  // namespace

void to_json(json& document, const CleanFailure& failure) { JSONCoding::write(document, failure, failureFields); }
void from_json(const json& document, CleanFailure& failure) { JSONCoding::read(document, failure, failureFields); }
void to_json(json& document, const CleanResult& result) { JSONCoding::write(document, result, resultFields); }
void from_json(const json& document, CleanResult& result) { JSONCoding::read(document, result, resultFields); }

namespace Cleaner {

namespace {

/// Folders of the home folder that may be cleaned inside but never removed
/// whole; the empty entry is the home folder itself.
const std::vector<std::string> protectedRelatives = {
    "",
    "Documents",
    "Desktop",
    "Downloads",
    "Pictures",
    "Movies",
    "Music",
    "Public",
    "Applications",
    "Library",
    "Library/Application Support",
    "Library/Containers",
    "Library/Group Containers",
    "Library/Preferences",
    "Library/Keychains",
    ICloud::containersInHome,
    "Library/CloudStorage",
    "Library/Mail",
    "Library/Messages",
    "Library/Developer",
    "Library/Caches",
    "Library/Logs",
    ".ssh",
    ".gnupg",
    ".config",
};

const std::vector<std::string> fixedRoots = {"/Applications",        "/Volumes", "/private/tmp", "/tmp",
                                             "/private/var/folders", "/media",   "/run/media",   "/mnt"};

/// The places the refusal rules compare a path with, in one form: as the
/// texts say (what the user typed) or with links resolved (what the disk
/// would really be asked to move).
struct Places {
    std::string home;
    std::set<std::string> protectedFolders;
    std::vector<std::string> allowedRoots;
    std::vector<std::string> sensitiveFolders;
    std::string homeTrash;
};

std::optional<std::string> realPath(const std::string& path) {
    char buffer[PATH_MAX];
    if (!::realpath(path.c_str(), buffer)) return std::nullopt;
    return std::string(buffer);
}

std::string realPathOrSame(const std::string& path) { return realPath(path).value_or(path); }

/// Built on each use, since the home folder follows OSTREVANE_HOME.
Places places(bool resolvingLinks) {
    auto form = [&](const std::string& path) { return resolvingLinks ? realPathOrSame(path) : path; };
    Places result;
    const std::string home = Paths::home();
    result.home = form(home);
    // Resolved, a protected folder is both where the home folder's real path
    // puts it and where it really is when it is itself a link.
    for (const auto& relative : protectedRelatives) {
        result.protectedFolders.insert(Paths::joined(result.home, relative));
        result.protectedFolders.insert(form(Paths::joined(home, relative)));
    }
    // The user's own folders wherever the desktop put them ("下载", "视频", ...).
    for (const auto& folder : UserFolders::current(home).all()) result.protectedFolders.insert(form(folder));
    // The trash itself and its two halves: trashing them would lose what the
    // Trash holds or the records that let it be restored.
    for (const auto& folder : {Trash::homeTrash(), Trash::filesFolder(), Trash::infoFolder()})
        result.protectedFolders.insert(form(folder));
    result.homeTrash = form(Trash::homeTrash());
    result.allowedRoots.push_back(result.home);
    for (const auto& root : fixedRoots) result.allowedRoots.push_back(form(root));
    for (const auto& relative : {".ssh", ".gnupg", "Library/Keychains"}) {
        result.sensitiveFolders.push_back(Paths::joined(result.home, relative));
        result.sensitiveFolders.push_back(form(Paths::joined(home, relative)));
    }
    // The desktops' keyrings (GNOME's, KDE's wallet) hold every saved
    // password; they need not lie in the home folder.
    for (const auto& keyrings : {"/keyrings", "/kwalletd"})
        result.sensitiveFolders.push_back(form(UserFolders::dataHome() + keyrings));
    return result;
}

/// Rules 1 to 6: everything decided by the path's text.
std::optional<std::string> placeRefusal(const std::string& p, const Places& at) {
    if (at.protectedFolders.count(p)) return L("受保护的目录,只能清理其中的内容,不能整体移除");
    // An item trashed again would get a second record pointing into the
    // Trash, and its first record would outlive emptying.
    if (Paths::isInside(p, at.homeTrash) || Trash::isInsideTrash(p)) return L("废纸篓里的项目不能再移到废纸篓");
    if (Paths::isInside(at.home, p)) return L("这是主目录的上级目录");
    // The Trash cannot take in the folder it lies in.
    if (Paths::isStrictlyInside(at.homeTrash, p)) return L("这是废纸篓的上级目录");
    if (Paths::componentCount(p) <= 1) return L("顶层系统目录");
    if (p.ends_with(".photoslibrary")) return L("照片图库请在“照片”App 中管理");
    if (std::none_of(at.allowedRoots.begin(), at.allowedRoots.end(),
                     [&](const std::string& root) { return Paths::isStrictlyInside(p, root); }))
        return L("只允许操作主目录、/tmp 和外接卷(/media、/run/media、/mnt)里的内容");
    for (const auto& sensitive : at.sensitiveFolders)
        if (Paths::isInside(p, sensitive)) return L("密钥与密钥环不允许通过本工具删除");
    return std::nullopt;
}

/// Why an item's disk has no trash it can go to: which disk, why, and that
/// the item stayed.
std::string unusableTrashText(const Trash::UnusableTrash& unusable) {
    if (!unusable.distrust)
        return L("磁盘 %@ 上没有本工具可用的废纸篓:无法建立或打开 %@(%@);没有移动", DisplayText::path(unusable.disk),
                 DisplayText::path(unusable.trash), unusable.message);
    if (unusable.distrust->folder == unusable.disk && unusable.distrust->why == FolderTrust::Reason::otherOwner)
        return L("所在磁盘的顶层目录 %@ 属于其他用户,对方可以决定废纸篓把它放到哪里;没有移动",
                 DisplayText::path(unusable.disk));
    return L("磁盘 %@ 的废纸篓 %@ 不可信:%@,对方可以决定废纸篓把它放到哪里;没有移动", DisplayText::path(unusable.disk),
             DisplayText::path(unusable.trash), OwnFolders::reasonText(*unusable.distrust));
}

}  // namespace

std::string localizedDescription(const std::exception& error) {
    if (auto* unusable = dynamic_cast<const Trash::UnusableTrash*>(&error)) return unusableTrashText(*unusable);
    if (auto* engineError = dynamic_cast<const OstrevaneError*>(&error)) return engineError->message;
    if (auto* systemError = dynamic_cast<const std::system_error*>(&error)) return systemError->code().message();
    return error.what();
}

namespace {

/// Both forms of the places, built once for a whole run of paths.
struct RefusalPlaces {
    Places written = places(false);
    Places resolved = places(true);
    std::vector<std::string> trashes = Trash::trashFolders();
};

/// What a refusal to hold a folder says; none when it is simply not there.
std::optional<std::string> holdRefusalText(const HoldRefused& refused, const std::string& path) {
    const std::string& at = refused.at.empty() ? path : refused.at;
    switch (refused.why) {
    case HoldFailure::missing: return std::nullopt;
    case HoldFailure::link: return L("%@ 是符号链接", DisplayText::path(at));
    case HoldFailure::moved: return L("打开时目录被移动或替换了");
    case HoldFailure::changed: return L("%@ 在扫描之后被另一个目录替换了", DisplayText::path(at));
    case HoldFailure::unrecorded: return L("扫描没有测量过 %@", DisplayText::path(at));
    case HoldFailure::other: break;
    }
    return refused.message;
}

/// The checks of what a held item really is, wherever the path led.
std::optional<std::string> heldRefusal(const Trash::HeldItem& held, const RefusalPlaces& at) {
    // A link among the folders above the item must not lead the move
    // somewhere the rules would refuse (a link to the home folder, or to
    // "/"), nor may a protected folder that is a link be reached where it
    // really lies.
    const std::string real = held.realPath();
    if (auto reason = placeRefusal(real, at.resolved)) return reason;
    if (Trash::isInsideTrashFolder(held, at.trashes)) return L("废纸篓里的项目不能再移到废纸篓");
    if (std::any_of(at.trashes.begin(), at.trashes.end(),
                    [&](const std::string& trash) { return Paths::isStrictlyInside(trash, real); }))
        return L("这是废纸篓的上级目录");
    if (!held.status()) return L("路径不存在");
    return std::nullopt;
}

/// None when the item of `held` is the very one the scan measured at `p`.
/// A clean moves nothing else: not what another program put under its name
/// since, nor an item the scan kept no record of. Either way a fresh scan
/// measures what is there now.
std::optional<std::string> measuredRefusal(const Trash::HeldItem& held, const std::string& p, const SeenFolders& seen) {
    try {
        SeenWay::checkItem(*held.status(), p, seen);
    } catch (const HoldRefused&) {
        return L("扫描之后有改动;请运行 `ostrevane scan --refresh`");
    }
    return std::nullopt;
}

/// None when `p` may be moved to the Trash; its folder is then held in
/// `held`, and the move must start from there: every check below concerns
/// what that descriptor is, so swapping a link among the folders above `p`
/// afterwards changes nothing. With `seen`, the folder is reached along the
/// way the scan behind a suggestion saw.
std::optional<std::string> refusalAt(const std::string& p, const RefusalPlaces& at,
                                     std::optional<Trash::HeldItem>& held, const SeenFolders* seen = nullptr) {
    if (auto reason = placeRefusal(p, at.written)) return reason;
    try {
        held.emplace(p, seen);
    } catch (const HoldRefused& refused) {
        return holdRefusalText(refused, p).value_or(L("路径不存在"));
    } catch (const OstrevaneError& error) {
        // The folder above p is missing, or is not a folder.
        if (error.code == ENOENT || error.code == ENOTDIR) return L("路径不存在");
        return error.message;
    }
    if (auto reason = heldRefusal(*held, at)) return reason;
    return seen ? measuredRefusal(*held, p, *seen) : std::nullopt;
}

/// The same for the item `name` of a folder held open: reached through the
/// folder's descriptor, never through its path again.
std::optional<std::string> refusalIn(const Trash::HeldFolder& folder, const std::string& name, const RefusalPlaces& at,
                                     std::optional<Trash::HeldItem>& held) {
    if (auto reason = placeRefusal(Paths::joined(folder.path(), name), at.written)) return reason;
    try {
        held.emplace(folder, name);
    } catch (const OstrevaneError& error) {
        return error.message;
    }
    return heldRefusal(*held, at);
}

/// Why a clean leaves the item at `real` alone, if `keep` names it.
std::optional<std::string> keptReason(const std::string& real, const Keep& keep) {
    for (const auto& folder : keep.folders)
        for (const auto& form : {folder, realPathOrSame(folder)})
            if (Paths::isInside(form, real))
                return L("这是备份目的地 %@ 或包含它,清理不会移动它", DisplayText::path(folder));
    for (const auto& folder : keep.contents)
        for (const auto& form : {folder, realPathOrSame(folder)})
            if (Paths::isInside(real, form)) return L("这在备份目录 %@ 里,清理不会移动它", DisplayText::path(folder));
    return std::nullopt;
}

/// What a clean did so far, item by item.
class Tally {
public:
    explicit Tally(bool dryRun, const SeenFolders* seen = nullptr, const std::set<std::string>* approved = nullptr,
                   const Keep& keep = {})
        : dryRun(dryRun), seen(seen), approved(approved), keep(keep) {}

    void fail(const std::string& p, const std::string& reason) { failed.push_back({p, reason}); }

    /// Whether `p` may move: with a list approved, only when it lists `p`.
    /// One it does not list came after the dry run the user approved; it is
    /// left where it is and named.
    bool approves(const std::string& p) {
        if (!approved || approved->count(p)) return true;
        left.push_back(p);
        return false;
    }

    /// Moves an item that passed the checks (in a dry run, counts it).
    void move(const std::string& p, const Trash::HeldItem& held, const SeenFolder* expected = nullptr) {
        if (auto reason = keptReason(held.realPath(), keep)) return fail(p, *reason);
        int64_t size = Scanner::quickSize(held.realPath());
        // Moved for real, what an earlier path inside this one took is gone
        // from it by now; a dry run must not count it twice either.
        if (dryRun) size -= countedInside(p);
        try {
            if (!dryRun) Trash::moveToTrash(held, seen, expected);
            trashed.push_back(p);
            counted.emplace(p, size);
            bytes += size;
        } catch (const Trash::ReplacedWhileMoved& replaced) {
            fail(p, replaced.trashed.empty() ? L("%@ 在移动时被替换了,已放回原处", DisplayText::path(p))
                                             : L("%@ 在移动时被替换了;移到废纸篓的是 %@", DisplayText::path(p),
                                                 DisplayText::path(replaced.trashed)));
        } catch (const HoldRefused& refused) {
            // The Trash's own folders, reached along the scan's way.
            fail(p, holdRefusalText(refused, Trash::homeTrash()).value_or(refused.message));
        } catch (const std::exception& error) {
            fail(p, localizedDescription(error));
        }
    }

    /// Whether `p` went along with an item already moved (or counted): named
    /// again, or lying inside it.
    bool covers(std::string p) const {
        for (;; p = Paths::parentFolder(p)) {
            if (counted.count(p)) return true;
            if (p == "/") return false;
        }
    }

    CleanResult result() {
        if (!dryRun && !trashed.empty()) ScanStore::invalidate();
        std::string verb = dryRun ? L("将移到废纸篓") : L("已移到废纸篓");
        std::string message = L("%@ %@ 项,共 %@。", verb, trashed.size(), Fmt::bytes(bytes));
        if (!failed.empty()) message += L("%@ 项未处理。", failed.size());
        if (!dryRun && !trashed.empty()) message += L("清倒废纸篓后空间才会真正释放。");
        if (!left.empty()) message += leftText();
        return CleanResult(dryRun, std::move(trashed), std::move(failed), bytes, std::move(message));
    }

private:
    bool dryRun;
    const SeenFolders* seen;
    const std::set<std::string>* approved;
    Keep keep;
    std::vector<std::string> trashed;
    /// What `approved` did not list.
    std::vector<std::string> left;
    /// The bytes each trashed path added.
    std::map<std::string, int64_t> counted;
    std::vector<CleanFailure> failed;
    int64_t bytes = 0;

    std::string leftText() const {
        constexpr size_t named = 3;
        std::string names;
        for (size_t index = 0; index < std::min(named, left.size()); ++index)
            names += (index ? ", " : "") + DisplayText::path(Paths::abbreviate(left[index])).text();
        if (left.size() > named) names += " " + L("… 另有 %@ 项", left.size() - named);
        return L("试运行没有列出 %@ 项较新的项目,没有移动它们:%@。", left.size(), names);
    }

    int64_t countedInside(const std::string& p) const {
        // The paths below p sort together, right after p + "/".
        const std::string below = p == "/" ? p : p + "/";
        int64_t sum = 0;
        for (auto item = counted.lower_bound(below); item != counted.end() && item->first.starts_with(below); ++item)
            sum += item->second;
        return sum;
    }
};

/// The folder of a suggestion whose items are cleaned, held; none when it
/// offers nothing: it is gone, or it is not the folder the suggestion named
/// (said in `tally`).
std::optional<Trash::HeldFolder> heldFolder(const std::string& folder, Tally& tally, const SeenFolders* seen) {
    if (auto reason = Paths::unusable(folder)) {
        tally.fail(folder, *reason);
        return std::nullopt;
    }
    try {
        return std::optional<Trash::HeldFolder>(std::in_place, folder, seen);
    } catch (const Trash::HeldFolder::Refused& refused) {
        if (auto reason = holdRefusalText(refused, folder)) tally.fail(folder, *reason);
        return std::nullopt;
    }
}

/// Moves the items of each folder to the Trash; the folders stay. Each
/// folder is held once and its items moved from there, so a link swapped in
/// for a folder never leads the clean into another one; with `seen`, nor
/// does one swapped in above it since the scan.
CleanResult trashContents(const std::vector<std::string>& folders, bool dryRun, const SeenFolders* seen,
                          const std::set<std::string>* approved, const Keep& keep) {
    Tally tally(dryRun, seen, approved, keep);
    const RefusalPlaces places;
    for (const auto& folder : folders) {
        std::optional<Trash::HeldFolder> held = heldFolder(folder, tally, seen);
        if (!held) continue;
        std::vector<std::string> names;
        try {
            names = held->names();
        } catch (const std::system_error& error) {
            // One that cannot be read, even partway through, offers nothing
            // rather than an arbitrary part, and says why.
            tally.fail(held->path(), localizedDescription(error));
            continue;
        }
        for (const auto& name : names) {
            std::optional<Trash::HeldItem> item;
            const std::string p = Paths::joined(held->path(), name);
            if (!tally.approves(p)) continue;
            if (auto reason = refusalIn(*held, name, places, item))
                tally.fail(p, *reason);
            else
                tally.move(p, *item);
        }
    }
    return tally.result();
}

}  // namespace

std::optional<std::string> refusal(const std::string& path) {
    if (auto reason = Paths::unusable(path)) return reason;
    std::optional<Trash::HeldItem> held;
    return refusalAt(Paths::expand(path), RefusalPlaces(), held);
}

std::string moveToTrash(const std::string& path) {
    if (auto reason = Paths::unusable(path)) throw OstrevaneError(*reason);
    std::optional<Trash::HeldItem> held;
    if (auto reason = refusalAt(Paths::expand(path), RefusalPlaces(), held)) throw OstrevaneError(*reason);
    std::string moved;
    try {
        moved = Trash::moveToTrash(*held);
    } catch (const Trash::UnusableTrash& error) {
        throw OstrevaneError(localizedDescription(error), error.code);
    }
    ScanStore::invalidate();
    return moved;
}

std::optional<std::string> refusalOfPlace(const std::string& path) {
    if (auto reason = Paths::unusable(path)) return reason;
    std::optional<Trash::HeldItem> held;
    std::optional<std::string> reason = refusalAt(Paths::expand(path), RefusalPlaces(), held);
    // The one reason that is not about the place: it is not there (yet).
    if (reason == L("路径不存在")) return std::nullopt;
    return reason;
}

namespace {

/// None when `held` was not picked for its idle time (no `idle`) or still is
/// idle, measured again now as its rule measured it; else why it stays. An
/// item written to since the scan is no longer the one the user approved.
std::optional<std::string> changedSinceScan(const Trash::HeldItem& held, const IdleTest* idle) {
    if (!idle || IdleTimes::stillIdle(held.realPath(), *idle)) return std::nullopt;
    return L("扫描之后有改动");
}

/// The paths moved, along the way the scan saw when `seen` is given; with
/// `idle`, only those still as idle as their rule asks; with `approved`, only
/// those listed there; never what `keep` names.
CleanResult trashAlong(const std::vector<std::string>& paths, bool dryRun, const SeenFolders* seen,
                       const IdleTest* idle = nullptr, const std::set<std::string>* approved = nullptr,
                       const Keep& keep = {}) {
    Tally tally(dryRun, seen, approved, keep);
    const RefusalPlaces places;
    for (const auto& path : paths) {
        // Before anything else: such a path has no expanded form to act on.
        if (auto reason = Paths::unusable(path)) {
            tally.fail(path, *reason);
            continue;
        }
        const std::string p = Paths::expand(path);
        if (tally.covers(p) || !tally.approves(p)) continue;
        std::optional<Trash::HeldItem> held;
        if (auto reason = refusalAt(p, places, held, seen))
            tally.fail(p, *reason);
        else if (auto changed = changedSinceScan(*held, idle))
            tally.fail(p, *changed);
        else
            tally.move(p, *held, seen ? &seen->at(p) : nullptr);
    }
    return tally.result();
}

}  // namespace

CleanResult trash(const std::vector<std::string>& paths, bool dryRun) { return trashAlong(paths, dryRun, nullptr); }

CleanResult apply(const Suggestion& suggestion, bool dryRun, const ApplyLimits& limits) {
    if (!suggestion.autoApplicable) {
        std::string message = L("“%@” 不能自动处理(风险级别 %@,动作 %@)。", suggestion.title,
                                Risks::rawValue(suggestion.risk), CleanActions::rawValue(suggestion.action));
        message += suggestion.command ? L("建议执行: %@", *suggestion.command)
                                      : L("请确认明细后,对具体路径使用 trash / offload。");
        throw OstrevaneError(message);
    }
    const SeenFolders* seen = suggestion.seen ? &*suggestion.seen : nullptr;
    const IdleTest* idle = suggestion.idle ? &*suggestion.idle : nullptr;
    std::optional<std::set<std::string>> approved;
    if (limits.approved) approved.emplace(limits.approved->begin(), limits.approved->end());
    const std::set<std::string>* listed = approved ? &*approved : nullptr;
    switch (suggestion.action) {
    case CleanAction::trashContents: return trashContents(suggestion.paths, dryRun, seen, listed, limits.keep);
    case CleanAction::trash: return trashAlong(suggestion.paths, dryRun, seen, idle, listed, limits.keep);
    case CleanAction::emptyTrash:
        if (dryRun)
            return CleanResult(true, {}, {}, suggestion.reclaimableBytes,
                               L("将永久清倒废纸篓,释放约 %@。此操作不可恢复。", suggestion.reclaimable));
        return emptyAsShown(suggestion);
    default: throw OstrevaneError(L("不支持的动作"));
    }
}

}  // namespace Cleaner
