// The benchmark's workloads, run through the real INI library and the real migration routines
// of whichever build this is.
#pragma once

#include <cstddef>
#include <filesystem>
#include <ostream>
#include <vector>

#include "report.h"

namespace Bench {

struct RunOptions {
    std::filesystem::path folder;  // an existing folder on the disk to measure; emptied first
    std::vector<std::size_t> sizes;
    std::vector<std::size_t> valueSizes;  // of the long ACD_Sensitivity value
    int sampleScale = 1;  // 0: a quick run with the fewest samples that still give a median
    std::filesystem::path program;  // the built Zentrel, run whole; none: that row is left out
};

// Every workload at every size. False when a file operation failed, which would make the
// numbers meaningless; `progress` says which.
bool RunBenchmarks(const RunOptions& options, ResultSet& set, std::ostream& progress);

}  // namespace Bench
