#include "base/Fmt.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <iterator>

namespace Fmt {

std::string bytes(int64_t count) {
    if (count <= 0) return "0 KB";
    if (count == 1) return "1 byte";
    if (count < 1000) return std::to_string(count) + " bytes";

    static const char* units[] = {"KB", "MB", "GB", "TB", "PB", "EB"};
    static const int decimals[] = {0, 1, 2, 2, 2, 2};
    double value = static_cast<double>(count);
    for (size_t unit = 0; unit < std::size(units); ++unit) {
        value /= 1000.0;
        double scale = std::pow(10.0, decimals[unit]);
        double rounded = std::round(value * scale) / scale;
        // A value that rounds up to a thousand is shown in the next unit.
        if (rounded >= 1000.0 && unit + 1 < std::size(units)) continue;
        char text[64];
        std::snprintf(text, sizeof text, "%.*f", decimals[unit], rounded);
        std::string number = text;
        if (number.find('.') != std::string::npos) {
            while (number.back() == '0') number.pop_back();
            if (number.back() == '.') number.pop_back();
        }
        return number + " " + units[unit];
    }
    return "0 KB";
}

double percent(int64_t part, int64_t total) {
    if (total <= 0) return 0;
    return std::round(static_cast<double>(part) / static_cast<double>(total) * 1000.0) / 10.0;
}

std::string day(Date date) {
    std::time_t seconds = std::chrono::system_clock::to_time_t(date);
    std::tm local{};
    localtime_r(&seconds, &local);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d", &local);
    return text;
}

int daysSince(Date date, Date now) {
    int64_t days = std::chrono::duration_cast<std::chrono::seconds>(now - date).count() / 86400;
    return days < 0 ? 0 : static_cast<int>(std::min<int64_t>(days, INT32_MAX));
}

}  // namespace Fmt
