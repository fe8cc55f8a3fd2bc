#include "pages/ConfirmRequest.hpp"

#include <atomic>

ConfirmRequest ConfirmRequest::make(std::string title, std::string message, std::string confirm, bool destructive,
                                    std::function<void()> action) {
    static std::atomic<uint64_t> lastId{0};
    return {++lastId, std::move(title), std::move(message), std::move(confirm), destructive, std::move(action), {},
            true};
}
