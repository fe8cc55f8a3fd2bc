#include "platform/FileManager.hpp"

#include <sys/stat.h>

#include "base/Paths.hpp"
#include "platform/ProgramSearch.hpp"

namespace FileManager {

namespace {

/// Asks the FileManager1 service on the session bus, through whichever of
/// gdbus and dbus-send is installed; whether it answered.
bool askFileManager1(const std::string& uri) {
    constexpr double timeout = 10;
    Shell::Output shown{-1, "", ""};
    if (auto gdbus = Hooks::active().locate("gdbus"))
        shown = Hooks::active().run(*gdbus,
                                    {"call", "--session", "--dest", "org.freedesktop.FileManager1", "--object-path",
                                     "/org/freedesktop/FileManager1", "--method",
                                     "org.freedesktop.FileManager1.ShowItems", "['" + uri + "']", ""},
                                    timeout);
    if (shown.status != 0)
        if (auto dbusSend = Hooks::active().locate("dbus-send"))
            shown = Hooks::active().run(*dbusSend,
                                        {"--session", "--print-reply", "--dest=org.freedesktop.FileManager1",
                                         "--type=method_call", "/org/freedesktop/FileManager1",
                                         "org.freedesktop.FileManager1.ShowItems", "array:string:" + uri, "string:"},
                                        timeout);
    return shown.status == 0;
}

}  // namespace

Hooks& Hooks::active() {
    static Hooks hooks{Shell::run, Shell::hand, Shell::systemProgram};
    return hooks;
}

bool open(const std::string& target) {
    // xdg-open either hands the target on and ends, or runs the file manager
    // itself; one still running after this long is showing it.
    constexpr double answerTime = 5;
    auto xdgOpen = Hooks::active().locate("xdg-open");
    return xdgOpen && Hooks::active().hand(*xdgOpen, {target}, answerTime).status == 0;
}

bool showItem(const std::string& path) {
    if (askFileManager1("file://" + Paths::percentEncoded(path))) return true;
    const std::string folder = Paths::parentFolder(path);
    struct stat info {};
    if (::stat(folder.c_str(), &info) == 0 && !S_ISDIR(info.st_mode)) return false;
    return open(folder);
}

}  // namespace FileManager
