// The real platform layer of the build, on files made for the test.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>

#include "files.h"
#include "launcher.h"
#include "platform.h"

namespace SetupLauncher {
namespace {

namespace fs = std::filesystem;
using Strings = std::vector<std::string>;

std::string Utf8Of(const fs::path& path) {
    const std::u8string text = path.u8string();
    return {text.begin(), text.end()};
}

fs::path PathOf(const std::string& utf8) {
    return {std::u8string(utf8.begin(), utf8.end())};
}

class SetupSystemPlatform : public testing::Test {
  protected:
    void SetUp() override {
        ASSERT_FALSE(m_folder.Path().empty());
        fs::create_directories(m_folder / "tools.exe");
        for (const char* name : {"a.exe", "caf\xC3\xA9.exe", "\xE4\xB8\xAD.msi"}) {
            std::ofstream(m_folder / PathOf(name)) << "x";
        }
    }
    std::string In(const std::string& name) const { return Utf8Of(m_folder / PathOf(name)); }

    TestingSupport::CTempFolder m_folder;
    std::unique_ptr<ILauncherPlatform> m_platform = CreateSystemPlatform();
};

TEST_F(SetupSystemPlatform, OnlyExistingFilesAreReadable) {
    EXPECT_TRUE(m_platform->IsReadable(In("a.exe")));
    EXPECT_TRUE(m_platform->IsReadable(In("caf\xC3\xA9.exe")));
    EXPECT_FALSE(m_platform->IsReadable(In("tools.exe")));
    EXPECT_FALSE(m_platform->IsReadable(In("missing.exe")));
}

TEST_F(SetupSystemPlatform, FileIdentityTellsFilesApart) {
    FileIdentity first;
    FileIdentity again;
    FileIdentity other;
    ASSERT_TRUE(m_platform->QueryFileIdentity(In("a.exe"), first));
    ASSERT_TRUE(m_platform->QueryFileIdentity(In("a.exe"), again));
    ASSERT_TRUE(m_platform->QueryFileIdentity(In("caf\xC3\xA9.exe"), other));
    EXPECT_EQ(first, again);
    EXPECT_FALSE(first == other);
    EXPECT_FALSE(m_platform->QueryFileIdentity(In("missing.exe"), other));
    // The same file with another size is another identity.
    std::ofstream(m_folder / "a.exe", std::ios::app) << "y";
    ASSERT_TRUE(m_platform->QueryFileIdentity(In("a.exe"), again));
    EXPECT_FALSE(first == again);
}

TEST_F(SetupSystemPlatform, ReadsAWholeFileUpToALimit) {
    std::string content;
    ASSERT_TRUE(m_platform->ReadFileContent(In("caf\xC3\xA9.exe"), 1, content));
    EXPECT_EQ(content, "x");
    EXPECT_FALSE(m_platform->ReadFileContent(In("a.exe"), 0, content));
    EXPECT_FALSE(m_platform->ReadFileContent(In("tools.exe"), 100, content));
    EXPECT_FALSE(m_platform->ReadFileContent(In("missing.exe"), 100, content));
}

TEST_F(SetupSystemPlatform, FolderRunKeyFollowsTheFolderNotItsSpelling) {
    const std::string folder = Utf8Of(m_folder.Path());
    Strings spellings;
    if (m_platform->Style() == PathStyle::Windows) {
        std::string upper = folder;
        std::transform(upper.begin(), upper.end(), upper.begin(),
                       [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
        spellings = {upper, R"(\\?\)" + folder};
    } else {
        fs::create_directory_symlink(m_folder.Path(), m_folder / "link");
        spellings = {folder + "/.", In("link")};
    }
    const std::string key = FolderRunKey(*m_platform, folder);
    // The path the key falls back on where a file system gives no index.
    const std::string path = m_platform->ComparableFolderPath(folder);
    EXPECT_FALSE(path.empty());
    for (const std::string& spelling : spellings) {
        EXPECT_EQ(FolderRunKey(*m_platform, spelling), key) << spelling;
        EXPECT_EQ(m_platform->ComparableFolderPath(spelling), path) << spelling;
    }
    EXPECT_NE(FolderRunKey(*m_platform, In("tools.exe")), key);
}

TEST_F(SetupSystemPlatform, AFolderRunIsHeldUntilItsHolderEnds) {
    const std::string key = FolderRunKey(*m_platform, Utf8Of(m_folder.Path()));
    ASSERT_TRUE(m_platform->ClaimFolderRun(key));
    const auto second = CreateSystemPlatform();
    EXPECT_FALSE(second->ClaimFolderRun(key));
    EXPECT_TRUE(second->ClaimFolderRun(FolderRunKey(*m_platform, In("tools.exe"))));
    m_platform.reset();
    EXPECT_TRUE(CreateSystemPlatform()->ClaimFolderRun(key));
}

TEST_F(SetupSystemPlatform, ListsNamesOutsideAscii) {
    std::vector<std::string> names;
    ASSERT_TRUE(m_platform->ListFolder(Utf8Of(m_folder.Path()), names));
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{".", "..", "a.exe", "caf\xC3\xA9.exe", "tools.exe",
                                               "\xE4\xB8\xAD.msi"}));
    EXPECT_FALSE(m_platform->ListFolder(In("missing"), names));
}

TEST_F(SetupSystemPlatform, ModulePathNamesTheRunningProgram) {
    const std::string path = m_platform->ModulePath();
    FileIdentity running;
    ASSERT_TRUE(m_platform->QueryFileIdentity(path, running));
    std::vector<std::string> names;
    ASSERT_TRUE(m_platform->ListFolder(GetLauncherFolder(*m_platform), names));
    const std::string name = Utf8Of(PathOf(path).filename());
    EXPECT_EQ(name.rfind("setup_unit_tests", 0), 0u) << path;
    EXPECT_NE(std::find(names.begin(), names.end(), name), names.end());
}

}  // namespace
}  // namespace SetupLauncher
