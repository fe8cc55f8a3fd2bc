// The outside rclone program: finding it, its command lines, and reading back
// what it prints. The engine relies only on the arguments, exit statuses and
// lines described here, never on what rclone's own configuration holds.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "Support.hpp"
#include "base/ScopedHooks.hpp"

namespace Rclone {

/// Finding the program (replaced in tests through ScopedHooks<Rclone::Hooks>:
/// rclone is installed on the build machines, so "not installed" cannot be
/// staged through PATH alone).
struct Hooks {
    /// Where the program is; Shell::which("rclone") by default.
    std::function<std::optional<std::string>()> locate;

    /// The set in force; the real lookup unless a test replaced it.
    static Hooks& active();
};

/// Where the program is, looked up on every use, since the user may install it
/// while the application runs.
std::optional<std::string> executable();

/// A remote path: the remote ("name:") followed directly by a relative path.
std::string remotePath(const std::string& remote, const std::string& relative);

/// `name` as an rclone filter pattern that matches exactly that name: the
/// pattern characters (\\ * ? [ ] { }) are escaped with a backslash.
std::string literalPattern(const std::string& name);

/// "copy": arguments for copying `source` into `target`, empty folders
/// included, logging JSON lines with statistics every second on standard
/// error. Each exclude is a name, matched literally at any depth.
std::vector<std::string> copyArguments(const std::string& source, const std::string& target,
                                       const std::vector<std::string>& excludes, bool dryRun);

/// "check": every source file, but the Finder's two bookkeeping files, exists
/// at the target with the same size. rclone refuses filters when the source
/// is a single file, so that check goes without them.
std::vector<std::string> checkArguments(const std::string& source, const std::string& target,
                                        bool sourceIsFolder = true);
inline constexpr double checkTimeout = 3600;

/// Runs "check", then foldersArrived; false when rclone is missing, fails, or
/// runs out of time. A source that is not a folder is checked as the one file it is.
bool check(const std::string& source, const std::string& target);

/// "lsjson": arguments listing every folder below `target`, at any depth.
std::vector<std::string> folderListingArguments(const std::string& target);
/// The paths, relative to the listed folder, of the entries in lsjson output;
/// none when it is not a JSON array.
std::optional<std::set<std::string>> parseListing(const std::string& output);
/// Every folder below the folder `source` (but those "check" passes over,
/// with what they hold) is listed below `target`: "check" compares files
/// only, and an empty folder is as much the user's as a file. False when a
/// folder of the source can't be read or rclone can't list the target.
bool foldersArrived(const std::string& source, const std::string& target);

/// "listremotes" through Shell::run with a 10-second limit. Every remote with
/// its trailing colon, in rclone's order; none when rclone is missing, fails
/// or times out. Listing creates nothing on disk: see listingConfigFile.
std::vector<std::string> listRemotes();
/// rclone makes its configuration folder (~/.config/rclone) whenever that is
/// missing, even just to list remotes. So when the folder is missing and the
/// user named no file (RCLONE_CONFIG), this is the file rclone would read,
/// given to it as RCLONE_CONFIG so it makes nothing: its own file beside the
/// program, else ~/.rclone.conf, else the file in the missing folder (then
/// only remotes defined in the environment are listed). None otherwise.
std::optional<std::string> listingConfigFile(const std::string& program);
inline constexpr double listRemotesTimeout = 10;

/// The remotes in listremotes output: lines trimmed of horizontal blanks that
/// end in ":" and hold at least one character before it.
std::vector<std::string> parseRemotes(const std::string& output);

/// The numbers of a "stats" log line that progress and the report use. A
/// running copy keeps one of these and feeds it every statistics line.
struct Stats {
    int64_t transfers = 0;
    int64_t totalTransfers = 0;
    int64_t checks = 0;
    int64_t errors = 0;
    int64_t bytes = 0;
    /// Taken from the latest line only; 0 when that line has none.
    int64_t totalBytes = 0;

    /// Members missing from `stats`, or not numbers, keep their earlier value,
    /// except totalBytes.
    void absorb(const json& stats);
};

/// One line of a copy's standard error (without its line feed) when it is a
/// JSON object; none for anything else, which rclone may print freely.
std::optional<json> parseLogLine(std::string_view line);
/// The "stats" object of a log line, when it has one.
const json* statsObject(const json& logLine);
/// The message of a log line at level "error", when it is a text.
std::optional<std::string> errorMessage(const json& logLine);

}  // namespace Rclone

namespace HorizontalSpace {
/// Trims spaces, tabs and the other Unicode space separators at both ends;
/// line breaks stay.
std::string trim(std::string_view text);
}  // namespace HorizontalSpace
