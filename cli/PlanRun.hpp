// `plans run [id] [--dry-run]`: the `plans` command hands its "run" form here.
#pragma once

#include "Command.hpp"

namespace cli {

/// Runs the plan named by the second positional, or every plan when there is
/// none. `arguments` are the `plans` command's own, the first positional
/// being "run". Prints one outcome per plan; --json prints a plan run's
/// record (an array of them when every plan ran).
int runPlansCommand(const Arguments& arguments);

/// Says on standard error that config.json cannot be read and is ignored,
/// when that is so, and whether it was. For commands that only read the
/// file, which would otherwise show an empty list as if nothing were saved.
bool reportUnreadableConfiguration();

}  // namespace cli
