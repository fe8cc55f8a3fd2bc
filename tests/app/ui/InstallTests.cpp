// The application as Linux installs it: `cmake --install` into a temporary
// prefix, checked file by file, and the tool found beside the application in
// the build tree and in the installed tree alike.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <QGuiApplication>
#include <QIcon>
#include <QImage>

#include <sstream>

#include "TestSupport.hpp"
#include "agent/AgentSetup.hpp"
#include "model/Dispatcher.hpp"
#include "model/Executor.hpp"
#include "ui/shell/AppIdentity.hpp"

using namespace testing_support;

namespace {
bool isExecutable(const fs::path& path) {
    struct stat info;
    return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) && (info.st_mode & S_IXUSR);
}

/// The value of `key` in the desktop entry's main group; none when absent.
std::optional<std::string> entryValue(const std::string& entry, const std::string& key) {
    std::istringstream lines(entry);
    for (std::string line; std::getline(lines, line);)
        if (line.starts_with(key + "=")) return line.substr(key.size() + 1);
    return std::nullopt;
}

/// The program an Exec value names: the string's escapes undone, then the
/// first word's quoting (a double-quoted word with \" \` \$ \\ escaped).
std::string execProgram(const std::string& value) {
    std::string text;
    for (size_t i = 0; i < value.size(); ++i) {
        if (value[i] != '\\' || i + 1 == value.size()) {
            text += value[i];
            continue;
        }
        const char next = value[++i];
        text += next == 's' ? ' ' : next == 'n' ? '\n' : next == 't' ? '\t' : next == 'r' ? '\r' : next;
    }
    if (text.empty() || text[0] != '"') return text.substr(0, text.find(' '));
    std::string program;
    for (size_t i = 1; i < text.size() && text[i] != '"'; ++i) {
        if (text[i] == '\\' && i + 1 < text.size()) ++i;
        program += text[i];
    }
    return program;
}

/// What the agent page writes for `folder` as the application's own folder:
/// the tool's path, which must run and say its version.
void expectToolRunsBeside(const fs::path& folder) {
    ManualDispatcher dispatcher;
    ManualExecutor executor;
    AgentSetup setup(dispatcher, executor, folder.string(), [] { return false; });
    ASSERT_TRUE(setup.cliPath()) << *setup.missingToolReason();
    EXPECT_EQ(fs::path(*setup.cliPath()), folder / "ostrevane");
    auto version = Shell::run(*setup.cliPath(), {"--version"}, 10);
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.stdoutText, "ostrevane " + Ostrevane::version + "\n");
}
/// The section table `readelf -S` prints for an executable.
std::string sectionsOf(const fs::path& executable) {
    auto readelf = Shell::which("readelf");
    if (!readelf) return "<no readelf>";
    return Shell::run(*readelf, {"-S", "-W", executable.string()}, 30).stdoutText;
}
}  // namespace

TEST(Install, TheBuildTreeKeepsTheToolBesideTheApplication) {
    expectToolRunsBeside(fs::path(OSTREVANE_APP_PATH).parent_path());
}

