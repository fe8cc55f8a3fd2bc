#include "agent/MarkdownText.hpp"

#include <algorithm>
#include <cctype>

#include "Support.hpp"

namespace MarkdownText {

namespace {
constexpr size_t none = std::string_view::npos;

// Line rules

/// Length of the space or tab (any Unicode space separator) starting at `at`, or 0.
size_t blankLength(std::string_view text, size_t at) {
    static const std::string_view wide[] = {"\u00A0", "\u1680", "\u2000", "\u2001", "\u2002", "\u2003",
                                            "\u2004", "\u2005", "\u2006", "\u2007", "\u2008", "\u2009",
                                            "\u200A", "\u202F", "\u205F", "\u3000"};
    if (text[at] == ' ' || text[at] == '\t') return 1;
    for (auto blank : wide)
        if (text.substr(at).starts_with(blank)) return blank.size();
    return 0;
}

std::string_view trimBlanks(std::string_view text) {
    while (!text.empty()) {
        size_t length = blankLength(text, 0);
        if (length == 0) break;
        text.remove_prefix(length);
    }
    while (!text.empty()) {
        size_t length = 0;
        for (size_t back = 1; back <= 3 && back <= text.size() && length == 0; ++back)
            if (blankLength(text, text.size() - back) == back) length = back;
        if (length == 0) break;
        text.remove_suffix(length);
    }
    return text;
}

Line lineOf(std::string_view raw) {
    std::string_view line = trimBlanks(raw);
    if (line.empty()) return Line{};
    if (line.starts_with("#")) {
        size_t start = line.find_first_not_of("# ");
        return Line{Kind::heading, inlineRuns(start == none ? "" : line.substr(start))};
    }
    if (line.starts_with("- ") || line.starts_with("* ")) {
        int indent = static_cast<int>(std::min(raw.find_first_not_of(' '), raw.size()));
        return Line{Kind::bullet, inlineRuns(line.substr(2)), indent};
    }
    return Line{Kind::paragraph, inlineRuns(line)};
}

// Inline runs

struct Style {
    bool strong = false, emphasis = false, code = false, strikethrough = false;
    std::optional<std::string> link;
};

/// A matched span: its inner text and where parsing resumes.
struct Span {
    size_t innerBegin, innerEnd, after;
};

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }
bool isWordCharacter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
           static_cast<unsigned char>(c) >= 0x80;
}
bool isPunctuation(char c) { return c > ' ' && c < 0x7F && !isWordCharacter(c); }

class InlineParser {
public:
    explicit InlineParser(std::string_view text) : text(text) {}

    std::vector<Run> parse() {
        parse(0, text.size(), Style{});
        return std::move(runs);
    }

private:
    size_t runLength(size_t at, char c, size_t end) const {
        size_t length = 0;
        while (at + length < end && text[at + length] == c) ++length;
        return length;
    }

    /// Where the back-quote run closing a code span opened by `length` back
    /// quotes begins, searching from `from`; none without one.
    size_t codeClose(size_t from, size_t length, size_t end) const {
        for (size_t at = from; at < end;) {
            size_t run = runLength(at, '`', end);
            if (run == length) return at;
            at += std::max<size_t>(run, 1);
        }
        return none;
    }

    /// Steps over an escape or a closed code span at `at`; `at` itself otherwise.
    size_t skipAtom(size_t at, size_t end) const {
        if (text[at] == '\\' && at + 1 < end && isPunctuation(text[at + 1])) return at + 2;
        if (text[at] == '`') {
            size_t run = runLength(at, '`', end);
            size_t close = codeClose(at + run, run, end);
            return close == none ? at + run : close + run;
        }
        return at;
    }

    /// A delimited span opened by `count` copies of `c` at `at`: the opener
    /// is followed by a non-blank, the closer (same count) preceded by one;
    /// underscores never open or close inside a word.
    std::optional<Span> delimited(size_t at, char c, size_t count, size_t end) const {
        size_t innerBegin = at + count;
        if (innerBegin >= end || isBlank(text[innerBegin])) return std::nullopt;
        if (c == '_' && at > 0 && isWordCharacter(text[at - 1])) return std::nullopt;
        for (size_t j = innerBegin; j < end;) {
            if (size_t next = skipAtom(j, end); next != j) {
                j = next;
                continue;
            }
            if (text[j] != c) {
                ++j;
                continue;
            }
            size_t run = runLength(j, c, end);
            bool fits = count == 1 ? run == 1 : run >= count;
            bool closes = fits && j > innerBegin && !isBlank(text[j - 1]) &&
                          !(c == '_' && j + count < end && isWordCharacter(text[j + count]));
            if (closes) return Span{innerBegin, j, j + count};
            j += run;
        }
        return std::nullopt;
    }

