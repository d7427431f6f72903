// Benchmark results: one line of text per result, so that the Windows build can hand its
// numbers back from under Wine, and the table that sets both builds side by side.
#pragma once

#include <cstddef>
#include <cstdint>
#include <istream>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "harness.h"

namespace Bench {

struct Result {
    std::string workload;         // one of the names in kWorkloads (report.cpp)
    std::size_t nominalSize = 0;  // the size the row stands for
    std::uint64_t fileBytes = 0;  // the file's real size before the operation
    Summary time;                 // seconds per operation, or per migration
    int writes = 0;               // profile writes that change the file, per operation
    std::optional<double> bytesPerWrite;
    bool bytesEstimated = false;  // the system kept no count: the file's size stands in
    double limitSeconds = 0;      // one durable atomic replace of a file of fileBytes
};

struct ResultSet {
    std::string platform;
    std::vector<Result> results;
};

void WriteResults(const ResultSet& set, std::ostream& out);

// False for anything that is not what WriteResults wrote.
bool ReadResults(std::istream& in, ResultSet& set);

// "12.3 us", "4.56 ms", "1.23 s".
std::string FormatDuration(double seconds);
// "512 B", "4.0 KB", "1.00 MB".
std::string FormatBytes(double bytes);

// The table of the native results, with the Windows build's under Wine beside them when given.
void PrintTable(const ResultSet& native, const ResultSet* wine, std::ostream& out);

}  // namespace Bench
