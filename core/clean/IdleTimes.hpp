// The idle time of an item picked for it, measured as its rule measures it:
// the rules use these to pick, and a clean to measure again before a move.
#pragma once

#include <optional>
#include <set>
#include <string>

#include "clean/SuggestionTypes.hpp"

namespace IdleTimes {

/// The modification time of the entry itself, links not followed; none when
/// it cannot be read.
std::optional<Date> modificationDate(const std::string& path);
/// The newest modification time among the entries of `folder`, links not
/// followed, leaving out the names in `passedOver`; none when no entry has one.
std::optional<Date> newestEntry(const std::string& folder, const std::set<std::string>& passedOver);
/// The time `test` reads of the item at `path` now; none when it cannot be measured.
std::optional<Date> measured(const std::string& path, const IdleTest& test);
/// Whether the item at `path`, measured now, is still as idle as `test` asks.
/// One that cannot be measured any more is not.
bool stillIdle(const std::string& path, const IdleTest& test);

}  // namespace IdleTimes
