// Emptying the Trash, whole or through its suggestion: the one thing the
// cleaner does that deletes.
#include "clean/CleanerEmptying.hpp"

#include <algorithm>

#include "OwnFolders.hpp"
#include "platform/Trash.hpp"
#include "scan/ScanStore.hpp"
#include "text/Localization.hpp"

namespace Cleaner {

namespace {

/// The emptying failure, worded for the user with the reason it failed.
OstrevaneError emptyingFailure(const std::string& reason) {
    return OstrevaneError(L("无法清倒废纸篓:%@。请在文件管理器中手动清倒,或检查废纸篓目录的权限。", reason));
}

/// What an emptying says: "emptied" only when nothing it could see is left.
std::string emptyingMessage(size_t removed, int64_t bytes, size_t left) {
    if (left == 0) return L("已清倒废纸篓(%@ 项),释放约 %@。", static_cast<int64_t>(removed), Fmt::bytes(bytes));
    return L("废纸篓没有全部清倒:删除了 %@ 项,释放约 %@;%@ 处没有清倒。", static_cast<int64_t>(removed),
             Fmt::bytes(bytes), static_cast<int64_t>(left));
}

/// The items the readable folders still hold after the desktop emptied them.
std::vector<CleanFailure> leftByDesktop(const std::vector<std::shared_ptr<const Trash::OpenTrash>>& trashes) {
    std::vector<CleanFailure> left;
    for (const auto& trash : trashes) {
        try {
            for (const auto& entry : Trash::entriesOf(trash)) left.push_back({entry.path(), L("文件管理器没有删除它")});
        } catch (const std::exception&) {
            // What cannot be read here cannot be told to be left either.
        }
    }
    return left;
}

/// For a Trash that cannot be listed here. What the readable folders hold is
/// measured before and after: the desktop may leave some of it behind.
CleanResult emptyThroughDesktop(const std::vector<std::shared_ptr<const Trash::OpenTrash>>& trashes) {
    const int64_t before = Trash::allocationOf(trashes).total();
    Shell::Output output = Trash::emptyThroughDesktop();
    if (output.status != 0) throw emptyingFailure(Text::trim(output.stderrText));
    ScanStore::invalidate();
    const int64_t bytes = std::max<int64_t>(0, before - Trash::allocationOf(trashes).total());
    std::vector<CleanFailure> left = leftByDesktop(trashes);
    std::string message = left.empty() ? L("已通过文件管理器清倒废纸篓,释放约 %@。", Fmt::bytes(bytes))
                                       : L("文件管理器没有清倒整个废纸篓:释放约 %@,还剩 %@ 项。", Fmt::bytes(bytes),
                                           static_cast<int64_t>(left.size()));
    return CleanResult(false, {}, std::move(left), bytes, std::move(message));
}

/// Why emptying leaves a trash folder alone: whatever empties it, ourselves
/// or the desktop, could delete where a link leads or what another user put.
std::string distrustText(const Trash::RejectedFolder& rejected) {
    switch (rejected.why) {
    case Trash::Distrust::link: return L("是符号链接,没有清倒");
    case Trash::Distrust::writableByOthers: return L("其他用户可以写入,没有清倒");
    case Trash::Distrust::uncheckable: return L("在其他用户的目录里,无法检查,没有清倒");
    case Trash::Distrust::replaceable:
        if (rejected.way && rejected.way->why != FolderTrust::Reason::otherOwner)
            return L("在上层目录里,%@,对方可以把别的目录换成它,没有清倒", OwnFolders::reasonText(*rejected.way));
        return L("在其他用户的目录里,对方可以把别的目录换成它,没有清倒");
    case Trash::Distrust::otherOwner: break;
    }
    return L("属于其他用户的废纸篓目录,没有清倒");
}

/// For each item, its identity when it is one the analysis measured, as it
/// was measured; none for any other. Told apart before anything is removed:
/// removing one link of a file with several sets the change time its other
/// links were measured with.
std::vector<std::optional<Trash::EntryIdentity>> measuredAmong(const std::vector<Trash::Entry>& entries,
                                                               const Trash::MeasuredEntries& measured) {
    std::vector<std::optional<Trash::EntryIdentity>> found;
    for (const auto& entry : entries) {
        auto identity = Trash::identityOf(entry);
        found.push_back(identity && measured.count(*identity) ? identity : std::nullopt);
    }
    return found;
}

/// Whether the item is still the measured one found, right before its
/// removal: not another one put under its name since.
bool isStill(const Trash::Entry& entry, const std::optional<Trash::EntryIdentity>& found) {
    auto now = Trash::identityOf(entry);
    return found && now && now->device == found->device && now->inode == found->inode && now->type == found->type;
}

/// Empties every item, or with `shown` only the items measured there.
CleanResult emptyItems(const Trash::MeasuredEntries* shown) {
    Trash::TrashFolders folders = Trash::openTrashFolders();
    // A folder that failed a check is left alone and said so; the others are
    // still emptied.
    std::vector<CleanFailure> failed;
    for (const auto& rejected : folders.rejected) failed.push_back({rejected.path, distrustText(rejected)});
    std::vector<Trash::Entry> entries;
    std::vector<std::shared_ptr<const Trash::OpenTrash>> listed;
    for (const auto& trash : folders.trusted) {
        try {
            auto items = Trash::entriesOf(trash);
            entries.insert(entries.end(), items.begin(), items.end());
            listed.push_back(trash);
        } catch (const std::exception& error) {
            failed.push_back({trash->path, localizedDescription(error)});
        }
    }
    // Some Trash cannot be read here. The desktop may still empty it, but it
    // empties every trash it finds, so only when every folder passed the
    // checks, and never for only what was shown.
    if (!shown && listed.size() < folders.trusted.size() && folders.rejected.empty())
        return emptyThroughDesktop(folders.trusted);
    // What is gone is what was there less what is left, measured the same
    // way, not the change in free space, which on a shared disk is whatever
    // other programs did meanwhile. An item removed in part counts its part.
    const int64_t before = Trash::allocationOf(listed).total();
    size_t removed = 0;
    size_t kept = 0;
    const auto found = shown ? measuredAmong(entries, *shown) : std::vector<std::optional<Trash::EntryIdentity>>();
    for (size_t index = 0; index < entries.size(); ++index) {
        const Trash::Entry& entry = entries[index];
        if (shown && !isStill(entry, found[index])) {
            ++kept;
            continue;
        }
        try {
            Trash::removeEntry(entry);
            ++removed;
        } catch (const std::exception& error) {
            failed.push_back({entry.path(), localizedDescription(error)});
        }
    }
    for (const auto& trash : listed) Trash::sweepStaleInfoFiles(*trash);
    ScanStore::invalidate();
    const int64_t bytes = std::max<int64_t>(0, before - Trash::allocationOf(listed).total());
    std::string message = emptyingMessage(removed, bytes, failed.size());
    if (kept > 0)
        message += L("建议给出之后移到废纸篓的 %@ 项保留了下来;ostrevane empty-trash --confirm 会清倒它们。",
                     static_cast<int64_t>(kept));
    return CleanResult(false, {}, std::move(failed), bytes, std::move(message));
}

}  // namespace

CleanResult emptyAsShown(const Suggestion& suggestion) { return emptyItems(&suggestion.measuredTrash); }

CleanResult emptyTrash() { return emptyItems(nullptr); }

}  // namespace Cleaner
