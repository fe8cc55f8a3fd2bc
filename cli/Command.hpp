// The tool's commands register themselves here; main() only dispatches.
#pragma once

#include <cstddef>
#include <functional>
#include <limits>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "Support.hpp"
#include "scan/Scanner.hpp"
#include "text/Localization.hpp"

namespace cli {

enum ExitStatus { success = 0, failure = 1, usageError = 2 };

/// Thrown while a command reads its arguments, before it has done anything:
/// the tool prints `message` as an error line, then where the help is, and exits with
/// `usageError`.
struct UsageError {
    /// What was wrong, naming the argument; already localised.
    std::string message;
};

/// A usage error for a word the command has no place for.
[[noreturn]] void unexpectedArgument(const std::string& word);
/// A usage error for an option the command (or this form of it) does not take.
[[noreturn]] void unknownOption(const std::string& word);

/// A command's words after its name, split into positionals, options that
/// take a value, and flags. `--json` is recognised for every command.
struct Arguments {
    std::vector<std::string> positionals;
    std::map<std::string, std::vector<std::string>> options;
    std::set<std::string> flags;
    bool json = false;

    bool has(const std::string& flag) const { return flags.count(flag) > 0; }
    std::optional<std::string> value(const std::string& option) const;
    std::vector<std::string> values(const std::string& option) const;
    /// A whole-number option, saturated to the 64-bit range, fractions
    /// truncated; none when absent. A value that is not a number, or is
    /// negative, throws UsageError naming it: a mistyped count must not
    /// quietly become the default.
    std::optional<int64_t> integer(const std::string& option) const;
};

struct Command {
    std::string name;
    /// Options followed by a value ("--depth", "-n").
    std::set<std::string> valueOptions = {};
    std::function<int(const Arguments&)> run;
    /// Options without a value ("--execute"); any other word that starts
    /// with "-" is a usage error, so a mistyped option never goes unnoticed.
    std::set<std::string> flags = {};
    /// More positionals than this is a usage error, so that a stray word
    /// (`empty-trash --confirm ~/file`) is never taken for something it is not.
    size_t maxPositionals = std::numeric_limits<size_t>::max();
};

struct RegisterCommand {
    explicit RegisterCommand(Command command);
};

const Command* findCommand(const std::string& name);

/// Splits `words`; an unknown option, a value option at the end without its
/// value, or too many positionals throws UsageError naming the word. Words
/// after "--" are all positionals.
Arguments parse(const Command& command, const std::vector<std::string>& words);

// Output. Results go to standard output; errors, usage lines and progress to
// standard error.
void printJSON(const json& document);
template <class T>
void printJSON(const T& record) {
    std::fputs((JSONOut::encode(record, true) + "\n").c_str(), stdout);
}
/// Plain output is for a terminal: DisplayText::forTerminal.
std::string shown(std::string_view text);
/// A name as people read it: DisplayText::name.
std::string shownName(std::string_view name);
/// A path as people read it, abbreviated: DisplayText::path of Paths::abbreviate.
std::string shownPath(const std::string& path);
/// One line; its own line breaks stay, every other control is escaped.
void printLine(const std::string& text);
/// "Error: " and the message, escaped as `shown` does.
void printError(const std::string& message);
void printUsage(const std::string& usageLine);
/// Progress lines show only on a terminal, and never with --json.
bool showsProgress(const Arguments& arguments);
void printProgress(const std::string& line);
void endProgress();
/// The scan progress line on a terminal, or no handler. Safe to call from the
/// scanner's threads.
ScanProgressHandler scanProgressLine(const Arguments& arguments);

/// A size option in megabytes of 1,000,000 bytes, `fallback` when absent.
/// Throws UsageError naming the value when it is not a number, is negative or
/// has no byte count in the 64-bit range.
int64_t megabytesOption(const Arguments& arguments, const std::string& option, double fallback);

}  // namespace cli
