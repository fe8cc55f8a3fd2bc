// The two long texts of the command-line tool, kept beside the engine so the
// table and the tool share one spelling of each key.
#pragma once

#include <string>

namespace CLITexts {
extern const std::string helpKey;
extern const std::string setupKey;
}  // namespace CLITexts
