// The operations of the running system that the launcher needs. The launcher's logic reaches
// the system only through this interface, so that its decisions can be checked against a
// recording stand-in; platform_win32.cpp and platform_posix.cpp are the real implementations.
//
// All text crossing this interface is UTF-8. On Windows, names holding unpaired UTF-16
// surrogates travel in the generalised three-byte form, so every name survives the round trip.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "path_syntax.h"

namespace SetupLauncher {

using PathSyntax::PathStyle;

struct OsVersion {
    std::uint32_t major = 0;
    std::uint32_t minor = 0;
};

// What makes two paths the same file: volume serial and file index on Windows, device and
// inode elsewhere. Size and last-write time go with them, since two different files on two
// memory file systems can share the first two under Wine.
struct FileIdentity {
    std::uint64_t volume = 0;
    std::uint64_t index = 0;
    std::uint64_t size = 0;
    // In the system's own units: 100 ns on Windows, 1 ns elsewhere.
    std::int64_t lastWrite = 0;

    bool operator==(const FileIdentity&) const = default;
};

// A started process; kNoProcess when the start failed.
using ProcessHandle = std::uintptr_t;
inline constexpr ProcessHandle kNoProcess = 0;

class ILauncherPlatform {
  public:
    virtual ~ILauncherPlatform() = default;

    virtual PathStyle Style() const = 0;

    // How many processes share the console: 1 when it is the launcher's own, 0 when there is
    // none or the count is unknown.
    virtual std::size_t ConsoleProcessCount() = 0;

    // Does nothing where there is no console window; failure is ignored.
    virtual void HideConsoleWindow() = 0;

    // The program's arguments, its own name first. On Windows they are read from the wide
    // command line, since the narrow argv of main is limited to the ANSI code page.
    virtual std::vector<std::string> Arguments(int argc, char** argv) = 0;

    // Full path of the running program file; empty when it cannot be found.
    virtual std::string ModulePath() = 0;

    // Appends the name of every entry of the folder, in the order the system lists them.
    // False when the folder cannot be listed.
    virtual bool ListFolder(const std::string& folder, std::vector<std::string>& names) = 0;

    // The version numbers the system reports; both 0 when the query fails.
    virtual OsVersion QueryVersion() = 0;

    // True exactly when the path names an existing file (not a folder) that opens for reading.
    virtual bool IsReadable(const std::string& path) = 0;

    virtual bool QueryFileIdentity(const std::string& path, FileIdentity& identity) = 0;

    // The whole content of a file; false when it cannot be read or holds more than maxSize
    // bytes.
    virtual bool ReadFileContent(const std::string& path, std::uint64_t maxSize,
                                 std::string& content) = 0;

    // The volume and index (device and inode) of a folder, whatever its name: one named like a
    // device ("aux", "nul") is the folder, not the device. Size and time stay 0.
    virtual bool QueryFolderIdentity(const std::string& folder, FileIdentity& identity) = 0;

    // The folder's full path in the one form that every spelling of it shares where the system
    // allows several (long names, one case on Windows); empty when it cannot be found.
    virtual std::string ComparableFolderPath(const std::string& folder) = 0;

    // Takes the one run of the folder that the key names, for the current user in the current
    // logon session, until the process ends. False only when a running launcher of this user
    // holds it; where the system cannot tell, or another user holds the key, true.
    virtual bool ClaimFolderRun(const std::string& key) = 0;

    // Starts the program file with the given parameter text, in the current folder.
    virtual ProcessHandle StartProgram(const std::string& path, const std::string& parameters) = 0;

    // Returns when the process has ended, then releases the handle; its exit code, when the
    // system tells it (a POSIX process ended by a signal has none).
    virtual std::optional<std::uint32_t> WaitForProcessEnd(ProcessHandle process) = 0;

    // Hands the file to the action the system associates with opening it; does not wait.
    virtual void OpenDocument(const std::string& path) = 0;
};

// The implementation for the system the program was built for.
std::unique_ptr<ILauncherPlatform> CreateSystemPlatform();

}  // namespace SetupLauncher
