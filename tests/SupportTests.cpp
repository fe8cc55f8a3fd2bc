#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <limits>
#include <thread>
#include <type_traits>

#include "OwnFolders.hpp"
#include "Support.hpp"
#include "TestSupport.hpp"
#include "base/DisplayText.hpp"
#include "platform/Platform.hpp"
#include "text/Localization.hpp"

using namespace testing_support;
using namespace std::chrono;

namespace {
std::string cwd() { return Paths::standardize(fs::current_path().string()); }
}  // namespace

TEST(Paths, ExpandTrimsTildesAndDots) {
    ScopedHome home;
    EXPECT_EQ(Paths::expand("  ~/Downloads/ \n"), home.home() + "/Downloads");
    EXPECT_EQ(Paths::expand("~"), home.home());
    EXPECT_EQ(Paths::expand("/"), "/");
    EXPECT_EQ(Paths::expand("a/../b"), cwd() + "/b");
    EXPECT_EQ(Paths::expand(""), cwd());
    EXPECT_EQ(Paths::expand("~other/x"), cwd() + "/~other/x");
    EXPECT_EQ(Paths::expand("/a//b/./c/.."), "/a/b");
    EXPECT_EQ(Paths::expand("/.."), "/");
}

TEST(Paths, EdgeBlanksAreKeptWhenThePathAsGivenExists) {
    ScopedHome home;
    writeFile(home.path(" lead"));
    writeFile(home.path("trail "));
    writeFile(home.path("plain"));
    const std::string h = home.home();
    const struct {
        std::string given, expanded;
    } cases[] = {
        {"~/ lead", h + "/ lead"},  {"~/trail ", h + "/trail "},      {"~/plain ", h + "/plain"},
        {" ~/plain", h + "/plain"}, {h + "/ plain\t", h + "/ plain"},
    };
    for (const auto& c : cases) EXPECT_EQ(Paths::expand(c.given), c.expanded) << "[" << c.given << "]";
}

TEST(Paths, NulBytesAndBlankPathsAreUnusable) {
    ScopedHome home;
    const struct {
        std::string given;
        std::optional<std::string> reason;
    } cases[] = {
        {std::string("~\0/x", 4), "The path contains a NUL byte"},
        {std::string(" \0", 2), "The path contains a NUL byte"},
        {"", "The path is blank"},
        {" \t\n", "The path is blank"},
        {" a", std::nullopt},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Paths::unusable(c.given), c.reason) << "[" << c.given << "]";
        if (c.reason) {
            EXPECT_THROW(Paths::expandGiven(c.given), OstrevaneError);
        }
    }
}

TEST(Paths, RelativeHomeOverrideIsTakenAgainstTheWorkingDirectory) {
    TempDir dir;
    auto previous = fs::current_path();
    fs::current_path(dir.path());
    {
        ScopedEnv env("OSTREVANE_HOME", "rel/../myhome");
        ScopedHooks<Platform::Hooks> decided(Platform::Hooks::decidedOnce());
        std::string expected = Paths::standardize(fs::current_path().string()) + "/myhome";
        EXPECT_EQ(Paths::home(), expected);
        EXPECT_EQ(Paths::supportDir().string(), expected + "/.config/Ostrevane");
        EXPECT_TRUE(fs::is_directory(Paths::supportDir()));
        EXPECT_TRUE(fs::is_directory(Paths::cacheDir()));
    }
    fs::current_path(previous);
}

