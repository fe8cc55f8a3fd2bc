#include "platform/Applications.hpp"

#include <mutex>

namespace Applications {

namespace {
std::mutex providerLock;
LastUsedDateProvider& provider() {
    static LastUsedDateProvider current;
    return current;
}
}  // namespace

std::optional<Date> lastUsedDate(const std::string& applicationPath) {
    LastUsedDateProvider current;
    {
        std::lock_guard guard(providerLock);
        current = provider();
    }
    // Called outside the lock: a provider may be slow, and lookups run in parallel.
    if (!current) return std::nullopt;
    return current(applicationPath);
}

void setLastUsedDateProvider(LastUsedDateProvider replacement) {
    std::lock_guard guard(providerLock);
    provider() = std::move(replacement);
}

}  // namespace Applications
