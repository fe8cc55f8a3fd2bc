// Bounds on what the engine reads from files and from the MCP client: a file
// or line that is too large, or JSON nested too deeply, is refused before it
// can exhaust memory or the stack.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "base/JSONOut.hpp"
#include "base/ScopedHooks.hpp"

namespace InputLimits {

/// The limits in force (lowered in tests through ScopedHooks<InputLimits::Hooks>).
struct Hooks {
    /// The largest stored file (configuration, history, defaults, scan cache)
    /// that is read: 64 MiB, far above anything the programs write themselves.
    int64_t storedFileBytes = int64_t{64} << 20;
    /// The longest MCP request line that is decoded: 16 MiB.
    int64_t requestLineBytes = int64_t{16} << 20;

    /// The set in force; the limits above unless a test lowered them.
    static Hooks& active();
};

inline int64_t storedFileBytes() { return Hooks::active().storedFileBytes; }
inline int64_t requestLineBytes() { return Hooks::active().requestLineBytes; }

/// How reading a stored file ended.
enum class Read { missing, tooLarge, unreadable, read };

/// A stored file's whole contents when it is a regular file no larger than
/// `storedFileBytes`; `outcome` says why there are none.
std::optional<std::string> readStoredFile(const std::filesystem::path& path, Read& outcome);
/// The same for the entry `name` of an open folder.
std::optional<std::string> readStoredFile(int folder, const std::string& name, Read& outcome);

/// The JSON value of the text, or none when it is malformed or nests arrays
/// and objects deeper than `maxDepth` levels. The depth is counted while
/// parsing, so a deep text is refused before any deep value exists.
/// `tooDeep`, when given, says whether the depth was the reason.
std::optional<json> parse(std::string_view text, int maxDepth, bool* tooDeep = nullptr);

}  // namespace InputLimits
