// Texts that reach a person's eyes or another program's parser with
// characters that could mislead either written as visible escapes.
#pragma once

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

/// JSON text with DEL and the C1 controls (U+0080-U+009F), which the encoder
/// leaves raw, written as "\u007f" and "\u009b": a terminal showing the output
/// would otherwise act on them. The value the text stands for is unchanged.
/// Expects valid UTF-8 (the encoder's output).
std::string escapingJSONControls(std::string text);

}  // namespace DisplayText
