// Shared pieces of the benchmarks: statistics and the report lines that
// scripts/bench turns into its table.
//
//   figure NAME VALUE UNIT BASELINE   one row of the table ("-" when no baseline)
//   goal NAME: met VALUE (baseline B) or goal NAME: missed VALUE (baseline B)
//   goal NAME: info VALUE (baseline B)    a goal that the run cannot judge
#pragma once

#include "hodiny.hpp"
#include "pripis.hpp"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <ctime>
#include <string>
#include <vector>

namespace bench {

// The q-quantile (0..1) of the samples, nearest rank.
inline double quantile(std::vector<double> v, double q) {
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    auto i = static_cast<std::size_t>(q * static_cast<double>(v.size() - 1) + 0.5);
    return v[std::min(i, v.size() - 1)];
}

inline void figure(const std::string &name, double value, const char *unit, double baseline = -1) {
    if (baseline < 0)
        std::printf("figure %s %.6g %s -\n", name.c_str(), value, unit);
    else
        std::printf("figure %s %.6g %s %.6g\n", name.c_str(), value, unit, baseline);
    std::fflush(stdout);
}

// `judged` false: the run could not judge it (it says why in an info line).
inline void goal(const std::string &name, bool met, const std::string &value,
                 const std::string &baseline, bool judged = true) {
    std::printf("goal %s: %s %s (baseline %s)\n", name.c_str(),
                !judged ? "info"
                : met   ? "met"
                        : "missed",
                value.c_str(), baseline.c_str());
    std::fflush(stdout);
}

__attribute__((format(printf, 1, 2))) inline std::string format(const char *fmt, ...) {
    std::string b;
    va_list args;
    va_start(args, fmt);
    vpripisf(b, fmt, args);
    va_end(args);
    return b;
}

// The figures' seconds, of the clocks' instants (hodiny.hpp).
inline double seconds(const std::timespec &t) {
    return static_cast<double>(nanosekundy(t)) / miliarda;
}

inline double now() {
    return seconds(ctihodiny(CLOCK_REALTIME));
}

} // namespace bench
