#include <gtest/gtest.h>

#include "fake_platform.h"
#include "launcher.h"

namespace SetupLauncher {
namespace {

using Strings = std::vector<std::string>;

TEST(SetupDiscovery, NameRulesAreByteWiseAndCaseSensitive) {
    CFakePlatform platform;
    platform.folderEntries = {
        ".",           "..",         "runtime_x86.exe", "Setup.exe",   "MySetup.exe",
        "RUNTIME.EXE", "SETUP.EXE",  "tool.exe.config", "runtime.msi", "Setup.exe.msi",
        "a.msi.exe",   "readme.txt", "setup.exe",       "b.MSI",       "z.exe"};
    PackageList exeList;
    PackageList msiList;
    ASSERT_TRUE(FindPackages(platform, R"(C:\pkg)", exeList, msiList));
    EXPECT_EQ(exeList,
              (Strings{"runtime_x86.exe", "tool.exe.config", "a.msi.exe", "setup.exe", "z.exe"}));
    EXPECT_EQ(msiList, (Strings{"runtime.msi", "Setup.exe.msi"}));
    EXPECT_EQ(platform.events, Strings{R"(list C:\pkg)"});
}

TEST(SetupDiscovery, UnlistableFolderGivesNoPackages) {
    CFakePlatform platform;
    platform.folderListable = false;
    platform.folderEntries = {"a.exe"};
    PackageList exeList;
    PackageList msiList;
    EXPECT_FALSE(FindPackages(platform, R"(C:\gone)", exeList, msiList));
    EXPECT_TRUE(exeList.empty());
    EXPECT_TRUE(msiList.empty());
}

// A folder with a.exe, b.exe and c.msi beside the launcher C:\pkg\Setup.exe.
CFakePlatform PlatformWithPackages() {
    CFakePlatform platform;
    for (const char* name : {"Setup.exe", "a.exe", "b.exe", "c.msi"}) {
        platform.AddFile(std::string(R"(C:\pkg\)") + name);
    }
    return platform;
}

const Strings& AllRun() {
    static const Strings events = {R"(start C:\pkg\a.exe /passive)", R"(wait C:\pkg\a.exe)",
                                   R"(start C:\pkg\b.exe /passive)", R"(wait C:\pkg\b.exe)",
                                   R"(open C:\pkg\c.msi)"};
    return events;
}

TEST(SetupRunPackages, VersionGateDecidesOnTheProgramPackages) {
    const std::tuple<std::uint32_t, std::uint32_t, bool> cases[] = {
        {5, 1, true},  {5, 2, true},  {6, 0, true},   {6, 1, false}, {6, 2, false},
        {6, 3, false}, {10, 0, true}, {10, 1, false}, {0, 0, true},
    };
    for (const auto& [major, minor, runsPrograms] : cases) {
        CFakePlatform platform = PlatformWithPackages();
        platform.version = {major, minor};
        RunPackages(platform, {"a.exe", "b.exe"}, {"c.msi"});
        const Strings expected = runsPrograms ? AllRun() : Strings{R"(open C:\pkg\c.msi)"};
        EXPECT_EQ(platform.events, expected) << major << "." << minor;
    }
}

TEST(SetupRunPackages, EmptyListsStartNothing) {
    CFakePlatform platform = PlatformWithPackages();
    RunPackages(platform, {}, {});
    EXPECT_TRUE(platform.events.empty());
}

TEST(SetupRunPackages, SkipsWhatCannotBeReadOrStarted) {
    CFakePlatform platform = PlatformWithPackages();
    platform.AddFile(R"(C:\pkg\broken.exe)");
    platform.failingStarts.insert(R"(C:\pkg\broken.exe)");
    // tools.exe (a folder) and gone.exe / gone.msi are not readable.
    RunPackages(platform, {"tools.exe", "broken.exe", "gone.exe", "a.exe"}, {"gone.msi", "c.msi"});
    EXPECT_EQ(platform.events,
              (Strings{R"(start C:\pkg\broken.exe /passive)", R"(start C:\pkg\a.exe /passive)",
                       R"(wait C:\pkg\a.exe)", R"(open C:\pkg\c.msi)"}));
}

TEST(SetupRunPackages, NeverStartsTheRunningLauncherOrACopy) {
    CFakePlatform platform = PlatformWithPackages();
    const FileIdentity launcher = platform.identities.at(platform.modulePath);
    // The same file under other spellings, as a case-insensitive file system shows it.
    for (const char* path : {R"(C:\pkg\setup.exe)", R"(D:\copy\SETUP.EXE)"}) {
        platform.identities[path] = launcher;
        platform.readable.insert(path);
    }
    // Another file with the launcher's bytes; one of its size with other bytes; one that shares
    // volume and index with it (two memory file systems under Wine) but not size and time.
    for (const char* path :
         {R"(C:\pkg\setup2.exe)", R"(C:\pkg\same-size.exe)", R"(C:\pkg\twin.exe)"}) {
        platform.AddFile(path);
    }
    platform.contents[R"(C:\pkg\setup2.exe)"] = platform.contents.at(platform.modulePath);
    platform.contents[R"(C:\pkg\same-size.exe)"] = std::string(launcher.size, 'x');
    platform.identities[R"(C:\pkg\setup2.exe)"].size = launcher.size;
    platform.identities[R"(C:\pkg\same-size.exe)"].size = launcher.size;
    platform.identities[R"(C:\pkg\twin.exe)"].volume = launcher.volume;
    platform.identities[R"(C:\pkg\twin.exe)"].index = launcher.index;
    RunPackages(
        platform,
        {"setup.exe", "a.exe", R"(D:\copy\SETUP.EXE)", "setup2.exe", "same-size.exe", "twin.exe"},
        {"setup.exe", "c.msi", R"(D:\copy\SETUP.EXE)", "setup2.exe"});
    EXPECT_EQ(platform.events,
              (Strings{R"(start C:\pkg\a.exe /passive)", R"(wait C:\pkg\a.exe)",
                       R"(start C:\pkg\same-size.exe /passive)", R"(wait C:\pkg\same-size.exe)",
                       R"(start C:\pkg\twin.exe /passive)", R"(wait C:\pkg\twin.exe)",
                       R"(open C:\pkg\c.msi)"}));
}

TEST(SetupRunPackages, SkipsPathsTheWindowsShellCannotTake) {
    // "C:\pkg\" and a name make 259 UTF-16 units (the last one short), 259 units in more
    // bytes, and 260 units.
    const std::string fits = std::string(248, 'n') + ".exe";
    const std::string fitsInUnits = std::string(247, 'n') + "\xC3\xA9.exe";
    const std::string tooLong = std::string(249, 'n') + ".exe";
    for (const PathStyle style : {PathStyle::Windows, PathStyle::Posix}) {
        CFakePlatform platform;
        platform.style = style;
        const std::string folder = style == PathStyle::Windows ? R"(C:\pkg\)" : "/pkg/";
        platform.modulePath = folder + "Setup.exe";
        Strings expected;
        for (const std::string& name :
             {std::string("a.exe."), std::string("a.exe "), fits, fitsInUnits, tooLong}) {
            platform.AddFile(folder + name);
            const bool starts = style == PathStyle::Posix || name == fits || name == fitsInUnits;
            if (starts) {
                const std::string path = folder + name;
                expected.push_back("start " + path + " /passive");
                expected.push_back("wait " + path);
            }
        }
        RunPackages(platform, {"a.exe.", "a.exe ", fits, fitsInUnits, tooLong}, {});
        EXPECT_EQ(platform.events, expected) << (style == PathStyle::Windows ? "Windows" : "POSIX");
    }
}

TEST(SetupRunPackages, UnknownLauncherIdentityExcludesNothing) {
    CFakePlatform platform = PlatformWithPackages();
    platform.identities.erase(platform.modulePath);
    RunPackages(platform, {"a.exe", "b.exe"}, {"c.msi"});
    EXPECT_EQ(platform.events, AllRun());
}

TEST(SetupEntry, DiscoveryRunsWhenNoEntryIsNamed) {
    const Strings extras[] = {{}, {"-e"}, {"-m"}, {"-ex", "a.exe"}, {"-E", "a.exe"}};
    for (const Strings& extra : extras) {
        CFakePlatform platform = PlatformWithPackages();
        platform.folderEntries = {"a.exe", "Setup.exe", "c.msi", "b.exe"};
        platform.arguments = {"Setup.exe"};
        platform.arguments.insert(platform.arguments.end(), extra.begin(), extra.end());
        EXPECT_EQ(RunLauncher(platform, 0, nullptr), 0);
        Strings expected = {"hide", R"(list C:\pkg)"};
        expected.insert(expected.end(), AllRun().begin(), AllRun().end());
        EXPECT_EQ(platform.events, expected) << testing::PrintToString(platform.arguments);
    }
}

TEST(SetupEntry, NoArgumentsAtAllStillDiscovers) {
    CFakePlatform platform = PlatformWithPackages();
    platform.arguments.clear();
    platform.folderEntries = {"c.msi"};
    RunLauncher(platform, 0, nullptr);
    EXPECT_EQ(platform.events, (Strings{"hide", R"(list C:\pkg)", R"(open C:\pkg\c.msi)"}));
}

TEST(SetupEntry, HidesTheConsoleOnlyWhenItIsItsOwn) {
    // 0: no console or no count; 2: the console of the prompt that started the launcher.
    for (const std::size_t processes : {0u, 1u, 2u}) {
        CFakePlatform platform = PlatformWithPackages();
        platform.consoleProcesses = processes;
        RunLauncher(platform, 0, nullptr);
        const bool hidden = !platform.events.empty() && platform.events.front() == "hide";
        EXPECT_EQ(hidden, processes == 1) << processes;
    }
}

TEST(SetupEntry, ALauncherOfAFolderBeingRunStartsNothing) {
    CFakePlatform platform = PlatformWithPackages();
    platform.folderEntries = {"a.exe", "b.exe", "c.msi"};
    platform.folderIdentities[R"(C:\pkg)"] = {7, 42};
    const std::string key = FolderRunKey(platform, R"(C:\pkg)");
    platform.heldRuns.insert(key);
    EXPECT_EQ(RunLauncher(platform, 0, nullptr), 0);
    EXPECT_EQ(platform.events, Strings{"hide"});
    // Once that run has ended, the folder runs again.
    platform.events.clear();
    platform.heldRuns.clear();
    RunLauncher(platform, 0, nullptr);
    Strings expected = {"hide", R"(list C:\pkg)"};
    expected.insert(expected.end(), AllRun().begin(), AllRun().end());
    EXPECT_EQ(platform.events, expected);
    EXPECT_EQ(platform.claims, Strings(2, key));
}

TEST(SetupEntry, TheRunKeyNamesTheFolderNotItsSpelling) {
    CFakePlatform platform;
    // Folders with an index, reached by two spellings, and their neighbours on the same and on
    // another volume; folders on a share without an index; a folder that cannot be opened.
    platform.folderIdentities = {{R"(C:\pkg)", {7, 42}},     {R"(c:\PKG)", {7, 42}},
                                 {R"(C:\other)", {7, 43}},   {R"(D:\pkg)", {8, 42}},
                                 {R"(\\srv\s\pkg)", {9, 0}}, {R"(\\SRV\s\PKG)", {9, 0}},
                                 {R"(\\srv\s\b)", {9, 0}}};
    platform.comparablePaths = {{R"(\\srv\s\pkg)", R"(\\SRV\S\PKG)"},
                                {R"(\\SRV\s\PKG)", R"(\\SRV\S\PKG)"},
                                {R"(\\srv\s\b)", R"(\\SRV\S\B)"},
                                {R"(C:\pkg)", R"(\\SRV\S\PKG)"}};
    const auto key = [&platform](const char* folder) { return FolderRunKey(platform, folder); };
    EXPECT_EQ(key(R"(C:\pkg)"), key(R"(c:\PKG)"));
    EXPECT_NE(key(R"(C:\pkg)"), key(R"(C:\other)"));
    EXPECT_NE(key(R"(C:\pkg)"), key(R"(D:\pkg)"));
    EXPECT_EQ(key(R"(\\srv\s\pkg)"), key(R"(\\SRV\s\PKG)"));
    EXPECT_NE(key(R"(\\srv\s\pkg)"), key(R"(\\srv\s\b)"));
    // An index, where there is one, wins over a path that happens to be the same.
    EXPECT_NE(key(R"(C:\pkg)"), key(R"(\\srv\s\pkg)"));
    EXPECT_FALSE(key(R"(X:\gone)").empty());
    EXPECT_NE(key(R"(X:\gone)"), key(R"(X:\gone2)"));
}

TEST(SetupEntry, UnknownLauncherPathFindsNothingBesideIt) {
    CFakePlatform platform = PlatformWithPackages();
    platform.modulePath.clear();
    platform.folderEntries = {"a.exe"};
    // What a guessed folder would reach: the current one, or the root of the current drive.
    platform.readable.insert({"a.exe", R"(\a.exe)", R"(.\a.exe)"});
    RunLauncher(platform, 0, nullptr);
    EXPECT_EQ(platform.events, Strings{"hide"});
    // Absolute entries still run.
    platform.events.clear();
    platform.arguments = {"Setup.exe", "-e", R"(a.exe;C:\pkg\b.exe)"};
    RunLauncher(platform, 0, nullptr);
    EXPECT_EQ(platform.events,
              (Strings{"hide", R"(start C:\pkg\b.exe /passive)", R"(wait C:\pkg\b.exe)"}));
}

TEST(SetupEntry, CommandLineEntriesReplaceDiscovery) {
    struct Case {
        PathStyle style;
        std::string modulePath;
        Strings arguments;
        Strings files;
        Strings events;
    };
    const Case cases[] = {
        {PathStyle::Windows,
         R"(C:\pkg\Setup.exe)",
         {"Setup.exe", "-e", R"(b.exe;;D:\other\x.exe;)", "-m", "c.msi;//srv/s/d.msi", "-e",
          "a.exe"},
         {R"(C:\pkg\a.exe)", R"(C:\pkg\b.exe)", R"(D:\other\x.exe)", R"(C:\pkg\c.msi)",
          "//srv/s/d.msi"},
         {"hide", R"(start C:\pkg\b.exe /passive)", R"(wait C:\pkg\b.exe)",
          R"(start D:\other\x.exe /passive)", R"(wait D:\other\x.exe)",
          R"(start C:\pkg\a.exe /passive)", R"(wait C:\pkg\a.exe)", R"(open C:\pkg\c.msi)",
          "open //srv/s/d.msi"}},
        {PathStyle::Posix,
         "/opt/pkg/Setup",
         {"Setup", "-e", "/srv/x.exe;sub/y.exe;Setup", "-m", "/srv/z.msi"},
         {"/opt/pkg/Setup", "/srv/x.exe", "/opt/pkg/sub/y.exe", "/srv/z.msi"},
         {"hide", "start /srv/x.exe /passive", "wait /srv/x.exe",
          "start /opt/pkg/sub/y.exe /passive", "wait /opt/pkg/sub/y.exe", "open /srv/z.msi"}},
        // Only empty entries: nothing is discovered and nothing started.
        {PathStyle::Windows, R"(C:\pkg\Setup.exe)", {"Setup.exe", "-e", ""}, {}, {"hide"}},
        {PathStyle::Windows, R"(C:\pkg\Setup.exe)", {"Setup.exe", "-m", ";;"}, {}, {"hide"}},
    };
    for (const Case& c : cases) {
        CFakePlatform platform;
        platform.style = c.style;
        platform.modulePath = c.modulePath;
        platform.arguments = c.arguments;
        platform.folderEntries = {"a.exe", "c.msi"};
        for (const std::string& file : c.files) {
            platform.AddFile(file);
        }
        RunLauncher(platform, 0, nullptr);
        EXPECT_EQ(platform.events, c.events) << testing::PrintToString(c.arguments);
    }
}

TEST(SetupEntry, CommandLineProgramsStayBehindTheGate) {
    CFakePlatform platform = PlatformWithPackages();
    platform.version = {6, 1};
    platform.arguments = {"Setup.exe", "-e", "a.exe", "-m", "c.msi"};
    RunLauncher(platform, 0, nullptr);
    EXPECT_EQ(platform.events, (Strings{"hide", R"(open C:\pkg\c.msi)"}));
}

}  // namespace
}  // namespace SetupLauncher
