// Calls into the desktop: showing an item in the file manager, opening the
// Trash, the clipboard and choosing a folder.
// None goes through a shell. Tests replace them through
// ScopedHooks<Desktop::Hooks>.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "base/ScopedHooks.hpp"

class AppModel;
class Executor;
class QFileDialog;
class QWidget;

namespace Desktop {
/// The calls that reach the desktop; `active()` starts as the desktop's own.
/// UI thread, except `reveal` and `openTrash`, which may wait for the file
/// manager and run where `useExecutor` says; they tell whether it answered.
struct Hooks {
    std::function<bool(const std::string& path)> reveal;
    std::function<bool()> openTrash;
    std::function<void(const std::string& text)> copy;
    std::function<std::optional<std::string>(QWidget* parent)> chooseFolder;

    static Hooks& active();
};

/// What a reveal or an opening of the Trash does, back on the UI thread, when
/// no file manager answered.
using Unanswered = std::function<void()>;
/// `Unanswered` for a page: posts on `model`, while it lives, the error notice
/// that no file manager answered, so a click never does nothing unsaid.
Unanswered noticeOn(const std::shared_ptr<AppModel>& model);
/// Shows the item selected in the file manager (the engine's reveal) on the
/// executor given to `useExecutor`, else on the calling thread.
void reveal(const std::string& path, Unanswered unanswered);
/// Where the desktop calls that may wait run: the application's pool, so
/// quitting waits for them or drops them. None: they run on the calling
/// thread. UI thread.
void useExecutor(std::shared_ptr<Executor> executor);
/// Opens the user's Trash: `xdg-open trash:///`, else the real home's Trash
/// files folder (never the OSTREVANE_HOME override); where `reveal` runs.
void openTrash(Unanswered unanswered);
/// Replaces the clipboard's contents with `text` as plain text.
inline void copy(const std::string& text) { Hooks::active().copy(text); }
/// A modal folder chooser (directories only, accept button "选择"); none when cancelled.
inline std::optional<std::string> chooseFolder(QWidget* parent) { return Hooks::active().chooseFolder(parent); }
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

/// The real home's Trash files folder: $XDG_DATA_HOME/Trash/files when that
/// is an absolute path, else <real home>/.local/share/Trash/files.
std::string realTrashFolder();
}  // namespace Desktop