TEST(Paths, SupportAndCacheFoldersAreTheXDGBaseFolders) {
    TempDir dir;
    const std::string base = Paths::standardize(dir.path().string());
    ScopedEnv config("XDG_CONFIG_HOME", base + "/config");
    ScopedEnv cache("XDG_CACHE_HOME", base + "/cache");
    ScopedEnv realHome("HOME", base + "/real");
    {
        ScopedEnv override("OSTREVANE_HOME", std::nullopt);
        ScopedHooks<Platform::Hooks> decided(Platform::Hooks::decidedOnce());
        EXPECT_EQ(Paths::supportDir().string(), base + "/config/Ostrevane");
        EXPECT_EQ(Paths::cacheDir().string(), base + "/cache/Ostrevane");
        ScopedEnv relative("XDG_CACHE_HOME", "cache");  // invalid: the default applies
        EXPECT_EQ(Paths::cacheDir().string(), base + "/real/.cache/Ostrevane");
    }
    {
        // The variables describe the real home, not the one the override sets.
        ScopedEnv override("OSTREVANE_HOME", base + "/home");
        ScopedHooks<Platform::Hooks> decided(Platform::Hooks::decidedOnce());
        EXPECT_EQ(Paths::supportDir().string(), base + "/home/.config/Ostrevane");
        EXPECT_EQ(Paths::cacheDir().string(), base + "/home/.cache/Ostrevane");
        EXPECT_FALSE(fs::exists(base + "/home/Library"));
    }
}

// The desktop's own Trash is the real user's, wherever the engine's home is.
TEST(Platform, RealDataHomeIsTheUsersWhateverTheEngineHome) {
    ScopedEnv realHome("HOME", "/real");
    ScopedEnv override("OSTREVANE_HOME", "/engine");
    const std::pair<std::optional<std::string>, std::string> cases[] = {
        {"/data", "/data"},
        {"data", "/real/.local/share"},  // relative: invalid, so the default
        {"", "/real/.local/share"},
        {std::nullopt, "/real/.local/share"},
    };
    for (const auto& [variable, folder] : cases) {
        ScopedEnv data("XDG_DATA_HOME", variable);
        EXPECT_EQ(Platform::realDataHome(), folder) << variable.value_or("unset");
    }
}

TEST(Paths, HomeIgnoresAnEmptyOverride) {
    ScopedEnv env("OSTREVANE_HOME", "");
    ScopedEnv realHome("HOME", "/somewhere/else");
    ScopedHooks<Platform::Hooks> decided(Platform::Hooks::decidedOnce());
    EXPECT_EQ(Paths::home(), "/somewhere/else");
}

TEST(Paths, AbbreviateAndContainment) {
    ScopedHome home;
    EXPECT_EQ(Paths::abbreviate(home.home()), "~");
    EXPECT_EQ(Paths::abbreviate(home.home() + "/Movies/a"), "~/Movies/a");
    EXPECT_EQ(Paths::abbreviate(home.home() + "2/x"), home.home() + "2/x");
    EXPECT_EQ(Paths::abbreviate("/etc"), "/etc");

    EXPECT_TRUE(Paths::isInside("/a/b", "/a/b"));
    EXPECT_TRUE(Paths::isInside("/a/b/c", "/a/b/"));
    EXPECT_FALSE(Paths::isInside("/a/bc", "/a/b"));
    EXPECT_TRUE(Paths::isInside("/x", "/"));
}

