// Showing things in the desktop's file manager: an item selected in its
// folder, or a folder or location ("trash:///") opened.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "base/Shell.hpp"

namespace FileManager {

/// Shows an item selected in the file manager, else opens its folder; whether
/// a file manager answered (false: no FileManager1 service and no `xdg-open`
/// that could open the folder). What stands where the folder should be but is
/// no folder is never opened: that would open a file with its application.
bool showItem(const std::string& path);
/// Opens a folder or a URL ("trash:///") with `xdg-open`; whether it answered.
bool open(const std::string& target);

/// The programs asked, replaceable so tests can see the calls and make them
/// fail; the defaults are the real ones.
struct Hooks {
    /// Runs an outside program to its end, as Shell::run does.
    std::function<Shell::Output(const std::string& executable, const std::vector<std::string>& arguments,
                                double timeout)>
        run;
    /// Runs a program that may stay running as the window it opens, as Shell::hand does.
    std::function<Shell::Output(const std::string& executable, const std::vector<std::string>& arguments,
                                double timeout)>
        hand;
    /// Finds a system program, as Shell::systemProgram does.
    std::function<std::optional<std::string>(const std::string& name)> locate;

    /// The set in force; the real programs unless a test replaced them
    /// through ScopedHooks<FileManager::Hooks>.
    static Hooks& active();
};

}  // namespace FileManager
