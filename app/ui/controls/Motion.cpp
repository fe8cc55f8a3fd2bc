#include "ui/controls/Motion.hpp"

namespace Motion {
namespace {
bool on = true;
}
bool enabled() { return on; }
void setEnabled(bool value) { on = value; }
}  // namespace Motion
