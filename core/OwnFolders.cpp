#include "OwnFolders.hpp"

#include <mutex>
#include <set>

#include "base/Paths.hpp"
#include "platform/HomeFolder.hpp"
#include "text/Localization.hpp"

namespace OwnFolders {

namespace {

std::string reasonOf(FolderTrust::Reason why, const DisplayText::QuotedPath& folder) {
    switch (why) {
    case FolderTrust::Reason::otherOwner: return L("%@ 属于其他用户", folder);
    case FolderTrust::Reason::writableByOthers: return L("其他用户可以写入 %@", folder);
    case FolderTrust::Reason::writableByGroup: return L("同组的其他用户可以写入 %@", folder);
    case FolderTrust::Reason::uncheckable: break;
    }
    return L("无法检查 %@", folder);
}

}  // namespace

std::string reasonText(const FolderTrust::Failure& failure) {
    return reasonOf(failure.why, DisplayText::path(failure.folder));
}

std::string refusalLine(const DisplayText::QuotedPath& folder, const FolderTrust::Failure& failure) {
    return L("没有使用目录 %@:%@,其他用户可能放进或换掉里面的文件。", folder, reasonText(failure));
}

std::optional<std::string> refusal(const std::string& folder) {
    Paths::tightenOwnFolder(folder);
    if (auto failure = FolderTrust::checkFromRoot(folder)) return refusalLine(DisplayText::path(folder), *failure);
    return std::nullopt;
}

bool usable(const std::string& folder) {
    auto line = refusal(folder);
    if (!line) return true;
    static std::mutex lock;
    static std::set<std::string> told;
    bool first = false;
    {
        std::lock_guard guard(lock);
        first = told.insert(Paths::standardize(folder)).second;
    }
    if (first && Hooks::active().refused) Hooks::active().refused(*line);
    return false;
}

std::optional<std::string> supportFolderRefusalAsMade() {
    const std::string folder = Paths::supportFolder().string();
    if (auto line = refusal(folder)) return line;
    Paths::supportDir();
    return refusal(folder);
}

Hooks& Hooks::active() {
    static Hooks hooks;
    return hooks;
}

}  // namespace OwnFolders
