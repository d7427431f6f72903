#include "report.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <sstream>
#include <string_view>

namespace Bench {

namespace {

struct WorkloadName {
    std::string_view id;
    std::string_view label;
};

// The order of the table's rows within one size.
constexpr std::array<WorkloadName, 8> kWorkloads = {{
    {"limit", "durable replace (the limit)"},
    {"migration", "migration, 2 files"},
    {"read_int", "ReadInt, key near the end"},
    {"write_existing", "WriteValue, existing key"},
    {"write_new", "WriteValue, new key"},
    {"delete_section", "section deletion"},
    {"read_long_value", "ReadString of a value of this size"},
    {"migration_long_value", "migration, 1 file, ACD_Sensitivity of this size"},
}};

constexpr std::string_view kHeader = "ini-bench-results 1";

std::string Format(const char* format, double value) {
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, format, value);
    return buffer;
}

std::string Precise(double value) {
    return Format("%.9g", value);
}

const Result* Find(const ResultSet& set, std::string_view workload, std::size_t size) {
    for (const Result& result : set.results) {
        if (result.workload == workload && result.nominalSize == size) {
            return &result;
        }
    }
    return nullptr;
}

std::string Spread(const Summary& summary) {
    return Format("+-%.0f %%", RelativeSpread(summary) * 100);
}

std::string BytesPerWrite(const Result& result) {
    if (result.writes == 0) {
        return "0";
    }
    if (!result.bytesPerWrite) {
        return "n/a";
    }
    std::string text = result.bytesEstimated ? "~" : "";
    text += FormatBytes(*result.bytesPerWrite);
    return text;
}

// A read is set against one replace; an operation that writes against one replace per write.
double LimitRatio(const Result& result) {
    const double floor = result.limitSeconds * (result.writes > 0 ? result.writes : 1);
    return floor > 0 ? result.time.median / floor : 0;
}

void PrintRow(std::ostream& out, const std::vector<std::string>& cells) {
    out << '|';
    for (const std::string& cell : cells) {
        out << ' ' << cell << " |";
    }
    out << '\n';
}

}  // namespace

void WriteResults(const ResultSet& set, std::ostream& out) {
    out << kHeader << '\t' << set.platform << '\n';
    for (const Result& r : set.results) {
        out << r.workload << '\t' << r.nominalSize << '\t' << r.fileBytes << '\t' << r.time.samples
            << '\t' << Precise(r.time.median) << '\t' << Precise(r.time.p25) << '\t'
            << Precise(r.time.p75) << '\t' << Precise(r.time.min) << '\t' << Precise(r.time.max)
            << '\t' << r.writes << '\t' << (r.bytesPerWrite ? Precise(*r.bytesPerWrite) : "-")
            << '\t' << (r.bytesEstimated ? 1 : 0) << '\t' << Precise(r.limitSeconds) << '\n';
    }
}

bool ReadResults(std::istream& in, ResultSet& set) {
    set = {};
    std::string line;
    if (!std::getline(in, line)) {
        return false;
    }
    // Written under Wine, the file may carry CR line ends.
    auto dropCr = [](std::string& text) {
        if (!text.empty() && text.back() == '\r') {
            text.pop_back();
        }
    };
    dropCr(line);
    if (line.rfind(std::string(kHeader) + '\t', 0) != 0) {
        return false;
    }
    set.platform = line.substr(kHeader.size() + 1);
    while (std::getline(in, line)) {
        dropCr(line);
        if (line.empty()) {
            continue;
        }
        for (char& c : line) {
            if (c == '\t') {
                c = ' ';
            }
        }
        std::istringstream fields(line);
        Result r;
        std::string bytes;
        int estimated = 0;
        if (!(fields >> r.workload >> r.nominalSize >> r.fileBytes >> r.time.samples >>
              r.time.median >> r.time.p25 >> r.time.p75 >> r.time.min >> r.time.max >> r.writes >>
              bytes >> estimated >> r.limitSeconds)) {
            return false;
        }
        std::string rest;
        if (fields >> rest) {
            return false;
        }
        if (bytes != "-") {
            std::istringstream number(bytes);
            double value = 0;
            if (!(number >> value) || (number >> rest)) {
                return false;
            }
            r.bytesPerWrite = value;
        }
        r.bytesEstimated = estimated != 0;
        set.results.push_back(std::move(r));
    }
    return true;
}

std::string FormatDuration(double seconds) {
    if (seconds < 1e-3) {
        return Format(seconds < 1e-5 ? "%.2f us" : "%.1f us", seconds * 1e6);
    }
    if (seconds < 1) {
        return Format(seconds < 1e-2 ? "%.2f ms" : "%.1f ms", seconds * 1e3);
    }
    return Format("%.2f s", seconds);
}

std::string FormatBytes(double bytes) {
    if (bytes < 1024) {
        return Format("%.0f B", bytes);
    }
    if (bytes < 1024 * 1024) {
        return Format("%.1f KB", bytes / 1024);
    }
    return Format("%.2f MB", bytes / (1024 * 1024));
}

void PrintTable(const ResultSet& native, const ResultSet* wine, std::ostream& out) {
    out << "Times are medians; spread is half the interquartile range over the median. Times are\n"
           "noisy: the disk's speed drifts, so compare ratios more than times.\n"
           "limit: one durable atomic replace of a file of that size (temporary file, fsync,\n"
           "rename, fsync of the folder), timed beside every sample of the row. x limit: the\n"
           "time over one limit per write that changes the file (a read: over one limit).\n"
           "bytes/write: bytes handed to the system per write; ~: it keeps no count, the file's\n"
           "size stands in.\n"
           "Wine: the Windows build's own profile functions. WINE DOES NOT FSYNC its profile\n"
           "writes and rewrites the file in place: no durability peer, a reference only.\n\n";
    std::vector<std::size_t> sizes;
    for (const Result& result : native.results) {
        if (std::find(sizes.begin(), sizes.end(), result.nominalSize) == sizes.end()) {
            sizes.push_back(result.nominalSize);
        }
    }
    PrintRow(out, {"size", "workload", "file", "native", "spread", "bytes/write", "limit/write",
                   "x limit", "Wine (no fsync)", "spread", "Wine bytes/write", "native/Wine"});
    PrintRow(out, std::vector<std::string>(12, "---"));
    for (std::size_t size : sizes) {
        for (const WorkloadName& workload : kWorkloads) {
            const Result* mine = Find(native, workload.id, size);
            if (mine == nullptr) {
                continue;
            }
            const Result* theirs = wine != nullptr ? Find(*wine, workload.id, size) : nullptr;
            std::string label(workload.label);
            if (workload.id == "migration" || workload.id == "migration_long_value") {
                label += " (" + std::to_string(mine->writes) + " writes)";
            }
            std::vector<std::string> cells = {
                FormatBytes(static_cast<double>(size)),
                label,
                FormatBytes(static_cast<double>(mine->fileBytes)),
                FormatDuration(mine->time.median),
                Spread(mine->time),
                BytesPerWrite(*mine),
                FormatDuration(mine->limitSeconds),
                Format("%.2f", LimitRatio(*mine)),
            };
            if (theirs != nullptr && theirs->time.median > 0) {
                cells.push_back(FormatDuration(theirs->time.median));
                cells.push_back(Spread(theirs->time));
                cells.push_back(BytesPerWrite(*theirs));
                cells.push_back(Format("%.2f", mine->time.median / theirs->time.median));
            } else {
                cells.insert(cells.end(), 4, "n/a");
            }
            PrintRow(out, cells);
        }
    }
}

}  // namespace Bench
