// The fake agent program and the waits the agent suites share.
#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "Support.hpp"
#include "TestSupport.hpp"
#include "model/Dispatcher.hpp"

namespace agent_testing {
using namespace testing_support;

/// Drains the dispatcher until `done` holds; false after `seconds`.
inline bool drainUntil(ManualDispatcher& dispatcher, const std::function<bool()>& done, double seconds = 10) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (true) {
        dispatcher.drain();
        if (done()) return true;
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

/// The fake `claude` installed as bin/claude in a temporary folder that is
/// first on PATH, with HOME, OSTREVANE_HOME and the XDG folders temporary too.
/// Each run of the fake leaves its traces in `log`.
class FakeClaude {
public:
    explicit FakeClaude(const std::string& mode = "stream") {
        fs::create_directories(bin);
        fs::create_directories(log);
        fs::copy_file(fs::path(OSTREVANE_SOURCE_DIR) / "tests/app/fixtures/fake-claude", claude());
        fs::permissions(claude(), fs::perms::owner_all);
        set("HOME", scope.home());
        set("PATH", bin.string() + ":/usr/bin:/bin");
        set("FAKE_CLAUDE_LOG", log.string());
        setMode(mode);
    }
    void setMode(const std::string& mode) { set("FAKE_CLAUDE_MODE", mode); }
    void set(const std::string& name, const std::optional<std::string>& value) {
        environment.push_back(std::make_unique<ScopedEnv>(name, value));
    }
    std::string claude() const { return (bin / "claude").string(); }
    /// The arguments of the last run of `file` ("args", "mcp-get.args", ...).
    std::vector<std::string> arguments(const std::string& file = "args") const {
        std::vector<std::string> result;
        std::string text = readText(log / file);
        for (size_t start = 0, end; (end = text.find('\0', start)) != std::string::npos; start = end + 1)
            result.push_back(text.substr(start, end - start));
        return result;
    }
    std::string trace(const std::string& file) const { return fs::exists(log / file) ? readText(log / file) : ""; }
    void release() const { writeText(log / "go", ""); }

    ScopedHome scope;
    TempDir dir;
    fs::path bin = dir.path() / "bin";
    fs::path log = dir.path() / "log";

private:
    std::vector<std::unique_ptr<ScopedEnv>> environment;
};
}  // namespace agent_testing
