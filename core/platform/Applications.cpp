#include "platform/Applications.hpp"

namespace Applications {

Hooks& Hooks::active() {
    static Hooks current{[](const std::string&) -> std::optional<Date> { return std::nullopt; }};
    return current;
}

}  // namespace Applications
