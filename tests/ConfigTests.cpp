#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <regex>
#include <set>
#include <thread>

#include "TestSupport.hpp"
#include "backup/Backup.hpp"
#include "base/InputLimits.hpp"
#include "config/Config.hpp"

using namespace testing_support;

namespace {

class ConfigStoreTest : public HomeTest {
protected:
    fs::path configFile() const { return home.path(".config/Ostrevane/config.json"); }
    fs::path supportFolder() const { return configFile().parent_path(); }

    /// Files in the support folder kept aside by the store.
    std::vector<fs::path> keptFiles() const {
        std::vector<fs::path> kept;
        for (const auto& entry : fs::directory_iterator(supportFolder()))
            if (entry.path().filename().string().starts_with("config.unreadable-")) kept.push_back(entry.path());
        std::sort(kept.begin(), kept.end());
        return kept;
    }

    void addPlan(const std::string& source, const std::string& destination = "icloud") {
        ConfigStore::update([&](AppConfig& config) { config.plans.emplace_back(source, destination); });
    }
};

std::set<std::string> sources(const AppConfig& config) {
    std::set<std::string> result;
    for (const auto& plan : config.plans) result.insert(plan.source);
    return result;
}

}  // namespace

TEST_F(ConfigStoreTest, MissingFileReadsEmptyAndFirstUpdateCreatesIt) {
    EXPECT_FALSE(fs::exists(configFile()));
    AppConfig empty = ConfigStore::load();
    EXPECT_TRUE(empty.plans.empty());
    EXPECT_TRUE(empty.customDestinations.empty());

    addPlan("/data/photos");
    json stored = json::parse(readText(configFile()));
    ASSERT_EQ(stored["plans"].size(), 1u);
    EXPECT_EQ(stored["customDestinations"], json::array());
    const json& plan = stored["plans"][0];
    EXPECT_EQ(plan["source"], "/data/photos");
    EXPECT_EQ(plan["destinationId"], "icloud");
    // No last run yet: the three keys are left out, not written as null.
    EXPECT_FALSE(plan.contains("lastRun"));
    EXPECT_FALSE(plan.contains("lastStatus"));
    EXPECT_FALSE(plan.contains("lastSummary"));
    EXPECT_TRUE(keptFiles().empty());
}

// Pretty, with sorted keys and slashes as they are: other programs and
// people read this file.
TEST_F(ConfigStoreTest, FileIsPrettyWithSortedKeysAndUnescapedSlashes) {
    ConfigStore::update([](AppConfig& config) {
        config.customDestinations.push_back({"Archive", "~/Archive/2024"});
        BackupPlan plan("/data/a", "folder:Archive");
        plan.id = "0123abcd";
        config.plans.push_back(plan);
    });
    std::string text = readText(configFile());
    EXPECT_EQ(text,
              "{\n"
              "  \"customDestinations\": [\n"
              "    {\n"
              "      \"name\": \"Archive\",\n"
              "      \"path\": \"~/Archive/2024\"\n"
              "    }\n"
              "  ],\n"
              "  \"plans\": [\n"
              "    {\n"
              "      \"destinationId\": \"folder:Archive\",\n"
              "      \"id\": \"0123abcd\",\n"
              "      \"source\": \"/data/a\"\n"
              "    }\n"
              "  ]\n"
              "}");
}

