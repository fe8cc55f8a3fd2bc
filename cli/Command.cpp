#include "Command.hpp"

#include <unistd.h>

#include <charconv>
#include <cmath>
#include <cstdio>
#include <mutex>

#include "base/DisplayText.hpp"

namespace cli {

namespace {
std::map<std::string, Command>& registry() {
    static std::map<std::string, Command> commands;
    return commands;
}
bool progressShown = false;
std::mutex progressLock;

[[noreturn]] void invalidValue(const std::string& option, const std::string& value) {
    throw UsageError{L("选项 %@ 的值无效: %@", option, value)};
}

/// The one reading of every numeric option's value. No option counts
/// backwards, so a negative value is as much a mistake as a word: it would
/// otherwise quietly become the smallest allowed value.
double nonNegativeNumber(const std::string& option, const std::string& text) {
    char* end = nullptr;
    double number = std::strtod(text.c_str(), &end);
    if (end == text.c_str() || *end != '\0' || std::isnan(number) || number < 0) invalidValue(option, text);
    return number;
}
}  // namespace

void unexpectedArgument(const std::string& word) { throw UsageError{L("多余的参数: %@", word)}; }

void unknownOption(const std::string& word) { throw UsageError{L("未知选项: %@", word)}; }

RegisterCommand::RegisterCommand(Command command) {
    std::string name = command.name;
    registry().emplace(std::move(name), std::move(command));
}

const Command* findCommand(const std::string& name) {
    auto found = registry().find(name);
    return found == registry().end() ? nullptr : &found->second;
}

std::optional<std::string> Arguments::value(const std::string& option) const {
    auto found = options.find(option);
    if (found == options.end() || found->second.empty()) return std::nullopt;
    return found->second.back();
}

std::vector<std::string> Arguments::values(const std::string& option) const {
    auto found = options.find(option);
    return found == options.end() ? std::vector<std::string>{} : found->second;
}

std::optional<int64_t> Arguments::integer(const std::string& option) const {
    auto text = value(option);
    if (!text) return std::nullopt;
    // Parsed as a double first so "1e30" and "25.0" saturate or truncate
    // instead of failing or overflowing.
    double number = nonNegativeNumber(option, *text);
    if (number >= 9.2e18) return INT64_MAX;
    return static_cast<int64_t>(number);
}

Arguments parse(const Command& command, const std::vector<std::string>& words) {
    Arguments arguments;
    bool optionsEnded = false;
    for (size_t i = 0; i < words.size(); ++i) {
        const std::string& word = words[i];
        if (optionsEnded) {
            arguments.positionals.push_back(word);
        } else if (word == "--") {
            optionsEnded = true;
        } else if (word == "--json") {
            arguments.json = true;
        } else if (command.valueOptions.count(word)) {
            if (i + 1 >= words.size()) throw UsageError{L("选项 %@ 缺少值", word)};
            arguments.options[word].push_back(words[++i]);
        } else if (word.size() > 1 && word[0] == '-') {
            if (!command.flags.count(word)) unknownOption(word);
            arguments.flags.insert(word);
        } else {
            arguments.positionals.push_back(word);
        }
    }
    if (arguments.positionals.size() > command.maxPositionals)
        unexpectedArgument(arguments.positionals[command.maxPositionals]);
    return arguments;
}

void printJSON(const json& document) { std::fputs((JSONOut::encode(document, true) + "\n").c_str(), stdout); }

std::string shown(std::string_view text) { return DisplayText::forTerminal(text); }

std::string shownName(std::string_view name) { return DisplayText::name(name); }

std::string shownPath(const std::string& path) { return DisplayText::path(Paths::abbreviate(path)); }

void printLine(const std::string& text) {
    endProgress();
    std::fputs(DisplayText::forTerminal(text, true).c_str(), stdout);
    std::fputc('\n', stdout);
}

void printError(const std::string& message) {
    endProgress();
    std::fputs((L("错误: ") + shown(message) + "\n").c_str(), stderr);
}

void printUsage(const std::string& usageLine) {
    endProgress();
    std::fputs((usageLine + "\n").c_str(), stderr);
}

bool showsProgress(const Arguments& arguments) { return !arguments.json && ::isatty(STDERR_FILENO); }

void printProgress(const std::string& line) {
    std::lock_guard guard(progressLock);
    std::fputs(line.c_str(), stderr);
    std::fflush(stderr);
    progressShown = true;
}

void endProgress() {
    std::lock_guard guard(progressLock);
    if (!progressShown) return;
    std::fputs("\r\x1b[K", stderr);
    std::fflush(stderr);
    progressShown = false;
}

}  // namespace cli

namespace cli {

ScanProgressHandler scanProgressLine(const Arguments& arguments) {
    if (!showsProgress(arguments)) return nullptr;
    return [](const ScanProgress& progress) {
        printProgress(
            L("\r\x1b"
              "[K扫描中… %@ 个文件,%@",
              progress.files, Fmt::bytes(progress.bytes)));
    };
}

int64_t megabytesOption(const Arguments& arguments, const std::string& option, double fallback) {
    double megabytes = fallback;
    auto text = arguments.value(option);
    if (text) megabytes = nonNegativeNumber(option, *text);
    double bytes = megabytes * 1'000'000.0;
    if (!std::isfinite(bytes) || bytes >= 9.2e18) invalidValue(option, text.value_or(""));
    return static_cast<int64_t>(bytes);
}

}  // namespace cli
