#include "runner.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <system_error>

#include "bench_platform.h"
#include "files.h"
#include "ini_file.h"
#include "migration.h"
#include "workloads.h"

namespace Bench {

namespace {

using NGUtils::g_iniFile;
using TestingSupport::WidePath;

constexpr std::size_t kLargeFile = std::size_t{512} * 1024;
// Reads are batched until a sample lasts this long, well above the clock's resolution.
constexpr double kReadSampleSeconds = 0.005;
// A migration sample is long and there are few of them; more limit samples steady its floor.
constexpr int kLimitsPerMigration = 5;

std::uint64_t FileSize(const std::filesystem::path& path) {
    std::error_code error;
    const std::uintmax_t size = std::filesystem::file_size(path, error);
    return error ? 0 : static_cast<std::uint64_t>(size);
}

Plan WritePlan(std::size_t size, int scale) {
    if (scale == 0) {
        return {1, 5, 1};
    }
    return {2, (size >= kLargeFile ? 11 : 21) * scale, 1};
}

Plan MigrationPlan(std::size_t size, int scale) {
    if (scale == 0) {
        return {0, 3, 1};
    }
    return {1, (size >= kLargeFile ? 3 : 5) * scale, 1};
}

class Runner {
  public:
    Runner(const RunOptions& options, ResultSet& set, std::ostream& progress)
        : options_(options), set_(set), progress_(progress) {}

    bool Run() {
        std::error_code error;
        std::filesystem::remove_all(options_.folder / "work", error);
        std::filesystem::create_directories(options_.folder / "work", error);
        if (error) {
            progress_ << "cannot make " << (options_.folder / "work").string() << "\n";
            return false;
        }
        for (std::size_t size : options_.sizes) {
            if (!RunSize(size)) {
                return false;
            }
        }
        for (std::size_t size : options_.valueSizes) {
            if (!RunLongValue(size)) {
                return false;
            }
        }
        std::filesystem::remove_all(options_.folder / "work", error);
        return true;
    }

  private:
    std::filesystem::path Work(const std::string& name) const {
        return options_.folder / "work" / name;
    }

    bool Fail(const std::string& what) {
        progress_ << "failed: " << what << "\n";
        return false;
    }

