#include "pages/SuggestionsLogic.hpp"

#include <algorithm>
#include <map>

#include "scan/Scanner.hpp"
#include "text/Localization.hpp"

namespace SuggestionRequests {

PageState pageState(bool hasReport, bool isScanning) {
    if (hasReport) return PageState::report;
    return isScanning ? PageState::scanning : PageState::analyzing;
}

ConfirmRequest ask(const Suggestion& suggestion, const CleaningCalls& calls) {
    if (suggestion.action == CleanAction::evict) {
        return ConfirmRequest::make(
            L("释放 iCloud 云盘的本地副本?"),
            L("最多可腾出 %@。文件留在 iCloud,需要时自动下载;没传完的文件不会动。完成后会自动重新扫描。",
              suggestion.reclaimable),
            L("释放本地副本"), false, [evict = calls.evict, paths = suggestion.paths, key = suggestion.id] {
                if (evict) evict(paths, key);
            });
    }
    auto apply = [apply = calls.apply, suggestion] {
        if (apply) apply(suggestion);
    };
    if (suggestion.action == CleanAction::emptyTrash) {
        return ConfirmRequest::make(L("永久清倒废纸篓?"), L("废纸篓里的所有内容将被永久删除,无法恢复。"), L("永久清倒"),
                                    true, std::move(apply));
    }
    return ConfirmRequest::make(
        L("清理“%@”?", suggestion.title),
        L("约 %@。文件会进入废纸篓,可以恢复;清倒废纸篓后才真正释放空间。", suggestion.reclaimable), L("移到废纸篓"),
        true, std::move(apply));
}

ConfirmRequest askEmptyTrash(const CleaningCalls& calls) {
    return ConfirmRequest::make(L("永久清倒废纸篓?"),
                                L("废纸篓里的所有内容(包括之前就在里面的)将被永久删除,无法恢复。"), L("永久清倒"), true,
                                [empty = calls.emptyTrash] {
                                    if (empty) empty();
                                });
}

ConfirmRequest askAllSafe(const SuggestionReport& report, const CleaningCalls& calls) {
    return ConfirmRequest::make(
        L("清理全部“可放心清理”的项目?"),
        L("约 %@ 的缓存、日志和构建产物会进入废纸篓,之后会按需重新生成。", report.safeReclaimable), L("移到废纸篓"),
        true, [all = calls.applyAllSafe, report] {
            if (all) all(report);
        });
}

}  // namespace SuggestionRequests

namespace SuggestionCards {

std::string icon(const Suggestion& suggestion) {
    static const std::map<std::string, std::string> byCategory = {
        {"cache", "internaldrive"},
        {"developer", "hammer"},
        {"downloads", "arrow.down.circle"},
        {"large-files", "doc.badge.ellipsis"},
        {"archive", "archivebox"},
        {"apps", "app.badge"},
        {"backup", "iphone"},
    };
    if (suggestion.category == "archive" && suggestion.action == CleanAction::evict) return "icloud.and.arrow.down";
    const auto found = byCategory.find(suggestion.category);
    return found == byCategory.end() ? "trash" : found->second;
}

ThemeColor riskTint(Risk risk) {
    switch (risk) {
    case Risk::safe: return Theme::accent;
    case Risk::review: return Theme::warn;
    case Risk::caution: return Theme::danger;
    }
    return Theme::accent;
}

bool hasItems(const Suggestion& suggestion) { return suggestion.items && !suggestion.items->empty(); }

bool showsCommand(const Suggestion& suggestion) {
    return suggestion.command && suggestion.action != CleanAction::offload && suggestion.action != CleanAction::evict;
}

size_t moreCount(const Suggestion& suggestion) {
    if (!suggestion.items) return suggestion.paths.size();
    // An item shows the paths it is, holds or lies in (one app's several
    // caches); an item related to none of them stands for one path.
    auto related = [](const std::string& path, const SuggestionItem& item) {
        return Paths::isInside(path, item.path) || Paths::isInside(item.path, path);
    };
    size_t shown = 0;
    for (const std::string& path : suggestion.paths)
        if (std::any_of(suggestion.items->begin(), suggestion.items->end(),
                        [&](const SuggestionItem& item) { return related(path, item); }))
            ++shown;
    for (const SuggestionItem& item : *suggestion.items)
        if (std::none_of(suggestion.paths.begin(), suggestion.paths.end(),
                         [&](const std::string& path) { return related(path, item); }))
            ++shown;
    return suggestion.paths.size() > shown ? suggestion.paths.size() - shown : 0;
}

FirstControl firstControl(const Suggestion& suggestion) {
    if (hasItems(suggestion)) return FirstControl::details;
    return suggestion.paths.size() == 1 ? FirstControl::show : FirstControl::none;
}

SecondControl secondControl(const Suggestion& suggestion, const std::optional<std::string>& busySuggestion,
                            bool hasAvailableDestinations) {
    if (busySuggestion == suggestion.id) return SecondControl::spinner;
    if (suggestion.autoApplicable)
        return suggestion.action == CleanAction::emptyTrash ? SecondControl::empty : SecondControl::clean;
    if (suggestion.action == CleanAction::evict) return SecondControl::releaseAll;
    if (suggestion.action == CleanAction::offload && !suggestion.paths.empty() && hasAvailableDestinations)
        return SecondControl::archiveMenu;
    return SecondControl::none;
}

std::string label(SecondControl control) {
    switch (control) {
    case SecondControl::clean: return "清理…";
    case SecondControl::empty: return "清倒…";
    case SecondControl::releaseAll: return "全部释放…";
    case SecondControl::archiveMenu: return "归档到";
    case SecondControl::none:
    case SecondControl::spinner: return "";
    }
    return "";
}

}  // namespace SuggestionCards
