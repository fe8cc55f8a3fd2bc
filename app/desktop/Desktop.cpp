#include "desktop/Desktop.hpp"

#include <QClipboard>
#include <QFileDialog>
#include <QGuiApplication>
#include <cstdlib>
#include <filesystem>

#include "GivenPaths.hpp"
#include "base/Paths.hpp"
#include "model/AppModel.hpp"
#include "model/Executor.hpp"
#include "platform/FileManager.hpp"
#include "platform/HomeFolder.hpp"
#include "platform/Platform.hpp"
#include "text/Localization.hpp"

namespace Desktop {

namespace {
std::shared_ptr<Executor> background;

bool revealNow(const std::string& path) {
    try {
        return FileManager::showItem(Paths::expandGiven(path));
    } catch (...) {
        // A file manager that failed to show the item (no D-Bus session, none
        // installed, the path gone since) counts as none answering: the caller says so.
        return false;
    }
}

bool openTrashFolder() { return FileManager::open("trash:///") || FileManager::open(realTrashFolder()); }

/// Runs a call to the file manager on the background executor (it may wait
/// for the file manager; the window must not), then `unanswered` on the UI
/// thread when it did not answer.
void askFileManager(std::function<bool()> call, Unanswered unanswered) {
    auto job = [call = std::move(call), unanswered = std::move(unanswered)] {
        if (call() || !unanswered) return;
        if (QCoreApplication* application = QCoreApplication::instance())
            QMetaObject::invokeMethod(application, unanswered, Qt::QueuedConnection);
    };
    if (background) return background->submit(Priority::userInitiated, std::move(job));
    job();
}

void copyText(const std::string& text) { QGuiApplication::clipboard()->setText(QString::fromStdString(text)); }

std::optional<std::string> chooseFolderInDialog(QWidget* parent) {
    QFileDialog dialog(parent);
    prepareFolderDialog(dialog);
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    const QStringList chosen = dialog.selectedFiles();
    if (chosen.isEmpty() || chosen.front().isEmpty()) return std::nullopt;
    return chosen.front().toStdString();
}
}  // namespace

Hooks& Hooks::active() {
    static Hooks hooks{revealNow, openTrashFolder, copyText, chooseFolderInDialog};
    return hooks;
}

Unanswered noticeOn(const std::shared_ptr<AppModel>& model) {
    return [weak = std::weak_ptr<AppModel>(model)] {
        if (auto strong = weak.lock())
            strong->notify(L("没有文件管理器响应。请安装一个文件管理器,或把它设为打开文件夹的默认程序。"), true);
    };
}

void reveal(const std::string& path, Unanswered unanswered) {
    // The hook is read now, on the UI thread, not where the call runs.
    askFileManager([call = Hooks::active().reveal, path] { return call(path); }, std::move(unanswered));
}

void openTrash(Unanswered unanswered) { askFileManager(Hooks::active().openTrash, std::move(unanswered)); }

void useExecutor(std::shared_ptr<Executor> executor) { background = std::move(executor); }

std::string realTrashFolder() { return Paths::joined(Platform::realDataHome(), "Trash/files"); }

void prepareFolderDialog(QFileDialog& dialog) {
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setOption(QFileDialog::ShowDirsOnly);
    // The desktop's own chooser where the platform theme offers one; the
    // accept label applies where that chooser takes it.
    dialog.setOption(QFileDialog::DontUseNativeDialog, false);
    dialog.setDirectory(QString::fromStdString(Paths::home()));
    dialog.setLabelText(QFileDialog::Accept, QString::fromStdString(L("选择")));
}

bool usesPortalTheme(const std::optional<std::string>& chosenTheme, bool sessionBus, bool portalInstalled) {
    if (chosenTheme && !chosenTheme->empty()) return false;
    return sessionBus && portalInstalled;
}

void preferPortalDialogs() {
    const auto theme = Platform::environment("QT_QPA_PLATFORMTHEME");
    const auto bus = Platform::environment("DBUS_SESSION_BUS_ADDRESS");
    std::error_code ignored;
    const bool installed = std::filesystem::exists("/usr/share/dbus-1/services/org.freedesktop.portal.Desktop.service",
                                                   ignored);
    if (usesPortalTheme(theme, bus && !bus->empty(), installed)) setenv("QT_QPA_PLATFORMTHEME", "xdgdesktopportal", 1);
}
}  // namespace Desktop
