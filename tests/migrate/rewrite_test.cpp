// The rewrite rules on real files, through the real INI layer.
#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "files.h"
#include "ini_file.h"
#include "migrated_sections.h"
#include "migration.h"
#include "settings_files.h"
#include "stand_in_platform.h"
#include "test_name.h"

namespace {

using TestingSupport::CTempFolder;
using TestingSupport::ReadBytes;
using TestingSupport::WidePath;
using TestingSupport::WriteBytes;
using ZentrelTest::kFeaturesAvailable;
using ZentrelTest::kImagingLibrary;
using ZentrelTest::kMultiThreadFeatures;
using ZentrelTest::kOther;
using ZentrelTest::ReadValue;
using ZentrelTest::SectionKeys;

struct Expect {
    std::string section;
    std::string key;
    std::optional<std::string> value;  // nothing: the key must be absent
};

class ZentrelRewriteTest : public ::testing::Test {
  protected:
    Zentrel::CSystemPlatform m_system;

    std::filesystem::path File() const { return m_folder.Path() / "Velmora.ini"; }

    void Write(const std::string& content) const { WriteBytes(File(), content); }

    void ExpectValues(const std::vector<Expect>& expectations) const {
        for (const Expect& expect : expectations) {
            EXPECT_EQ(ReadValue(File(), expect.section, expect.key), expect.value)
                << "[" << expect.section << "] " << expect.key;
        }
    }

    // The section holds exactly these keys with these values, in this order.
    void ExpectSection(const std::string& section, const ZentrelTest::SectionContent& keys) const {
        std::vector<std::string> names;
        for (const auto& [key, value] : keys) {
            names.push_back(key);
            EXPECT_EQ(ReadValue(File(), section, key), value) << "[" << section << "] " << key;
        }
        EXPECT_EQ(SectionKeys(ReadBytes(File()), section), names) << "[" << section << "]";
    }

