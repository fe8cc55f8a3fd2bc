// The process entry: the appearance defaults first, then either the snapshot
// mode or the application with its one window.
#include <QApplication>
#include <string>
#include <vector>

#include "model/Launch.hpp"
#include "platform/Accessibility.hpp"
#include "platform/Desktop.hpp"
#include "platform/AppIdentity.hpp"
#include "platform/QtRuntime.hpp"
#include "platform/Relaunch.hpp"
#include "snapshot/Snapshot.hpp"
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
    Launch::writeDefaults();
    const LaunchOptions options = Launch::parse(std::vector<std::string>(argv, argv + argc));
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