    /// "[text](target)" at `at`.
    std::optional<std::pair<Span, std::string>> link(size_t at, size_t end) const {
        int depth = 0;
        size_t close = none;
        for (size_t j = at; j < end && close == none;) {
            if (size_t next = skipAtom(j, end); next != j) {
                j = next;
                continue;
            }
            if (text[j] == '[') ++depth;
            if (text[j] == ']' && --depth == 0) close = j;
            ++j;
        }
        if (close == none || close + 1 >= end || text[close + 1] != '(') return std::nullopt;
        size_t targetEnd = text.find(')', close + 2);
        if (targetEnd == none || targetEnd >= end) return std::nullopt;
        std::string target = Text::trim(text.substr(close + 2, targetEnd - close - 2));
        target = target.substr(0, target.find_first_of(" \t"));
        if (target.size() >= 2 && target.front() == '<' && target.back() == '>')
            target = target.substr(1, target.size() - 2);
        return std::pair{Span{at + 1, close, targetEnd + 1}, target};
    }

    /// "<scheme:target>" at `at`.
    std::optional<Span> autolink(size_t at, size_t end) const {
        size_t close = text.find('>', at + 1);
        if (close == none || close >= end) return std::nullopt;
        std::string_view inner = text.substr(at + 1, close - at - 1);
        size_t colon = inner.find(':');
        auto isSchemeCharacter = [](char c) {
            return std::isalnum(static_cast<unsigned char>(c)) || c == '+' || c == '.' || c == '-';
        };
        bool schemed = colon != none && colon >= 2 &&
                       std::all_of(inner.begin(), inner.begin() + colon, isSchemeCharacter);
        if (!schemed || inner.find_first_of(" \t<") != none) return std::nullopt;
        return Span{at + 1, close, close + 1};
    }

    void emit(std::string_view piece, const Style& style) {
        if (piece.empty()) return;
        Run run{std::string(piece), style.strong, style.emphasis, style.code, style.strikethrough, style.link};
        if (!runs.empty()) {
            Run& last = runs.back();
            Run probe = last;
            probe.text = run.text;
            if (probe == run) return void(last.text += piece);
        }
        runs.push_back(std::move(run));
    }

    Style linked(Style style, std::string_view target) const {
        if (isOpenableLink(target)) style.link = std::string(target);
        return style;
    }

    /// One construct at `at`; where parsing resumes, or `at` when none starts there.
    size_t construct(size_t at, size_t end, const Style& style) {
        char c = text[at];
        if (c == '\\' && at + 1 < end && isPunctuation(text[at + 1])) {
            emit(text.substr(at + 1, 1), style);
            return at + 2;
        }
        if (c == '`') {
            size_t run = runLength(at, '`', end);
            size_t close = codeClose(at + run, run, end);
            if (close == none) return emit(text.substr(at, run), style), at + run;
            std::string_view content = text.substr(at + run, close - at - run);
            if (content.size() >= 2 && content.front() == ' ' && content.back() == ' ' &&
                content.find_first_not_of(' ') != none)
                content = content.substr(1, content.size() - 2);
            Style inner = style;
            inner.code = true;
            emit(content, inner);
            return close + run;
        }
        if (c == '[') {
            if (auto found = link(at, end)) {
                parse(found->first.innerBegin, found->first.innerEnd, linked(style, found->second));
                return found->first.after;
            }
        }
        if (c == '<') {
            if (auto found = autolink(at, end)) {
                auto target = text.substr(found->innerBegin, found->innerEnd - found->innerBegin);
                emit(target, linked(style, target));
                return found->after;
            }
        }
        if (c == '*' || c == '_' || c == '~') return delimiter(at, end, style);
        return at;
    }

    size_t delimiter(size_t at, size_t end, const Style& style) {
        char c = text[at];
        size_t run = runLength(at, c, end);
        Style inner = style;
        std::optional<Span> span;
        if (c == '~') {
            if (run == 2 && (span = delimited(at, c, 2, end))) inner.strikethrough = true;
        } else if (run >= 2 && (span = delimited(at, c, 2, end))) {
            inner.strong = true;
        } else if (run == 1 && (span = delimited(at, c, 1, end))) {
            inner.emphasis = true;
        }
        if (!span) {
            // Shown as typed; a longer run may still open a shorter span further on.
            size_t shown = run == 1 || c == '~' ? run : 1;
            emit(text.substr(at, shown), style);
            return at + shown;
        }
        parse(span->innerBegin, span->innerEnd, inner);
        return span->after;
    }

    void parse(size_t begin, size_t end, const Style& style) {
        size_t plain = begin;
        for (size_t at = begin; at < end;) {
            if (std::string_view("\\`[<*_~").find(text[at]) == none) {
                ++at;
                continue;
            }
            emit(text.substr(plain, at - plain), style);
            size_t next = construct(at, end, style);
            if (next == at) {
                emit(text.substr(at, 1), style);
                ++next;
            }
            at = plain = next;
        }
        emit(text.substr(plain, end - plain), style);
    }

    std::string_view text;
    std::vector<Run> runs;
};
}  // namespace

std::vector<Run> inlineRuns(std::string_view text) { return InlineParser(text).parse(); }

std::vector<Line> lines(std::string_view text) {
    std::vector<Line> result;
    while (true) {
        size_t end = text.find('\n');
        result.push_back(lineOf(text.substr(0, end)));
        if (end == none) break;
        text.remove_prefix(end + 1);
    }
    return result;
}

bool isOpenableLink(std::string_view url) {
    std::string lower = Text::lowercased(url.substr(0, 8));
    return lower.starts_with("http://") || lower.starts_with("https://");
}

}  // namespace MarkdownText
