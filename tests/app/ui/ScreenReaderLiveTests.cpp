// The application on a real X server (Xvfb) with the accessibility bus on,
// read from outside as a screen reader reads it: a Python script on pyatspi
// finds the sidebar's five sections by name, presses the explorer's through
// the reader, and finds the explorer's rows by name.
#include <gtest/gtest.h>

#include <algorithm>

#include "Support.hpp"
#include "TestSupport.hpp"
#include "model/AppModel.hpp"

using namespace testing_support;

namespace {

// Debian's own Python: pyatspi comes as a Debian package.
const char* const systemPython = "/usr/bin/python3";

// argv: the section to press, a row name to wait for. Prints "role<TAB>name"
// for every node under the window once the row is there.
const char* const readTree = R"(import sys, time
import pyatspi

def windows():
    for app in pyatspi.Registry.getDesktop(0):
        if app is None:
            continue
        for i in range(app.childCount):
            child = app.getChildAtIndex(i)
            if child is not None and child.name == "Ostrevane":
                yield child

def walk(node, out, depth=0):
    if node is None or depth > 40:
        return
    try:
        out.append((node.getRoleName(), node.name or "", node))
        for i in range(node.childCount):
            walk(node.getChildAtIndex(i), out, depth + 1)
    except Exception:
        pass

def tree():
    out = []
    for window in windows():
        walk(window, out)
    return out

def wait(check, seconds):
    end = time.time() + seconds
    while time.time() < end:
        found = check()
        if found:
            return found
        time.sleep(0.3)
    return None

section, row = sys.argv[1], sys.argv[2]
items = wait(lambda: [node for role, name, node in tree() if role == "push button" and name == section], 40)
if items:
    items[0].queryAction().doAction(0)
    wait(lambda: any(role == "list item" and name == row for role, name, _ in tree()), 40)
for role, name, _ in tree():
    print(role + "\t" + name)
)";

// $1 the application, $2 the script, $3 the section, $4 the row, $5 the
// folder for the app's streams. Runs inside its own session bus.
const char* const drive = R"(app=$1 script=$2 section=$3 row=$4 streams=$5
QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 "$app" >"$streams/out" 2>"$streams/err" &
pid=$!
timeout 100 /usr/bin/python3 "$script" "$section" "$row"
echo "script $?"
kill $pid
wait $pid
exit 0
)";

bool hasPyatspi() {
    const Shell::Output probe = Shell::run(systemPython, {"-c", "import pyatspi"}, 30);
    return probe.status == 0;
}

TEST(ScreenReaderLive, FindsTheSidebarSectionsAndTheExplorersRowsByName) {
    std::optional<std::string> xvfbRun = Shell::which("xvfb-run");
    const std::optional<std::string> session = Shell::which("dbus-run-session");
    if (!xvfbRun || !session || !Shell::which("timeout"))
        GTEST_SKIP() << "xvfb-run or dbus-run-session is not installed (scripts/setup installs them)";
    if (!fs::exists("/usr/libexec/at-spi-bus-launcher") && !fs::exists("/usr/lib/at-spi2-core/at-spi-bus-launcher"))
        GTEST_SKIP() << "the accessibility bus (at-spi2-core) is not installed";
    if (!fs::exists(systemPython) || !hasPyatspi()) GTEST_SKIP() << "python3-pyatspi is not installed";

    TempDir dir;
    const fs::path home = dir.path() / "home";
    // Rows list children of 1 MB and more.
    writeFile(home / "Downloads/setup.bin", 3'000'000);
    writeFile(home / "Documents/notes.bin", 2'000'000);
    const fs::path runtime = dir.path() / "runtime";
    fs::create_directories(runtime);
    fs::permissions(runtime, fs::perms::owner_all);
    writeText(dir.path() / "tree.py", readTree);
    writeText(dir.path() / "drive.sh", drive);
    ScopedEnv homeVariable("HOME", home.string());
    ScopedEnv override("OSTREVANE_HOME", home.string());
    ScopedEnv config("XDG_CONFIG_HOME", (dir.path() / "config").string());
    ScopedEnv runtimeFolder("XDG_RUNTIME_DIR", runtime.string());
    ScopedEnv language("OSTREVANE_LANG", "en");
    ScopedEnv platform("QT_QPA_PLATFORM", std::nullopt);

    std::vector<std::string> sections;
    for (AppModel::Section section : AppModel::sections()) sections.push_back(AppModel::title(section));
    // Its own first display number, apart from the other live test's (see LiveAppTests).
    const Shell::Output run = Shell::run(
        *xvfbRun,
        {"-a", "-n", "140", "-s", "-screen 0 1400x1000x24", *session, "--", "/bin/sh",
         (dir.path() / "drive.sh").string(), OSTREVANE_APP_PATH, (dir.path() / "tree.py").string(),
         AppModel::title(AppModel::Section::explorer), "Downloads", dir.path().string()},
        150);
    ASSERT_EQ(run.status, 0) << run.stdoutText << run.stderrText;
    ASSERT_NE(run.stdoutText.find("script 0"), std::string::npos) << run.stdoutText << run.stderrText;

    for (const std::string& title : sections)
        EXPECT_NE(run.stdoutText.find("push button\t" + title + "\n"), std::string::npos) << title << " not found in\n"
                                                                                          << run.stdoutText;
    for (const char* row : {"Downloads", "Documents"})
        EXPECT_NE(run.stdoutText.find(std::string("list item\t") + row + "\n"), std::string::npos)
            << row << " not found in\n"
            << run.stdoutText;
}

}  // namespace