TEST_F(ConfigStoreTest, LastRunRoundTripsAsWholeSecondISOText) {
    Date when = std::chrono::system_clock::from_time_t(1'765'231'276) + std::chrono::milliseconds(700);
    ConfigStore::update([&](AppConfig& config) {
        BackupPlan plan("/data/a", "icloud");
        plan.lastRun = when;
        plan.lastStatus = "ok";
        plan.lastSummary = "复制 3 个文件";
        config.plans.push_back(plan);
    });
    json stored = json::parse(readText(configFile()));
    EXPECT_EQ(stored["plans"][0]["lastRun"], ISODate::format(when));
    EXPECT_TRUE(stored["plans"][0]["lastRun"].get<std::string>().ends_with(":16Z"));

    BackupPlan loaded = ConfigStore::load().plans.at(0);
    EXPECT_EQ(loaded.lastRun, std::chrono::system_clock::from_time_t(1'765'231'276));
    EXPECT_EQ(loaded.lastStatus, "ok");
    EXPECT_EQ(loaded.lastSummary, "复制 3 个文件");
}

TEST_F(ConfigStoreTest, NewPlanIdsAreEightLowerCaseHexDigits) {
    std::set<std::string> ids;
    for (int i = 0; i < 200; ++i) {
        BackupPlan plan("/a", "b");
        EXPECT_TRUE(std::regex_match(plan.id, std::regex("[0-9a-f]{8}"))) << plan.id;
        EXPECT_FALSE(plan.lastRun || plan.lastStatus || plan.lastSummary);
        ids.insert(plan.id);
    }
    EXPECT_GT(ids.size(), 195u);
}

TEST_F(ConfigStoreTest, CustomDestinationIdFollowsItsName) {
    CustomDestination destination{"T7 移动硬盘", "/media/t7"};
    EXPECT_EQ(destination.id(), "folder:T7 移动硬盘");
    destination.name = "Renamed";
    EXPECT_EQ(destination.id(), "folder:Renamed");
}

TEST_F(ConfigStoreTest, EmptyFileReadsEmptyAndIsSimplyReplaced) {
    writeText(configFile(), "");
    EXPECT_TRUE(ConfigStore::load().plans.empty());
    addPlan("/x");
    EXPECT_EQ(ConfigStore::load().plans.size(), 1u);
    EXPECT_TRUE(keptFiles().empty());  // nothing worth keeping
}

TEST_F(ConfigStoreTest, UndecodableFilesAreKeptAsideBeforeBeingReplaced) {
    // Each of these reads as empty; none may be lost when the next change
    // writes a new file.
    const std::vector<std::string> broken = {
        "{\"customDestinations\": [], \"plans\": [",                                     // cut short
        "{\"plans\": [{\"id\": \"a\", \"source\": \"/s\", \"destinationId\": \"d\"}]}",  // key missing
        "{\"customDestinations\": [{\"name\": \"N\"}], \"plans\": []}",                  // entry without path
        "{\"customDestinations\": [], \"plans\": [{\"id\": \"a\", \"source\": \"/s\", "
        "\"destinationId\": \"d\", \"lastRun\": \"yesterday\"}]}",  // date not ISO
        "{\"customDestinations\": [], \"plans\": [{\"id\": 7, \"source\": \"/s\", \"destinationId\": \"d\"}]}",
        "[1, 2, 3]",
        "\xff\xfe garbage",
    };
    std::vector<fs::path> reported;
    ScopedHooks<ConfigStore::Hooks> hooks;
    hooks->setAside = [&](const fs::path& keptAs) { reported.push_back(keptAs); };

    for (size_t i = 0; i < broken.size(); ++i) {
        SCOPED_TRACE(broken[i]);
        writeText(configFile(), broken[i]);
        AppConfig loaded = ConfigStore::load();
        EXPECT_TRUE(loaded.plans.empty());
        EXPECT_TRUE(loaded.customDestinations.empty());
        EXPECT_EQ(readText(configFile()), broken[i]) << "a load must not touch the file";

        addPlan("/new");
        ASSERT_EQ(reported.size(), i + 1);
        EXPECT_EQ(reported.back().parent_path(), supportFolder());
        EXPECT_EQ(readText(reported.back()), broken[i]);
        AppConfig now = ConfigStore::load();
        ASSERT_EQ(now.plans.size(), 1u);
        EXPECT_EQ(now.plans[0].source, "/new");
    }
    // Several in the same second get distinct names.
    auto kept = keptFiles();
    EXPECT_EQ(kept.size(), broken.size());
    EXPECT_TRUE(std::regex_match(kept.front().filename().string(),
                                 std::regex(R"(config\.unreadable-\d{8}T\d{6}Z(-\d+)?\.json)")));
}

TEST_F(ConfigStoreTest, SavingOverAnUndecodableFileKeepsItToo) {
    writeText(configFile(), "not json");
    AppConfig config;
    config.customDestinations.push_back({"Disk", "/media/disk"});
    ConfigStore::save(config);
    ASSERT_EQ(keptFiles().size(), 1u);
    EXPECT_EQ(readText(keptFiles()[0]), "not json");
    EXPECT_EQ(ConfigStore::load().customDestinations.size(), 1u);
}

TEST_F(ConfigStoreTest, AFileOverTheSizeLimitIsIgnoredAndKeptAsideOnTheNextWrite) {
    addPlan("/kept");
    const std::string large = readText(configFile());
    ScopedHooks<InputLimits::Hooks> limits;
    limits->storedFileBytes = static_cast<int64_t>(large.size()) - 1;
    EXPECT_TRUE(ConfigStore::load().plans.empty());
    EXPECT_TRUE(ConfigStore::unreadable());
    addPlan("/new");
    ASSERT_EQ(keptFiles().size(), 1u);
    EXPECT_EQ(readText(keptFiles()[0]), large);
    EXPECT_EQ(sources(ConfigStore::load()), (std::set<std::string>{"/new"}));
}

// Plans are added until the file would pass the size limit: that write is
// refused with its reason and changes nothing, not even an unreadable file
// that would otherwise be kept aside; every write accepted reads back.
TEST_F(ConfigStoreTest, AWriteOverTheSizeLimitIsRefusedAndChangesNothing) {
    ScopedHooks<InputLimits::Hooks> limits;
    limits->storedFileBytes = 2048;
    size_t stored = 0;
    std::string refusal;
    for (; refusal.empty() && stored < 200; ++stored) {
        const std::string before = fs::exists(configFile()) ? readText(configFile()) : "";
        try {
            ConfigStore::updateOrThrow(
                [&](AppConfig& config) { config.plans.emplace_back("/data/" + std::to_string(stored), "icloud"); });
        } catch (const OstrevaneError& error) {
            refusal = error.message;
            EXPECT_EQ(readText(configFile()), before);
            break;
        }
        ASSERT_FALSE(ConfigStore::unreadable()) << "a file just written must read back; plans: " << stored + 1;
    }
    EXPECT_EQ(refusal, configFile().string() + ": " + std::strerror(EFBIG));
    EXPECT_EQ(ConfigStore::load().plans.size(), stored);
    EXPECT_GE(stored, 12u) << "each plan should take some 130 bytes";

    const std::string unreadable(2000, '{');
    writeText(configFile(), unreadable);
    EXPECT_THROW(ConfigStore::updateOrThrow([](AppConfig& config) {
                     config.plans.assign(40, BackupPlan("/data/a-long-enough-source-path", "icloud"));
                 }),
                 OstrevaneError);
    EXPECT_EQ(readText(configFile()), unreadable);
    EXPECT_TRUE(keptFiles().empty());
}

// Stored files are parsed under a depth limit, as every other input: a
// value nested deeper than any the programs write makes the file unreadable
// (so kept aside, never overwritten), even where the value would be ignored.
TEST_F(ConfigStoreTest, StoredFilesNestedTooDeeplyAreUnreadable) {
    const std::string deep = std::string(100, '[') + std::string(100, ']');
    writeText(configFile(), R"({"customDestinations":[],"plans":[],"note":)" + deep + "}");
    EXPECT_TRUE(ConfigStore::unreadable());
    writeText(configFile(), R"({"customDestinations":[],"plans":[],"note":[[[1]]]})");
    EXPECT_FALSE(ConfigStore::unreadable());

    BackupReport report;
    report.id = "00000001";
    json entry = report;
    entry["note"] = json::parse(deep);
    writeText(BackupHistory::filePath(), "[" + entry.dump() + "]");
    EXPECT_TRUE(BackupHistory::read().unreadable);
    entry["note"] = 1;
    writeText(BackupHistory::filePath(), "[" + entry.dump() + "]");
    EXPECT_FALSE(BackupHistory::read().unreadable);
}

TEST_F(ConfigStoreTest, FailedWritesAreDroppedByUpdateAndReportedByUpdateOrThrow) {
    addPlan("/kept");
    // A configuration larger than a stored file may be cannot be written; the
    // file must stay as it was.
    std::string before = readText(configFile());
    {
        ScopedHooks<InputLimits::Hooks> limits;
        limits->storedFileBytes = static_cast<int64_t>(before.size()) + 40;
        const std::string tooLong = "/" + std::string(100, 'a');
        EXPECT_THROW(ConfigStore::updateOrThrow([&](AppConfig& config) { config.plans.emplace_back(tooLong, "x"); }),
                     OstrevaneError);
        EXPECT_NO_THROW(ConfigStore::update([&](AppConfig& config) { config.plans.emplace_back(tooLong, "x"); }));
    }
    EXPECT_EQ(readText(configFile()), before);

    AppConfig written = ConfigStore::updateOrThrow([](AppConfig& config) { config.plans.emplace_back("/more", "x"); });
    EXPECT_EQ(written.plans.size(), 2u);
}

TEST_F(ConfigStoreTest, APathThatIsNoUTF8IsStoredEscapedAndReadBackAsItsBytes) {
    addPlan("/bad\xff");
    EXPECT_NE(readText(configFile()).find(R"("/bad\udcff")"), std::string::npos) << readText(configFile());
    ASSERT_EQ(ConfigStore::load().plans.size(), 1u);
    EXPECT_EQ(ConfigStore::load().plans[0].source, "/bad\xff");
}

TEST_F(ConfigStoreTest, UnwritableSupportFolderReadsEmptyAndRefusesWrites) {
    // The support folder's place is taken by a file, so nothing can be created there.
    writeText(supportFolder(), "in the way");
    EXPECT_TRUE(ConfigStore::load().plans.empty());
    EXPECT_THROW(ConfigStore::updateOrThrow([](AppConfig& config) { config.plans.emplace_back("/a", "b"); }),
                 OstrevaneError);
    EXPECT_NO_THROW(ConfigStore::save(AppConfig()));
    EXPECT_EQ(readText(supportFolder()), "in the way");
}

TEST_F(ConfigStoreTest, ConcurrentUpdatesFromThreadsLoseNothing) {
    constexpr int threads = 8, perThread = 25;
    std::vector<std::thread> workers;
    for (int t = 0; t < threads; ++t)
        workers.emplace_back([t] {
            for (int i = 0; i < perThread; ++i)
                ConfigStore::update([&](AppConfig& config) {
                    config.plans.emplace_back("/t" + std::to_string(t) + "/" + std::to_string(i), "icloud");
                });
        });
    for (auto& worker : workers) worker.join();
    EXPECT_EQ(sources(ConfigStore::load()).size(), static_cast<size_t>(threads * perThread));
}

TEST_F(ConfigStoreTest, ConcurrentUpdatesFromTwoProcessesLoseNothing) {
    constexpr int perProcess = 60;
    auto work = [](const std::string& tag) {
        for (int i = 0; i < perProcess; ++i)
            ConfigStore::update(
                [&](AppConfig& config) { config.plans.emplace_back("/" + tag + "/" + std::to_string(i), "icloud"); });
    };
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        work("child");
        _exit(0);
    }
    work("parent");
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);

    AppConfig config = ConfigStore::load();
    EXPECT_EQ(config.plans.size(), 2u * perProcess);
    EXPECT_EQ(sources(config).size(), 2u * perProcess);
}

TEST_F(ConfigStoreTest, RecordsDecodeFromTheirOwnJSON) {
    BackupPlan plan("/a", "rclone:b");
    plan.lastStatus = "failed";
    json encoded = plan;
    BackupPlan decoded = encoded.get<BackupPlan>();
    EXPECT_EQ(decoded.id, plan.id);
    EXPECT_EQ(decoded.lastStatus, "failed");
    EXPECT_FALSE(decoded.lastRun);
    // A null optional reads as absent.
    encoded["lastSummary"] = nullptr;
    EXPECT_FALSE(encoded.get<BackupPlan>().lastSummary);
}