    // One durable replace of a file of `bytes`, timed on its own.
    bool TimeLimit(const std::string& content, std::vector<double>& samples) {
        const auto start = std::chrono::steady_clock::now();
        if (!DurableReplace(Work("limit.ini"), content)) {
            return false;
        }
        samples.push_back(
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
        return true;
    }

    // Bytes one more run of the operation writes, or the file's size afterwards where the system
    // keeps no count; for an operation of several writes, the average per write.
    void MeasureBytes(Result& result, const std::function<bool()>& prepare,
                      const std::function<bool()>& operation,
                      const std::function<std::uint64_t()>& bytesAfter) {
        if (result.writes == 0 || !prepare()) {
            return;
        }
        const std::optional<std::uint64_t> before = BytesWrittenSoFar();
        if (!operation()) {
            return;
        }
        const std::optional<std::uint64_t> after = BytesWrittenSoFar();
        if (before && after) {
            result.bytesPerWrite = static_cast<double>(*after - *before) / result.writes;
        } else {
            result.bytesPerWrite = static_cast<double>(bytesAfter());
            result.bytesEstimated = true;
        }
    }

    // Before every sample, untimed for the operation, the limit is measured at the same file
    // size, so that both see the disk in the same state: its speed drifts during a run.
    bool Measure(Result result, const Plan& plan, const std::function<bool()>& prepare,
                 const std::function<bool()>& operation,
                 const std::function<std::uint64_t()>& bytesAfter, int limitsPerSample = 1) {
        progress_ << "  " << result.workload << " at " << FormatBytes(double(result.nominalSize))
                  << "...\n";
        progress_.flush();
        const std::string limitContent(static_cast<std::size_t>(result.fileBytes), 'x');
        std::vector<double> limitSamples;
        auto prepareBoth = [&] {
            for (int i = 0; i < limitsPerSample; ++i) {
                if (!TimeLimit(limitContent, limitSamples)) {
                    return false;
                }
            }
            return prepare();
        };
        std::vector<double> samples;
        if (!TimeSamples(plan, prepareBoth, operation, samples)) {
            return Fail(result.workload);
        }
        result.time = Summarize(samples);
        // The limit's own row is its own floor.
        result.limitSeconds =
            limitsPerSample > 0 ? Summarize(limitSamples).median : result.time.median;
        MeasureBytes(result, prepare, operation, bytesAfter);
        set_.results.push_back(result);
        return true;
    }

    bool RunSize(std::size_t size) {
        const int scale = options_.sampleScale;
        const std::string single = SingleOperationFile(size);
        const std::filesystem::path file = Work("single.ini");
        const std::wstring path = WidePath(file);
        // Restored durably, so that no timed write pays for flushing the restored file.
        auto restore = [&] { return DurableReplace(file, single) && g_iniFile.SetFilePath(path); };
        auto sizeAfter = [&] { return FileSize(file); };
        auto nothing = [] { return true; };
        const Result base{"", size, single.size(), {}, 0, std::nullopt, false, 0};

        Result limit = base;
        limit.workload = "limit";
        limit.writes = 1;
        const std::filesystem::path limitFile = Work("limit.ini");
        if (!Measure(
                limit, WritePlan(size, scale), nothing,
                [&] { return DurableReplace(limitFile, single); },
                [&] { return FileSize(limitFile); }, 0)) {
            return false;
        }

        if (!restore()) {
            return Fail("writing " + file.string());
        }
        auto readInt = [] {
            std::int32_t value = 0;
            return g_iniFile.ReadInt(kTargetSection, kNumberKey, value) && value == 42;
        };
        Plan readPlan{3, scale == 0 ? 5 : 21 * scale, CalibrateBatch(readInt, kReadSampleSeconds)};
        Result read = base;
        read.workload = "read_int";
        if (readPlan.batch == 0 || !Measure(read, readPlan, nothing, readInt, sizeAfter)) {
            return Fail("ReadInt");
        }

        // Two values of one length take turns, so that every write changes the file and its
        // size stays.
        bool flip = false;
        Result existing = base;
        existing.workload = "write_existing";
        existing.writes = 1;
        if (!Measure(
                existing, WritePlan(size, scale), nothing,
                [&] {
                    flip = !flip;
                    return g_iniFile.WriteValue(kTargetSection, kExistingKey, flip ? L"2" : L"1");
                },
                sizeAfter)) {
            return false;
        }

        Result added = base;
        added.workload = "write_new";
        added.writes = 1;
        if (!Measure(
                added, WritePlan(size, scale), restore,
                [] { return g_iniFile.WriteValue(kTargetSection, kNewKey, L"1"); }, sizeAfter)) {
            return false;
        }

        Result deleted = base;
        deleted.workload = "delete_section";
        deleted.writes = 1;
        if (!Measure(
                deleted, WritePlan(size, scale), restore,
                [] { return g_iniFile.DeleteKey(kDoomedSection, nullptr); }, sizeAfter)) {
            return false;
        }
        return RunMigration(size);
    }

    bool RunMigration(std::size_t size) {
        const std::string settings = MigrationSettingsFile(size);
        const std::filesystem::path files[] = {Work("model1.ini"), Work("model2.ini")};
        auto restore = [&] {
            return std::all_of(std::begin(files), std::end(files),
                               [&](const auto& file) { return DurableReplace(file, settings); });
        };
        auto migrate = [&] {
            for (const auto& file : files) {
                MigrateAsZentrelDoes(WidePath(file));
            }
            // The last rule of the pass must have taken effect, or nothing was measured.
            std::int32_t acd = 0;
            return g_iniFile.ReadInt(L"TWAIN_PROFILE_99", L"ACD_Sensitivity", acd) && acd == 7;
        };
        auto averageSize = [&] { return (FileSize(files[0]) + FileSize(files[1])) / 2; };
        Result migration{"migration",
                         size,
                         settings.size(),
                         {},
                         2 * ChangingWritesPerMigratedFile(),
                         std::nullopt,
                         false,
                         0};
        return Measure(migration, MigrationPlan(size, options_.sampleScale), restore, migrate,
                       averageSize, kLimitsPerMigration) &&
               RunProgramOnce(size, settings);
    }

    // The whole program, from its start to its exit, migrating both models' files; set against
    // one durable replace per file, the least that any whole-or-nothing migration writes.
    bool RunProgramOnce(std::size_t size, const std::string& settings) {
        if (options_.program.empty()) {
            return true;
        }
        const std::filesystem::path data = ProgramDataFolder(Work("program"));
        if (data.empty()) {
            return Fail("no data folder for the program");
        }
        std::vector<std::filesystem::path> files;
        for (const std::wstring_view model : Zentrel::kModelFolders) {
            files.push_back(data / "Tarvex" / "Tarvex Scan Twain" / std::wstring(model) /
                            "Velmora.ini");
        }
        auto restore = [&] {
            return std::all_of(files.begin(), files.end(), [&](const auto& file) {
                std::error_code error;
                std::filesystem::create_directories(file.parent_path(), error);
                return DurableReplace(file, settings);
            });
        };
        auto run = [&] {
            if (!RunProgram(options_.program, data)) {
                return false;
            }
            g_iniFile.SetFilePath(WidePath(files.back()));
            std::int32_t acd = 0;
            return g_iniFile.ReadInt(L"TWAIN_PROFILE_99", L"ACD_Sensitivity", acd) && acd == 7;
        };
        Result result{"program_run", size, settings.size(), {}, 2, std::nullopt, false, 0};
        const bool measured = Measure(result, MigrationPlan(size, options_.sampleScale), restore,
                                      run, [] { return std::uint64_t{0}; }, kLimitsPerMigration);
        std::error_code error;
        for (const auto& file : files) {
            std::filesystem::remove_all(file.parent_path(), error);
        }
        return measured;
    }

    // A settings file whose ACD_Sensitivity holds `valueSize` digits: reading that value, and
    // migrating the file, whose first scan profile repair reads it whole.
    bool RunLongValue(std::size_t valueSize) {
        const int scale = options_.sampleScale;
        const std::string settings = LongValueSettingsFile(valueSize);
        const std::filesystem::path file = Work("long.ini");
        const std::wstring path = WidePath(file);
        auto restore = [&] {
            return DurableReplace(file, settings) && g_iniFile.SetFilePath(path);
        };
        auto sizeAfter = [&] { return FileSize(file); };
        if (!restore()) {
            return Fail("writing " + file.string());
        }
        auto readValue = [&] {
            std::wstring value;
            return g_iniFile.ReadString(L"SCAN_PROFILE_0", L"ACD_Sensitivity", value) &&
                   value.size() == valueSize;
        };
        Result read{"read_long_value", valueSize, settings.size(), {}, 0, std::nullopt, false, 0};
        const Plan readPlan = scale == 0 ? Plan{0, 3, 1} : Plan{1, 7 * scale, 1};
        if (!Measure(
                read, readPlan, [] { return true; }, readValue, sizeAfter)) {
            return false;
        }
        auto migrate = [&] {
            MigrateAsZentrelDoes(path);
            std::int32_t acd = 0;
            return g_iniFile.ReadInt(L"SCAN_PROFILE_0", L"ACD_Sensitivity", acd) && acd == 7;
        };
        Result migration{"migration_long_value",          valueSize,    settings.size(), {},
                         ChangingWritesPerMigratedFile(), std::nullopt, false,           0};
        return Measure(migration, MigrationPlan(valueSize, scale), restore, migrate, sizeAfter);
    }

    // The network variant's work on one file, as the program does it: whole or not at all.
    // g_iniFile is pointed at the file again afterwards, for the check of the result.
    static void MigrateAsZentrelDoes(const std::wstring& path) {
        CUsEnglishPlatform platform;
        Zentrel::MigrateWholeOrNotAtAll(
            path,
            [&platform](const std::wstring& workingCopy) {
                return Zentrel::UpdateDeviceAndProfiles(workingCopy, platform) &&
                       Zentrel::UpdateFeatureSections(workingCopy, platform);
            },
            platform);
        g_iniFile.SetFilePath(path);
    }

    const RunOptions& options_;
    ResultSet& set_;
    std::ostream& progress_;
};

}  // namespace

bool RunBenchmarks(const RunOptions& options, ResultSet& set, std::ostream& progress) {
    set.platform = PlatformName();
    set.results.clear();
    try {
        return Runner(options, set, progress).Run();
    } catch (const std::exception& e) {
        progress << "failed: " << e.what() << "\n";
        return false;
    }
}

}  // namespace Bench
