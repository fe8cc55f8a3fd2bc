#include "desktop/Desktop.hpp"

#include <QClipboard>
#include <QFileDialog>
#include <QGuiApplication>
#include <QProcess>
#include <cstdlib>
#include <filesystem>

#include "Cleaner.hpp"
#include "Localization.hpp"
#include "model/Executor.hpp"

namespace Desktop {

namespace {
std::shared_ptr<Executor> background;

void revealNow(const std::string& path) {
    try {
        Cleaner::revealInFinder(path);
    } catch (...) {
        // Dropped: the file manager failing to show an item (no D-Bus session,
        // no file manager, a path gone since) changes nothing the user asked to keep.
    }
}

void revealInBackground(const std::string& path) {
    // The file manager is asked over D-Bus with a timeout; the window must not wait for it.
    if (background) return background->submit(Priority::userInitiated, [path] { revealNow(path); });
    revealNow(path);
}

void openTrashFolder() {
    if (QProcess::startDetached("xdg-open", {"trash:///"})) return;
    QProcess::startDetached("xdg-open", {QString::fromStdString(realTrashFolder())});
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
    static Hooks hooks{revealInBackground, openTrashFolder, copyText, chooseFolderInDialog, [] {}};
    return hooks;
}

void useExecutor(std::shared_ptr<Executor> executor) { background = std::move(executor); }

std::string realTrashFolder() {
    const char* data = std::getenv("XDG_DATA_HOME");
    const std::string base = data && data[0] == '/' ? std::string(data) : Paths::realHome() + "/.local/share";
    return base + "/Trash/files";
}

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
    const char* theme = std::getenv("QT_QPA_PLATFORMTHEME");
    const char* bus = std::getenv("DBUS_SESSION_BUS_ADDRESS");
    std::error_code ignored;
    const bool installed =
        std::filesystem::exists("/usr/share/dbus-1/services/org.freedesktop.portal.Desktop.service", ignored);
    if (usesPortalTheme(theme ? std::optional<std::string>(theme) : std::nullopt, bus && *bus, installed))
        setenv("QT_QPA_PLATFORMTHEME", "xdgdesktopportal", 1);
}
}  // namespace Desktop
