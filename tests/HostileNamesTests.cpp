// A name chosen by someone else (a disk's label, a folder a program made)
// holding a command, terminal controls and invisible characters: every path
// the tool prints for it, pasted into bash, is that path and runs nothing, and
// an id it printed reads back as that id.
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <functional>
#include <regex>
#include <sstream>
#include <string>

#include "SealedMachine.hpp"
#include "TestSupport.hpp"
#include "backup/Backup.hpp"
#include "base/Shell.hpp"

using namespace testing_support;

namespace {

const std::string hostile = "x$(touch PWNED)\x1b[1m\n\t\u200b\u00a0!y";

class HostileNames : public HomeTest {
protected:
    void SetUp() override {
        // A silent rclone stand-in keeps the tool away from any real rclone.
        const fs::path bin = home.scratch() / "bin";
        writeText(bin / "rclone", "#!/bin/sh\nexit 0\n");
        fs::permissions(bin / "rclone", fs::perms::owner_all);
        path = std::make_unique<ScopedEnv>("PATH", bin.string() + ":" + std::getenv("PATH"));
        fs::create_directories(cwd);
    }

    fs::path folder(const fs::path& created) {
        fs::create_directories(created);
        return created;
    }

    /// Each quoted path or name the output shows ("~/" and all), as bash
    /// reads it pasted; run in a folder of its own, where whatever it ran
    /// would show.
    std::vector<std::string> pastedBack(const CLIResult& result) {
        static const std::regex quoted("(~/)?\\$'[^']*'");
        std::vector<std::string> read;
        const std::string output = result.out + result.err;
        for (std::sregex_iterator each(output.begin(), output.end(), quoted), end; each != end; ++each) {
            auto pasted = Shell::run(
                "/bin/bash",
                {"-c", "HOME=\"$OSTREVANE_HOME\"; cd '" + cwd.string() + "' || exit 9; printf %s " + each->str()}, 60);
            EXPECT_EQ(pasted.status, 0) << each->str();
            EXPECT_TRUE(entriesOf(cwd).empty()) << each->str();
            read.push_back(pasted.stdoutText);
        }
        return read;
    }

