// Random identifiers in the standard UUID text form.
#pragma once

#include <string>

namespace UUIDs {
/// A fresh random (version 4) UUID in upper-case text form,
/// "E621E1F8-C36C-495A-93FC-0C247A3E6E5F".
std::string make();
}  // namespace UUIDs