TEST(Fmt, Bytes) {
    EXPECT_EQ(Fmt::bytes(0), "0 KB");
    EXPECT_EQ(Fmt::bytes(-5), "0 KB");
    EXPECT_EQ(Fmt::bytes(1), "1 byte");
    EXPECT_EQ(Fmt::bytes(999), "999 bytes");
    EXPECT_EQ(Fmt::bytes(1000), "1 KB");
    EXPECT_EQ(Fmt::bytes(1499), "1 KB");
    EXPECT_EQ(Fmt::bytes(1500), "2 KB");
    EXPECT_EQ(Fmt::bytes(999'499), "999 KB");
    EXPECT_EQ(Fmt::bytes(999'500), "1 MB");
    EXPECT_EQ(Fmt::bytes(1'000'000), "1 MB");
    EXPECT_EQ(Fmt::bytes(1'550'000), "1.6 MB");
    EXPECT_EQ(Fmt::bytes(12'400'000'000), "12.4 GB");
    EXPECT_EQ(Fmt::bytes(12'345'678'901), "12.35 GB");
    EXPECT_EQ(Fmt::bytes(2'000'000'000'000), "2 TB");
    EXPECT_EQ(Fmt::bytes(std::numeric_limits<int64_t>::max()), "9.22 EB");
}

TEST(Fmt, PercentRoundsHalvesAwayFromZero) {
    EXPECT_DOUBLE_EQ(Fmt::percent(1, 3), 33.3);
    EXPECT_DOUBLE_EQ(Fmt::percent(2, 3), 66.7);
    EXPECT_DOUBLE_EQ(Fmt::percent(5, 0), 0);
    EXPECT_DOUBLE_EQ(Fmt::percent(5, -1), 0);
    EXPECT_DOUBLE_EQ(Fmt::percent(1, 2000), 0.1);  // 0.05 % rounds up
    EXPECT_DOUBLE_EQ(Fmt::percent(3, 3), 100);
}

TEST(Fmt, DaysAndRelativeTimes) {
    ScopedHome home("zh");
    Date now = system_clock::from_time_t(1'800'000'000);
    auto before = [&](int64_t seconds) { return now - std::chrono::seconds(seconds); };
    EXPECT_EQ(Fmt::daysSince(before(86400 * 3 - 1), now), 2);
    EXPECT_EQ(Fmt::daysSince(now + hours(48), now), 0);

    EXPECT_EQ(Fmt::ago(before(59), now), "刚刚");
    EXPECT_EQ(Fmt::ago(now + hours(1), now), "刚刚");
    EXPECT_EQ(Fmt::ago(before(60), now), "1 分钟前");
    EXPECT_EQ(Fmt::ago(before(3600 * 5), now), "5 小时前");
    EXPECT_EQ(Fmt::ago(before(86400 * 59), now), "59 天前");
    EXPECT_EQ(Fmt::ago(before(86400 * 60), now), "2 个月前");
    EXPECT_EQ(Fmt::ago(before(86400 * 729), now), "24 个月前");
    EXPECT_EQ(Fmt::ago(before(86400 * 730), now), "2 年前");
}

TEST(Fmt, RelativeTimesInEnglishPickSingular) {
    ScopedHome home("en");
    Date now = system_clock::from_time_t(1'800'000'000);
    EXPECT_EQ(Fmt::ago(now - seconds(60), now), "1 minute ago");
    EXPECT_EQ(Fmt::ago(now - seconds(120), now), "2 minutes ago");
    EXPECT_EQ(Fmt::ago(now - days(800), now), "2 years ago");
    EXPECT_EQ(Fmt::ago(now, now), "just now");
}

TEST(ISODate, RoundTripsAndRejectsOtherForms) {
    Date date = system_clock::from_time_t(1'765'231'276) + milliseconds(900);
    EXPECT_EQ(ISODate::format(date), "2025-12-08T22:01:16Z");
    EXPECT_EQ(ISODate::parse("2025-12-08T22:01:16Z"), system_clock::from_time_t(1'765'231'276));
    EXPECT_EQ(ISODate::parse("2025-12-08T23:01:16+01:00"), system_clock::from_time_t(1'765'231'276));
    EXPECT_FALSE(ISODate::parse("2025-12-08 22:01:16Z"));
    EXPECT_FALSE(ISODate::parse("2025-12-08T22:01:16"));
    EXPECT_FALSE(ISODate::parse("2025-13-08T22:01:16Z"));
    EXPECT_FALSE(ISODate::parse("yesterday"));
    EXPECT_EQ(ISODate::format(system_clock::from_time_t(-1)), "1969-12-31T23:59:59Z");
}

TEST(JSONOut, SortedKeysUnescapedSlashesAndFailures) {
    json value = {{"zeta", 1}, {"alpha", "a/b"}, {"when", system_clock::from_time_t(0)}};
    EXPECT_EQ(JSONOut::encode(value, false), R"({"alpha":"a/b","when":"1970-01-01T00:00:00Z","zeta":1})");
    EXPECT_EQ(JSONOut::encode(value, true).find("\n  \"alpha\": \"a/b\""), 1u);
    EXPECT_EQ(JSONOut::encode(json{{"x", std::nan("")}}), JSONOut::failureDocument);
    EXPECT_EQ(JSONOut::encode(json::array({1.0, INFINITY})), JSONOut::failureDocument);
    EXPECT_EQ(JSONOut::encode(json(std::string("bad \xff name"))), R"("bad \udcff name")");
}

TEST(JSONOut, DelAndC1ControlsAreEscapedAndTheValueKept) {
    // DEL, U+0080, U+009B (CSI) and U+009F; U+00A0 and U+00E9 stay as they are.
    const std::string raw = "a\x7f b\xc2\x80 c\xc2\x9b[31m d\xc2\x9f e\xc2\xa0 \xc3\xa9";
    const std::string encoded = JSONOut::encode(json(raw), false);
    EXPECT_EQ(encoded, "\"a\\u007f b\\u0080 c\\u009b[31m d\\u009f e\xc2\xa0 \xc3\xa9\"");
    EXPECT_EQ(json::parse(encoded), raw);
}

// A sentence takes a path only in the form DisplayText::path writes it.
static_assert(!std::is_constructible_v<DisplayText::QuotedPath, std::string>);
static_assert(!std::is_invocable_v<decltype(&OwnFolders::refusalLine), std::string, FolderTrust::Failure>);

TEST(DisplayText, BidiControlsAreWrittenAsEscapes) {
    const std::vector<std::pair<std::string, std::string>> cases{
        {"evil\u202Etxt.exe", "evil\\u202etxt.exe"},
        {"\u2066a\u2069 \u200F\u061C", "\\u2066a\\u2069 \\u200f\\u061c"},
        {"plain 名字 \u2028 \u2065", "plain 名字 \u2028 \u2065"},
    };
    for (const auto& [raw, shown] : cases) EXPECT_EQ(DisplayText::escapingBidiControls(raw), shown) << raw;
}

TEST(CancelToken, MovesOnlyFromLiveToCancelled) {
    auto token = std::make_shared<CancelToken>();
    EXPECT_FALSE(token->isCancelled());
    EXPECT_FALSE(isCancelled(nullptr));
    token->cancel();
    token->cancel();
    EXPECT_TRUE(isCancelled(token));
}

TEST(Text, Utf8RepairAndShellQuoting) {
    EXPECT_TRUE(Text::isValidUTF8("磁盘 ok"));
    EXPECT_FALSE(Text::isValidUTF8("a\xC0\xAF"));     // overlong
    EXPECT_FALSE(Text::isValidUTF8("\xED\xA0\x80"));  // surrogate
    EXPECT_EQ(Text::replacingInvalidUTF8("a\xFF"
                                         "b"),
              "a\xEF\xBF\xBD"
              "b");
    EXPECT_EQ(Text::replacingInvalidUTF8("\xE7\xA3"), "\xEF\xBF\xBD\xEF\xBF\xBD");
    EXPECT_EQ(Text::shellQuoted("it's"), "'it'\\''s'");
}

TEST(Files, WriteAtomicallyReplacesWholeFiles) {
    TempDir dir;
    auto path = dir.path() / "state.json";
    Files::writeAtomically(path, "first");
    Files::writeAtomically(path, "second");
    EXPECT_EQ(Files::read(path), "second");
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 1);
    EXPECT_THROW(Files::writeAtomically(dir.path() / "missing" / "x", "y"), OstrevaneError);
    EXPECT_FALSE(Files::read(dir.path() / "nothing"));
}

TEST(Shell, RunCollectsBothStreamsAndStatus) {
    auto output = Shell::run("/bin/sh", {"-c", "printf out; printf err >&2; exit 3"}, 10);
    EXPECT_EQ(output.status, 3);
    EXPECT_EQ(output.stdoutText, "out");
    EXPECT_EQ(output.stderrText, "err");

    auto big = Shell::run("/bin/sh", {"-c", "head -c 300000 /dev/zero | tr '\\0' a; head -c 300000 /dev/zero >&2"}, 10);
    EXPECT_EQ(big.stdoutText.size(), 300000u);
    EXPECT_EQ(big.stderrText.size(), 300000u);

    auto binary = Shell::run("/bin/sh", {"-c", "printf '\\377'"}, 10);
    EXPECT_EQ(binary.stdoutText, "");
}

TEST(Shell, StartFailureIsReportedAtOnce) {
    auto output = Shell::run("/no/such/program", {}, 10);
    EXPECT_EQ(output.status, -1);
    EXPECT_EQ(output.stdoutText, "");
    EXPECT_FALSE(output.stderrText.empty());
}

TEST(Shell, TimeoutEndsAChildThatHonoursTermination) {
    auto start = steady_clock::now();
    auto output = Shell::run("/bin/sh", {"-c", "echo started; exec sleep 30"}, 0.5);
    EXPECT_LT(steady_clock::now() - start, seconds(3));
    EXPECT_NE(output.status, 0);
    EXPECT_EQ(output.stdoutText, "started\n");
}

TEST(Shell, TimeoutKillsAChildThatIgnoresTerminationAndItsGrandchildren) {
    auto start = steady_clock::now();
    // The shell ignores SIGTERM and a background grandchild keeps the pipes open.
    auto output = Shell::run("/bin/sh", {"-c", "trap '' TERM; sleep 60 & while :; do sleep 1; done"}, 0.5);
    auto took = steady_clock::now() - start;
    EXPECT_LT(took, milliseconds(4500));
    EXPECT_GE(took, milliseconds(2400));
    EXPECT_NE(output.status, 0);
}

// A program handed an item to show may become its window: one that ends in
// time gives its status, one still running is left running (and counts as
// showing it), and is reaped by a later call once it ends.
TEST(Shell, HandWaitsBrieflyAndLeavesARunningProgramRunning) {
    EXPECT_EQ(Shell::hand("/bin/sh", {"-c", "exit 3"}, 5).status, 3);
    EXPECT_EQ(Shell::hand("/no/such/program", {}, 5).status, -1);

    TempDir dir;
    const fs::path pidFile = dir.path() / "pid";
    auto start = steady_clock::now();
    auto shown = Shell::hand("/bin/sh", {"-c", "echo $$ > '" + pidFile.string() + "'; exec sleep 30"}, 0.3);
    EXPECT_LT(steady_clock::now() - start, seconds(2));
    EXPECT_EQ(shown.status, 0);
    const pid_t pid = std::stoi(readText(pidFile));
    EXPECT_EQ(::kill(pid, 0), 0) << "still running";

    ::kill(pid, SIGTERM);
    const fs::path process = "/proc/" + std::to_string(pid);
    // Ended, it waits to be reaped; the next hand reaps it.
    for (int i = 0; i < 100 && readText(process / "stat").find(") Z") == std::string::npos; ++i)
        std::this_thread::sleep_for(milliseconds(20));
    EXPECT_NE(readText(process / "stat").find(") Z"), std::string::npos);
    EXPECT_EQ(Shell::hand("/bin/true", {}, 5).status, 0);
    EXPECT_FALSE(fs::exists(process));
}

TEST(Shell, WhichSearchesPathFirstThenTheLoginShell) {
    TempDir dir;
    auto program = writeFile(dir.path() / "bin" / "ostrevane-probe");
    fs::permissions(program, fs::perms::owner_all);
    {
        ScopedEnv path("PATH", (dir.path() / "bin").string() + "::/usr/bin:/bin");
        EXPECT_EQ(Shell::which("ostrevane-probe"), program.string());
        EXPECT_EQ(Shell::which("sh"), "/usr/bin/sh");
        EXPECT_FALSE(Shell::which("no-such-program-anywhere"));
        // A quote in the name reaches the shell as data, not as a command.
        EXPECT_FALSE(Shell::which("x'; touch " + (dir.path() / "pwned").string() + "; '"));
        EXPECT_FALSE(fs::exists(dir.path() / "pwned"));
    }
    {
        // Only a login shell that reads a profile knows this folder.
        ScopedEnv path("PATH", "/usr/bin:/bin");
        ScopedEnv env("ENV", std::nullopt);
        TempDir fakeHome;
        writeText(fakeHome.path() / ".profile", "PATH=\"" + (dir.path() / "bin").string() + ":$PATH\"\n");
        writeText(fakeHome.path() / ".zprofile", "PATH=\"" + (dir.path() / "bin").string() + ":$PATH\"\n");
        writeText(fakeHome.path() / ".bash_profile", "PATH=\"" + (dir.path() / "bin").string() + ":$PATH\"\n");
        ScopedEnv homeEnv("HOME", fakeHome.path().string());
        EXPECT_EQ(Shell::which("ostrevane-probe"), program.string());
    }
}
