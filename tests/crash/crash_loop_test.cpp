// Zentrel killed with SIGKILL at random moments while it migrates two large settings files, run
// twice at once, and run while another program writes the files.
//
// The migrated bytes are computed in this process: the real migration runs on a copy. After each
// kill, each file must hold its old bytes or its migrated ones, nothing in between (and the first
// model's file is finished before the second one is touched). A rerun must end in the same bytes
// as an uninterrupted run, and leave nothing behind: no temporary file of the killed run.
//
// Parameters, from the environment:
//   ZENTREL_CRASH_KILLS    number of kills (default 300)
//   ZENTREL_CRASH_SECONDS  time bound of the kill loop in seconds (default 50); the loop stops
//                          early when it runs out, and says how many kills it made
//   ZENTREL_CRASH_SEED     seed of the kill moments and of the settings files (default 20240611)
//   ZENTREL_CRASH_FOLDER   where the files live (default /dev/shm when there is one: the test is
//                          about dying processes, not lost power, and fsync on a disk only makes
//                          each run forty times slower)
// A longer run, on the disk (ctest passes the variables on):
//   ZENTREL_CRASH_KILLS=3000 ZENTREL_CRASH_SECONDS=3600 ZENTREL_CRASH_FOLDER=/var/tmp
//   ctest --preset native -R ZentrelCrash --timeout 4000 --output-on-failure -V
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <iterator>
#include <random>
#include <set>
#include <string>
#include <thread>
#include <unordered_map>
#include <utility>
#include <vector>

#include "durable_file.h"
#include "files.h"
#include "migration.h"
#include "platform.h"
#include "program_runner.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using TestingSupport::ReadBytes;
using TestingSupport::WriteBytes;

constexpr std::chrono::seconds kRunLimit{120};
constexpr int kProfiles = 100;

std::uint64_t EnvironmentNumber(const char* name, std::uint64_t fallback) {
    const char* text = std::getenv(name);
    if (text == nullptr || *text == '\0') {
        return fallback;
    }
    return std::strtoull(text, nullptr, 10);
}

// A settings file as years of use leave it: both kinds of profile, numbered without gaps so the
// migration visits all of them, about half of them needing a repair, and sections and comments
// the migration must leave alone.
std::string LargeSettingsFile(const std::string& model, const std::string& lineBreak,
                              std::mt19937& random) {
    auto pick = [&random](int count) { return static_cast<int>(random() % count); };
    auto line = [&lineBreak](const std::string& text) { return text + lineBreak; };
    std::string file = line("; Settings of the scanning application for " + model);
    file +=
        line("[General]") + line("Version=4.2.1") + line("LastScanFolder=C:\\Scans") + lineBreak;
    file += line("[Other]") + line("HasNewWiaDriver=false") + line("LegacyPort=9100") + lineBreak;
    file += line("[Features_Available]") + line("BackSideScan=0") + line("LegacyFax=1") + lineBreak;
    const char* zonalForms[] = {"1031", "1033", "9999", "", "00", "abc"};
    for (int n = 0; n < kProfiles; ++n) {
        const std::string number = std::to_string(n);
        file += line("[SCAN_PROFILE_" + number + "]") + line("Name=Scan profile " + number);
        if (pick(4) == 0) {
            file += line("; edited by hand");
        }
        const int acd = pick(2) == 0 ? 11 + pick(30) : pick(14) - 3;
        file += line("ACD_Sensitivity=" + std::to_string(acd));
        const int zonal = pick(8);
        if (zonal < 6) {
            file += line(std::string("ZonalOCRLanguage=") + zonalForms[zonal]);
        }
        file += line("Resolution=" + std::to_string(150 * (1 + pick(4)))) + lineBreak;
    }
    for (int n = 0; n < kProfiles; ++n) {
        const std::string number = std::to_string(n);
        file += line("[TWAIN_PROFILE_" + number + "]") + line("Name=TWAIN profile " + number);
        const int acd = pick(2) == 0 ? 11 + pick(30) : pick(11);
        file += line("ACD_Sensitivity=" + std::to_string(acd)) + lineBreak;
    }
    file += line("[Imaging_Library]") + line("LibraryBeingUsed=0") + line("LibraryPath=old.dll");
    file += lineBreak + line("[MultiThread_Features]") + line("AutoOrient=0") + line("Extra=5");
    for (int n = 0; n < 20; ++n) {
        file += lineBreak + line("[Extra_" + std::to_string(n) + "]") + line("; kept as it is");
        file += line("Value=" + std::to_string(random()));
    }
    return file;
}

