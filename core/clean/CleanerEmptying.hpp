// What the cleaner's own files share about emptying the Trash.
#pragma once

#include <exception>
#include <string>

#include "clean/Cleaner.hpp"

namespace Cleaner {

/// Emptying the Trash through its suggestion: only the items the
/// suggestion's analysis measured (see `apply`).
CleanResult emptyAsShown(const Suggestion& suggestion);

/// What an error says to the user: the engine's message, the system's
/// description, or why an item's disk has no Trash it can go to.
std::string localizedDescription(const std::exception& error);

}  // namespace Cleaner
