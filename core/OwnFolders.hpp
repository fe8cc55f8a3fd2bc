// The tool's own folders (the support folder, the scan cache folder, the
// agent folder; the home Trash is checked as every Trash is) are the user's
// alone. Threat model: other users, or anyone who can write to a shared
// disk, can never make the tool move, empty or delete anything of the
// user's. A folder whose way from "/" another user can write to may hold
// their configuration (a destination of theirs for the user's backups) or a
// forged scan: such a folder is neither read nor written, and the tool says
// so in one line naming the folder and why.
#pragma once

#include <functional>
#include <optional>
#include <string>

#include "base/DisplayText.hpp"
#include "platform/FolderTrust.hpp"

namespace OwnFolders {

/// Why a folder of the way fails, for people: "other users can write to /tmp/x".
std::string reasonText(const FolderTrust::Failure& failure);

/// The line that says the tool does not use `folder`, and why.
std::string refusalLine(const DisplayText::QuotedPath& folder, const FolderTrust::Failure& failure);

/// The line when `folder` fails the rule of FolderTrust from "/"; none when
/// it passes (a folder that is not there yet passes as far as it exists). A
/// folder the tool made itself that is looser than 0700 is tightened first.
std::optional<std::string> refusal(const std::string& folder);

/// Whether `folder` may be read and written. When it may not, the line is
/// handed to the `refused` hook, once per folder and process, whatever the
/// reason says each time.
bool usable(const std::string& folder);

/// The support folder made, for a write into it: the line when it fails the
/// rule before it is made or as made (someone may have made it first); none
/// when it passes both.
std::optional<std::string> supportFolderRefusalAsMade();

struct Hooks {
    /// Told each refusal line once; the command-line tool prints it on stderr.
    std::function<void(const std::string& line)> refused;
    static Hooks& active();
};

}  // namespace OwnFolders
