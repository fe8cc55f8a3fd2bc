#include "pages/NumberText.hpp"

namespace NumberText {
std::string grouped(int64_t value) {
    std::string digits = std::to_string(value);
    const size_t first = digits[0] == '-' ? 1 : 0;
    for (size_t i = digits.size(); i > first + 3; i -= 3) digits.insert(i - 3, ",");
    return digits;
}
}  // namespace NumberText
