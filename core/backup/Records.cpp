// The records of backups: the options and progress of a run, the reports of
// runs, offloads, evictions and plan runs with their JSON form, and the
// report made from a run's counts.
#include <algorithm>
#include <array>
#include <chrono>

#include "backup/Private.hpp"
#include "base/JSONCoding.hpp"

BackupOptions::BackupOptions() : excludes(defaultExcludes) {}
BackupOptions::BackupOptions(bool dryRun, std::vector<std::string> excludes)
    : dryRun(dryRun), excludes(std::move(excludes)) {}

const std::vector<std::string> BackupOptions::defaultExcludes = {
    ".DS_Store", ".localized", ".Trash", "node_modules", "DerivedData", ".build", "__pycache__"};
const std::vector<std::string> BackupOptions::offloadExcludes = {".DS_Store", ".localized"};

double BackupProgress::fraction() const {
    if (bytesTotal <= 0) return 0;
    return std::min(1.0, static_cast<double>(bytesDone) / static_cast<double>(bytesTotal));
}

namespace {
constexpr std::array<std::pair<BackupStatus, std::string_view>, 3> statusWords{{
    {BackupStatus::ok, "ok"},
    {BackupStatus::completedWithErrors, "completed_with_errors"},
    {BackupStatus::cancelled, "cancelled"},
}};
}  // namespace

namespace BackupStatuses {
std::string rawValue(BackupStatus status) {
    for (const auto& [candidate, word] : statusWords)
        if (candidate == status) return std::string(word);
    return {};
}

std::optional<BackupStatus> fromRaw(std::string_view raw) {
    for (const auto& [candidate, word] : statusWords)
        if (word == raw) return candidate;
    return std::nullopt;
}

BackupStatus of(bool cancelled, int64_t failed) {
    if (cancelled) return BackupStatus::cancelled;
    return failed > 0 ? BackupStatus::completedWithErrors : BackupStatus::ok;
}
}  // namespace BackupStatuses

void to_json(json& value, const BackupStatus& status) { value = BackupStatuses::rawValue(status); }

void from_json(const json& value, BackupStatus& status) {
    const auto raw = value.get<std::string>();
    const auto known = BackupStatuses::fromRaw(raw);
    if (!known) throw std::invalid_argument("unknown backup status: " + raw);
    status = *known;
}

namespace {

/// historyKeptAs stays out: it belongs to the run that wrote the history,
/// not to the stored record.
constexpr auto reportFields = JSONCoding::fields(
    JSONCoding::field("id", &BackupReport::id), JSONCoding::field("source", &BackupReport::source),
    JSONCoding::field("destinationId", &BackupReport::destinationId),
    JSONCoding::field("destinationName", &BackupReport::destinationName),
    JSONCoding::field("target", &BackupReport::target), JSONCoding::field("startedAt", &BackupReport::startedAt),
    JSONCoding::field("finishedAt", &BackupReport::finishedAt), JSONCoding::field("dryRun", &BackupReport::dryRun),
    JSONCoding::field("status", &BackupReport::status), JSONCoding::field("filesTotal", &BackupReport::filesTotal),
    JSONCoding::field("filesCopied", &BackupReport::filesCopied),
    JSONCoding::field("filesSkipped", &BackupReport::filesSkipped),
    JSONCoding::field("filesFailed", &BackupReport::filesFailed),
    JSONCoding::field("bytesCopied", &BackupReport::bytesCopied), JSONCoding::field("copied", &BackupReport::copied),
    JSONCoding::field("errors", &BackupReport::errors), JSONCoding::field("conflicts", &BackupReport::conflicts),
    JSONCoding::field("summary", &BackupReport::summary));

constexpr auto offloadFields = JSONCoding::fields(
    JSONCoding::field("backup", &OffloadReport::backup), JSONCoding::field("verified", &OffloadReport::verified),
    JSONCoding::field("sourceTrashed", &OffloadReport::sourceTrashed),
    JSONCoding::field("dryRun", &OffloadReport::dryRun), JSONCoding::field("bytes", &OffloadReport::bytes),
    JSONCoding::field("message", &OffloadReport::message));

constexpr auto evictFields = JSONCoding::fields(
    JSONCoding::field("path", &EvictReport::path), JSONCoding::field("evicted", &EvictReport::evicted),
    JSONCoding::field("failed", &EvictReport::failed), JSONCoding::field("freedBytes", &EvictReport::freedBytes),
    JSONCoding::field("message", &EvictReport::message));

constexpr auto planRunFields = JSONCoding::fields(JSONCoding::field("plan", &PlanRun::plan),
                                                  JSONCoding::field("report", &PlanRun::report),
                                                  JSONCoding::field("error", &PlanRun::error));

}  // namespace

/// Besides the record's fields, the notice about a history file set aside, for
/// whoever reads the report of this run.
void to_json(json& object, const BackupReport& report) {
    JSONCoding::write(object, report, reportFields);
    if (auto notice = historyNotice(report)) object["historyNotice"] = *notice;
}
void from_json(const json& object, BackupReport& report) { JSONCoding::read(object, report, reportFields); }
void to_json(json& object, const OffloadReport& report) { JSONCoding::write(object, report, offloadFields); }
void from_json(const json& object, OffloadReport& report) { JSONCoding::read(object, report, offloadFields); }
void to_json(json& object, const EvictReport& report) { JSONCoding::write(object, report, evictFields); }
void from_json(const json& object, EvictReport& report) { JSONCoding::read(object, report, evictFields); }
void to_json(json& object, const PlanRun& run) { JSONCoding::write(object, run, planRunFields); }

namespace BackupEngine {

BackupReport makeReport(const std::string& source, const BackupDestination& destination, const std::string& target,
                        Date started, bool dryRun, BackupStatus status, const Tally& tally) {
    BackupReport report;
    std::string bytesText = Fmt::bytes(tally.bytes);

    // Names that are no UTF-8 keep their bytes: the encoder escapes them, and
    // the paths still name what was copied.
    report.id = Text::randomIdentifier();
    report.source = source;
    report.destinationId = destination.id;
    report.destinationName = destination.name;
    report.target = target;
    report.startedAt = started;
    report.finishedAt = std::chrono::system_clock::now();
    report.dryRun = dryRun;
    report.status = status;
    report.filesTotal = tally.total;
    report.filesCopied = tally.copied;
    report.filesSkipped = tally.skipped;
    report.filesFailed = tally.failed;
    report.bytesCopied = tally.bytes;
    report.copied = bytesText;
    report.errors = tally.errors;
    if (!tally.conflicts.empty()) report.conflicts = tally.conflicts;
    report.summary.clear();
    report.summary = summaryText(report);
    return report;
}

}  // namespace BackupEngine
