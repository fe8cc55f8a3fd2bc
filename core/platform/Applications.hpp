// When an application was last opened. Linux keeps no such record for an
// application folder, so the answer is "unknown" unless a provider is set;
// an unknown date keeps an application out of every idle-time judgement.
#pragma once

#include <functional>
#include <optional>
#include <string>

#include "base/ISODate.hpp"

namespace Applications {

using LastUsedDateProvider = std::function<std::optional<Date>(const std::string& applicationPath)>;

/// The last time the application at this path was opened, when known.
std::optional<Date> lastUsedDate(const std::string& applicationPath);

/// Replaces the source of last-used dates; an empty function restores the
/// platform's own (always unknown). Safe to call while other threads ask.
void setLastUsedDateProvider(LastUsedDateProvider provider);

}  // namespace Applications
