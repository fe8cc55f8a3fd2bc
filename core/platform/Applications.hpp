// When an application was last opened. Linux keeps no such record for an
// application folder, so the answer is "unknown" unless a test stands in for
// one; an unknown date keeps an application out of every idle-time judgement.
#pragma once

#include <functional>
#include <optional>
#include <string>

#include "base/ISODate.hpp"
#include "base/ScopedHooks.hpp"

namespace Applications {

/// The source of last-used dates (replaced in tests through ScopedHooks<Applications::Hooks>).
struct Hooks {
    /// The last time the application at this path was opened, when known.
    /// Lookups run in parallel. The default always answers unknown.
    std::function<std::optional<Date>(const std::string& applicationPath)> lastUsedDate;

    /// The set in force; the platform's own unless a test replaced it.
    static Hooks& active();
};

/// The last time the application at this path was opened, when known.
inline std::optional<Date> lastUsedDate(const std::string& applicationPath) {
    return Hooks::active().lastUsedDate(applicationPath);
}

}  // namespace Applications
