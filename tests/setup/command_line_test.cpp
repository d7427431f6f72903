#include <gtest/gtest.h>

#include "fake_platform.h"
#include "launcher.h"

namespace SetupLauncher {
namespace {

using Strings = std::vector<std::string>;

TEST(SetupCommandLine, ParseCommandLineFillsBothLists) {
    struct Case {
        Strings arguments;
        Strings exeEntries;
        Strings msiEntries;
    };
    const Case cases[] = {
        {{"Setup.exe"}, {}, {}},
        {{"Setup.exe", "-e", "-m", "x"}, {}, {"x"}},
        {{"Setup.exe", "-m", "-e"}, {}, {"-e"}},
        {{"Setup.exe", "-e"}, {}, {}},
        {{"Setup.exe", "-m"}, {}, {}},
        {{"Setup.exe", "-e", ""}, {""}, {}},
        {{"Setup.exe", "-e", "a", "-e", "b"}, {"a", "b"}, {}},
        {{"Setup.exe", "-E", "x", "-ex", "y", "-e ", "z"}, {}, {}},
        // A taken value is tested again as an option.
        {{"Setup.exe", "-e", "-e", "a"}, {"-e", "a"}, {}},
        {{"Setup.exe", "-m", "-m", "x"}, {}, {"-m", "x"}},
        {{"Setup.exe", "-m", "a;b", "-e", "c"}, {"c"}, {"a", "b"}},
        {{"-e", "x"}, {"x"}, {}},
        {{}, {}, {}},
    };
    for (const Case& c : cases) {
        PackageList exeEntries;
        PackageList msiEntries;
        ParseCommandLine(c.arguments, exeEntries, msiEntries);
        EXPECT_EQ(exeEntries, c.exeEntries) << testing::PrintToString(c.arguments);
        EXPECT_EQ(msiEntries, c.msiEntries) << testing::PrintToString(c.arguments);
    }
}

TEST(SetupCommandLine, SplitListCutsAtEverySeparator) {
    const std::pair<std::string, Strings> cases[] = {
        {"a", {"a"}},     {"", {""}},           {"a;;b", {"a", "", "b"}},
        {"a;", {"a"}},    {";", {""}},          {";a", {"", "a"}},
        {";;", {"", ""}}, {"a;b;", {"a", "b"}}, {"C:\\x y\\a.exe;b", {"C:\\x y\\a.exe", "b"}},
    };
    for (const auto& [value, expected] : cases) {
        PackageList list = {"before"};
        SplitList(value, list);
        Strings withBefore = {"before"};
        withBefore.insert(withBefore.end(), expected.begin(), expected.end());
        EXPECT_EQ(list, withBefore) << '"' << value << '"';
    }
}

TEST(SetupCommandLine, IsAbsolutePathFollowsThePathStyle) {
    const std::tuple<PathStyle, std::string, bool> cases[] = {
        {PathStyle::Windows, R"(C:\pkg\a.exe)", true},
        {PathStyle::Windows, "c:/pkg/a.exe", true},
        {PathStyle::Windows, R"(\\server\share\a.exe)", true},
        {PathStyle::Windows, "//server/share/a.exe", true},
        {PathStyle::Windows, "C:a.exe", false},
        {PathStyle::Windows, R"(\pkg\a.exe)", false},
        {PathStyle::Windows, R"(/\pkg)", false},
        {PathStyle::Windows, R"(1:\a.exe)", false},
        {PathStyle::Windows, "sub\\a.exe", false},
        {PathStyle::Windows, "", false},
        {PathStyle::Posix, "/opt/a.exe", true},
        {PathStyle::Posix, "opt/a.exe", false},
        {PathStyle::Posix, R"(C:\a.exe)", false},
        {PathStyle::Posix, R"(\\server\a.exe)", false},
        {PathStyle::Posix, "", false},
    };
    for (const auto& [style, path, expected] : cases) {
        EXPECT_EQ(IsAbsolutePath(path, style), expected) << path;
    }
}

TEST(SetupCommandLine, LauncherFolderAndPackagePath) {
    struct Case {
        PathStyle style;
        std::string modulePath;
        std::string folder;
        std::string pathOfA;
    };
    const Case cases[] = {
        {PathStyle::Windows, R"(C:\pkg\Setup.exe)", R"(C:\pkg)", R"(C:\pkg\a.exe)"},
        {PathStyle::Windows, "C:/pkg/sub/Setup.exe", "C:/pkg/sub", R"(C:/pkg/sub\a.exe)"},
        {PathStyle::Windows, R"(Z:\a/b\Setup.exe)", R"(Z:\a/b)", R"(Z:\a/b\a.exe)"},
        {PathStyle::Windows, "Setup.exe", "Setup.exe", R"(Setup.exe\a.exe)"},
        {PathStyle::Posix, "/opt/pkg/Setup", "/opt/pkg", "/opt/pkg/a.exe"},
        {PathStyle::Posix, R"(/opt/a\b/Setup)", R"(/opt/a\b)", R"(/opt/a\b/a.exe)"},
        // A root keeps its separator, and no second one is added.
        {PathStyle::Windows, R"(D:\Setup.exe)", R"(D:\)", R"(D:\a.exe)"},
        {PathStyle::Windows, R"(\\?\D:\Setup.exe)", R"(\\?\D:\)", R"(\\?\D:\a.exe)"},
        {PathStyle::Posix, "/Setup", "/", "/a.exe"},
        // An unknown launcher path: relative entries have no place.
        {PathStyle::Windows, "", "", ""},
        {PathStyle::Posix, "", "", ""},
    };
    for (const Case& c : cases) {
        CFakePlatform platform;
        platform.style = c.style;
        platform.modulePath = c.modulePath;
        EXPECT_EQ(GetLauncherFolder(platform), c.folder) << c.modulePath;
        EXPECT_EQ(PackagePath(platform, "a.exe"), c.pathOfA) << c.modulePath;
        // An absolute entry is taken as it is.
        const std::string absolute = c.style == PathStyle::Windows ? R"(D:\x\b.exe)" : "/x/b.exe";
        EXPECT_EQ(PackagePath(platform, absolute), absolute);
    }
}

}  // namespace
}  // namespace SetupLauncher
