// How long ago something happened, in the user's language.
#pragma once

#include <string>

#include "base/ISODate.hpp"

namespace Fmt {
/// "刚刚" under a minute, then whole minutes, hours, days (up to 59),
/// months of 30 days (up to 729 days) and years of 365 days.
std::string ago(Date date, Date now);
}  // namespace Fmt
