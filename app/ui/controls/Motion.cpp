#include "ui/controls/Motion.hpp"

namespace Motion {
Hooks& Hooks::active() {
    static Hooks hooks;
    return hooks;
}
bool enabled() { return Hooks::active().enabled; }
}  // namespace Motion
