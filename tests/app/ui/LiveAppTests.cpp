// The application on a real X server (Xvfb), driven from outside with xdotool
// as a user would: sidebar clicks, the rescan shortcut, closing the window.
#include <gtest/gtest.h>

#include <QApplication>

#include "../logic/ModelHarness.hpp"
#include "Support.hpp"
#include "TestSupport.hpp"
#include "ui/shell/ContentView.hpp"
#include "ui/shell/MainWindow.hpp"
#include "ui/shell/Sidebar.hpp"

using namespace testing_support;

namespace {

// Closing a window is a WM_DELETE_WINDOW message, as a window manager sends
// it; Xvfb runs none, and xdotool of this vintage can only destroy windows.
const char* closeWindow = R"(import ctypes, sys
x = ctypes.CDLL("libX11.so.6")
x.XOpenDisplay.restype = ctypes.c_void_p
x.XInternAtom.restype = ctypes.c_ulong
x.XInternAtom.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int]
class Message(ctypes.Structure):
    _fields_ = [("type", ctypes.c_int), ("serial", ctypes.c_ulong), ("send_event", ctypes.c_int),
                ("display", ctypes.c_void_p), ("window", ctypes.c_ulong), ("message_type", ctypes.c_ulong),
                ("format", ctypes.c_int), ("l", ctypes.c_long * 5), ("pad", ctypes.c_long * 12)]
x.XSendEvent.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_long, ctypes.POINTER(Message)]
x.XFlush.argtypes = [ctypes.c_void_p]
display = x.XOpenDisplay(None)
event = Message(type=33, window=int(sys.argv[1]), format=32)
event.message_type = x.XInternAtom(display, b"WM_PROTOCOLS", 0)
event.l[0] = x.XInternAtom(display, b"WM_DELETE_WINDOW", 0)
x.XSendEvent(display, event.window, 0, 0, ctypes.byref(event))
x.XFlush(display)
)";

/// "x y0 y1 ...": the centres of the sidebar's section rows in the content
/// view at the window's first size, laid out here on the offscreen platform.
std::string sidebarClicks() {
    ScopedHome home;
    ModelHarness harness;
    ContentView content(harness.model);
    content.setAttribute(Qt::WA_DontShowOnScreen);
    content.resize(MainWindow::defaultWidth, MainWindow::defaultHeight);
    content.show();
    QApplication::processEvents();
    std::string clicks;
    for (SidebarRow* row : content.sidebar()->rows()) {
        const QPoint centre = row->mapTo(&content, row->rect().center());
        if (clicks.empty()) clicks = std::to_string(centre.x());
        clicks += " " + std::to_string(centre.y());
    }
    return clicks;
}

// $1 the application, $2 the close script, $3 the folder for the app's
// streams, $4 the sidebar clicks; the content sits below the menu bar.
const char* drive = R"(set -e
app=$1 close=$2 streams=$3
"$app" >"$streams/out" 2>"$streams/err" &
pid=$!
window=$(xdotool search --sync --onlyvisible --name '^Ostrevane$' | head -n 1)
sleep 0.5
menu=$(( $(xdotool getwindowgeometry "$window" | sed -n 's/.*Geometry: [0-9]*x//p') - 780 ))
set -- $4
x=$1
shift
for y in "$@" "$1"; do
  xdotool mousemove --window "$window" "$x" $((menu + y)) click 1
  sleep 0.3
done
xdotool key --window "$window" ctrl+r
sleep 0.5
python3 "$close" "$window"
set +e
wait $pid
echo "exit $?"
)";

TEST(LiveApp, RunsOnARealDisplaySwitchesSectionsRescansAndQuitsOnClose) {
    std::optional<std::string> xvfbRun;
    for (const char* program : {"xvfb-run", "xdotool", "python3"}) {
        const std::optional<std::string> found = Shell::which(program);
        if (!found) GTEST_SKIP() << program << " is not installed (scripts/setup installs it)";
        if (!xvfbRun) xvfbRun = found;
    }
    TempDir dir;
    const fs::path home = dir.path() / "home";
    writeFile(home / "Downloads/setup.bin", 200'000);
    writeFile(home / "Documents/notes.txt", 50'000);
    const fs::path runtime = dir.path() / "runtime";
    fs::create_directories(runtime);
    fs::permissions(runtime, fs::perms::owner_all);
    writeText(dir.path() / "close.py", closeWindow);
    writeText(dir.path() / "drive.sh", drive);
    ScopedEnv homeVariable("HOME", home.string());
    ScopedEnv override("OSTREVANE_HOME", home.string());
    ScopedEnv config("XDG_CONFIG_HOME", (dir.path() / "config").string());
    ScopedEnv runtimeFolder("XDG_RUNTIME_DIR", runtime.string());
    ScopedEnv platform("QT_QPA_PLATFORM", std::nullopt);

    const std::string clicks = sidebarClicks();
    ASSERT_EQ(std::count(clicks.begin(), clicks.end(), ' '), 5) << clicks;
    // Two xvfb-run -a started at once may pick one display number, and the app
    // then lands on the other test's server: each live test counts from its own.
    const Shell::Output run = Shell::run(
        *xvfbRun,
        {"-a", "-n", "120", "-s", "-screen 0 1400x1000x24", "/bin/sh", (dir.path() / "drive.sh").string(),
         OSTREVANE_APP_PATH, (dir.path() / "close.py").string(), dir.path().string(), clicks},
        90);
    ASSERT_EQ(run.status, 0) << run.stdoutText << run.stderrText;
    EXPECT_NE(run.stdoutText.find("exit 0"), std::string::npos) << run.stdoutText;
    EXPECT_EQ(readText(dir.path() / "err"), "");
    EXPECT_EQ(readText(dir.path() / "out"), "");
    // The start-up ran: a scan of the small home was stored.
    bool stored = false;
    for (const auto& entry : fs::recursive_directory_iterator(home))
        stored |= entry.path().filename().string().starts_with("scan-");
    EXPECT_TRUE(stored);
}

}  // namespace
