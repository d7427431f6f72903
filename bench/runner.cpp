#include "runner.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <system_error>

#include "bench_platform.h"
#include "ini_file.h"
#include "migration.h"
#include "workloads.h"

namespace Bench {

namespace {

using NGUtils::g_iniFile;

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

class CRunner {
  public:
    CRunner(const RunOptions& options, ResultSet& set, std::ostream& progress)
        : m_options(options), m_set(set), m_progress(progress) {}

    bool Run() {
        std::error_code error;
        std::filesystem::remove_all(m_options.folder / "work", error);
        std::filesystem::create_directories(m_options.folder / "work", error);
        if (error) {
            m_progress << "cannot make " << (m_options.folder / "work").string() << "\n";
            return false;
        }
        for (std::size_t size : m_options.sizes) {
            if (!RunSize(size)) {
                return false;
            }
        }
        for (std::size_t size : m_options.valueSizes) {
            if (!RunLongValue(size)) {
                return false;
            }
        }
        std::filesystem::remove_all(m_options.folder / "work", error);
        return true;
    }

  private:
    std::filesystem::path Work(const std::string& name) const {
        return m_options.folder / "work" / name;
    }

    bool Fail(const std::string& what) {
        m_progress << "failed: " << what << "\n";
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
        m_progress << "  " << result.workload << " at " << FormatBytes(double(result.nominalSize))
                   << "...\n";
        m_progress.flush();
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
        m_set.results.push_back(result);
        return true;
    }

    bool RunSize(std::size_t size) {
        const std::string single = SingleOperationFile(size);
        const Result base{"", size, single.size(), {}, 0, std::nullopt, false, 0};
        return RunLimit(base, single) && RunSingleOperations(base, single) && RunMigration(size);
    }

    // The durable replace of a whole file of this size: the floor under every write.
    bool RunLimit(const Result& base, const std::string& content) {
        Result limit = base;
        limit.workload = "limit";
        limit.writes = 1;
        const std::filesystem::path limitFile = Work("limit.ini");
        return Measure(
            limit, WritePlan(base.nominalSize, m_options.sampleScale), [] { return true; },
            [&] { return DurableReplace(limitFile, content); }, [&] { return FileSize(limitFile); },
            0);
    }

    // One read and three kinds of write, each of one value of the file `single`.
    bool RunSingleOperations(const Result& base, const std::string& single) {
        const std::filesystem::path file = Work("single.ini");
        const std::wstring path = WidePath(file);
        // Restored durably, so that no timed write pays for flushing the restored file.
        auto restore = [&] { return DurableReplace(file, single) && g_iniFile.SetFilePath(path); };
        auto sizeAfter = [&] { return FileSize(file); };
        if (!restore()) {
            return Fail("writing " + file.string());
        }
        return RunReadInt(base, sizeAfter) && RunWrites(base, restore, sizeAfter);
    }

    bool RunReadInt(const Result& base, const std::function<std::uint64_t()>& sizeAfter) {
        const int scale = m_options.sampleScale;
        auto readInt = [] {
            std::int32_t value = 0;
            return g_iniFile.ReadInt(kTargetSection, kNumberKey, value) && value == 42;
        };
        Plan readPlan{3, scale == 0 ? 5 : 21 * scale, CalibrateBatch(readInt, kReadSampleSeconds)};
        Result read = base;
        read.workload = "read_int";
        if (readPlan.batch == 0 || !Measure(
                                       read, readPlan, [] { return true; }, readInt, sizeAfter)) {
            return Fail("ReadInt");
        }
        return true;
    }