    fs::path cwd = home.scratch() / "cwd";
    std::unique_ptr<ScopedEnv> path;
};

std::string userName() {
    const passwd* entry = ::getpwuid(::getuid());
    return entry && entry->pw_name ? entry->pw_name : "";
}

/// A removable disk mounted where a desktop mounts one, at `/media/<user>/<label>`
/// of the sealed machine, for the tool the test starts; unmounted with the object.
class PluggedDisk {
public:
    explicit PluggedDisk(const std::string& label)
        : point(sealedRoot() / "media" / userName() / label), kept(readText(table)) {
        fs::create_directories(point);
        writeText(table, mountLine(1, sealedRoot(), 1) + mountLine(2, point, 2));
    }
    ~PluggedDisk() { writeText(table, kept); }
    const fs::path point;

private:
    fs::path table = sealedRoot() / "proc/self/mountinfo";
    std::string kept;
};

TEST_F(HostileNames, EveryPathACommandPrintsPastedIntoBashIsThatPath) {
    struct Case {
        std::string what;
        /// How the line that names it starts ("": any line).
        std::string line;
        /// Runs the command; gives the path (or id) that line must name.
        std::function<std::pair<CLIResult, std::string>()> run;
    };
    const std::vector<Case> cases = {
        {"status's mount points", "",
         [&] {
             PluggedDisk disk(hostile);
             return std::pair{runCLI({"status"}), disk.point.string()};
         }},
        {"the destinations listing's id", "✓ ",
         [&] {
             PluggedDisk disk(hostile);
             return std::pair{runCLI({"destinations"}), "volume:" + hostile};
         }},
        {"a destination refused", "Error: ",
         [&] {
             const fs::path cache = folder(home.path(".cache/pip/" + hostile));
             return std::pair{runCLI({"destinations", "add", "D", "~/.cache/pip/" + hostile}), cache.string()};
         }},
        {"the offload's dry run", "Dry run: ",
         [&] {
             const fs::path disk = folder(home.path("Disk/" + hostile));
             writeFile(home.path("Old/a.txt"), 10);
             return std::pair{runCLI({"offload", "~/Old", "--to", disk.string()}),
                              (disk / BackupEngine::relativeTarget(home.path("Old").string())).string()};
         }},
        {"the plan's source", "Error: ",
         [&] {
             const fs::path disk = folder(home.path("Disks/T7"));
             const fs::path source = folder(home.path("Documents/" + hostile));
             writeText(source / "q.txt", "q");
             EXPECT_EQ(runCLI({"plans", "add", source.string(), "--to", disk.string()}).status, 0);
             fs::rename(source, home.path("moved"));
             fs::create_directory_symlink(folder(home.path("Other")), source);
             return std::pair{runCLI({"plans", "run"}), source.string()};
         }},
        {"a clean's kept destination", "This is the backup destination ",
         [&] {
             const fs::path kept = home.path(".cache/pip/" + hostile);
             allocate(kept / "wheel", 60'000'000);
             // Added by hand, before destinations were checked.
             writeText(home.path(".config/Ostrevane/config.json"),
                       json{{"customDestinations", json::array({{{"name", "D"}, {"path", kept.string()}}})},
                            {"plans", json::array()}}
                           .dump());
             return std::pair{runCLI({"clean", "xdg-cache-apps"}), kept.string()};
         }},
        {"a folder of the tool's own refused", "Not using ",
         [&] {
             const fs::path shared = folder(home.scratch() / hostile);
             EXPECT_EQ(::chmod(shared.c_str(), 0777), 0);
             ScopedEnv noOverride("OSTREVANE_HOME", std::nullopt);
             ScopedEnv realHome("HOME", home.home());
             ScopedEnv configHome("XDG_CONFIG_HOME", shared.string());
             return std::pair{runCLI({"destinations"}), shared.string()};
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const auto [result, named] = c.run();
        const std::string output = result.out + result.err;
        const size_t start = output.find(c.line);
        ASSERT_NE(start, std::string::npos) << output;
        const size_t end = c.line.empty() ? std::string::npos : output.find('\n', start);
        const auto read = pastedBack({0, output.substr(start, end - start), ""});
        EXPECT_NE(std::find(read.begin(), read.end(), named), read.end()) << output;
    }
}

// An id with such a label goes back to the tool as typed or as listed.
TEST_F(HostileNames, AnIdIsTakenRawAndInItsListedForm) {
    PluggedDisk disk(hostile);
    folder(home.path("Mine"));
    writeFile(home.path("Old/a.txt"), 10);
    auto listed = [&](const std::string& id) {
        const CLIResult listing = runCLI({"destinations"});
        // Each line is the mark, a space, the id and two spaces.
        std::istringstream lines(listing.out);
        for (std::string line; std::getline(lines, line);) {
            const size_t begin = line.find(' ') + 1, stop = line.find("  ", begin);
            if (begin == 0 || stop == std::string::npos) continue;
            const std::string shown = line.substr(begin, stop - begin);
            if (pastedBack({0, shown, ""}) == std::vector<std::string>{id}) return shown;
        }
        ADD_FAILURE() << listing.out;
        return std::string();
    };
    struct Case {
        std::string what;
        std::string id;
        std::function<std::vector<std::string>(const std::string& id)> words;
        std::function<void()> prepare = [] {};
    };
    const std::vector<Case> cases = {
        {"offload --to", "volume:" + hostile,
         [](const std::string& id) {
             return std::vector<std::string>{"offload", "~/Old", "--to", id};
         }},
        {"plans add --to", "volume:" + hostile,
         [](const std::string& id) {
             return std::vector<std::string>{"plans", "add", "~/Old", "--to", id};
         }},
        {"destinations remove", "folder:" + hostile,
         [](const std::string& id) {
             return std::vector<std::string>{"destinations", "remove", id};
         },
         [&] {
             EXPECT_EQ(runCLI({"destinations", "add", hostile, home.path("Mine").string()}).status, 0);
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        for (const bool raw : {true, false}) {
            c.prepare();
            const CLIResult result = runCLI(c.words(raw ? c.id : listed(c.id)));
            EXPECT_EQ(result.status, 0) << (raw ? "raw: " : "listed: ") << result.out << result.err;
        }
    }
}

}  // namespace
