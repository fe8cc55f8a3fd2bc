#include "base/ISODate.hpp"

#include <ctime>

namespace ISODate {

std::string format(Date date) {
    auto seconds = std::chrono::floor<std::chrono::seconds>(date.time_since_epoch()).count();
    std::time_t time = static_cast<std::time_t>(seconds);
    std::tm utc{};
    gmtime_r(&time, &utc);
    char text[40];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc);
    return text;
}

std::optional<Date> parse(const std::string& text) {
    // yyyy-MM-ddTHH:mm:ss followed by Z or ±hh:mm.
    auto digits = [&](size_t at, size_t count, int& value) {
        if (at + count > text.size()) return false;
        value = 0;
        for (size_t i = at; i < at + count; ++i) {
            if (text[i] < '0' || text[i] > '9') return false;
            value = value * 10 + (text[i] - '0');
        }
        return true;
    };
    auto is = [&](size_t at, char c) { return at < text.size() && text[at] == c; };
    int year, month, dayOfMonth, hour, minute, second;
    if (!digits(0, 4, year) || !is(4, '-') || !digits(5, 2, month) || !is(7, '-') || !digits(8, 2, dayOfMonth) ||
        !is(10, 'T') || !digits(11, 2, hour) || !is(13, ':') || !digits(14, 2, minute) || !is(16, ':') ||
        !digits(17, 2, second))
        return std::nullopt;
    if (month < 1 || month > 12 || dayOfMonth < 1 || dayOfMonth > 31 || hour > 23 || minute > 59 || second > 60)
        return std::nullopt;
    size_t at = 19;
    int offsetSeconds = 0;
    if (is(at, 'Z') && text.size() == at + 1) {
    } else if ((is(at, '+') || is(at, '-')) && text.size() == at + 6 && is(at + 3, ':')) {
        int offsetHours, offsetMinutes;
        if (!digits(at + 1, 2, offsetHours) || !digits(at + 4, 2, offsetMinutes)) return std::nullopt;
        offsetSeconds = (offsetHours * 3600 + offsetMinutes * 60) * (text[at] == '-' ? -1 : 1);
    } else {
        return std::nullopt;
    }
    std::tm utc{};
    utc.tm_year = year - 1900;
    utc.tm_mon = month - 1;
    utc.tm_mday = dayOfMonth;
    utc.tm_hour = hour;
    utc.tm_min = minute;
    utc.tm_sec = second;
    std::time_t seconds = timegm(&utc);
    return std::chrono::system_clock::from_time_t(seconds - offsetSeconds);
}

}  // namespace ISODate
