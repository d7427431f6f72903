// Zentrel over bad settings files, on both builds: the program must end with status 0 within the
// time limit, print nothing, and leave its sections readable in the file. Natively, where the
// profile layer is our engine, the migrated file must also hold every byte of the original that
// the migration does not rewrite. (The Windows functions rewrite the whole file in their own
// form: under Wine 4,096 NUL bytes simply vanish.)
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <string>

#include "bad_settings.h"
#include "engine_under_test.h"
#include "files.h"
#include "ini_file.h"
#include "migration.h"
#include "program_runner.h"
#include "test_name.h"

namespace {

namespace fs = std::filesystem;
using BadInput::BadSettingsFile;
using TestingSupport::ReadBytes;
using TestingSupport::WidePath;
using TestingSupport::WriteBytes;

constexpr std::chrono::seconds kRunLimit{240};

std::wstring Read(const fs::path& file, const wchar_t* section, const wchar_t* key) {
    NGUtils::CIniFile ini;
    ini.SetFilePath(WidePath(file));
    std::wstring value;
    ini.ReadString(section, key, value);
    return value;
}

class ProgramBadInput : public testing::TestWithParam<std::string> {
  protected:
    void SetUp() override {
        m_data = ProgramTests::DataFolderForProgram(m_scratch.Path());
        ASSERT_FALSE(m_data.empty());
        for (std::size_t i = 0; i < 2; ++i) {
            m_files[i] = m_data / "Tarvex" / "Tarvex Scan Twain" /
                         fs::path(std::wstring(Zentrel::kModelFolders[i])) / "Velmora.ini";
        }
    }
    void TearDown() override {
        std::error_code ignored;
        // Under Wine the data folder is the prefix's own: take back only what the test put there.
        fs::remove_all(m_data / "Tarvex", ignored);
    }

    void RunZentrel(const char* variant) {
        const fs::path output = m_scratch / "output.txt";
        ProgramTests::CRunningProgram program(ProgramTests::ProgramPath("Zentrel"), {variant},
                                              m_data, output);
        ASSERT_TRUE(program.Started());
        int status = -1;
        ASSERT_TRUE(program.WaitFor(kRunLimit, status)) << "Zentrel did not finish";
        EXPECT_EQ(status, 0);
        EXPECT_EQ(ReadBytes(output), "");
    }

    TestingSupport::CTempFolder m_scratch;
    fs::path m_data;
    fs::path m_files[2];
};

TEST_P(ProgramBadInput, TheNetworkMigrationKeepsWhatItDoesNotRewrite) {
    const BadSettingsFile bad = BadInput::BadSettingsFileNamed(GetParam());
    for (const fs::path& file : m_files) {
        WriteBytes(file, bad.bytes);
    }
    ASSERT_NO_FATAL_FAILURE(RunZentrel("QX_NWTWAIN"));
    for (const fs::path& file : m_files) {
        // Both files were found and migrated: the sections the migration writes read back.
        EXPECT_EQ(Read(file, L"Other", L"HasNewWiaDriver"), L"true") << file;
        EXPECT_EQ(Read(file, L"Other", L"AlternateScanResolution"), L"600") << file;
        EXPECT_EQ(Read(file, L"Features_Available", L"WordExcelCSV"), L"1") << file;
        EXPECT_EQ(Read(file, L"Imaging_Library", L"LibraryBeingUsed"), L"1") << file;
        EXPECT_EQ(Read(file, L"MultiThread_Features", L"RotateImage"), L"0") << file;
        if constexpr (TestingSupport::kOwnEngine) {
            const std::string after = ReadBytes(file);
            EXPECT_TRUE(after.starts_with(bad.migratedStart)) << file;
            EXPECT_TRUE(after.ends_with(bad.migratedEnd)) << file;
            if (!bad.foreignByte.empty()) {
                EXPECT_EQ(after.find(bad.foreignByte), std::string::npos) << file;
            }
        }
    }
}

TEST_P(ProgramBadInput, TheUsbMigrationKeepsWhatItDoesNotRewrite) {
    const BadSettingsFile bad = BadInput::BadSettingsFileNamed(GetParam());
    // The USB variant finds model folders right inside the vendor folder.
    const fs::path file =
        m_data / "Tarvex" / fs::path(std::wstring(Zentrel::kModelFolders[1])) / "Velmora.ini";
    WriteBytes(file, bad.bytes);
    ASSERT_NO_FATAL_FAILURE(RunZentrel("QX_USBTWAIN"));
    EXPECT_EQ(Read(file, L"MultiThread_Features", L"AutoOrient"), L"1");
    EXPECT_EQ(Read(file, L"Imaging_Library", L"LibraryBeingUsed"), L"1");
    EXPECT_EQ(Read(file, L"Other", L"HasNewWiaDriver"), L"");
    if constexpr (TestingSupport::kOwnEngine) {
        const std::string after = ReadBytes(file);
        // The USB routine repairs no profile: every original byte stays where it was.
        EXPECT_TRUE(BadInput::KeepsTheOriginalBytes(after, bad));
    }
}

INSTANTIATE_TEST_SUITE_P(Files, ProgramBadInput,
                         testing::ValuesIn(BadInput::BadSettingsFileNames()),
                         TestingSupport::ByParam());

}  // namespace
