// The history of real backup runs, and the summary line of a run rendered
// from its counts in the language of whoever reads it.
#include <mutex>

#include "OwnFolders.hpp"
#include "backup/Backup.hpp"
#include "base/DisplayText.hpp"
#include "base/StoredFile.hpp"
#include "text/Localization.hpp"

namespace fs = std::filesystem;

namespace {

/// The pieces of a run's summary, each a text to render.
std::vector<Localized> summaryParts(const BackupReport& report) {
    const std::vector<std::string> counts{std::to_string(report.filesCopied), Fmt::bytes(report.bytesCopied),
                                          std::to_string(report.filesSkipped)};
    std::vector<Localized> parts{report.dryRun ? Localized("试运行:将复制 %@ 个文件(%@),%@ 个已是最新。", counts)
                                               : Localized("已复制 %@ 个文件(%@),%@ 个已是最新。", counts)};
    if (report.filesFailed > 0) parts.emplace_back("%@ 个失败。", std::vector{std::to_string(report.filesFailed)});
    if (report.status == BackupStatus::cancelled) parts.emplace_back("(已取消)");
    return parts;
}

std::string rendered(const std::vector<Localized>& parts, Lang language) {
    std::string text;
    for (const Localized& part : parts) {
        const std::string* english = language == Lang::en ? English::lookup(part.key) : nullptr;
        text += Localized::fill(english ? *english : part.key, part.args);
    }
    return text;
}

/// The line for a file left out to keep an archive.
Localized conflictLine(const DisplayText::QuotedPath& path) {
    return Localized("冲突:%@ 没有复制,目的地的这个位置存放着归档的文件,归档已保留。", {path.text()});
}

/// The summary with one line for each file left out to keep an archive.
std::string renderedWithConflicts(const BackupReport& report, Lang language) {
    std::string text = rendered(summaryParts(report), language);
    for (const std::string& path : report.conflicts.value_or(std::vector<std::string>{}))
        text += "\n" + rendered({conflictLine(DisplayText::path(path))}, language);
    return text;
}

}  // namespace

std::string summaryText(const BackupReport& report) {
    if (report.summary.empty()) return renderedWithConflicts(report, Langs::current());
    for (Lang language : {Lang::zh, Lang::en})
        if (report.summary == renderedWithConflicts(report, language))
            return renderedWithConflicts(report, Langs::current());
    // A text these counts did not make (an older or a hand-written entry) is shown as written.
    return report.summary;
}

std::optional<std::string> historyNotice(const BackupReport& report) {
    std::optional<std::string> notice;
    if (report.historyKeptAs)
        notice = L("备份记录文件无法读取,原内容已保留在 %@。",
                   DisplayText::path(Paths::abbreviate(*report.historyKeptAs)));
    if (report.historyFailure) {
        // Written to follow another notice; standing alone it needs no lead.
        const std::string failure = L("这次备份没有记入备份记录:%@。", *report.historyFailure);
        notice = notice ? *notice + failure : Text::trim(failure);
    }
    return notice;
}

namespace BackupHistory {

namespace {

std::mutex& processLock() {
    static std::mutex lock;
    return lock;
}

}  // namespace

fs::path filePath() { return Paths::supportFolder() / "backup-history.json"; }

Reading read() {
    // A history another user can write to is theirs to invent.
    if (OwnFolders::refusal(Paths::supportFolder().string())) return Reading{};
    StoredFile::Lock lock(processLock(), filePath(), false);
    auto reading = StoredFile::read<std::vector<BackupReport>>(filePath());
    return Reading{std::move(reading.value), reading.mustBeKept};
}

std::vector<BackupReport> load() { return read().reports; }

Appended append(const BackupReport& report) {
    // One lock from the read to the write, so two runs finishing together
    // cannot drop each other's report.
    if (auto line = OwnFolders::supportFolderRefusalAsMade()) return Appended{std::nullopt, *line};
    auto rewritten = StoredFile::rewrite<std::vector<BackupReport>>(processLock(), filePath(),
                                                                    [&](std::vector<BackupReport>& reports) {
                                                                        StoredFile::removeStaleTemporaries(filePath());
                                                                        reports.insert(reports.begin(), report);
                                                                        if (reports.size() > capacity)
                                                                            reports.resize(capacity);
                                                                    });
    Appended appended;
    appended.keptAs = std::move(rewritten.keptAs);
    if (rewritten.failure) appended.failure = rewritten.failure->message;
    return appended;
}

void record(BackupReport& report) {
    Appended appended = append(report);
    if (appended.keptAs) report.historyKeptAs = appended.keptAs->string();
    report.historyFailure = std::move(appended.failure);
}

std::string unreadableNotice() {
    return L("备份记录文件 %@ 无法读取,已忽略。", DisplayText::path(Paths::abbreviate(filePath().string())));
}

}  // namespace BackupHistory
