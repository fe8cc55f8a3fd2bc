#include "pages/NumberText.hpp"

namespace NumberText {
std::string grouped(int64_t value) {
    const std::string digits = std::to_string(value);
    const size_t first = digits[0] == '-' ? 1 : 0;
    std::string text = digits.substr(0, first);
    for (size_t i = first; i < digits.size(); ++i) {
        // A comma before every group of three that the rest of the digits make up.
        if (i > first && (digits.size() - i) % 3 == 0) text += ',';
        text += digits[i];
    }
    return text;
}
}  // namespace NumberText