  private:
    CTempFolder m_folder;
};

struct ProfileCase {
    const char* name;
    std::string content;
    std::uint16_t uiLanguage;
    std::vector<Expect> expect;
};

void PrintTo(const ProfileCase& testCase, std::ostream* out) {
    *out << testCase.name;
}

class ZentrelProfileRepairTest : public ZentrelRewriteTest,
                                 public ::testing::WithParamInterface<ProfileCase> {};

TEST_P(ZentrelProfileRepairTest, RepairsProfiles) {
    const ProfileCase& testCase = GetParam();
    Write(testCase.content);
    const std::uint16_t language = testCase.uiLanguage;
    ZentrelTest::CStandInPlatform platform(L"", language);
    Zentrel::UpdateDeviceAndProfiles(WidePath(File()), platform);
    ExpectValues(testCase.expect);
}

const ProfileCase kProfileCases[] = {
    {"MissingOrEmptyZonalLanguageGetsTheUiLanguage",
     "[SCAN_PROFILE_0]\nACD_Sensitivity=5\n[SCAN_PROFILE_1]\nACD_Sensitivity=4\n"
     "ZonalOCRLanguage=\n",
     0x0407,
     {{"SCAN_PROFILE_0", "ZonalOCRLanguage", "1031"},
      {"SCAN_PROFILE_0", "ACD_Sensitivity", "5"},
      {"SCAN_PROFILE_1", "ZonalOCRLanguage", "1031"},
      {"SCAN_PROFILE_1", "ACD_Sensitivity", "4"}}},
    {"UiLanguageIsResolvedBeforeItIsWritten",
     "[SCAN_PROFILE_0]\nACD_Sensitivity=5\n",
     0x080A,
     {{"SCAN_PROFILE_0", "ZonalOCRLanguage", "3082"}}},
    {"UnknownUiLanguageWritesUsEnglish",
     "[SCAN_PROFILE_0]\nACD_Sensitivity=5\n",
     0,
     {{"SCAN_PROFILE_0", "ZonalOCRLanguage", "1033"}}},
    {"OnlyAcdAboveTenBecomesSeven",
     "[SCAN_PROFILE_0]\nACD_Sensitivity=10\nZonalOCRLanguage=1033\n"
     "[SCAN_PROFILE_1]\nACD_Sensitivity=11\nZonalOCRLanguage=1033\n"
     "[SCAN_PROFILE_2]\nACD_Sensitivity=-3\nZonalOCRLanguage=1033\n"
     "[SCAN_PROFILE_3]\nACD_Sensitivity=3000000000\nZonalOCRLanguage=1033\n"
     "[TWAIN_PROFILE_0]\nACD_Sensitivity=10\n[TWAIN_PROFILE_1]\nACD_Sensitivity=99\n",
     0x0409,
     {{"SCAN_PROFILE_0", "ACD_Sensitivity", "10"},
      {"SCAN_PROFILE_1", "ACD_Sensitivity", "7"},
      {"SCAN_PROFILE_2", "ACD_Sensitivity", "-3"},
      {"SCAN_PROFILE_3", "ACD_Sensitivity", "7"},
      {"TWAIN_PROFILE_0", "ACD_Sensitivity", "10"},
      {"TWAIN_PROFILE_1", "ACD_Sensitivity", "7"}}},
    {"NonNumericAcdEndsThePass",
     "[SCAN_PROFILE_0]\nACD_Sensitivity=12\nZonalOCRLanguage=1033\n"
     "[SCAN_PROFILE_1]\nACD_Sensitivity=abc\n"
     "[SCAN_PROFILE_2]\nACD_Sensitivity=20\n",
     0x0407,
     {{"SCAN_PROFILE_0", "ACD_Sensitivity", "7"},
      {"SCAN_PROFILE_1", "ACD_Sensitivity", "abc"},
      {"SCAN_PROFILE_1", "ZonalOCRLanguage", std::nullopt},
      {"SCAN_PROFILE_2", "ACD_Sensitivity", "20"},
      {"SCAN_PROFILE_2", "ZonalOCRLanguage", std::nullopt}}},
    {"PassesStartAtZeroAndRunIndependently",
     "[SCAN_PROFILE_1]\nACD_Sensitivity=20\n[TWAIN_PROFILE_0]\nACD_Sensitivity=15\n",
     0x0407,
     {{"SCAN_PROFILE_1", "ACD_Sensitivity", "20"},
      {"SCAN_PROFILE_1", "ZonalOCRLanguage", std::nullopt},
      {"SCAN_PROFILE_0", "ZonalOCRLanguage", std::nullopt},
      {"TWAIN_PROFILE_0", "ACD_Sensitivity", "7"}}},
    {"ProfileWithoutAcdEndsThePass",
     "[SCAN_PROFILE_0]\nName=Letters\n[SCAN_PROFILE_1]\nACD_Sensitivity=20\n",
     0x0407,
     {{"SCAN_PROFILE_0", "ZonalOCRLanguage", std::nullopt},
      {"SCAN_PROFILE_0", "Name", "Letters"},
      {"SCAN_PROFILE_1", "ACD_Sensitivity", "20"}}},
    {"ZonalLanguageThatReadsAsANumberIsKept",
     "[SCAN_PROFILE_0]\nACD_Sensitivity=1\nZonalOCRLanguage=0\n"
     "[SCAN_PROFILE_1]\nACD_Sensitivity=1\nZonalOCRLanguage=00\n"
     "[SCAN_PROFILE_2]\nACD_Sensitivity=1\nZonalOCRLanguage=9999\n"
     "[SCAN_PROFILE_3]\nACD_Sensitivity=1\nZonalOCRLanguage=German\n",
     0x0407,
     {{"SCAN_PROFILE_0", "ZonalOCRLanguage", "0"},
      {"SCAN_PROFILE_1", "ZonalOCRLanguage", "1031"},
      {"SCAN_PROFILE_2", "ZonalOCRLanguage", "9999"},
      {"SCAN_PROFILE_3", "ZonalOCRLanguage", "1031"}}},
    {"TwainProfilesNeverGetAZonalLanguage",
     "[TWAIN_PROFILE_0]\nACD_Sensitivity=11\n[TWAIN_PROFILE_1]\nACD_Sensitivity=3\n"
     "[TWAIN_PROFILE_3]\nACD_Sensitivity=50\n",
     0x0407,
     {{"TWAIN_PROFILE_0", "ACD_Sensitivity", "7"},
      {"TWAIN_PROFILE_0", "ZonalOCRLanguage", std::nullopt},
      {"TWAIN_PROFILE_1", "ACD_Sensitivity", "3"},
      {"TWAIN_PROFILE_1", "ZonalOCRLanguage", std::nullopt},
      {"TWAIN_PROFILE_3", "ACD_Sensitivity", "50"}}},
};

INSTANTIATE_TEST_SUITE_P(Cases, ZentrelProfileRepairTest, ::testing::ValuesIn(kProfileCases),
                         TestingSupport::ByParamName());

TEST_F(ZentrelRewriteTest, ProfilesAboveNinetyNineAreNeverVisited) {
    std::string content;
    for (int number = 0; number <= 100; ++number) {
        const std::string n = std::to_string(number);
        content += "[SCAN_PROFILE_" + n + "]\nACD_Sensitivity=11\n";
        content += "[TWAIN_PROFILE_" + n + "]\nACD_Sensitivity=11\n";
    }
    Write(content);
    ZentrelTest::CStandInPlatform platform(L"", 0x0407);
    Zentrel::UpdateDeviceAndProfiles(WidePath(File()), platform);
    for (const char* kind : {"SCAN_PROFILE_", "TWAIN_PROFILE_"}) {
        for (const int number : {0, 57, 99}) {
            const std::string section = kind + std::to_string(number);
            EXPECT_EQ(ReadValue(File(), section, "ACD_Sensitivity"), "7") << section;
        }
        const std::string last = std::string(kind) + "100";
        EXPECT_EQ(ReadValue(File(), last, "ACD_Sensitivity"), "11") << last;
        EXPECT_EQ(ReadValue(File(), last, "ZonalOCRLanguage"), std::nullopt) << last;
    }
    EXPECT_EQ(ReadValue(File(), "SCAN_PROFILE_99", "ZonalOCRLanguage"), "1031");
}

TEST_F(ZentrelRewriteTest, DeviceSectionIsRewrittenWhole) {
    Write(
        "[Other]\nHasNewWiaDriver=false\nOldKey=1\nCustomResolution=300\n"
        "[Scanner]\nModel=6600\n");
    ZentrelTest::CStandInPlatform platform(L"", 0x0409);
    Zentrel::UpdateDeviceAndProfiles(WidePath(File()), platform);
    ExpectSection("Other", kOther);
    ExpectValues({{"Other", "OldKey", std::nullopt}, {"Scanner", "Model", "6600"}});
}

TEST_F(ZentrelRewriteTest, DeviceSectionIsCreatedWhenMissing) {
    Write("[Scanner]\nModel=6600\n");
    ZentrelTest::CStandInPlatform platform(L"", 0x0409);
    Zentrel::UpdateDeviceAndProfiles(WidePath(File()), platform);
    ExpectSection("Other", kOther);
}

TEST_F(ZentrelRewriteTest, NetworkFeatureSectionsAreRewrittenWhole) {
    Write(
        "[Features_Available]\nBackSideScan=0\nLegacyFax=1\n"
        "[Imaging_Library]\nLibraryBeingUsed=0\nLibraryPath=old.dll\n"
        "[MultiThread_Features]\nColorMode=1\nAutoOrient=0\nExtra=5\n"
        "[SCAN_PROFILE_0]\nACD_Sensitivity=20\n");
    Zentrel::UpdateFeatureSections(WidePath(File()), m_system);
    ExpectSection("Features_Available", kFeaturesAvailable);
    ExpectSection("Imaging_Library", kImagingLibrary);
    ExpectSection("MultiThread_Features", kMultiThreadFeatures);
    ExpectValues({{"SCAN_PROFILE_0", "ACD_Sensitivity", "20"},
                  {"SCAN_PROFILE_0", "ZonalOCRLanguage", std::nullopt}});
}

TEST_F(ZentrelRewriteTest, FeatureSectionsAreCreatedWhenMissing) {
    Write("[Scanner]\nModel=K7740\n");
    Zentrel::UpdateFeatureSections(WidePath(File()), m_system);
    ExpectSection("Features_Available", kFeaturesAvailable);
    ExpectSection("Imaging_Library", kImagingLibrary);
    ExpectSection("MultiThread_Features", kMultiThreadFeatures);
    ExpectValues({{"Scanner", "Model", "K7740"}});
}

TEST_F(ZentrelRewriteTest, UsbVariantLeavesDeviceFeaturesAndProfilesAlone) {
    Write(
        "[Other]\nHasNewWiaDriver=false\n[Features_Available]\nBackSideScan=0\n"
        "[Imaging_Library]\nLibraryBeingUsed=0\n[MultiThread_Features]\nColorMode=1\n"
        "[SCAN_PROFILE_0]\nACD_Sensitivity=20\n[TWAIN_PROFILE_0]\nACD_Sensitivity=30\n");
    Zentrel::UpdateUsbFeatureSections(WidePath(File()), m_system);
    ExpectSection("Imaging_Library", kImagingLibrary);
    ExpectSection("MultiThread_Features", kMultiThreadFeatures);
    ExpectSection("Features_Available", {{"BackSideScan", "0"}});
    ExpectSection("Other", {{"HasNewWiaDriver", "false"}});
    ExpectValues({{"SCAN_PROFILE_0", "ACD_Sensitivity", "20"},
                  {"SCAN_PROFILE_0", "ZonalOCRLanguage", std::nullopt},
                  {"TWAIN_PROFILE_0", "ACD_Sensitivity", "30"}});
}

// An empty path must not fall back on the file that g_iniFile was pointed at before.
TEST_F(ZentrelRewriteTest, EmptyPathChangesNoFile) {
    const std::string content =
        "[Other]\nHasNewWiaDriver=false\n[SCAN_PROFILE_0]\nACD_Sensitivity=20\n";
    Write(content);
    ASSERT_TRUE(NGUtils::g_iniFile.SetFilePath(WidePath(File())));
    ZentrelTest::CStandInPlatform platform(L"", 0x0407);
    Zentrel::UpdateDeviceAndProfiles(L"", platform);
    Zentrel::UpdateFeatureSections(L"", m_system);
    Zentrel::UpdateUsbFeatureSections(L"", m_system);
    EXPECT_EQ(ReadBytes(File()), content);
}

}  // namespace
