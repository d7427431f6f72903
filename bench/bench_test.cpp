// The benchmark's own logic: if its statistics, its workloads or its table were wrong, every
// number it prints would be too.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "bench_platform.h"
#include "files.h"
#include "harness.h"
#include "ini_file.h"
#include "migration.h"
#include "report.h"
#include "workloads.h"

namespace {

using namespace Bench;
using NGUtils::g_iniFile;
using TestingSupport::CTempFolder;
using TestingSupport::ReadBytes;
using TestingSupport::WidePath;
using TestingSupport::WriteBytes;

TEST(BenchSummary, MediansQuartilesAndExtremes) {
    struct Row {
        std::vector<double> samples;
        double median, p25, p75, min, max;
    };
    const Row rows[] = {
        {{3, 1, 2}, 2, 1.5, 2.5, 1, 3},
        {{4, 1, 3, 2}, 2.5, 1.75, 3.25, 1, 4},
        {{5}, 5, 5, 5, 5, 5},
        {{1, 1, 1, 100}, 1, 1, 25.75, 1, 100},
        {{}, 0, 0, 0, 0, 0},
    };
    for (const Row& row : rows) {
        const Summary s = Summarize(row.samples);
        EXPECT_EQ(s.samples, row.samples.size());
        EXPECT_DOUBLE_EQ(s.median, row.median);
        EXPECT_DOUBLE_EQ(s.p25, row.p25);
        EXPECT_DOUBLE_EQ(s.p75, row.p75);
        EXPECT_DOUBLE_EQ(s.min, row.min);
        EXPECT_DOUBLE_EQ(s.max, row.max);
    }
    EXPECT_DOUBLE_EQ(RelativeSpread(Summarize({1, 2, 3})), 0.25);
    EXPECT_DOUBLE_EQ(RelativeSpread(Summarize({})), 0);
}

TEST(BenchHarness, WarmupsAreDroppedAndEveryCallIsCounted) {
    int prepared = 0;
    int operated = 0;
    std::vector<double> samples;
    ASSERT_TRUE(TimeSamples(
        {2, 5, 3}, [&] { return ++prepared > 0; }, [&] { return ++operated > 0; }, samples));
    EXPECT_EQ(samples.size(), 5u);
    EXPECT_EQ(prepared, 7);
    EXPECT_EQ(operated, 21);
    for (double seconds : samples) {
        EXPECT_GE(seconds, 0);
    }
}

TEST(BenchHarness, AFailureEndsTheMeasurementWithoutSamples) {
    std::vector<double> samples;
    int calls = 0;
    EXPECT_FALSE(TimeSamples(
        {1, 5, 1}, [] { return true; }, [&] { return ++calls < 4; }, samples));
    EXPECT_TRUE(samples.empty());
    EXPECT_EQ(calls, 4);
    EXPECT_FALSE(TimeSamples(
        {0, 5, 1}, [] { return false; }, [] { return true; }, samples));
    EXPECT_FALSE(TimeSamples(
        {0, 5, 0}, [] { return true; }, [] { return true; }, samples));
    EXPECT_EQ(CalibrateBatch([] { return false; }, 1.0), 0);
    EXPECT_EQ(CalibrateBatch([] { return true; }, 0.0), 1);
}

TEST(BenchWorkloads, PaddingFillsExactlyWithWholeSections) {
    for (std::size_t size : {32u, 100u, 301u, 5000u, 65536u}) {
        const std::string padding = PaddingSections(size);
        EXPECT_EQ(padding.size(), size);
        EXPECT_EQ(padding.rfind("[Extra_Settings_0]\r\n", 0), 0u) << size;
        EXPECT_EQ(padding.substr(padding.size() - 2), "\r\n");
    }
    EXPECT_EQ(PaddingSections(31), "");
    EXPECT_EQ(PaddingSections(0), "");
}

// NOLINTNEXTLINE(readability-identifier-naming): a fixture names its test suite.
class BenchFiles : public testing::Test {
  protected:
    CTempFolder m_folder;
    std::filesystem::path m_file = m_folder / "Velmora.ini";