// The data folder of one run and its two settings files.
struct DataFolder {
    fs::path root;
    fs::path files[2];

    explicit DataFolder(fs::path at) : root(std::move(at)) {
        for (std::size_t i = 0; i < 2; ++i) {
            files[i] = root / "Tarvex" / "Tarvex Scan Twain" /
                       fs::path(std::wstring(Zentrel::kModelFolders[i])) / "Velmora.ini";
        }
    }
    // With `secondNames`, each file gets a second hard link beside the data folder, which makes
    // every write an edit in place.
    void Reset(const std::string (&contents)[2], bool secondNames = false) const {
        fs::remove_all(root);
        for (std::size_t i = 0; i < 2; ++i) {
            WriteBytes(files[i], contents[i]);
            if (secondNames) {
                fs::create_hard_link(files[i], SecondName(i));
            }
        }
    }
    fs::path SecondName(std::size_t i) const { return root / ("second name " + std::to_string(i)); }
    // Every name in the two model folders but the settings files.
    std::set<std::string> Strays() const {
        std::set<std::string> names;
        for (const fs::path& file : files) {
            for (const auto& entry : fs::directory_iterator(file.parent_path())) {
                if (entry.path().filename() != "Velmora.ini") {
                    names.insert(entry.path().filename().string());
                }
            }
        }
        return names;
    }
};

// The states one file may be found in: its bytes before the run and after it.
struct StateSequence {
    std::vector<std::string> states;
    std::unordered_map<std::string, std::size_t> index;

    void Add(const std::string& bytes) {
        if (states.empty() || states.back() != bytes) {
            index.emplace(bytes, states.size());
            states.push_back(bytes);
        }
    }
    std::size_t Last() const { return states.size() - 1; }
};

fs::path WorkBase() {
    if (const char* chosen = std::getenv("ZENTREL_CRASH_FOLDER"); chosen != nullptr && *chosen) {
        return chosen;
    }
    std::error_code error;
    if (fs::is_directory("/dev/shm", error) && ::access("/dev/shm", W_OK) == 0) {
        return "/dev/shm";
    }
    return fs::temp_directory_path();
}

struct Scenario {
    TestingSupport::CTempFolder work{WorkBase()};
    std::string initial[2];
    StateSequence sequences[2];
};

class ZentrelCrash : public testing::Test {
  protected:
    void SetUp() override {
        ASSERT_FALSE(m_scenario.work.Path().empty());
        std::mt19937 random(static_cast<std::mt19937::result_type>(
            EnvironmentNumber("ZENTREL_CRASH_SEED", 20240611)));
        // One file with Windows line breaks, one as a Unix editor left it.
        m_scenario.initial[0] = LargeSettingsFile("the first model", "\r\n", random);
        m_scenario.initial[1] = LargeSettingsFile("the second model", "\n", random);
        ASSERT_NO_FATAL_FAILURE(RecordStates());
    }

