// Finding the settings files: folder matching, the existence test and the two variants.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "files.h"
#include "migration.h"
#include "platform.h"
#include "settings_files.h"
#include "stand_in_platform.h"

namespace {

namespace fs = std::filesystem;
using TestingSupport::CTempFolder;
using TestingSupport::ReadBytes;
using TestingSupport::WidePath;
using TestingSupport::WriteBytes;
using ZentrelTest::ReadValue;

const std::string kNetcapture = "Tarvex Netcapture Line 6600sx2";
const std::string kFeedline = "Tarvex Feedline K7740 sx2";

std::vector<std::wstring> Sorted(std::vector<std::wstring> paths) {
    std::sort(paths.begin(), paths.end());
    return paths;
}

class ZentrelDiscoveryTest : public ::testing::Test {
  protected:
    fs::path Vendor() const { return m_folder.Path() / "Tarvex"; }
    fs::path Root() const { return m_folder.Path(); }
    std::wstring Separator() { return {PathSyntax::Separator<wchar_t>(m_system.Style())}; }

    Zentrel::CSystemPlatform m_system;

  private:
    CTempFolder m_folder;
};

TEST_F(ZentrelDiscoveryTest, FindsFoldersThatContainAModelName) {
    for (const std::string& name : std::vector<std::string>{
             kFeedline + " (USB)", "old " + kNetcapture, kNetcapture, "tarvex feedline k7740 sx2",
             "Tarvex Feedline", "Tarvex Scan Twain"}) {
        fs::create_directories(Vendor() / name);
    }
    // Not folders, or not directly inside the vendor folder.
    WriteBytes(Vendor() / (kFeedline + " notes.txt"), "x");
    fs::create_directories(Vendor() / "Tarvex Scan Twain" / kFeedline);

    std::vector<std::wstring> folders = {L"kept"};
    Zentrel::FindModelFolders(WidePath(Vendor()), folders, m_system);

    const std::wstring parent = WidePath(Vendor()) + Separator();
    EXPECT_EQ(Sorted(folders),
              Sorted({L"kept", parent + WidePath(kFeedline + " (USB)"),
                      parent + WidePath("old " + kNetcapture), parent + WidePath(kNetcapture)}));
}

TEST_F(ZentrelDiscoveryTest, FileNamedAfterAModelIsNoFolder) {
    WriteBytes(Vendor() / kNetcapture, "x");
    std::vector<std::wstring> folders;
    Zentrel::FindModelFolders(WidePath(Vendor()), folders, m_system);
    EXPECT_TRUE(folders.empty());
}

TEST_F(ZentrelDiscoveryTest, LinkToAFolderCountsAsAFolder) {
    fs::create_directories(Root() / "elsewhere");
    fs::create_directories(Vendor());
    std::error_code error;
    fs::create_directory_symlink(Root() / "elsewhere", Vendor() / kFeedline, error);
    if (error) {
        GTEST_SKIP() << "no symbolic links here: " << error.message();
    }
    std::vector<std::wstring> folders;
    Zentrel::FindModelFolders(WidePath(Vendor()), folders, m_system);
    EXPECT_EQ(folders, std::vector<std::wstring>{WidePath(Vendor() / kFeedline)});
}

TEST_F(ZentrelDiscoveryTest, MissingOrEmptyParentLeavesTheListAlone) {
    std::vector<std::wstring> folders = {L"kept"};
    Zentrel::FindModelFolders(WidePath(Vendor() / "missing"), folders, m_system);
    Zentrel::FindModelFolders(L"", folders, m_system);
    EXPECT_EQ(folders, std::vector<std::wstring>{L"kept"});
}

TEST_F(ZentrelDiscoveryTest, SettingsFileExistsOnlyForFiles) {
    WriteBytes(Root() / "file.ini", "[A]\n");
    fs::create_directories(Root() / "folder.ini");
    fs::create_directories(Root() / "sub");
    const std::wstring separator = Separator();
    struct Probe {
        std::wstring path;
        bool exists;
    };
    const Probe probes[] = {
        {WidePath(Root() / "file.ini"), true},
        {WidePath(Root() / "sub") + separator + L".." + separator + L"file.ini", true},
        {WidePath(Root() / "folder.ini"), false},
        {WidePath(Root() / "missing.ini"), false},
        {WidePath(Root() / "missing" / "file.ini"), false},
        {L"", false},
    };
    for (const Probe& probe : probes) {
        EXPECT_EQ(Zentrel::SettingsFileExists(probe.path, m_system), probe.exists)
            << testing::PrintToString(probe.path);
    }
}

TEST_F(ZentrelDiscoveryTest, SettingsFileExistsFollowsLinks) {
    WriteBytes(Root() / "target.ini", "[A]\n");
    std::error_code error;
    fs::create_symlink(Root() / "target.ini", Root() / "link.ini", error);
    fs::create_symlink(Root() / "gone.ini", Root() / "dangling.ini", error);
    if (error) {
        GTEST_SKIP() << "no symbolic links here: " << error.message();
    }
    EXPECT_TRUE(Zentrel::SettingsFileExists(WidePath(Root() / "link.ini"), m_system));
    EXPECT_FALSE(Zentrel::SettingsFileExists(WidePath(Root() / "dangling.ini"), m_system));
}

class ZentrelVariantTest : public ZentrelDiscoveryTest {
  protected:
    fs::path NetworkFile(const std::string& model) const {
        return Root() / "Tarvex" / "Tarvex Scan Twain" / model / "Velmora.ini";
    }
    // The system's platform with the temporary folder as the data folder.
    ZentrelTest::CStandInPlatform Platform(std::uint16_t language) const {
        return {WidePath(Root()), language};
    }
};

const std::string kUnmigrated =
    "[Other]\nHasNewWiaDriver=false\n[Features_Available]\nBackSideScan=0\n"
    "[SCAN_PROFILE_0]\nACD_Sensitivity=20\n";

TEST_F(ZentrelVariantTest, NetworkVariantMigratesOneModelAfterTheOther) {
    WriteBytes(NetworkFile(kNetcapture), kUnmigrated);
    WriteBytes(NetworkFile(kFeedline), kUnmigrated);
    // The language is asked for once per file, from inside its first routine: by then the
    // file before it must be complete and this one not yet touched by the second routine.
    std::vector<std::string> seen;
    const auto language = [&]() -> std::uint16_t {
        seen.push_back(
            ReadValue(NetworkFile(kNetcapture), "Features_Available", "BackSideScan")
                .value_or("?") +
            ReadValue(NetworkFile(kFeedline), "Features_Available", "BackSideScan").value_or("?"));
        return 0x0407;
    };
    ZentrelTest::CStandInPlatform platform = Platform(0);
    platform.uiLanguage = language;
    Zentrel::RunNetworkVariant(platform);
    EXPECT_EQ(seen, (std::vector<std::string>{"00", "10"}));
    for (const std::string& model : {kNetcapture, kFeedline}) {
        EXPECT_EQ(ReadValue(NetworkFile(model), "Other", "IsMFPTwain"), "true") << model;
        EXPECT_EQ(ReadValue(NetworkFile(model), "Features_Available", "BackSideScan"), "1");
        EXPECT_EQ(ReadValue(NetworkFile(model), "SCAN_PROFILE_0", "ZonalOCRLanguage"), "1031");
    }
}

TEST_F(ZentrelVariantTest, NetworkVariantSkipsMissingFilesAndFolders) {
    fs::create_directories(NetworkFile(kNetcapture));
    WriteBytes(NetworkFile(kFeedline), kUnmigrated);
    int asked = 0;
    ZentrelTest::CStandInPlatform platform = Platform(0);
    platform.uiLanguage = [&] {
        ++asked;
        return std::uint16_t{0x0407};
    };
    Zentrel::RunNetworkVariant(platform);
    EXPECT_EQ(asked, 1);
    EXPECT_TRUE(fs::is_directory(NetworkFile(kNetcapture)));
    EXPECT_EQ(ReadValue(NetworkFile(kFeedline), "Other", "IsMFPTwain"), "true");
}

TEST_F(ZentrelVariantTest, NetworkVariantLooksTheFolderUpForEachModel) {
    int lookups = 0;
    ZentrelTest::CStandInPlatform platform = Platform(0);
    platform.dataFolder = [&] {
        ++lookups;
        return WidePath(Root());
    };
    Zentrel::RunNetworkVariant(platform);
    EXPECT_EQ(lookups, 2);
}

TEST_F(ZentrelVariantTest, UsbVariantMigratesOnlyVendorSubfolders) {
    const fs::path usbFile = Root() / "Tarvex" / (kFeedline + " USB") / "Velmora.ini";
    WriteBytes(usbFile, kUnmigrated);
    WriteBytes(NetworkFile(kNetcapture), kUnmigrated);
    ZentrelTest::CStandInPlatform platform = Platform(0);
    Zentrel::RunUsbVariant(platform);
    EXPECT_EQ(ReadValue(usbFile, "Imaging_Library", "LibraryBeingUsed"), "1");
    EXPECT_EQ(ReadValue(usbFile, "Features_Available", "BackSideScan"), "0");
    EXPECT_EQ(ReadValue(usbFile, "SCAN_PROFILE_0", "ACD_Sensitivity"), "20");
    EXPECT_EQ(ReadBytes(NetworkFile(kNetcapture)), kUnmigrated);
}

}  // namespace
