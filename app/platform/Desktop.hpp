// The desktop's services the pages call: showing an item in the file manager
// and putting text on the clipboard.
#pragma once

#include <string>

namespace Desktop {
/// Opens a file-manager window with the item selected. Returns at once: the
/// request runs on a thread of its own, since the file manager may take
/// seconds to answer; a failure is ignored.
void reveal(const std::string& path);
/// Replaces the clipboard's content with `text` as plain text.
void copyText(const std::string& text);
}  // namespace Desktop
