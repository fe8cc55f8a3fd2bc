// Every text the front end passes to L() as a literal must have a row in the
// English table: a missing key would show Chinese in the English interface.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>

#include "text/Localization.hpp"

namespace fs = std::filesystem;

namespace {
std::string contents(const fs::path& file) {
    std::ifstream stream(file);
    std::stringstream buffer;
    buffer << stream.rdbuf();
    return buffer.str();
}

/// Reads adjacent string literals starting at `at` (just after "L("); none
/// when the argument is not a literal.
std::optional<std::string> literalAt(const std::string& source, size_t at) {
    std::string text;
    bool any = false;
    while (true) {
        while (at < source.size() && std::isspace(static_cast<unsigned char>(source[at]))) ++at;
        if (at >= source.size() || source[at] != '"') break;
        any = true;
        for (++at; at < source.size() && source[at] != '"'; ++at) {
            if (source[at] != '\\') {
                text += source[at];
                continue;
            }
            const char escaped = source[++at];
            text += escaped == 'n' ? '\n' : escaped == 't' ? '\t' : escaped;
        }
        ++at;
    }
    return any ? std::optional(text) : std::nullopt;
}
}  // namespace

TEST(TextKeys, EveryLiteralKeyOfTheFrontEndIsInTheTable) {
    const std::regex call(R"((^|[^A-Za-z0-9_:.>])L\()");
    std::vector<std::string> missing;
    size_t checked = 0;
    for (const auto& entry : fs::recursive_directory_iterator(fs::path(OSTREVANE_SOURCE_DIR) / "app")) {
        const auto extension = entry.path().extension();
        if (extension != ".cpp" && extension != ".hpp") continue;
        const std::string source = contents(entry.path());
        for (auto it = std::sregex_iterator(source.begin(), source.end(), call); it != std::sregex_iterator(); ++it) {
            const auto key = literalAt(source, size_t(it->position() + it->length()));
            if (!key) continue;
            ++checked;
            if (!English::lookup(*key)) missing.push_back(entry.path().filename().string() + ": " + *key);
        }
    }
    EXPECT_GT(checked, 50u);
    EXPECT_EQ(missing, std::vector<std::string>{});
}