    void Use(const std::string& bytes) {
        WriteBytes(m_file, bytes);
        ASSERT_TRUE(g_iniFile.SetFilePath(WidePath(m_file)));
    }
    static std::int32_t Int(const std::wstring& section, const wchar_t* key) {
        std::int32_t value = -1;
        return g_iniFile.ReadInt(section.c_str(), key, value) ? value : -1;
    }
};

TEST_F(BenchFiles, TheSingleOperationFileHasItsSizeAndItsTargetsAtTheEnd) {
    for (std::size_t size : {4096u, 65536u, 1048576u}) {
        const std::string bytes = SingleOperationFile(size);
        EXPECT_EQ(bytes.size(), size);
        EXPECT_EQ(bytes.substr(bytes.size() - 11), "Number=42\r\n");
        Use(bytes);
        EXPECT_EQ(Int(kTargetSection, kNumberKey), 42);
        EXPECT_EQ(Int(kTargetSection, kExistingKey), 1);
        EXPECT_EQ(Int(kTargetSection, kNewKey), -1);
        EXPECT_EQ(Int(kDoomedSection, L"A"), 1);
    }
}

TEST_F(BenchFiles, TheMigrationFileMakesEveryRuleFire) {
    for (std::size_t size : {4096u, 65536u, 1048576u}) {
        SCOPED_TRACE(size);
        const std::string bytes = MigrationSettingsFile(size);
        // The profiles alone need more than 4 KB.
        EXPECT_EQ(bytes.size(), std::max<std::size_t>(size, MigrationSettingsFile(0).size()));
        Use(bytes);
        // Every section the migration deletes is there, so every deletion deletes.
        EXPECT_EQ(Int(L"Other", L"CustomResolution"), 600);
        EXPECT_EQ(Int(L"Imaging_Library", L"LibraryBeingUsed"), 0);
        EXPECT_EQ(Int(L"MultiThread_Features", L"AutoOrient"), 0);
        EXPECT_EQ(Int(L"Features_Available", L"BackSideScan"), 0);
        for (int n = 0; n < kProfilesPerKind; ++n) {
            const std::wstring scan = L"SCAN_PROFILE_" + std::to_wstring(n);
            const std::wstring twain = L"TWAIN_PROFILE_" + std::to_wstring(n);
            EXPECT_GT(Int(scan, L"ACD_Sensitivity"), 10) << n;
            EXPECT_GT(Int(twain, L"ACD_Sensitivity"), 10) << n;
            EXPECT_EQ(Int(scan, L"ZonalOCRLanguage"), -1) << n;
        }

        Bench::CUsEnglishPlatform platform;
        Zentrel::UpdateDeviceAndProfiles(WidePath(m_file), platform);
        Zentrel::UpdateFeatureSections(WidePath(m_file), platform);
        EXPECT_EQ(Int(L"Other", L"CustomResolution"), 1200);
        EXPECT_EQ(Int(L"Imaging_Library", L"LibraryBeingUsed"), 1);
        EXPECT_EQ(Int(L"MultiThread_Features", L"AutoOrient"), 1);
        EXPECT_EQ(Int(L"Features_Available", L"BackSideScan"), 1);
        for (int n = 0; n < kProfilesPerKind; ++n) {
            const std::wstring scan = L"SCAN_PROFILE_" + std::to_wstring(n);
            EXPECT_EQ(Int(scan, L"ACD_Sensitivity"), 7) << n;
            EXPECT_EQ(Int(scan, L"ZonalOCRLanguage"), 1033) << n;
            EXPECT_EQ(Int(L"TWAIN_PROFILE_" + std::to_wstring(n), L"ACD_Sensitivity"), 7) << n;
        }
    }
}

TEST_F(BenchFiles, TheLongValueFileHoldsTheValueTheMigrationRepairs) {
    const std::string bytes = LongValueSettingsFile(70000);
    EXPECT_EQ(bytes.size(), MigrationSettingsFile(0).size() - 2 + 70000);
    Use(bytes);
    std::wstring value;
    ASSERT_TRUE(g_iniFile.ReadString(L"SCAN_PROFILE_0", L"ACD_Sensitivity", value));
    EXPECT_EQ(value, std::wstring(70000, L'9'));
    EXPECT_EQ(Int(L"SCAN_PROFILE_1", L"ACD_Sensitivity"), 18);
    Bench::CUsEnglishPlatform platform;
    Zentrel::MigrateWholeOrNotAtAll(
        WidePath(m_file),
        [&platform](const std::wstring& workingCopy) {
            return Zentrel::UpdateDeviceAndProfiles(workingCopy, platform);
        },
        platform);
    g_iniFile.SetFilePath(WidePath(m_file));
    EXPECT_EQ(Int(L"SCAN_PROFILE_0", L"ACD_Sensitivity"), 7);
    EXPECT_EQ(Int(L"SCAN_PROFILE_0", L"ZonalOCRLanguage"), 1033);
}

TEST(BenchPlatform, ADurableReplaceLeavesOnlyTheNewFile) {
    CTempFolder folder;
    const std::filesystem::path file = folder / "limit.ini";
    ASSERT_TRUE(DurableReplace(file, "first"));
    ASSERT_TRUE(DurableReplace(file, std::string(70000, 'x')));
    EXPECT_EQ(ReadBytes(file), std::string(70000, 'x'));
    std::size_t entries = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(folder.Path())) {
        ++entries;
    }
    EXPECT_EQ(entries, 1u);
    EXPECT_FALSE(DurableReplace(folder / "missing" / "limit.ini", "x"));
}

