// The small Markdown subset of the agent's answers, as plain data a view can
// draw: one item per line, each line's text as styled runs.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace MarkdownText {

/// A piece of inline text in one style.
struct Run {
    std::string text;
    bool strong = false;
    bool emphasis = false;
    bool code = false;
    bool strikethrough = false;
    /// The target of a link, present only for http and https links (others
    /// show their text without a link).
    std::optional<std::string> link;

    bool operator==(const Run&) const = default;
};

enum class Kind { spacer, heading, bullet, paragraph };

struct Line {
    Kind kind = Kind::spacer;
    /// The inline text; empty for a spacer.
    std::vector<Run> runs;
    /// For a bullet: the spaces (not tabs) in front of it in the answer.
    int indent = 0;

    bool operator==(const Line&) const = default;
};

/// One item per line of `text` (split at every "\n"; a trailing one gives a
/// last, empty line). After trimming spaces and tabs: empty is a spacer; a
/// leading "#" a heading (without its leading run of "#" and " "); a leading
/// "- " or "* " a bullet (without those two characters); anything else a
/// paragraph.
std::vector<Line> lines(std::string_view text);

/// Inline syntax only: strong ("**", "__"), emphasis ("*", "_"), code spans
/// (back quotes), strike-through ("~~"), links ("[text](url)", "<url>") and
/// backslash escapes. A delimiter without its partner is shown as typed;
/// white space is kept. Adjacent runs of one style are merged.
std::vector<Run> inlineRuns(std::string_view text);

/// Whether a link target may be opened: http and https only.
bool isOpenableLink(std::string_view url);

}  // namespace MarkdownText
