// Whether views animate their changes. The snapshot mode turns motion off, so
// every image shows the resting state of what it captures.
#pragma once

namespace Motion {
/// True unless setEnabled(false) was called; UI thread.
bool enabled();
void setEnabled(bool value);
}  // namespace Motion