TEST(BenchPlatform, TheWriteCounterCountsWhatIsWritten) {
    CTempFolder folder;
    const auto before = BytesWrittenSoFar();
    if (!before) {
        // Only Wine keeps no count; a native build must have one.
        EXPECT_STRNE(PlatformName(), "posix");
        return;
    }
    ASSERT_TRUE(DurableReplace(folder / "counted.ini", std::string(100000, 'x')));
    const auto after = BytesWrittenSoFar();
    ASSERT_TRUE(after);
    EXPECT_GE(*after - *before, 100000u);
    EXPECT_LT(*after - *before, 110000u);
}

Result SampleResult(std::string workload, std::size_t size, double median, int writes,
                    double limit) {
    Result r;
    r.workload = std::move(workload);
    r.nominalSize = size;
    r.fileBytes = size + 3;
    r.time = Summarize({median * 0.9, median, median * 1.2});
    r.writes = writes;
    if (writes > 0) {
        r.bytesPerWrite = static_cast<double>(size);
    }
    r.limitSeconds = limit;
    return r;
}

TEST(BenchReport, ResultsSurviveTheTripThroughText) {
    ResultSet set{"windows",
                  {SampleResult("write_new", 65536, 1.25e-3, 1, 1e-3),
                   SampleResult("read_int", 4096, 2.5e-5, 0, 4e-4)}};
    set.results[0].bytesEstimated = true;
    std::ostringstream text;
    WriteResults(set, text);
    // As written under Wine, with CR line ends.
    std::string crlf;
    for (char c : text.str()) {
        crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
    }
    for (const std::string& written : {text.str(), crlf}) {
        std::istringstream in(written);
        ResultSet back;
        ASSERT_TRUE(ReadResults(in, back));
        EXPECT_EQ(back.platform, "windows");
        ASSERT_EQ(back.results.size(), 2u);
        for (std::size_t i = 0; i < 2; ++i) {
            const Result& a = set.results[i];
            const Result& b = back.results[i];
            EXPECT_EQ(b.workload, a.workload);
            EXPECT_EQ(b.nominalSize, a.nominalSize);
            EXPECT_EQ(b.fileBytes, a.fileBytes);
            EXPECT_EQ(b.time.samples, a.time.samples);
            EXPECT_DOUBLE_EQ(b.time.median, a.time.median);
            EXPECT_DOUBLE_EQ(b.time.p75, a.time.p75);
            EXPECT_DOUBLE_EQ(b.time.max, a.time.max);
            EXPECT_EQ(b.writes, a.writes);
            EXPECT_EQ(b.bytesPerWrite, a.bytesPerWrite);
            EXPECT_EQ(b.bytesEstimated, a.bytesEstimated);
            EXPECT_DOUBLE_EQ(b.limitSeconds, a.limitSeconds);
        }
    }
}

TEST(BenchReport, AnythingElseIsNoResultsFile) {
    const char* bad[] = {
        "",
        "some other file\n",
        "ini-bench-results 1\tposix\nread_int\t4096\n",
        "ini-bench-results 1\tposix\nread_int\t4096\t4096\t3\t1\t1\t1\t1\t1\t0\t-\t0\t1\tmore\n",
        "ini-bench-results 1\tposix\nread_int\t4096\t4096\t3\tfast\t1\t1\t1\t1\t0\t-\t0\t1\n",
        "ini-bench-results 1\tposix\nread_int\t4096\t4096\t3\t1\t1\t1\t1\t1\t1\t12x\t0\t1\n",
    };
    for (const char* text : bad) {
        std::istringstream in(text);
        ResultSet set;
        EXPECT_FALSE(ReadResults(in, set)) << text;
    }
}

TEST(BenchReport, DurationsAndSizesReadAtAGlance) {
    const std::pair<double, const char*> durations[] = {
        {1.5e-6, "1.50 us"}, {2.5e-5, "25.0 us"}, {4.2e-3, "4.20 ms"},
        {0.25, "250.0 ms"},  {3.0, "3.00 s"},
    };
    for (const auto& [seconds, text] : durations) {
        EXPECT_EQ(FormatDuration(seconds), text);
    }
    EXPECT_EQ(FormatBytes(512), "512 B");
    EXPECT_EQ(FormatBytes(4096), "4.0 KB");
    EXPECT_EQ(FormatBytes(1048576), "1.00 MB");
}

