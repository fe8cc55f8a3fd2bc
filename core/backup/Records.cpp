// The records of backups: the options and progress of a run, the reports of
// runs, offloads, evictions and plan runs with their JSON form, and the
// report made from a run's counts.
#include <algorithm>
#include <chrono>

#include "backup/Private.hpp"

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

void to_json(json& object, const BackupReport& report) {
    object = json{{"id", report.id},
                  {"source", report.source},
                  {"destinationId", report.destinationId},
                  {"destinationName", report.destinationName},
                  {"target", report.target},
                  {"startedAt", report.startedAt},
                  {"finishedAt", report.finishedAt},
                  {"dryRun", report.dryRun},
                  {"status", report.status},
                  {"filesTotal", report.filesTotal},
                  {"filesCopied", report.filesCopied},
                  {"filesSkipped", report.filesSkipped},
                  {"filesFailed", report.filesFailed},
                  {"bytesCopied", report.bytesCopied},
                  {"copied", report.copied},
                  {"errors", report.errors},
                  {"summary", report.summary}};
    if (auto notice = historyNotice(report)) object["historyNotice"] = *notice;
}

void from_json(const json& object, BackupReport& report) {
    object.at("id").get_to(report.id);
    object.at("source").get_to(report.source);
    object.at("destinationId").get_to(report.destinationId);
    object.at("destinationName").get_to(report.destinationName);
    object.at("target").get_to(report.target);
    object.at("startedAt").get_to(report.startedAt);
    object.at("finishedAt").get_to(report.finishedAt);
    object.at("dryRun").get_to(report.dryRun);
    object.at("status").get_to(report.status);
    object.at("filesTotal").get_to(report.filesTotal);
    object.at("filesCopied").get_to(report.filesCopied);
    object.at("filesSkipped").get_to(report.filesSkipped);
    object.at("filesFailed").get_to(report.filesFailed);
    object.at("bytesCopied").get_to(report.bytesCopied);
    object.at("copied").get_to(report.copied);
    object.at("errors").get_to(report.errors);
    object.at("summary").get_to(report.summary);
}

void to_json(json& object, const OffloadReport& report) {
    object = json{{"backup", report.backup},         {"verified", report.verified}, {"sourceTrashed", report.sourceTrashed},
                  {"dryRun", report.dryRun},         {"bytes", report.bytes},       {"message", report.message}};
}

void from_json(const json& object, OffloadReport& report) {
    object.at("backup").get_to(report.backup);
    object.at("verified").get_to(report.verified);
    object.at("sourceTrashed").get_to(report.sourceTrashed);
    object.at("dryRun").get_to(report.dryRun);
    object.at("bytes").get_to(report.bytes);
    object.at("message").get_to(report.message);
}

void to_json(json& object, const EvictReport& report) {
    object = json{{"path", Text::replacingInvalidUTF8(report.path)},
                  {"evicted", report.evicted},
                  {"failed", report.failed},
                  {"freedBytes", report.freedBytes},
                  {"message", report.message}};
}

void from_json(const json& object, EvictReport& report) {
    object.at("path").get_to(report.path);
    object.at("evicted").get_to(report.evicted);
    object.at("failed").get_to(report.failed);
    object.at("freedBytes").get_to(report.freedBytes);
    object.at("message").get_to(report.message);
}

void to_json(json& object, const PlanRun& run) {
    object = json{{"plan", run.plan}};
    JSONOut::putOptional(object, "report", run.report);
    JSONOut::putOptional(object, "error", run.error);
}

void from_json(const json& object, PlanRun& run) {
    object.at("plan").get_to(run.plan);
    JSONOut::getOptional(object, "report", run.report);
    JSONOut::getOptional(object, "error", run.error);
}

namespace BackupEngine {

BackupReport makeReport(const std::string& source, const BackupDestination& destination, const std::string& target,
                        Date started, bool dryRun, const std::string& status, const Tally& tally) {
    BackupReport report;
    std::string bytesText = Fmt::bytes(tally.bytes);

    // Names on disk need not be UTF-8; the report must still encode, or the
    // history would lose every entry at its next write.
    auto text = [](const std::string& value) { return Text::replacingInvalidUTF8(value); };
    report.id = Text::randomIdentifier();
    report.source = text(source);
    report.destinationId = destination.id;
    report.destinationName = destination.name;
    report.target = text(target);
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
    for (const auto& error : tally.errors) report.errors.push_back(text(error));
    report.summary.clear();
    report.summary = summaryText(report);
    return report;
}

}  // namespace BackupEngine
