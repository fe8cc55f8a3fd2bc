// The process entry: the help and the version, which need no display; then
// the appearance defaults, and either the snapshot mode or the application
// with its one window.
#include <QApplication>
#include <iostream>
#include <string>
#include <vector>

#include "desktop/Desktop.hpp"
#include "desktop/QtRuntime.hpp"
#include "desktop/Relaunch.hpp"
#include "model/Launch.hpp"
#include "platform/Platform.hpp"
#include "snapshot/Snapshot.hpp"
#include "ui/access/Accessibility.hpp"
#include "ui/shell/AppIdentity.hpp"
#include "ui/shell/LanguageMenu.hpp"
#include "ui/shell/MainWindow.hpp"
#include "ui/theme/AppPalette.hpp"

namespace {

int runApplication(QApplication& application) {
    QtRuntime runtime;
    auto model = AppModel::make(runtime.runtime());
    int status = 0;
    {
        MainWindow window(model);
        window.languageMenu()->reopen = Relaunch::reopen;
        window.show();
        // Closing the window quits: the last window closed ends the event loop.
        QApplication::setQuitOnLastWindowClosed(true);
        status = application.exec();
    }
    runtime.stop(model.get(), status);
    return status;
}

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> arguments(argv, argv + argc);
    const LaunchOptions options = Launch::parse(arguments);
    if (options.help || options.version) {
        std::cout << (options.help ? Launch::usage() : Launch::versionLine()) << std::flush;
        return std::cout ? 0 : 1;
    }
    if (options.usageError) {
        std::cerr << "OstrevaneApp: " << *options.usageError << std::endl;
        return 2;
    }
    // Decided before Qt starts: without a display it aborts with lines about plugins.
    if (!options.snapshotFolder && !Launch::hasDisplay(arguments, Platform::environment)) {
        std::cerr << "OstrevaneApp: " << Launch::noDisplayMessage() << std::endl;
        return 1;
    }
    Launch::writeDefaults();
    if (options.snapshotFolder)
        Snapshot::selectOffscreenPlatform();
    else
        Desktop::preferPortalDialogs();
    QApplication application(argc, argv);
    AppIdentity::apply(application);
    AppPalette::apply(application);
    Accessibility::install();
    if (options.snapshotFolder) return Snapshot::run(*options.snapshotFolder, options.demo);
    return runApplication(application);
}