std::vector<std::string> LinesOf(const std::string& table) {
    std::vector<std::string> lines;
    std::istringstream in(table);
    std::string line;
    while (std::getline(in, line)) {
        lines.push_back(line);
    }
    return lines;
}

// The index of the first line holding text, or the number of lines.
std::size_t LineWith(const std::vector<std::string>& lines, const std::string& text) {
    std::size_t i = 0;
    while (i < lines.size() && lines[i].find(text) == std::string::npos) {
        ++i;
    }
    return i;
}

TEST(BenchReport, TheTableSetsEachTimeAgainstItsFloorItsGoalAndWine) {
    const ResultSet native{
        "posix",
        {SampleResult("write_existing", 65536, 1.5e-3, 1, 1e-3),
         SampleResult("read_int", 65536, 1e-4, 0, 1e-3),
         SampleResult("migration", 65536, 0.67, 670, 5e-4),
         SampleResult("program_run", 65536, 6e-3, 2, 1e-3),
         SampleResult("limit", 65536, 1e-3, 1, 1e-3), SampleResult("read_int", 4096, 1e-5, 0, 1e-3),
         SampleResult("migration_long_value", 4194304, 0.68, 335, 8e-3)}};
    const ResultSet wine{"windows",
                         {SampleResult("write_existing", 65536, 3e-3, 1, 1e-3),
                          SampleResult("read_int", 4096, 4e-5, 0, 1e-3)}};
    std::ostringstream out;
    PrintTable(native, &wine, out);
    const std::vector<std::string> lines = LinesOf(out.str());
    EXPECT_NE(LineWith(lines, "WINE DOES NOT FSYNC"), lines.size());
    for (const std::string& line : lines) {
        EXPECT_LE(line.size(), 100u) << line;
    }
    // Sizes in the order they were measured; within a size, the limit first.
    const std::size_t size64 = LineWith(lines, "64.0 KB");
    const std::size_t limit = LineWith(lines, "durable replace (the limit)");
    const std::size_t write = LineWith(lines, "WriteValue, existing key");
    const std::size_t migration = LineWith(lines, "migration, 2 files");
    EXPECT_LT(size64, limit);
    EXPECT_LT(limit, migration);
    EXPECT_LT(migration, write);
    EXPECT_LT(write, static_cast<std::size_t>(std::find(lines.begin(), lines.end(), "4.0 KB") -
                                              lines.begin()));
    EXPECT_NE(lines[migration].find("670 writes, 2.00 x limit, 64.0 KB/write"), std::string::npos);
    // A whole run is set against one replace per file, and its child's writes are not counted.
    const std::size_t run = LineWith(lines, "program run, 2 files");
    ASSERT_LT(run + 1, lines.size());
    EXPECT_EQ(lines[run].substr(lines[run].find("   2 replaces")), "   2 replaces, 3.00 x limit");
    EXPECT_EQ(lines[run + 1], "    goal: at most 5 x limit (one per file): held");
    EXPECT_NE(lines[LineWith(lines, "ReadInt")].find("0.10 x limit"), std::string::npos);
    EXPECT_NE(lines[write].find("1.50 ms"), std::string::npos) << lines[write];
    EXPECT_NE(lines[write].find("1.50 x limit"), std::string::npos) << lines[write];
    ASSERT_LT(write + 2, lines.size());
    EXPECT_EQ(lines[write + 1], "    goal: at most 1.10 x limit: MISSED");
    EXPECT_NE(lines[write + 2].find("under Wine"), std::string::npos) << lines[write + 2];
    EXPECT_NE(lines[write + 2].find("native/Wine 0.50"), std::string::npos) << lines[write + 2];
    EXPECT_EQ(lines[LineWith(lines, "ACD_Sensitivity") + 1], "    goal: under 2 s: held");
    EXPECT_EQ(lines.back(), "goals: 2 held, 1 missed");

    std::ostringstream alone;
    PrintTable(native, nullptr, alone);
    const std::vector<std::string> aloneLines = LinesOf(alone.str());
    EXPECT_EQ(LineWith(aloneLines, "under Wine"), aloneLines.size());
    EXPECT_EQ(aloneLines.back(), "goals: 2 held, 1 missed; no Wine results");
}

}  // namespace
