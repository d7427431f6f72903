#include "launcher.h"

#include <cstdint>
#include <optional>
#include <utility>

#include "support_log.h"
#include "text_codec.h"

namespace SetupLauncher {

namespace {

void Log(const std::string& text) {
    SupportLog::g_supportLog.Write(text);
}

void LogSkipped(const std::string& name, const char* why) {
    if (SupportLog::g_supportLog.IsOn()) {
        Log("skipped " + SupportLog::Quoted(name) + ": " + why);
    }
}

void LogEntries(const char* what, const PackageList& list) {
    if (SupportLog::g_supportLog.IsOn()) {
        for (const std::string& name : list) {
            Log(what + SupportLog::Quoted(name));
        }
    }
}

constexpr const char* kProgramParameters = "/passive";

// MAX_PATH, the terminating NUL included: the shell cannot take a longer program path, and under
// Wine it then starts the previous package again.
constexpr std::size_t kMaxShellPath = 260;

bool Contains(const std::string& text, const char* part) {
    return text.find(part) != std::string::npos;
}

bool IsAsciiLetter(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

std::string Hex(std::uint64_t value) {
    constexpr const char* kDigits = "0123456789ABCDEF";
    std::string text(16, '0');
    for (std::size_t i = text.size(); i-- > 0; value >>= 4) {
        text[i] = kDigits[value & 0xF];
    }
    return text;
}

bool IsSlash(char c) {
    return c == '\\' || c == '/';
}

// Windows path normalisation drops a trailing "." or " " from a name, so such a name reaches
// another file than the one listed ("a.exe." starts "a.exe"); and the shell cannot take a path
// of MAX_PATH characters or more.
bool ShellCanTake(const std::string& path, PathStyle style) {
    if (style != PathStyle::Windows) {
        return true;
    }
    const char last = path.back();
    return last != '.' && last != ' ' &&
           TextCodec::Utf16FromWindowsUtf8(path).size() < kMaxShellPath;
}

// The running launcher's file. The name rule only keeps out names holding "Setup.exe"; the
// launcher itself under any other spelling, or a copy of it under any name, would start the
// launcher again and run every package twice or without end.
class CLauncherFile {
  public:
    explicit CLauncherFile(ILauncherPlatform& platform)
        : m_platform(platform),
          m_path(platform.ModulePath()),
          m_known(platform.QueryFileIdentity(m_path, m_identity)) {}

    bool IsSameOrCopy(const std::string& path) {
        FileIdentity package;
        if (!m_known || !m_platform.QueryFileIdentity(path, package)) {
            return false;
        }
        if (package == m_identity) {
            return true;
        }
        if (package.size != m_identity.size) {
            return false;
        }
        if (!m_contentRead) {
            m_contentRead = true;
            m_contentKnown = m_platform.ReadFileContent(m_path, m_identity.size, m_content);
        }
        std::string content;
        return m_contentKnown && m_platform.ReadFileContent(path, m_identity.size, content) &&
               content == m_content;
    }

  private:
    ILauncherPlatform& m_platform;
    std::string m_path;
    FileIdentity m_identity;
    bool m_known;
    bool m_contentRead = false;
    bool m_contentKnown = false;
    std::string m_content;
};

}  // namespace

int RunLauncher(ILauncherPlatform& platform, int argc, char** argv) {
    try {
        // A console shared with other processes is the window of the prompt that started us;
        // hiding it would take the user's prompt away for good.
        if (platform.ConsoleProcessCount() == 1) {
            platform.HideConsoleWindow();
        }
        const std::string folder = GetLauncherFolder(platform);
        // A package that starts the launcher of its own folder again, by any path and with any
        // environment, would otherwise run the whole list once more inside this run, or without
        // end; the system, not the environment, knows whether a run of the folder is going on.
        if (!folder.empty() && !platform.ClaimFolderRun(FolderRunKey(platform, folder))) {
            Log("another Setup of this folder is running: nothing started");
            return 0;
        }
        const std::vector<std::string> arguments = platform.Arguments(argc, argv);
        PackageList exeList;
        PackageList msiList;
        ParseCommandLine(arguments, exeList, msiList);
        // Entries named on the command line take the place of discovery.
        if (arguments.empty() || (exeList.empty() && msiList.empty())) {
            FindPackages(platform, folder, exeList, msiList);
            LogEntries("found program package ", exeList);
            LogEntries("found installer package ", msiList);
        } else {
            LogEntries("named on the command line: program package ", exeList);
            LogEntries("named on the command line: installer package ", msiList);
        }
        RunPackages(platform, std::move(exeList), std::move(msiList));
    } catch (...) {
        // Out of memory: there is nobody to tell, and the exit status stays 0.
    }
    return 0;
}

void ParseCommandLine(const std::vector<std::string>& arguments, PackageList& exeEntries,
                      PackageList& msiEntries) {
    // The value an option took is not skipped: "-m -e a.exe" gives the .msi entry "-e" and the
    // .exe entry "a.exe".
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const bool hasNext = i + 1 < arguments.size();
        if (arguments[i] == "-e" && hasNext && arguments[i + 1] != "-m") {
            SplitList(arguments[i + 1], exeEntries);
        }
        if (arguments[i] == "-m" && hasNext) {
            SplitList(arguments[i + 1], msiEntries);
        }
    }
}

void SplitList(const std::string& value, PackageList& list) {
    std::size_t start = 0;
    for (std::size_t separator = value.find(';'); separator != std::string::npos;
         separator = value.find(';', start)) {
        list.push_back(value.substr(start, separator - start));
        start = separator + 1;
    }
    if (start == 0 || start < value.size()) {
        list.push_back(value.substr(start));
    }
}

std::string GetLauncherFolder(ILauncherPlatform& platform) {
    std::string path = platform.ModulePath();
    const bool windows = platform.Style() == PathStyle::Windows;
    const std::size_t cut = windows ? path.find_last_of("\\/") : path.find_last_of('/');
    if (cut == std::string::npos) {
        return path;
    }
    // A root keeps its separator: "D:" alone names the current folder of drive D:, and an
    // empty text no folder at all.
    const bool root = cut == 0 || (windows && path[cut - 1] == ':');
    path.resize(root ? cut + 1 : cut);
    return path;
}

std::string FolderRunKey(ILauncherPlatform& platform, const std::string& folder) {
    FileIdentity identity;
    if (platform.QueryFolderIdentity(folder, identity) && identity.index != 0) {
        return "V" + Hex(identity.volume) + "I" + Hex(identity.index);
    }
    // Some file systems and network shares give no stable index (0): the path is then the best
    // name left, and as a last resort the spelling the launcher was started by.
    std::string path = platform.ComparableFolderPath(folder);
    if (path.empty()) {
        path = folder;
    }
    // FNV-1a: the key must be short enough for an object name; a clash needs two folders of the
    // same user running at once.
    std::uint64_t hash = 0xcbf29ce484222325U;
    for (const char c : path) {
        hash = (hash ^ static_cast<unsigned char>(c)) * 0x100000001b3U;
    }
    return "P" + Hex(hash);
}

bool FindPackages(ILauncherPlatform& platform, const std::string& folder, PackageList& exeList,
                  PackageList& msiList) {
    std::vector<std::string> names;
    // An unknown folder (empty) is not the current one.
    if (folder.empty() || !platform.ListFolder(folder, names)) {
        return false;
    }
    for (std::string& name : names) {
        if (Contains(name, ".exe") && !Contains(name, "Setup.exe")) {
            exeList.push_back(std::move(name));
        } else if (Contains(name, ".msi")) {
            msiList.push_back(std::move(name));
        }
    }
    return true;
}

bool IsAbsolutePath(const std::string& path, PathStyle style) {
    if (style == PathStyle::Posix) {
        return !path.empty() && path[0] == '/';
    }
    const bool driveLetter =
        path.size() >= 3 && IsAsciiLetter(path[0]) && path[1] == ':' && IsSlash(path[2]);
    const bool network = path.size() >= 2 && path[0] == path[1] && IsSlash(path[0]);
    return driveLetter || network;
}

std::string PackagePath(ILauncherPlatform& platform, const std::string& name) {
    const PathStyle style = platform.Style();
    if (IsAbsolutePath(name, style)) {
        return name;
    }
    std::string path = GetLauncherFolder(platform);
    // Beside an unknown launcher there is nothing; the current folder would be a guess.
    if (path.empty()) {
        return path;
    }
    return PathSyntax::JoinPath<char>(style, std::move(path), name);
}

void RunPackages(ILauncherPlatform& platform, PackageList exeList, PackageList msiList) {
    const OsVersion version = platform.QueryVersion();
    // Program packages run on XP and Server 2003 (5.1, 5.2) and Vista (6.0), not on 7, 8 or 8.1
    // (6.1 to 6.3). Our manifest declares no supported systems, so later Windows reports 6.2 and
    // skips them too; a failed query reads as 0.0 and runs them.
    const bool gateOpen = version.major < 6 || version.minor == 0;
    if (SupportLog::g_supportLog.IsOn()) {
        Log("version gate: Windows " + std::to_string(version.major) + "." +
            std::to_string(version.minor) + " reported, program packages " +
            (gateOpen ? "run" : "skipped"));
    }
    if (gateOpen) {
        RunExePackages(platform, exeList);
    } else {
        for (const std::string& name : exeList) {
            LogSkipped(name, "the version gate is closed");
        }
    }
    OpenMsiPackages(platform, msiList);
}

// The packages of a list that may be started: named, with a known place, a path the shell
// takes, readable, and neither the running launcher nor a copy of it.
template <typename Start>
void ForEachStartablePackage(ILauncherPlatform& platform, const PackageList& list, Start start) {
    CLauncherFile launcher(platform);
    for (const std::string& name : list) {
        if (name.empty()) {
            LogSkipped(name, "an empty entry");
            continue;
        }
        const std::string path = PackagePath(platform, name);
        const char* passedOver = nullptr;
        if (path.empty()) {
            passedOver = "the launcher's folder is unknown";
        } else if (!ShellCanTake(path, platform.Style())) {
            passedOver = "a name the shell cannot take";
        } else if (!platform.IsReadable(path)) {
            passedOver = "no file that opens for reading";
        } else if (launcher.IsSameOrCopy(path)) {
            passedOver = "the launcher itself or a copy of it";
        }
        if (passedOver != nullptr) {
            LogSkipped(path.empty() ? name : path, passedOver);
            continue;
        }
        start(path);
    }
}

void RunExePackages(ILauncherPlatform& platform, const PackageList& exeList) {
    ForEachStartablePackage(platform, exeList, [&platform](const std::string& path) {
        SupportLog::CLog& log = SupportLog::g_supportLog;
        if (log.IsOn()) {
            Log("starting " + SupportLog::Quoted(path) + " " + kProgramParameters);
            // A package that brings the system down must not take the story of its start along.
            log.Flush();
        }
        const std::uint64_t started = log.Milliseconds();
        const ProcessHandle process = platform.StartProgram(path, kProgramParameters);
        if (process == kNoProcess) {
            LogSkipped(path, "it could not be started");
            return;
        }
        const std::optional<std::uint32_t> exitCode = platform.WaitForProcessEnd(process);
        if (log.IsOn()) {
            Log(SupportLog::Quoted(path) + " ended" +
                (exitCode ? " with exit code " + std::to_string(*exitCode) : "") + " after " +
                std::to_string(log.Milliseconds() - started) + " ms");
        }
    });
}

void OpenMsiPackages(ILauncherPlatform& platform, const PackageList& msiList) {
    ForEachStartablePackage(platform, msiList,
                            [&platform](const std::string& path) {
                                if (SupportLog::g_supportLog.IsOn()) {
                                    Log("handed " + SupportLog::Quoted(path) +
                                        " to the shell's open action");
                                }
                                platform.OpenDocument(path);
                            });
}

}  // namespace SetupLauncher
