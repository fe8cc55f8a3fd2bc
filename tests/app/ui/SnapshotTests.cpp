// The snapshot mode as CI runs it: the built application, its standard
// streams, exit status, defaults file and images.
#include <gtest/gtest.h>

#include <QImage>
#include <map>
#include <sstream>

#include "Support.hpp"
#include "TestSupport.hpp"
#include "scan/Scanner.hpp"
#include "snapshot/Snapshot.hpp"
#include "ui/theme/QtTheme.hpp"

using namespace testing_support;
using nlohmann::json;

namespace {

const std::string accent = "accent r=0.56 g=0.56 b=0.58";

std::vector<std::string> linesOf(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream stream(text);
    for (std::string line; std::getline(stream, line);) lines.push_back(line);
    return lines;
}

std::vector<std::string> expectedOutput(const std::vector<std::string>& plan) {
    std::vector<std::string> lines{accent};
    for (const std::string& name : plan) lines.push_back("wrote " + name + ".png");
    return lines;
}

/// The size each image is listed with, in points.
QSize listedSize(const std::string& name) {
    if (name == "9-controls") return {640, 200};
    if (name == "8-confirm") return {430, 190};
    if (name == "8-confirm-icloud") return {430, 230};
    if (name.starts_with("6-") || name.starts_with("7-")) return {820, 680};
    return {1180, 780};
}

/// Whether a `side`-pixel square of exactly `color` lies somewhere in `region`.
bool hasSolid(const QImage& image, const QColor& color, QRect region, int side = 6) {
    const QRgb wanted = color.rgb();
    region &= image.rect();
    for (int y = region.top(); y + side <= region.bottom() + 1; ++y)
        for (int x = region.left(); x + side <= region.right() + 1; ++x) {
            bool solid = true;
            for (int dy = 0; dy < side && solid; ++dy)
                for (int dx = 0; dx < side && solid; ++dx) solid = image.pixel(x + dx, y + dy) == wanted;
            if (solid) return true;
        }
    return false;
}

/// A temporary home, configuration folder and output folder for one run.
struct SnapshotHome {
    TempDir dir;
    fs::path home = dir.path() / "home";
    fs::path config = dir.path() / "config";
    fs::path out = dir.path() / "shots";
    std::vector<std::unique_ptr<ScopedEnv>> environment;

