// The application on a real X server (Xvfb), driven from outside with xdotool
// as a user would: sidebar clicks, the rescan shortcut, closing the window.
#include <gtest/gtest.h>

#include "Support.hpp"
#include "TestSupport.hpp"
#include "ui/shell/MainWindow.hpp"

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

// $1 the application, $2 the close script, $3 the folder for the app's streams.
// The sidebar rows sit 36 pixels apart below the menu bar.
const char* drive = R"(set -e
"$1" >"$3/out" 2>"$3/err" &
app=$!
window=$(xdotool search --sync --onlyvisible --name '^Ostrevane$' | head -n 1)
sleep 0.5
menu=$(( $(xdotool getwindowgeometry "$window" | sed -n 's/.*Geometry: [0-9]*x//p') - 780 ))
for row in 0 1 2 3 4 0; do
  xdotool mousemove --window "$window" 100 $((menu + 80 + 36 * row)) click 1
  sleep 0.3
done
xdotool key --window "$window" ctrl+r
sleep 0.5
python3 "$2" "$window"
set +e
wait $app
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

    const Shell::Output run =
        Shell::run(*xvfbRun, {"-a", "-s", "-screen 0 1400x1000x24", "/bin/sh", (dir.path() / "drive.sh").string(),
                                OSTREVANE_APP_PATH, (dir.path() / "close.py").string(), dir.path().string()},
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
