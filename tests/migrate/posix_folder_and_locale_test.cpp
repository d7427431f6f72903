// The POSIX sources of the data folder and the interface language, and folder names that are no
// UTF-8.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <map>
#include <ostream>
#include <set>
#include <string>
#include <vector>

#include "files.h"
#include "migration.h"
#include "posix_folder_and_locale.h"
#include "settings_files.h"
#include "stand_in_platform.h"
#include "test_name.h"
#include "text_codec.h"

namespace {

using Environment = std::map<std::string, std::string>;

Zentrel::Posix::EnvironmentLookup Lookup(const Environment& environment) {
    return [&environment](const char* name) -> const char* {
        const auto found = environment.find(name);
        return found == environment.end() ? nullptr : found->second.c_str();
    };
}

struct LocaleCase {
    const char* locale;
    std::uint16_t id;
};

void PrintTo(const LocaleCase& locale, std::ostream* out) {
    *out << '"' << locale.locale << "\" -> 0x" << std::hex << locale.id;
}

// A test name of letters, digits and underscores; the index keeps names unique.
std::string CaseName(const char* text, std::size_t index) {
    return "Case" + std::to_string(index) + "_" + TestingSupport::TestName(text);
}

class ZentrelLanguageIdFromLocaleNameTest : public ::testing::TestWithParam<LocaleCase> {};

TEST_P(ZentrelLanguageIdFromLocaleNameTest, MapsAsWindowsDoes) {
    EXPECT_EQ(Zentrel::Posix::LanguageIdFromLocaleName(GetParam().locale), GetParam().id)
        << GetParam().locale;
}

INSTANTIATE_TEST_SUITE_P(
    Names, ZentrelLanguageIdFromLocaleNameTest,
    ::testing::Values(
        LocaleCase{"de_CH", 0x0807}, LocaleCase{"de_DE.UTF-8", 0x0407},
        LocaleCase{"de_DE.ISO-8859-15@euro", 0x0407}, LocaleCase{"de", 0x0007},
        LocaleCase{"zh_TW", 0x0404}, LocaleCase{"zh_HK.UTF-8", 0x0C04}, LocaleCase{"zh_SG", 0x1004},
        LocaleCase{"zh_MO", 0x1404}, LocaleCase{"zh_CN.GB18030", 0x0804}, LocaleCase{"zh", 0x0004},
        LocaleCase{"pt_PT", 0x0816}, LocaleCase{"pt_BR", 0x0416}, LocaleCase{"es_MX", 0x080A},
        LocaleCase{"es_ES", 0x0C0A}, LocaleCase{"es_AR.UTF-8", 0x2C0A}, LocaleCase{"es_US", 0x540A},
        LocaleCase{"ca_ES@valencia", 0x0803}, LocaleCase{"ca_ES.UTF-8@valencia", 0x0803},
        LocaleCase{"ca_ES", 0x0403},
        // Croatian, Serbian and Bosnian share one primary language.
        LocaleCase{"hr_HR", 0x041A}, LocaleCase{"sr_RS", 0x281A}, LocaleCase{"sr_RS@latin", 0x241A},
        LocaleCase{"sr_ME", 0x301A}, LocaleCase{"bs_BA", 0x141A},
        LocaleCase{"bs_BA@cyrillic", 0x201A}, LocaleCase{"nb_NO", 0x0414},
        LocaleCase{"nn_NO", 0x0814}, LocaleCase{"no_NO", 0x0414}, LocaleCase{"en_GB", 0x0809},
        LocaleCase{"en_US.UTF-8", 0x0409}, LocaleCase{"fr_CA", 0x0C0C}, LocaleCase{"sv_FI", 0x081D},
        LocaleCase{"ar_EG", 0x0C01}, LocaleCase{"he_IL", 0x040D},
        // A region Windows has no identifier for keeps the language.
        LocaleCase{"de_IT.UTF-8", 0x0007}, LocaleCase{"zh_MY", 0x0004},
        // Not a language.
        LocaleCase{"C", 0}, LocaleCase{"C.UTF-8", 0}, LocaleCase{"POSIX", 0}, LocaleCase{"", 0},
        LocaleCase{"xx_YY.UTF-8", 0}, LocaleCase{"d", 0}, LocaleCase{"_DE", 0},
        LocaleCase{"de1_DE", 0}),
    [](const auto& info) { return CaseName(info.param.locale, info.index); });

// One locale of each language the application has: mapping and resolution together.
TEST(ZentrelLocaleResolutionTest, EverySupportedLanguageIsReachable) {
    const LocaleCase cases[] = {
        {"sq_AL.UTF-8", 1052}, {"bg_BG.UTF-8", 1026}, {"ca_ES.UTF-8", 1027}, {"zh_TW.UTF-8", 1028},
        {"zh_CN.UTF-8", 2052}, {"hr_HR.UTF-8", 1050}, {"cs_CZ.UTF-8", 1029}, {"da_DK.UTF-8", 1030},
        {"nl_BE.UTF-8", 1043}, {"en_IE.UTF-8", 1033}, {"et_EE.UTF-8", 1061}, {"fi_FI.UTF-8", 1035},
        {"fr_CH.UTF-8", 1036}, {"de_AT.UTF-8", 1031}, {"el_GR.UTF-8", 1032}, {"hu_HU.UTF-8", 1038},
        {"id_ID.UTF-8", 1057}, {"it_CH.UTF-8", 1040}, {"ja_JP.UTF-8", 1041}, {"ko_KR.UTF-8", 1042},
        {"lt_LT.UTF-8", 1063}, {"nb_NO.UTF-8", 1044}, {"pl_PL.UTF-8", 1045}, {"pt_PT.UTF-8", 1046},
        {"ro_MD.UTF-8", 1048}, {"ru_RU.UTF-8", 1049}, {"sk_SK.UTF-8", 1051}, {"sl_SI.UTF-8", 1060},
        {"es_CO.UTF-8", 3082}, {"sv_SE.UTF-8", 1053}, {"tr_TR.UTF-8", 1055}, {"uk_UA.UTF-8", 1058},
        {"ar_MA.UTF-8", 1025}, {"he_IL.UTF-8", 1037}, {"vi_VN.UTF-8", 1066}, {"sr_RS@latin", 1050},
        {"bs_BA.UTF-8", 1050}, {"zh_HK.UTF-8", 1028}, {"zh_SG.UTF-8", 2052}, {"th_TH.UTF-8", 1033},
    };
    for (const LocaleCase& locale : cases) {
        const std::uint16_t raw = Zentrel::Posix::LanguageIdFromLocaleName(locale.locale);
        ZentrelTest::CStandInPlatform platform(L"", raw);
        EXPECT_EQ(Zentrel::ResolveUiLanguage(platform), locale.id) << locale.locale;
    }
}

struct EnvironmentCase {
    const char* name;
    Environment environment;
    std::string expected;
};

void PrintTo(const EnvironmentCase& testCase, std::ostream* out) {
    *out << testCase.name;
}

class ZentrelMessagesLocaleNameTest : public ::testing::TestWithParam<EnvironmentCase> {};

TEST_P(ZentrelMessagesLocaleNameTest, ChoosesAsGettextDoes) {
    EXPECT_EQ(Zentrel::Posix::MessagesLocaleName(Lookup(GetParam().environment)),
              GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ZentrelMessagesLocaleNameTest,
    ::testing::Values(
        EnvironmentCase{"Nothing", {}, ""},
        EnvironmentCase{"LangAlone", {{"LANG", "de_DE.UTF-8"}}, "de_DE.UTF-8"},
        EnvironmentCase{"MessagesBeforeLang",
                        {{"LANG", "de_DE.UTF-8"}, {"LC_MESSAGES", "fr_CA.UTF-8"}},
                        "fr_CA.UTF-8"},
        EnvironmentCase{"AllBeforeMessages",
                        {{"LC_ALL", "ja_JP.UTF-8"}, {"LC_MESSAGES", "fr_CA.UTF-8"}},
                        "ja_JP.UTF-8"},
        EnvironmentCase{"EmptyValuesAreSkipped",
                        {{"LC_ALL", ""}, {"LC_MESSAGES", ""}, {"LANG", "de_DE.UTF-8"}},
                        "de_DE.UTF-8"},
        EnvironmentCase{
            "LanguageListWins", {{"LANG", "de_DE.UTF-8"}, {"LANGUAGE", "fr_CA:ja"}}, "fr_CA"},
        EnvironmentCase{"LanguageListEmptyEntriesSkipped",
                        {{"LANG", "de_DE.UTF-8"}, {"LANGUAGE", "::pt_BR:ja"}},
                        "pt_BR"},
        EnvironmentCase{
            "EmptyLanguageList", {{"LANG", "de_DE.UTF-8"}, {"LANGUAGE", ""}}, "de_DE.UTF-8"},
        EnvironmentCase{"LanguageListIgnoredForC", {{"LANG", "C"}, {"LANGUAGE", "fr_CA"}}, "C"},
        EnvironmentCase{"LanguageListIgnoredForCUtf8",
                        {{"LC_ALL", "C.UTF-8"}, {"LANGUAGE", "fr_CA"}},
                        "C.UTF-8"},
        EnvironmentCase{"LanguageListIgnoredForPosix",
                        {{"LC_MESSAGES", "POSIX"}, {"LANG", "de_DE"}, {"LANGUAGE", "fr"}},
                        "POSIX"},
        EnvironmentCase{"LanguageListIgnoredWithoutLocale", {{"LANGUAGE", "fr_CA"}}, ""}),
    TestingSupport::ByParamName());

struct FolderCase {
    const char* name;
    Environment environment;
    std::wstring expected;
};

void PrintTo(const FolderCase& testCase, std::ostream* out) {
    *out << testCase.name;
}

class ZentrelLocalAppDataFolderTest : public ::testing::TestWithParam<FolderCase> {};

TEST_P(ZentrelLocalAppDataFolderTest, Chooses) {
    EXPECT_EQ(Zentrel::Posix::LocalAppDataFolder(Lookup(GetParam().environment)),
              GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ZentrelLocalAppDataFolderTest,
    ::testing::Values(
        FolderCase{"DataHome", {{"XDG_DATA_HOME", "/data"}, {"HOME", "/home/u"}}, L"/data"},
        FolderCase{"DataHomeTrailingSlash", {{"XDG_DATA_HOME", "/data/"}}, L"/data"},
        FolderCase{"RelativeDataHomeIsIgnored",
                   {{"XDG_DATA_HOME", "data"}, {"HOME", "/home/u"}},
                   L"/home/u/.local/share"},
        FolderCase{"EmptyDataHome",
                   {{"XDG_DATA_HOME", ""}, {"HOME", "/home/u/"}},
                   L"/home/u/.local/share"},
        FolderCase{"HomeOnly", {{"HOME", "/home/u"}}, L"/home/u/.local/share"},
        FolderCase{
            "NonAsciiHome", {{"HOME", "/home/J\xc3\xb6rg"}}, L"/home/J\u00f6rg/.local/share"},
        FolderCase{"EmptyHome", {{"HOME", ""}}, L""}, FolderCase{"Nothing", {}, L""},
        // A relative folder would depend on where the program was started.
        FolderCase{"RelativeHomeIsUnset", {{"HOME", "home/u"}}, L""},
        FolderCase{"RelativeBoth", {{"XDG_DATA_HOME", "data"}, {"HOME", "."}}, L""},
        FolderCase{"DataHomeThatIsNoUtf8",
                   {{"XDG_DATA_HOME", "/d\xE9"}},
                   std::wstring(L"/d") + wchar_t(0xDCE9)}),
    TestingSupport::ByParamName());

namespace fs = std::filesystem;

const std::string kUnmigrated =
    "[Other]\nHasNewWiaDriver=false\n[Imaging_Library]\nLibraryBeingUsed=0\n";

std::string Bytes(std::wstring_view wide) {
    std::string bytes;
    TextCodec::FileNameFromWide(wide, bytes);
    return bytes;
}

// A data folder whose name is no UTF-8 is migrated, and its neighbour, whose name holds U+FFFD
// where the other holds the bad byte, is not touched.
TEST(ZentrelPosixNames, ADataFolderWhoseNameIsNoUtf8IsMigratedAndNoOtherIs) {
    const TestingSupport::CTempFolder temp;
    const fs::path data = temp.Path() / "data\xE9";
    const fs::path neighbour = temp.Path() / "data\xEF\xBF\xBD";
    const std::string model = Bytes(Zentrel::kModelFolders[0]);
    const fs::path tail = fs::path("Tarvex") / "Tarvex Scan Twain" / model / "Velmora.ini";
    for (const fs::path& root : {data, neighbour}) {
        TestingSupport::WriteBytes(root / tail, kUnmigrated);
    }
    const Environment environment = {{"XDG_DATA_HOME", data.string()}};
    ZentrelTest::CStandInPlatform platform(Zentrel::Posix::LocalAppDataFolder(Lookup(environment)),
                                           0);
    Zentrel::RunNetworkVariant(platform);
    EXPECT_EQ(ZentrelTest::ReadValue(data / tail, "Other", "IsMFPTwain"), "true");
    EXPECT_EQ(TestingSupport::ReadBytes(neighbour / tail), kUnmigrated);
}

// Each model folder of the vendor folder is found under its own name: the one whose name is no
// UTF-8 is migrated, and the search does not reach its U+FFFD neighbour in its place.
TEST(ZentrelPosixNames, AUsbFolderWhoseNameIsNoUtf8IsFoundUnderItsOwnName) {
    const TestingSupport::CTempFolder temp;
    const std::string model = Bytes(Zentrel::kModelFolders[1]);
    const fs::path vendor = temp.Path() / "Tarvex";
    const std::set<std::string> names = {model + " \xFE", model + " \xEF\xBF\xBD"};
    for (const std::string& name : names) {
        TestingSupport::WriteBytes(vendor / name / "Velmora.ini", kUnmigrated);
    }
    std::vector<std::wstring> folders;
    Zentrel::CSystemPlatform system;
    Zentrel::FindModelFolders(TestingSupport::WidePath(vendor), folders, system);
    std::set<std::string> found;
    for (const std::wstring& folder : folders) {
        found.insert(fs::path(Bytes(folder)).filename().string());
    }
    EXPECT_EQ(found, names);
    EXPECT_EQ(folders.size(), 2u);

    ZentrelTest::CStandInPlatform platform(TestingSupport::WidePath(temp.Path()), 0);
    Zentrel::RunUsbVariant(platform);
    for (const std::string& name : names) {
        EXPECT_EQ(ZentrelTest::ReadValue(vendor / name / "Velmora.ini", "Imaging_Library",
                                         "LibraryBeingUsed"),
                  "1")
            << name;
    }
}

}  // namespace
