// Whether views animate their changes. The snapshot mode turns motion off, so
// every image shows the resting state of what it captures.
#pragma once

#include "base/ScopedHooks.hpp"

namespace Motion {
/// Whether motion is on. Code that needs it otherwise (the snapshot mode, a
/// test, a sample drawn at rest) holds a `ScopedHooks<Motion::Hooks>`, which
/// puts the previous state back when it goes.
struct Hooks {
    bool enabled = true;
    static Hooks& active();
};
/// Whether views animate now; UI thread.
bool enabled();
}  // namespace Motion
