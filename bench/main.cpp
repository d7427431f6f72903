// ini_bench: measures the INI library and the migration on this build's platform.
//   ini_bench run --dir FOLDER --out RESULTS [--sizes 4096,65536,1048576]
//                 [--value-sizes 65536,...,16777216] [--quick]
//   ini_bench table NATIVE_RESULTS [WINE_RESULTS]
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "report.h"
#include "runner.h"

namespace {

int Usage() {
    std::cerr << "usage: ini_bench run --dir FOLDER --out RESULTS [--sizes N,N,...]\n"
                 "                     [--value-sizes N,N,...] [--program ZENTREL] [--quick]\n"
                 "       ini_bench table NATIVE_RESULTS [WINE_RESULTS]\n";
    return 2;
}

bool ParseSizes(const std::string& text, std::vector<std::size_t>& sizes) {
    sizes.clear();
    std::istringstream in(text);
    std::string item;
    while (std::getline(in, item, ',')) {
        char* end = nullptr;
        const unsigned long long value = std::strtoull(item.c_str(), &end, 10);
        if (item.empty() || *end != 0 || value < 1024) {
            return false;
        }
        sizes.push_back(static_cast<std::size_t>(value));
    }
    return !sizes.empty();
}

int Run(const std::vector<std::string>& args) {
    Bench::RunOptions options;
    constexpr std::size_t kKilobyte = 1024;
    options.sizes = {4 * kKilobyte, 64 * kKilobyte, 1024 * kKilobyte};
    options.valueSizes = {64 * kKilobyte, 256 * kKilobyte, 1024 * kKilobyte, 4096 * kKilobyte,
                          16384 * kKilobyte};
    std::string out;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const bool hasValue = i + 1 < args.size();
        if (args[i] == "--dir" && hasValue) {
            options.folder = args[++i];
        } else if (args[i] == "--out" && hasValue) {
            out = args[++i];
        } else if (args[i] == "--sizes" && hasValue) {
            if (!ParseSizes(args[++i], options.sizes)) {
                return Usage();
            }
        } else if (args[i] == "--value-sizes" && hasValue) {
            if (!ParseSizes(args[++i], options.valueSizes)) {
                return Usage();
            }
        } else if (args[i] == "--program" && hasValue) {
            options.program = args[++i];
        } else if (args[i] == "--quick") {
            options.sampleScale = 0;
        } else {
            return Usage();
        }
    }
    if (options.folder.empty() || out.empty()) {
        return Usage();
    }
    Bench::ResultSet set;
    if (!Bench::RunBenchmarks(options, set, std::cerr)) {
        return 1;
    }
    std::ofstream file(out, std::ios::binary | std::ios::trunc);
    Bench::WriteResults(set, file);
    file.close();
    if (!file) {
        std::cerr << "cannot write " << out << "\n";
        return 1;
    }
    return 0;
}

bool Load(const std::string& path, Bench::ResultSet& set) {
    std::ifstream in(path, std::ios::binary);
    if (!in || !Bench::ReadResults(in, set)) {
        std::cerr << "not a results file: " << path << "\n";
        return false;
    }
    return true;
}

int Table(const std::vector<std::string>& args) {
    if (args.empty() || args.size() > 2) {
        return Usage();
    }
    Bench::ResultSet native;
    Bench::ResultSet wine;
    if (!Load(args[0], native) || (args.size() == 2 && !Load(args[1], wine))) {
        return 1;
    }
    Bench::PrintTable(native, args.size() == 2 ? &wine : nullptr, std::cout);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    try {
        if (argc < 2) {
            return Usage();
        }
        const std::string_view command = argv[1];
        const std::vector<std::string> args(argv + 2, argv + argc);
        if (command == "run") {
            return Run(args);
        }
        if (command == "table") {
            return Table(args);
        }
        return Usage();
    } catch (const std::exception& e) {
        std::cerr << "ini_bench: " << e.what() << "\n";
        return 1;
    }
}
