// The model's cleaning operations: moving to the Trash, emptying it and
// releasing iCloud Drive copies. One runs at a time, so an emptying of the
// Trash can never delete an item another clean has just told the user is
// restorable from it.
#include <algorithm>

#include "model/AppModel.hpp"
#include "model/TreeRemeasure.hpp"
#include "text/Localization.hpp"

namespace {

/// What a release of local copies came to.
struct EvictOutcome {
    int64_t evicted = 0;
    int64_t failed = 0;
    std::string message;
};

/// The paths as the cleaner acts on them, "~" expanded.
std::vector<std::string> expanded(const std::vector<std::string>& paths) {
    std::vector<std::string> result;
    for (const std::string& path : paths) result.push_back(Paths::expand(path));
    return result;
}

/// A suggestion whose clean threw: every path of it stayed where it was.
void addThrown(const Suggestion& suggestion, const std::string& reason, std::vector<CleanFailure>& failed) {
    if (suggestion.paths.empty()) failed.push_back({"", reason});
    for (const std::string& path : suggestion.paths) failed.push_back({Paths::expand(path), reason});
}

CleanResult applyEach(const std::function<CleanResult(const Suggestion&, bool)>& clean,
                      const std::vector<Suggestion>& chosen) {
    std::vector<std::string> trashed;
    std::vector<CleanFailure> failed;
    int64_t bytes = 0;
    for (const Suggestion& suggestion : chosen) {
        try {
            CleanResult result = clean(suggestion, false);
            trashed.insert(trashed.end(), result.trashed.begin(), result.trashed.end());
            failed.insert(failed.end(), result.failed.begin(), result.failed.end());
            bytes += result.bytes;
        } catch (const std::exception& error) {
            addThrown(suggestion, error.what(), failed);
        }
    }
    std::string message = L("已把 %@ 项(%@)移到废纸篓。", trashed.size(), Fmt::bytes(bytes));
    if (!failed.empty()) message += L("%@ 项无法移动(系统保护或正在使用)。", failed.size());
    message += L("清倒废纸篓后空间才会释放。");
    return CleanResult(false, std::move(trashed), std::move(failed), bytes, std::move(message));
}

EvictOutcome evictEach(const AppEngine& engine, const std::vector<std::string>& paths) {
    EvictOutcome outcome;
    const int64_t before = engine.freeBytes(paths);
    for (const std::string& path : paths) {
        try {
            EvictReport report = engine.evict(path);
            outcome.evicted += report.evicted;
            outcome.failed += report.failed;
        } catch (const std::exception&) {
            // Nothing of it was released: it stays local, like a file not yet uploaded.
            outcome.failed += 1;
        }
    }
    const int64_t freed = std::max<int64_t>(0, engine.freeBytes(paths) - before);
    outcome.message = L("已释放 %@ 个文件的本地副本,腾出约 %@(文件仍在 iCloud)。", outcome.evicted, Fmt::bytes(freed));
    if (outcome.failed >= 1) outcome.message += L("%@ 个尚未上传完成,保持不动。", outcome.failed);
    return outcome;
}

/// An emptying's message with what it left and why: the window shows no
/// list of failures, and a Trash folder left alone must not go unmentioned.
std::string emptyingNotice(const CleanResult& result) {
    constexpr size_t named = 3;
    std::string text = result.message;
    for (size_t index = 0; index < std::min(named, result.failed.size()); ++index)
        text += L("%@:%@。", Paths::abbreviate(result.failed[index].path), result.failed[index].reason);
    if (result.failed.size() > named) text += " " + L("… 另有 %@ 项", result.failed.size() - named);
    return text;
}

}  // namespace

bool AppModel::beginClean(const std::string& key) {
    if (busySuggestion_) return false;
    busySuggestion_ = key;
    publish(Change::cleaning);
    return true;
}

void AppModel::apply(const Suggestion& suggestion) {
    if (!beginClean(suggestion.id)) return;
    const bool emptying = suggestion.action == CleanAction::emptyTrash;
    cleanInBackground(
        expanded(suggestion.paths),
        [clean = runtime.engine.applySuggestion, suggestion] { return clean(suggestion, false); }, emptying);
}

void AppModel::applyAllSafe() {
    if (report_) applyAllSafe(*report_);
}

void AppModel::applyAllSafe(const SuggestionReport& shown) {
    std::vector<Suggestion> chosen;
    std::vector<std::string> touched;
    for (const Suggestion& suggestion : shown.suggestions)
        if (suggestion.risk == Risk::safe && suggestion.autoApplicable) {
            chosen.push_back(suggestion);
            for (std::string& path : expanded(suggestion.paths)) touched.push_back(std::move(path));
        }
    if (chosen.empty() || !beginClean("all-safe")) return;
    cleanInBackground(
        std::move(touched), [clean = runtime.engine.applySuggestion, chosen] { return applyEach(clean, chosen); },
        false);
}

void AppModel::trash(const std::vector<std::string>& paths) {
    if (!beginClean("trash")) return;
    cleanInBackground(
        expanded(paths), [trash = runtime.engine.trash, paths] { return trash(paths, false); }, false);
}

void AppModel::emptyTrash() {
    if (!beginClean("empty-trash")) return;
    cleanInBackground(
        {}, [empty = runtime.engine.emptyTrash] { return empty(); }, true);
}

void AppModel::cleanInBackground(std::vector<std::string> touched, std::function<CleanResult()> clean, bool emptying) {
    background(
        Priority::standard,
        [clean = std::move(clean), touched = std::move(touched), scan = scan_, engine = runtime.engine] {
            CleanDone done;
            done.scan = TreeRemeasure::around(scan, withTrash(touched, engine), engine.measure,
                                              [&] { done.result = clean(); });
            return done;
        },
        [emptying, version = scanVersion](AppModel& model, Outcome<CleanDone> outcome) {
            model.finishClean(std::move(outcome), emptying, version);
        });
}

void AppModel::finishClean(Outcome<CleanDone> outcome, bool wasEmptyTrash, uint64_t version) {
    busySuggestion_.reset();
    // Told by the notice below.
    changedUnpublished(Change::cleaning);
    // Even a clean that failed part-way may have moved or removed something.
    trashChanged_ = true;
    if (!outcome.value) {
        notify(outcome.error, true);
    } else {
        const CleanResult& result = outcome.value->result;
        if (!result.trashed.empty()) {
            notify(result.message, false);
            trashPending_ = !wasEmptyTrash;
        } else {
            notify(wasEmptyTrash ? emptyingNotice(result) : result.message, !result.failed.empty());
            // An emptied Trash that listed no items still counts as emptied.
            if (wasEmptyTrash) trashPending_ = false;
        }
        // The Trash flag changed after the notice: told by what follows.
        changedUnpublished(Change::cleaning);
        followScan(outcome.value->scan, version, wasEmptyTrash ? std::vector<std::string>{} : result.trashed);
    }
    readVolumes();
    analyze();
}

void AppModel::evict(const std::vector<std::string>& paths, const std::string& key) {
    if (!beginClean(key)) return;
    background(
        Priority::standard, [engine = runtime.engine, paths] { return evictEach(engine, paths); },
        [](AppModel& model, Outcome<EvictOutcome> outcome) {
            model.busySuggestion_.reset();
            model.changedUnpublished(Change::cleaning);
            if (!outcome.value) {
                model.notify(outcome.error, true);
            } else {
                model.notify(outcome.value->message, outcome.value->failed > 0 && outcome.value->evicted == 0);
            }
            model.readVolumes();
            if (outcome.value && outcome.value->evicted > 0) model.rescan();
        });
}
