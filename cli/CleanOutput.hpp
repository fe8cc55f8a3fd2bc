// How `trash`, `empty-trash` and `clean` show what a clean did or would do.
#pragma once

#include "clean/Cleaner.hpp"

namespace cli {
/// The message, the first trashed paths and every failure.
void printCleanResult(const CleanResult& result);
}  // namespace cli
