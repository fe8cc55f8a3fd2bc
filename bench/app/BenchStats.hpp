// How the application's benchmarks print a figure, as bench/stats.py does for
// the scripts: the median, the smallest and largest value, and how many.
#pragma once

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace BenchStats {

/// The middle value, or the mean of the two middle ones, as Python's statistics.median.
inline double median(std::vector<double> values) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    const size_t half = values.size() / 2;
    return values.size() % 2 ? values[half] : (values[half - 1] + values[half]) / 2;
}

inline double largest(const std::vector<double>& values) {
    return values.empty() ? 0 : *std::max_element(values.begin(), values.end());
}

/// "66.0 ms (60.1–70.2, 7 runs)"; `what` names the things counted (plural: an s is dropped for one).
inline std::string spread(const std::vector<double>& values, int digits, const char* unit = "ms",
                          std::string what = "runs") {
    if (values.empty()) return "none (0 " + what + ")";
    if (values.size() == 1) what.pop_back();
    const double smallest = *std::min_element(values.begin(), values.end());
    char text[160];
    std::snprintf(text, sizeof text, "%.*f %s (%.*f–%.*f, %zu %s)", digits, median(values), unit, digits, smallest,
                  digits, largest(values), values.size(), what.c_str());
    return text;
}

/// The number of rounds the command line asks for at `index`, else `fallback`.
inline int rounds(int argc, char** argv, int index, int fallback) {
    const int asked = argc > index ? std::atoi(argv[index]) : 0;
    return asked > 0 ? asked : fallback;
}

}  // namespace BenchStats