    bool RunWrites(const Result& base, const std::function<bool()>& restore,
                   const std::function<std::uint64_t()>& sizeAfter) {
        const Plan plan = WritePlan(base.nominalSize, m_options.sampleScale);
        Result existing = base;
        existing.workload = "write_existing";
        existing.writes = 1;
        // Two values of one length take turns, so that every write changes the file and its
        // size stays.
        bool flip = false;
        auto writeExisting = [&] {
            flip = !flip;
            return g_iniFile.WriteValue(kTargetSection, kExistingKey, flip ? L"2" : L"1");
        };
        if (!Measure(
                existing, plan, [] { return true; }, writeExisting, sizeAfter)) {
            return false;
        }
        Result added = base;
        added.workload = "write_new";
        added.writes = 1;
        if (!Measure(
                added, plan, restore,
                [] { return g_iniFile.WriteValue(kTargetSection, kNewKey, L"1"); }, sizeAfter)) {
            return false;
        }
        Result deleted = base;
        deleted.workload = "delete_section";
        deleted.writes = 1;
        return Measure(
            deleted, plan, restore, [] { return g_iniFile.DeleteKey(kDoomedSection, nullptr); },
            sizeAfter);
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
        if (!restore()) {
            return Fail("writing the settings files");
        }
        const int writes = MigrateAsZentrelDoes(WidePath(files[0])) * 2;
        Result migration{"migration", size, settings.size(), {}, writes, std::nullopt, false, 0};
        return Measure(migration, MigrationPlan(size, m_options.sampleScale), restore, migrate,
                       averageSize, kLimitsPerMigration) &&
               RunProgramOnce(size, settings);
    }

    // The whole program, from its start to its exit, migrating both models' files; set against
    // one durable replace per file, the least that any whole-or-nothing migration writes.
    bool RunProgramOnce(std::size_t size, const std::string& settings) {
        if (m_options.program.empty()) {
            return true;
        }
        const std::filesystem::path data = ProgramDataFolder(Work("program"));
        if (data.empty()) {
            return Fail("no data folder for the program");
        }
        std::vector<std::filesystem::path> files;
        files.reserve(std::size(Zentrel::kModelFolders));
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
            if (!RunProgram(m_options.program, data)) {
                return false;
            }
            g_iniFile.SetFilePath(WidePath(files.back()));
            std::int32_t acd = 0;
            return g_iniFile.ReadInt(L"TWAIN_PROFILE_99", L"ACD_Sensitivity", acd) && acd == 7;
        };
        Result result{"program_run", size, settings.size(), {}, 2, std::nullopt, false, 0};
        const bool measured = Measure(
            result, MigrationPlan(size, m_options.sampleScale), restore, run,
            [] { return std::uint64_t{0}; }, kLimitsPerMigration);
        std::error_code error;
        for (const auto& file : files) {
            std::filesystem::remove_all(file.parent_path(), error);
        }
        return measured;
    }

    // A settings file whose ACD_Sensitivity holds `valueSize` digits: reading that value, and
    // migrating the file, whose first scan profile repair reads it whole.
    bool RunLongValue(std::size_t valueSize) {
        const int scale = m_options.sampleScale;
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
        if (!restore()) {
            return Fail("writing " + file.string());
        }
        const int writes = MigrateAsZentrelDoes(path);
        Result migration{
            "migration_long_value", valueSize, settings.size(), {}, writes, std::nullopt, false, 0};
        return Measure(migration, MigrationPlan(valueSize, scale), restore, migrate, sizeAfter);
    }

    // The network variant's work on one file, as the program does it: whole or not at all. The
    // writes it made are returned; on the benchmark's files each of them changes the file.
    // g_iniFile is pointed at the file afterwards, for the check of the result.
    static int MigrateAsZentrelDoes(const std::wstring& path) {
        CUsEnglishPlatform platform;
        Zentrel::MigrateWholeOrNotAtAll(
            path,
            [&platform](const std::wstring& workingCopy) {
                return Zentrel::UpdateDeviceAndProfiles(workingCopy, platform) &&
                       Zentrel::UpdateFeatureSections(workingCopy, platform);
            },
            platform);
        g_iniFile.SetFilePath(path);
        return platform.WritesMade();
    }

    const RunOptions& m_options;
    ResultSet& m_set;
    std::ostream& m_progress;
};

}  // namespace

bool RunBenchmarks(const RunOptions& options, ResultSet& set, std::ostream& progress) {
    set.platform = PlatformName();
    set.results.clear();
    try {
        return CRunner(options, set, progress).Run();
    } catch (const std::exception& e) {
        progress << "failed: " << e.what() << "\n";
        return false;
    }
}

}  // namespace Bench
