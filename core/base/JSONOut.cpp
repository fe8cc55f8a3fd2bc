#include "base/JSONOut.hpp"

#include <cmath>

#include "base/DisplayText.hpp"

namespace JSONOut {

static bool allNumbersFinite(const json& value) {
    switch (value.type()) {
    case json::value_t::number_float: return std::isfinite(value.get<double>());
    case json::value_t::array:
    case json::value_t::object:
        for (const auto& element : value)
            if (!allNumbersFinite(element)) return false;
        return true;
    default: return true;
    }
}

std::string encode(const json& value, bool pretty) {
    if (!allNumbersFinite(value)) return failureDocument;
    try {
        return DisplayText::escapingJSONControls(
            value.dump(pretty ? 2 : -1, ' ', false, json::error_handler_t::strict));
    } catch (...) {
        return failureDocument;
    }
}

}  // namespace JSONOut
