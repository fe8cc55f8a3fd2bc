// How often long jobs report their progress, in seconds. Reports come from
// the threads doing the work; pacing them keeps the observers (a window that
// repaints, an agent reading notifications) from costing the job its speed.
#pragma once

namespace ProgressPace {
/// A scan reports its counts at most this often.
inline constexpr double scan = 0.12;
/// A local backup reports the file it is at at most this often.
inline constexpr double localCopy = 0.15;
/// The MCP server passes a job's progress to the agent at most once a second,
/// whatever the job reports.
inline constexpr double notification = 1.0;
}  // namespace ProgressPace
