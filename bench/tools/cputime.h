// The CPU time this process has used, for the benchmark drivers.
#pragma once

#include <sys/resource.h>

namespace kestrune::bench {

// User and system seconds, or system seconds only.
inline double cpuSeconds(bool systemOnly = false) {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const double system = double(usage.ru_stime.tv_sec) + usage.ru_stime.tv_usec / 1e6;
    return systemOnly ? system
                      : system + double(usage.ru_utime.tv_sec) + usage.ru_utime.tv_usec / 1e6;
}

} // namespace kestrune::bench
