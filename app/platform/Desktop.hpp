// Calls into the desktop around the application that have no portable form.
#pragma once

#include <functional>

namespace Desktop {
/// Brings up the system settings where full disk access is granted. This
/// platform has no such page, so it does nothing unless a hook is set.
void openFullDiskAccessSettings();

/// Replaces what openFullDiskAccessSettings does while it lives (tests, and a
/// platform that gains such a page); the previous hook comes back after.
class ScopedSettingsHook {
public:
    explicit ScopedSettingsHook(std::function<void()> hook);
    ~ScopedSettingsHook();
    ScopedSettingsHook(const ScopedSettingsHook&) = delete;
    ScopedSettingsHook& operator=(const ScopedSettingsHook&) = delete;

private:
    std::function<void()> previous;
};
}  // namespace Desktop
