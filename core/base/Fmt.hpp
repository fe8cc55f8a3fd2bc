// Sizes, shares and days as the engine shows them. The relative time ("3
// days ago"), whose words follow the user's language, is in RelativeTime.hpp.
#pragma once

#include <cstdint>
#include <string>

#include "base/ISODate.hpp"

namespace Fmt {
std::string bytes(int64_t count);
double percent(int64_t part, int64_t total);
std::string day(Date date);
int daysSince(Date date, Date now);
}  // namespace Fmt
