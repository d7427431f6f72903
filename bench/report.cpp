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
constexpr std::array<WorkloadName, 9> kWorkloads = {{
    {"limit", "durable replace (the limit)"},
    {"migration", "migration, 2 files"},
    {"program_run", "program run, 2 files"},
    {"read_int", "ReadInt, key near the end"},
    {"write_existing", "WriteValue, existing key"},
    {"write_new", "WriteValue, new key"},
    {"delete_section", "section deletion"},
    {"read_long_value", "ReadString of a value of this size"},
    {"migration_long_value", "migration, the value as ACD_Sensitivity"},
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

// A goal that a row's numbers must meet: a ceiling on its time, or on its time over the limit.
struct Goal {
    std::string_view workload;
    std::size_t size;
    bool overLimit;  // the ceiling is on "x limit" rather than on seconds
    double ceiling;
    std::string_view text;
};

constexpr std::size_t kMebibyte = std::size_t{1024} * 1024;

// A write may cost little more than the durable replace it cannot avoid; a whole run of the
// program little more than the one durable replace per settings file that it cannot avoid; a
// damaged file with a 4 MiB value must not make the installer look hung.
constexpr std::array<Goal, 3> kGoals = {{
    {"write_existing", std::size_t{64} * 1024, true, 1.10, "at most 1.10 x limit"},
    {"program_run", std::size_t{64} * 1024, true, 5.0, "at most 5 x limit (one per file)"},
    {"migration_long_value", 4 * kMebibyte, false, 2.0, "under 2 s"},
}};

const Goal* GoalOf(const Result& result) {
    for (const Goal& goal : kGoals) {
        if (goal.workload == result.workload && goal.size == result.nominalSize) {
            return &goal;
        }
    }
    return nullptr;
}

bool Holds(const Goal& goal, const Result& result) {
    const double measured = goal.overLimit ? LimitRatio(result) : result.time.median;
    return measured <= goal.ceiling;
}

std::string Padded(std::string text, std::size_t width) {
    if (text.size() < width) {
        text.insert(0, width - text.size(), ' ');
    }
    return text;
}

// "  label  time  spread  rest", the label left, the numbers in right-aligned columns.
void PrintLine(std::ostream& out, std::string label, const Summary& time, const std::string& rest) {
    constexpr std::size_t kLabelWidth = 40;
    label.resize(std::max(label.size(), kLabelWidth), ' ');
    out << "  " << label << Padded(FormatDuration(time.median), 9) << Padded(Spread(time), 7);
    if (!rest.empty()) {
        out << "   " << rest;
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
    out << "Times are medians; +- is half the interquartile range over the median. The disk's\n"
           "speed drifts, so compare ratios more than times.\n"
           "limit: one durable atomic replace of a file of that size (temporary file, fsync,\n"
           "rename, fsync of the folder), timed beside every sample. x limit: the time over one\n"
           "limit per write that changes the file (a read: over one limit). /write: bytes handed\n"
           "to the system per write (~: it keeps no count, the file's size stands in).\n"
           "Wine: the Windows build's own profile functions. WINE DOES NOT FSYNC its profile\n"
           "writes and rewrites the file in place: no durability peer, a reference only.\n";
    std::vector<std::size_t> sizes;
    for (const Result& result : native.results) {
        if (std::find(sizes.begin(), sizes.end(), result.nominalSize) == sizes.end()) {
            sizes.push_back(result.nominalSize);
        }
    }
    int held = 0;
    int missed = 0;
    for (std::size_t size : sizes) {
        out << '\n' << FormatBytes(static_cast<double>(size)) << '\n';
        for (const WorkloadName& workload : kWorkloads) {
            const Result* mine = Find(native, workload.id, size);
            if (mine == nullptr) {
                continue;
            }
            std::string rest;
            const bool run = workload.id == "program_run";
            if (workload.id == "migration" || workload.id == "migration_long_value") {
                rest = std::to_string(mine->writes) + " writes, ";
            } else if (run) {
                rest = std::to_string(mine->writes) + " replaces, ";
            }
            if (workload.id != "limit") {
                rest += Format("%.2f x limit", LimitRatio(*mine));
                // Another process's writes are not counted here.
                if (mine->writes > 0 && !run) {
                    rest += ", " + BytesPerWrite(*mine) + "/write";
                }
            }
            PrintLine(out, std::string(workload.label), mine->time, rest);
            if (const Goal* goal = GoalOf(*mine)) {
                const bool holds = Holds(*goal, *mine);
                (holds ? held : missed) += 1;
                out << "    goal: " << goal->text << (holds ? ": held" : ": MISSED") << '\n';
            }
            const Result* theirs = wine != nullptr ? Find(*wine, workload.id, size) : nullptr;
            if (theirs != nullptr && theirs->time.median > 0) {
                PrintLine(out, "  under Wine (no fsync)", theirs->time,
                          Format("native/Wine %.2f", mine->time.median / theirs->time.median));
            }
        }
    }
    out << "\ngoals: " << held << " held, " << missed << " missed";
    if (held + missed < static_cast<int>(kGoals.size())) {
        out << ", " << kGoals.size() - static_cast<std::size_t>(held + missed) << " not measured";
    }
    out << (wine == nullptr ? "; no Wine results" : "") << '\n';
}

}  // namespace Bench
