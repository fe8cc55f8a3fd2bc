// Counts as the pages show them.
#pragma once

#include <cstdint>
#include <string>

namespace NumberText {
/// A whole number with a comma between groups of three digits ("1,234",
/// "-12,345"); the plural rule of L() reads such a text as a count.
std::string grouped(int64_t value);
}  // namespace NumberText
