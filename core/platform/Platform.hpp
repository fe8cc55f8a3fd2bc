// The Linux side of the services the engine was designed around. Values the
// engine computes once per process are reset together for tests.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

namespace Platform {
/// Forgets the once-per-process values (home folder, language) so one test
/// binary can try several homes and languages.
void resetForTesting();

/// An environment variable's value, or none when unset.
std::optional<std::string> environment(const char* name);
/// $HOME when set and non-empty, else the password database.
std::string realHome();
/// The user's preferred languages in BCP-47-like form ("zh-CN"), from
/// LANGUAGE, then the first of LC_ALL, LC_MESSAGES, LANG.
std::vector<std::string> preferredLanguages();
/// The user's login shell from the password database, if any.
std::optional<std::string> loginShell();
}  // namespace Platform

/// The application's persistent settings, shared by the application and the
/// tool: one JSON file in the real home's configuration folder.
namespace UserDefaults {
std::string filePath();
std::optional<nlohmann::json> value(const std::string& key);
void set(const std::string& key, const nlohmann::json& value);
void remove(const std::string& key);
}  // namespace UserDefaults

namespace Paths::detail {
void resetHome();
}
namespace Langs::detail {
void reset();
}
