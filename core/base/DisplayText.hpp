// Texts that reach a person's eyes or another program's parser with
// characters that could mislead either written as visible escapes.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace DisplayText {

/// The byte length of the bidirectional formatting character (U+061C,
/// U+200E, U+200F, U+202A-U+202E, U+2066-U+2069) at the start of the UTF-8
/// text, or 0. Such a character inside a file name can reverse how the rest
/// of a line reads ("txt.exe" shown as "exe.txt").
size_t bidiControlLength(std::string_view text);

/// The text with every bidirectional formatting character written as
/// "\u202e"; everything else unchanged.
std::string escapingBidiControls(std::string_view text);

/// Text for a terminal: control characters, DEL, C1 controls and bytes that
/// are not UTF-8 written as escapes ("\\n", "\\x1b"), and bidirectional
/// formatting characters as "\\u202e", so a text can neither break the
/// layout, send the terminal escape sequences nor read reversed. Line breaks
/// stay with `keepLineBreaks`.
std::string forTerminal(std::string_view text, bool keepLineBreaks = false);

/// A name or path written for people, the one form every listing and
/// sentence shows it in. A name of letters and marks of any script, digits,
/// plain spaces, parentheses and "-_.,+=@%:/~" (and other visible
/// characters no shell acts on) is written as it is. Any other, one with a
/// stray byte, a control character, a space other than the plain one, an
/// invisible formatting character or one of the shell's own characters
/// ($ ` \ ' " ; & | < > * ? [ ] ! { } #), is written whole in bash's
/// `$'…'` quoting, every byte that needs it as "\xHH" whatever the locale:
/// pasted into bash it reads back as exactly the name's bytes and runs
/// nothing. A name that itself looks quoted is quoted in its turn.
std::string name(std::string_view name);

class QuotedPath;
/// `name` of a path, with a leading "~/" (the home, as Paths::abbreviate
/// writes it) left outside the quotes, where the shell expands it.
QuotedPath path(std::string_view path);

/// A path as `path` writes it, the only form a sentence takes a path in:
/// nothing else can make one, so a sentence handed a path as it is does not
/// compile.
class QuotedPath {
public:
    const std::string& text() const { return shown; }
    operator const std::string&() const { return shown; }

private:
    explicit QuotedPath(std::string shown) : shown(std::move(shown)) {}
    friend QuotedPath path(std::string_view path);
    std::string shown;
};

/// The text a listing showed for `shown` read back: a `name` in `$'…'`
/// quoting gives the bytes it stands for, as bash would read it; none for
/// any other text.
std::optional<std::string> unquoted(std::string_view shown);

/// JSON text with DEL and the C1 controls (U+0080-U+009F), which the encoder
/// leaves raw, written as "\u007f" and "\u009b": a terminal showing the output
/// would otherwise act on them. The value the text stands for is unchanged.
/// Expects valid UTF-8 (the encoder's output).
std::string escapingJSONControls(std::string text);

}  // namespace DisplayText
