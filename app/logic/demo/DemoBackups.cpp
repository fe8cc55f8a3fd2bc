// The demo's backup half: three destinations, three plans, three reports.
#include "base/JSONCoding.hpp"
#include "base/Paths.hpp"
#include "demo/DemoData.hpp"
#include "model/UUID.hpp"
#include "text/Localization.hpp"

namespace Demo::detail {

namespace {

/// The engine's BackupDestination, field for field; absent optionals left out.
struct DestinationShape {
    std::string id;
    std::string kind;
    std::string name;
    std::optional<std::string> path;
    std::optional<std::string> rcloneRemote;
    bool available;
    std::optional<std::string> note;
};
constexpr auto destinationShapeFields = JSONCoding::fields(
    JSONCoding::field("id", &DestinationShape::id), JSONCoding::field("kind", &DestinationShape::kind),
    JSONCoding::field("name", &DestinationShape::name), JSONCoding::field("path", &DestinationShape::path),
    JSONCoding::field("rcloneRemote", &DestinationShape::rcloneRemote),
    JSONCoding::field("available", &DestinationShape::available), JSONCoding::field("note", &DestinationShape::note));
void to_json(json& document, const DestinationShape& shape) {
    JSONCoding::write(document, shape, destinationShapeFields);
}

/// The engine's BackupReport, field for field.
struct BackupShape {
    std::string id, source, destinationId, destinationName, target;
    Date startedAt, finishedAt;
    bool dryRun;
    std::string status;
    int64_t filesTotal, filesCopied, filesSkipped, filesFailed, bytesCopied;
    std::string copied;
    std::vector<std::string> errors;
    std::string summary;
};
NLOHMANN_DEFINE_TYPE_NON_INTRUSIVE_WITH_DEFAULT(BackupShape, id, source, destinationId, destinationName, target,
                                                startedAt, finishedAt, dryRun, status, filesTotal, filesCopied,
                                                filesSkipped, filesFailed, bytesCopied, copied, errors, summary)

constexpr double hours20 = 72'000, days3 = 259'200, days8 = 691'200;
const char* const documentsSummary = "复制 214 个文件(1.3 GB),其余未变化";
const char* const codeSummary = "复制 1,032 个文件(820 MB),其余未变化";

/// One history row: what differs between the three reports.
struct Run {
    std::string source, destinationId, destinationName, target;
    double startedAgo;
    int64_t filesTotal, filesCopied, bytesCopied;
    std::string summary;
};

BackupReport reportOf(const Run& run, Date now) {
    const Date started = offset(now, -run.startedAgo);
    BackupShape shape{UUIDs::make(),
                      run.source,
                      run.destinationId,
                      run.destinationName,
                      run.target,
                      started,
                      offset(started, 140),
                      false,
                      "ok",
                      run.filesTotal,
                      run.filesCopied,
                      run.filesTotal - run.filesCopied,
                      0,
                      run.bytesCopied,
                      Fmt::bytes(run.bytesCopied),
                      {},
                      run.summary};
    return convert<BackupReport>(shape, "BackupReport");
}

}  // namespace

std::vector<BackupDestination> destinations(const std::string& home) {
    const std::vector<DestinationShape> shapes{
        {"icloud", "icloud", L("iCloud 云盘"), Paths::joined(home, "Library/Mobile Documents/com~apple~CloudDocs"),
         std::nullopt, true, L("文件复制进 iCloud 云盘后由系统上传;开启存储优化后本地副本会按需释放。")},
        {"googledrive", "googleDrive", "Google Drive", Paths::joined(home, "Library/CloudStorage/GoogleDrive/My Drive"),
         std::nullopt, true, std::nullopt},
        {"folder:t7", "folder", L("T7 移动硬盘"), "/Volumes/T7", std::nullopt, true, std::nullopt},
    };
    std::vector<BackupDestination> result;
    for (const DestinationShape& shape : shapes)
        result.push_back(convert<BackupDestination>(shape, "BackupDestination"));
    return result;
}

std::vector<BackupPlan> plans(const std::string& home, Date now) {
    BackupPlan documents(Paths::joined(home, "Documents"), "icloud");
    documents.lastRun = offset(now, -hours20);
    documents.lastStatus = BackupStatuses::rawValue(BackupStatus::ok);
    documents.lastSummary = L(documentsSummary);
    BackupPlan code(Paths::joined(home, "Code"), "folder:t7");
    code.lastRun = offset(now, -days3);
    code.lastStatus = BackupStatuses::rawValue(BackupStatus::ok);
    code.lastSummary = L(codeSummary);
    BackupPlan desktop(Paths::joined(home, "Desktop"), "googledrive");
    return {documents, code, desktop};
}

std::vector<BackupReport> history(const std::string& home, Date now) {
    const std::string icloudTarget = home +
                                     "/Library/Mobile Documents/com~apple~CloudDocs/Ostrevane Backups/MacBook Pro" +
                                     "/Documents";
    const std::vector<Run> runs{
        {Paths::joined(home, "Documents"), "icloud", L("iCloud 云盘"), icloudTarget, hours20, 18516, 214, 1'300'000'000,
         L(documentsSummary)},
        {Paths::joined(home, "Code"), "folder:t7", L("T7 移动硬盘"), "/Volumes/T7/Ostrevane Backups/MacBook Pro/Code",
         days3, 96204, 1032, 820'000'000, L(codeSummary)},
        {Paths::joined(home, "Documents"), "icloud", L("iCloud 云盘"), icloudTarget, days8, 18340, 18340,
         14'900'000'000, L("首次备份:复制 18,340 个文件(14.9 GB)")},
    };
    std::vector<BackupReport> result;
    for (const Run& run : runs) result.push_back(reportOf(run, now));
    return result;
}

}  // namespace Demo::detail