    // The real migration, in this process, on a copy, with the interface language unknown as
    // in the program's environment.
    void RecordStates() {
        class CUnknownLanguage : public Zentrel::CSystemPlatform {
          public:
            explicit CUnknownLanguage(std::wstring folder) : m_folder(std::move(folder)) {}
            std::wstring LocalAppDataFolder() override { return m_folder; }
            std::uint16_t UserUiLanguage() override { return 0; }

          private:
            std::wstring m_folder;
        };
        const DataFolder copy(m_scenario.work / "recording");
        copy.Reset(m_scenario.initial);
        CUnknownLanguage platform(copy.root.wstring());
        Zentrel::RunNetworkVariant(platform);
        for (std::size_t i = 0; i < 2; ++i) {
            m_scenario.sequences[i].Add(m_scenario.initial[i]);
            m_scenario.sequences[i].Add(ReadBytes(copy.files[i]));
        }
    }

    // Runs the program to its end: exit 0, nothing printed.
    void RunToCompletion(const DataFolder& data, std::chrono::microseconds* took = nullptr) {
        const fs::path output = m_scenario.work / "output.txt";
        const auto start = Clock::now();
        ProgramTests::CRunningProgram program(ProgramTests::ProgramPath("Zentrel"), {"QX_NWTWAIN"},
                                              data.root, output);
        ASSERT_TRUE(program.Started());
        int status = -1;
        ASSERT_TRUE(program.WaitFor(kRunLimit, status)) << "Zentrel did not finish";
        if (took != nullptr) {
            *took = std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - start);
        }
        EXPECT_EQ(status, 0);
        EXPECT_EQ(ReadBytes(output), "");
    }

    void KillLoop(bool secondNames, std::uint64_t kills, std::chrono::seconds bound);

    Scenario m_scenario;
};

TEST_F(ZentrelCrash, TheRecordedStatesEndWhereAnUninterruptedRunEnds) {
    const DataFolder data(m_scenario.work / "data");
    data.Reset(m_scenario.initial);
    RunToCompletion(data);
    for (std::size_t i = 0; i < 2; ++i) {
        const StateSequence& sequence = m_scenario.sequences[i];
        EXPECT_EQ(ReadBytes(data.files[i]), sequence.states.back()) << data.files[i];
        // A migration that changed nothing would make the kills below prove nothing.
        EXPECT_EQ(sequence.states.size(), 2u) << data.files[i];
    }
    EXPECT_EQ(data.Strays(), std::set<std::string>{});
}

// Two runs at once on the same files, a few times over: the files end each time exactly as after
// one run, with nothing beside them.
TEST_F(ZentrelCrash, TwoRunsAtOnceEndAsOneRun) {
    const DataFolder data(m_scenario.work / "data");
    for (int round = 0; round < 10; ++round) {
        data.Reset(m_scenario.initial);
        const fs::path outputs[2] = {m_scenario.work / "output 1.txt",
                                     m_scenario.work / "output 2.txt"};
        {
            ProgramTests::CRunningProgram one(ProgramTests::ProgramPath("Zentrel"), {"QX_NWTWAIN"},
                                              data.root, outputs[0]);
            ProgramTests::CRunningProgram two(ProgramTests::ProgramPath("Zentrel"), {"QX_NWTWAIN"},
                                              data.root, outputs[1]);
            int status[2] = {-1, -1};
            ASSERT_TRUE(one.WaitFor(kRunLimit, status[0]) && two.WaitFor(kRunLimit, status[1]));
            EXPECT_EQ(status[0], 0);
            EXPECT_EQ(status[1], 0);
        }
        for (std::size_t i = 0; i < 2; ++i) {
            ASSERT_EQ(ReadBytes(data.files[i]), m_scenario.sequences[i].states.back())
                << "round " << round << ": " << data.files[i];
            EXPECT_EQ(ReadBytes(outputs[i]), "");
        }
        ASSERT_EQ(data.Strays(), std::set<std::string>{}) << "round " << round;
    }
}

