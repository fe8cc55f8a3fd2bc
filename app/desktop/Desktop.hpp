// Calls into the desktop: showing an item in the file manager, opening the
// Trash, the clipboard, choosing a folder and the system's privacy settings.
// None goes through a shell. Each can be replaced for tests with ScopedHooks.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

class Executor;
class QFileDialog;
class QWidget;

namespace Desktop {
/// Shows the item selected in the file manager (the engine's reveal) on the
/// executor given to `useExecutor`, else on the calling thread; failures are ignored.
void reveal(const std::string& path);
/// Where the desktop calls that may wait run: the application's pool, so
/// quitting waits for them or drops them. None: they run on the calling
/// thread. UI thread.
void useExecutor(std::shared_ptr<Executor> executor);
/// Opens the user's Trash: `xdg-open trash:///`, else the real home's Trash
/// files folder (never the OSTREVANE_HOME override). Failures are ignored.
void openTrash();
/// Replaces the clipboard's contents with `text` as plain text.
void copy(const std::string& text);
/// A modal folder chooser (directories only, accept button "选择"); none when cancelled.
std::optional<std::string> chooseFolder(QWidget* parent);
/// What chooseFolder asks of its dialog: folders only, the desktop's native
/// chooser allowed, opening in the home folder.
void prepareFolderDialog(QFileDialog& dialog);
/// Whether to run Qt with the XDG desktop portal theme, so that file dialogs
/// are the desktop's own: only when the user chose no platform theme and a
/// session bus and an installed portal service are there.
bool usesPortalTheme(const std::optional<std::string>& chosenTheme, bool sessionBus, bool portalInstalled);
/// Sets QT_QPA_PLATFORMTHEME to the portal theme when usesPortalTheme says
/// so; before the QApplication is made, and never for offscreen snapshots.
void preferPortalDialogs();
/// Linux has no Full Disk Access page: does nothing unless a hook is set.
void openFullDiskAccessSettings();

/// The real home's Trash files folder: $XDG_DATA_HOME/Trash/files when that
/// is an absolute path, else <real home>/.local/share/Trash/files.
std::string realTrashFolder();

/// Replacements; a member left empty keeps the desktop behaviour.
struct Hooks {
    std::function<void(const std::string& path)> reveal;
    std::function<void()> openTrash;
    std::function<void(const std::string& text)> copy;
    std::function<std::optional<std::string>(QWidget* parent)> chooseFolder;
    std::function<void()> openFullDiskAccessSettings;
};

/// Installs hooks for the life of the object and puts the previous ones back. UI thread.
class ScopedHooks {
public:
    explicit ScopedHooks(Hooks hooks);
    ~ScopedHooks();
    ScopedHooks(const ScopedHooks&) = delete;
    ScopedHooks& operator=(const ScopedHooks&) = delete;

private:
    Hooks previous;
};
}  // namespace Desktop