    explicit SnapshotHome(std::optional<std::string> scale = std::nullopt) {
        fs::create_directories(home);
        fs::create_directories(dir.path() / "runtime");
        fs::permissions(dir.path() / "runtime", fs::perms::owner_all);
        for (auto [name, value] : {std::pair{"HOME", home},
                                   {"OSTREVANE_HOME", home},
                                   {"XDG_CONFIG_HOME", config},
                                   {"XDG_CACHE_HOME", home / ".cache"},
                                   {"XDG_DATA_HOME", home / ".local/share"},
                                   {"XDG_RUNTIME_DIR", dir.path() / "runtime"}})
            environment.push_back(std::make_unique<ScopedEnv>(name, value.string()));
        environment.push_back(std::make_unique<ScopedEnv>("OSTREVANE_LANG", std::nullopt));
        environment.push_back(std::make_unique<ScopedEnv>("QT_SCALE_FACTOR", scale));
        // The mode picks the offscreen platform itself.
        environment.push_back(std::make_unique<ScopedEnv>("QT_QPA_PLATFORM", std::nullopt));
    }
    fs::path defaults() const { return config / "Ostrevane/defaults.json"; }
    Shell::Output run(const fs::path& output, bool demo) const {
        std::vector<std::string> arguments{"--snapshot", output.string()};
        if (demo) arguments.push_back("--demo");
        return Shell::run(OSTREVANE_APP_PATH, arguments, 300);
    }
    QImage image(const std::string& name, const fs::path& folder) const {
        return QImage(QString::fromStdString((folder / (name + ".png")).string()));
    }
};

TEST(Snapshot, TheDemoRunInEitherLanguageWritesEveryImageAsListed) {
    const std::vector<std::string> plan = Snapshot::plan(true, true);
    std::map<std::string, QImage> overview;
    for (const char* language : {"zh-Hans", "en"}) {
        SnapshotHome home;
        writeText(home.defaults(), json{{"AppleLanguages", {language}}, {"AppleAccentColor", 3}}.dump());
        const Shell::Output run = home.run(home.out, true);
        ASSERT_EQ(run.status, 0) << language << ": " << run.stderrText;
        EXPECT_EQ(linesOf(run.stdoutText), expectedOutput(plan)) << language;
        EXPECT_EQ(run.stderrText, "") << language;  // standard error is for failures

        const json expectedDefaults{{"AppleLanguages", {language}},
                                    {"AppleAccentColor", -1},
                                    {"AppleHighlightColor", "0.847059 0.847059 0.862745 Graphite"},
                                    {"explorerMode", "voronoi"}};
        EXPECT_EQ(json::parse(readText(home.defaults())), expectedDefaults) << language;

        for (const std::string& name : plan) {
            const QImage image = home.image(name, home.out);
            ASSERT_EQ(image.size(), listedSize(name)) << language << " " << name;
            // Every full-window image: the sidebar's foot is the page ground.
            if (listedSize(name) == QSize(1180, 780)) {
                EXPECT_TRUE(hasSolid(image, qColor(Theme::ground), QRect(0, 700, 200, 80))) << language << " " << name;
            }
        }
        // The demo's two largest home shares: app data (third map colour) and media (fourth).
        const QImage overviewImage = home.image("1-overview", home.out);
        for (int share : {2, 3})
            EXPECT_TRUE(hasSolid(overviewImage, qColor(Theme::data()[share]), QRect(241, 140, 915, 80))) << share;
        // The lit child of the opened cell takes its parent's colour: Library's
        // (the first map colour) in the first sample, Code's (the third) in the second.
        // Its unlit siblings are dark.
        const QImage hover = home.image("6-voronoi-hover", home.out);
        EXPECT_TRUE(hasSolid(hover, qColor(Theme::data()[0]), QRect(270, 30, 130, 130)));
        EXPECT_FALSE(hasSolid(hover, qColor(Theme::data()[0]), QRect(40, 40, 180, 200)));
        const QImage hover2 = home.image("6-voronoi-hover-2", home.out);
        EXPECT_TRUE(hasSolid(hover2, qColor(Theme::data()[2]), QRect(690, 20, 110, 90)));
        EXPECT_FALSE(hasSolid(hover2, qColor(Theme::data()[2]), QRect(705, 140, 50, 50)));
        const QImage controls = home.image("9-controls", home.out);
        for (const Swatch& chip : Theme::data())
            EXPECT_TRUE(hasSolid(controls, qColor(chip), controls.rect())) << language;
        for (const Swatch& chip : {Swatch{0.42, 0.4164743, 0.4076600}, Swatch{0.25, 0.2479014, 0.2426548}})
            EXPECT_TRUE(hasSolid(controls, qColor(chip), controls.rect())) << language;
        for (const char* confirm : {"8-confirm", "8-confirm-icloud"}) {
            const QImage sheet = home.image(confirm, home.out);
            EXPECT_TRUE(hasSolid(sheet, qColor(Theme::danger), sheet.rect())) << language << " " << confirm;
        }
        overview[language] = overviewImage;

        if (language == std::string("zh-Hans")) {
            // The same state renders the same bytes.
            const fs::path again = home.dir.path() / "again";
            ASSERT_EQ(home.run(again, true).status, 0);
            for (const std::string& name : plan)
                EXPECT_EQ(readText(again / (name + ".png")), readText(home.out / (name + ".png"))) << name;
        }
    }
    EXPECT_NE(overview["zh-Hans"], overview["en"]);  // the stored language took effect
}

TEST(Snapshot, ImagesFollowTheScaleFactor) {
    SnapshotHome home("2");
    const Shell::Output run = home.run(home.out, true);
    ASSERT_EQ(run.status, 0) << run.stderrText;
    for (const std::string& name : Snapshot::plan(true, true))
        EXPECT_EQ(home.image(name, home.out).size(), listedSize(name) * 2) << name;
}

TEST(Snapshot, WithoutTheDemoTheRunShowsTheHomeAfterTheNormalStartUp) {
    SnapshotHome home;
    writeFile(home.home / "Documents/report.bin", 3'000'000);
    writeFile(home.home / "Downloads/installer.bin", 1'000'000);
    const Shell::Output run = home.run(home.out, false);
    ASSERT_EQ(run.status, 0) << run.stderrText;
    EXPECT_EQ(linesOf(run.stdoutText), expectedOutput(Snapshot::plan(true, true)));
    EXPECT_EQ(home.image("2-explorer-sub", home.out).size(), QSize(1180, 780));

    SnapshotHome empty;
    const Shell::Output bare = empty.run(empty.out, false);
    ASSERT_EQ(bare.status, 0) << bare.stderrText;
    EXPECT_EQ(linesOf(bare.stdoutText), expectedOutput(Snapshot::plan(true, false)));
}

TEST(Snapshot, AnOutputFolderThatCannotBeMadeFailsTheRunAndSaysSo) {
    SnapshotHome home;
    writeText(home.dir.path() / "file", "not a folder");
    const Shell::Output run = home.run(home.dir.path() / "file" / "shots", true);
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(linesOf(run.stdoutText), std::vector<std::string>{accent});
    EXPECT_NE(run.stderrText.find("could not create"), std::string::npos);
    for (const std::string& name : Snapshot::plan(true, true))
        EXPECT_NE(run.stderrText.find("/shots/" + name + ".png"), std::string::npos) << name;
}

TEST(Snapshot, AnEmptyFolderIsAUsageError) {
    SnapshotHome home;
    for (const std::vector<std::string>& arguments :
         {std::vector<std::string>{"--snapshot", ""}, {"--demo", "--snapshot", "", "--snapshot", "x"}}) {
        // From a working folder of its own, so an image written "here" would show.
        const std::string command = "cd \"$0\" && exec \"$@\"";
        std::vector<std::string> shellArguments{"-c", command, home.dir.path().string(), OSTREVANE_APP_PATH};
        shellArguments.insert(shellArguments.end(), arguments.begin(), arguments.end());
        const Shell::Output run = Shell::run("/bin/sh", shellArguments, 60);
        EXPECT_EQ(run.status, 2) << run.stderrText;
        EXPECT_NE(run.stderrText.find("--snapshot needs a folder"), std::string::npos) << run.stderrText;
        EXPECT_EQ(run.stdoutText, "");
        EXPECT_FALSE(fs::exists(home.defaults())) << "nothing is written before the arguments are checked";
    }
    for (const auto& entry : fs::directory_iterator(home.dir.path()))
        EXPECT_NE(entry.path().extension(), ".png") << entry.path();
}

TEST(Snapshot, AFullDiskLeavesNoTruncatedOrPartialImages) {
    SnapshotHome home;
    // Files may grow to 24 KB: larger images fail part-way, as on a full disk.
    const std::string command = "trap '' XFSZ; ulimit -f 48; exec \"$0\" \"$@\"";
    const Shell::Output run = Shell::run(
        "/bin/sh", {"-c", command, OSTREVANE_APP_PATH, "--snapshot", home.out.string(), "--demo"}, 300);
    EXPECT_EQ(run.status, 1) << run.stderrText;
    EXPECT_NE(run.stderrText.find("could not write"), std::string::npos);
    for (const auto& entry : fs::directory_iterator(home.out)) {
        EXPECT_EQ(entry.path().extension(), ".png") << "a partial file is left: " << entry.path();
        EXPECT_FALSE(QImage(QString::fromStdString(entry.path().string())).isNull()) << entry.path();
    }
}

TEST(Snapshot, TheSubfolderIsDownloadsElseTheLargestChild) {
    FileNode root;
    EXPECT_EQ(Snapshot::subfolder(root), nullptr);
    root.children.emplace();
    EXPECT_EQ(Snapshot::subfolder(root), nullptr);
    for (const char* name : {"Library", "downloads", "Downloads", "Movies"}) {
        root.children->emplace_back();
        root.children->back().name = name;
    }
    EXPECT_EQ(Snapshot::subfolder(root)->name, "Downloads");
    root.children->erase(root.children->begin() + 2);
    EXPECT_EQ(Snapshot::subfolder(root)->name, "Library");
}

}  // namespace