// Another program appends a line to each file while Zentrel runs, opening it by name each time
// and writing at once, as a program saving its settings would, in a burst: every 3 ms, 50 lines
// at most. The lines are there afterwards, and without them each file holds what one run makes
// of it: a migration that finds the file changed starts again from its new bytes, pausing longer
// each time, and outlasts the burst. One window stays open (see TakePlace): a line written by a program descheduled
// between its open and its write, while a write of ours exchanged the file and took its last
// look. On a loaded machine that happens about once in a few hundred lines, so up to one line in
// 50 may go; without the check for changes about one line in five is lost. A program that went on
// writing for longer than all attempts together take would win every attempt: the file would
// stay as it left it, unmigrated, its lines kept.
TEST_F(ZentrelCrash, LinesAnotherProgramAppendsDuringARunAreKept) {
    const DataFolder data(m_scenario.work / "data");
    data.Reset(m_scenario.initial);
    const char* const lineBreaks[2] = {"\r\n", "\n"};
    int appended = 0;
    {
        ProgramTests::CRunningProgram program(ProgramTests::ProgramPath("Zentrel"), {"QX_NWTWAIN"},
                                              data.root, m_scenario.work / "output.txt");
        ASSERT_TRUE(program.Started());
        int status = -1;
        const auto start = Clock::now();
        while (appended < 50 && !program.WaitFor(std::chrono::milliseconds(0), status) &&
               Clock::now() - start < kRunLimit) {
            for (std::size_t i = 0; i < 2; ++i) {
                const std::string line =
                    "; appended meanwhile " + std::to_string(appended) + lineBreaks[i];
                const int fd = ::open(data.files[i].c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);
                ASSERT_NE(fd, -1);
                EXPECT_EQ(::write(fd, line.data(), line.size()), static_cast<ssize_t>(line.size()));
                ::close(fd);
            }
            ++appended;
            std::this_thread::sleep_for(std::chrono::milliseconds(3));
        }
        EXPECT_TRUE(status == 0 || program.WaitFor(kRunLimit, status));
        EXPECT_EQ(status, 0);
    }
    std::cout << "lines appended to each file during the run: " << appended << "\n";
    EXPECT_GT(appended, 5) << "the run ended before the other program could write much";
    for (std::size_t i = 0; i < 2; ++i) {
        std::string bytes = ReadBytes(data.files[i]);
        std::vector<int> lost;
        for (int n = 0; n < appended; ++n) {
            const std::string line = std::string(lineBreaks[i]) + "; appended meanwhile " +
                                     std::to_string(n) + lineBreaks[i];
            const std::size_t at = bytes.find(line);
            if (at == std::string::npos) {
                lost.push_back(n);
            } else {
                bytes.erase(at, line.size() - std::strlen(lineBreaks[i]));
            }
        }
        EXPECT_LE(lost.size(), static_cast<std::size_t>(std::max(1, appended / 50)))
            << testing::PrintToString(lost) << " of " << appended << " lines lost in "
            << data.files[i];
        EXPECT_EQ(bytes, m_scenario.sequences[i].states.back()) << data.files[i];
    }
    EXPECT_EQ(data.Strays(), std::set<std::string>{});
}

