// A fixed, plausible disk state (one volume, a scanned home folder, a report
// of fifteen suggestions, three destinations, plans and history reports), so
// every page can be rendered without touching the user's disk.
#pragma once

#include "model/AppModel.hpp"

namespace Demo {
/// Fills the model (volumes, full disk access, scan, report, destinations,
/// plans, history), publishing each at once; starts no engine work and
/// leaves every other member as it was. Sets isActive(). UI thread.
void load(AppModel& model);
/// False until the first load; nothing sets it back.
bool isActive();
}  // namespace Demo
