// The version the tool and the application report.
#pragma once

#include <string>

namespace Ostrevane {
inline const std::string version = "0.3.1";
}