TEST(Install, IntoAPrefixWithEveryFileTheDesktopNeeds) {
    TempDir dir;
    // A blank and a dollar sign in the prefix: the entry's Exec must still name the program.
    const fs::path prefix = dir.path() / "my $prefix";
    auto install = Shell::run(OSTREVANE_CMAKE, {"--install", OSTREVANE_BINARY_DIR, "--prefix", prefix.string()}, 120);
    ASSERT_EQ(install.status, 0) << install.stdoutText << install.stderrText;

    const std::string id = AppIdentity::desktopId;
    const fs::path app = prefix / "bin" / fs::path(OSTREVANE_APP_PATH).filename();
    EXPECT_TRUE(isExecutable(prefix / "bin/ostrevane"));
    EXPECT_TRUE(isExecutable(app));
    expectToolRunsBeside(prefix / "bin");
    // Installed without debug information, whatever the build type: never
    // larger than the build tree's copy, which keeps whatever the build made.
    for (const auto& [installed, built] :
         {std::pair{prefix / "bin/ostrevane", fs::path(OSTREVANE_CLI_PATH)}, {app, fs::path(OSTREVANE_APP_PATH)}}) {
        const std::string sections = sectionsOf(installed);
        EXPECT_NE(sections.find(".text"), std::string::npos) << sections;
        EXPECT_EQ(sections.find(".debug_"), std::string::npos) << installed;
        EXPECT_LE(fs::file_size(installed), fs::file_size(built)) << installed;
    }

    const fs::path svg = prefix / "share/icons/hicolor/scalable/apps" / (id + ".svg");
    EXPECT_TRUE(readText(svg).starts_with("<?xml")) << svg;
    EXPECT_NE(readText(svg).find("<path "), std::string::npos);
    for (int side : {256, 128, 64, 48}) {
        const std::string size = std::to_string(side) + "x" + std::to_string(side);
        const QImage icon(
            QString::fromStdString((prefix / "share/icons/hicolor" / size / "apps" / (id + ".png")).string()));
        EXPECT_EQ(icon.size(), QSize(side, side)) << size;
    }

    const fs::path entryPath = prefix / "share/applications" / (id + ".desktop");
    const std::string entry = readText(entryPath);
    auto validator = Shell::which("desktop-file-validate");
    ASSERT_TRUE(validator) << "scripts/setup installs desktop-file-utils";
    auto validation = Shell::run(*validator, {entryPath.string()}, 30);
    // Not even a hint: with two main categories a menu may list the entry twice.
    const std::string report = validation.stdoutText + validation.stderrText;
    EXPECT_EQ(validation.status, 0) << report;
    EXPECT_EQ(report, "");

    EXPECT_EQ(entryValue(entry, "Name"), "Ostrevane");
    EXPECT_TRUE(entryValue(entry, "Comment"));
    EXPECT_EQ(entryValue(entry, "Categories"), "System;Filesystem;");
    EXPECT_EQ(entryValue(entry, "Icon"), id);
    EXPECT_EQ(entryValue(entry, "StartupWMClass"), AppIdentity::windowClass);
    // The Exec key's two levels of quoting undone: what the desktop runs is the installed application.
    EXPECT_EQ(execProgram(entryValue(entry, "Exec").value_or("")), app.string());
}

TEST(Install, TheWindowCarriesTheEntrysClassAndIcon) {
    AppIdentity::apply(*qGuiApp);
    EXPECT_EQ(QGuiApplication::applicationName().toStdString(), AppIdentity::windowClass);
    EXPECT_EQ(QGuiApplication::desktopFileName().toStdString(), AppIdentity::desktopId);
    const QList<QSize> sizes = QGuiApplication::windowIcon().availableSizes();
    for (int side : {256, 48}) EXPECT_TRUE(sizes.contains(QSize(side, side))) << side;
}

// scripts/run builds one target, which holds every file the install copies
// (the icons included) and no test suite, so its tree installs.
TEST(Install, WhatScriptsRunBuildsIsEverythingTheInstallCopies) {
    const std::string script = readText(fs::path(OSTREVANE_SOURCE_DIR) / "scripts/run");
    EXPECT_NE(script.find("--target OstrevaneInstallable\n"), std::string::npos) << script;

    auto ninja = Shell::which("ninja");
    ASSERT_TRUE(ninja);
    // Every command a fresh tree would run for it, whatever is built already.
    auto commands = Shell::run(*ninja, {"-C", OSTREVANE_BINARY_DIR, "-t", "commands", "OstrevaneInstallable"}, 60);
    ASSERT_EQ(commands.status, 0) << commands.stderrText;
    const std::string& text = commands.stdoutText;
    const std::string iconCommand = std::string(OSTREVANE_BINARY_DIR) + "/icons " + AppIdentity::desktopId;
    EXPECT_NE(text.find(iconCommand), std::string::npos);
    const std::string app = fs::path(OSTREVANE_APP_PATH).filename().string();
    for (const std::string& executable : {std::string("bin/ostrevane"), "bin/" + app})
        EXPECT_NE(text.find("-o " + executable + " "), std::string::npos) << executable;
    EXPECT_EQ(text.find("Tests"), std::string::npos) << "no test suite is built";
}

// Linking the crypto library costs every start about 1.4 MB of resident
// memory; only a duplicate search hashes, and it loads the library then.
TEST(Install, NeitherProgramLinksTheCryptoLibrary) {
    auto readelf = Shell::which("readelf");
    ASSERT_TRUE(readelf);
    for (const std::string& program : {std::string(OSTREVANE_CLI_PATH), std::string(OSTREVANE_APP_PATH)}) {
        auto dynamic = Shell::run(*readelf, {"--dynamic", program}, 30);
        ASSERT_EQ(dynamic.status, 0) << dynamic.stderrText;
        EXPECT_NE(dynamic.stdoutText.find("(NEEDED)"), std::string::npos) << program;
        EXPECT_EQ(dynamic.stdoutText.find("libcrypto"), std::string::npos) << program;
    }
}