// The kill loop. With `secondNames` every write is an edit in place, whose copy of the old bytes
// the next run's first look at the file puts back: the states are checked after that look.
void ZentrelCrash::KillLoop(bool secondNames, std::uint64_t kills, std::chrono::seconds bound) {
    std::mt19937_64 random(EnvironmentNumber("ZENTREL_CRASH_SEED", 20240611));
    const DataFolder data(m_scenario.work / "data");
    const StateSequence& first = m_scenario.sequences[0];
    const StateSequence& second = m_scenario.sequences[1];

    // Kills land anywhere from before the program's first write to about its last. The median of
    // a few runs: on a disk one slow run would otherwise put most kills after the end.
    std::vector<std::chrono::microseconds> durations(5);
    for (auto& took : durations) {
        data.Reset(m_scenario.initial, secondNames);
        ASSERT_NO_FATAL_FAILURE(RunToCompletion(data, &took));
    }
    std::sort(durations.begin(), durations.end());
    const std::chrono::microseconds window = durations[durations.size() / 2];

    std::set<std::pair<std::size_t, std::size_t>> statesSeen;
    std::uint64_t done = 0;
    std::uint64_t landed = 0;
    std::uint64_t leftTemporaries = 0;
    const auto loopStart = Clock::now();
    for (; done < kills && Clock::now() - loopStart < bound; ++done) {
        data.Reset(m_scenario.initial, secondNames);
        const auto delay = std::chrono::microseconds(random() % (window.count() + 1));
        {
            ProgramTests::CRunningProgram program(ProgramTests::ProgramPath("Zentrel"),
                                                  {"QX_NWTWAIN"}, data.root,
                                                  m_scenario.work / "output.txt");
            ASSERT_TRUE(program.Started());
            std::this_thread::sleep_for(delay);
            landed += program.Kill() ? 1 : 0;
        }

        if (secondNames) {
            for (const fs::path& file : data.files) {
                std::string ignored;
                PosixFiles::ReadWhole(PosixFiles::RealFileSystem(), file.string(), ignored);
            }
        }
        const std::string afterKill[2] = {ReadBytes(data.files[0]), ReadBytes(data.files[1])};
        const auto found0 = first.index.find(afterKill[0]);
        const auto found1 = second.index.find(afterKill[1]);
        ASSERT_TRUE(found0 != first.index.end())
            << "kill " << done << " after " << delay.count()
            << " us: the first file is torn or half migrated";
        ASSERT_TRUE(found1 != second.index.end())
            << "kill " << done << " after " << delay.count()
            << " us: the second file is torn or half migrated";
        ASSERT_TRUE(found0->second == first.Last() || found1->second == 0)
            << "kill " << done << ": the second file changed before the first was finished";
        statesSeen.emplace(found0->second, found1->second);

        // A killed write may leave its temporary file; the rerun must remove it, and would leave
        // a stray of any other kind, which the last check below finds.
        leftTemporaries += data.Strays().empty() ? 0 : 1;

        ASSERT_NO_FATAL_FAILURE(RunToCompletion(data)) << "rerun after kill " << done;
        ASSERT_EQ(ReadBytes(data.files[0]), first.states.back()) << "rerun after kill " << done;
        ASSERT_EQ(ReadBytes(data.files[1]), second.states.back()) << "rerun after kill " << done;
        if (secondNames) {
            ASSERT_EQ(ReadBytes(data.SecondName(0)), first.states.back()) << "after kill " << done;
            ASSERT_EQ(ReadBytes(data.SecondName(1)), second.states.back()) << "after kill " << done;
        }
        // The rerun's write removes the temporary files of writers that are gone.
        ASSERT_EQ(data.Strays(), std::set<std::string>{}) << "rerun after kill " << done;
    }

    const std::size_t states = first.states.size() + second.states.size() - 1;
    std::cout << (secondNames ? "edits in place, " : "") << "kills: " << done << " of " << kills
              << " (" << landed << " while Zentrel ran), states seen: " << statesSeen.size()
              << " of " << states << ", kills that left a temporary file: " << leftTemporaries
              << ", kill window: " << window.count() << " us\n";
    RecordProperty("kills", static_cast<int>(done));
    RecordProperty("states_seen", static_cast<int>(statesSeen.size()));
    EXPECT_GT(done, 0u);
}

TEST_F(ZentrelCrash, KilledAtRandomMomentsTheFilesHoldAStateOfTheRunAndARerunFinishesIt) {
    KillLoop(false, EnvironmentNumber("ZENTREL_CRASH_KILLS", 300),
             std::chrono::seconds(EnvironmentNumber("ZENTREL_CRASH_SECONDS", 50)));
}

// A third of the kills and of the time: the loop above already covers the program's own work.
TEST_F(ZentrelCrash, KilledDuringEditsInPlaceTheNextRunPutsBackAStateOfTheRun) {
    KillLoop(true, EnvironmentNumber("ZENTREL_CRASH_KILLS", 300) / 3,
             std::chrono::seconds(EnvironmentNumber("ZENTREL_CRASH_SECONDS", 50) / 3));
}

}  // namespace
