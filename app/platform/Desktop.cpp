#include "platform/Desktop.hpp"

namespace Desktop {
namespace {
std::function<void()>& settingsHook() {
    static std::function<void()> hook;
    return hook;
}
}  // namespace

void openFullDiskAccessSettings() {
    if (settingsHook()) settingsHook()();
}

ScopedSettingsHook::ScopedSettingsHook(std::function<void()> hook) : previous(std::move(settingsHook())) {
    settingsHook() = std::move(hook);
}

ScopedSettingsHook::~ScopedSettingsHook() { settingsHook() = std::move(previous); }
}  // namespace Desktop
