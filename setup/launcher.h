// The launcher: reads its command line, finds the packages beside it and starts them.
// Program packages run one at a time, each with "/passive", behind the version gate; installer
// packages are then handed to the system's "open" action without waiting.
#pragma once

#include <string>
#include <vector>

#include "platform.h"

namespace SetupLauncher {

// Ordered names, duplicates allowed. A discovered entry is a bare file name; a command-line
// entry may also be a path.
using PackageList = std::vector<std::string>;

// The body of main: hides the console when it is the launcher's own, reads the command line,
// runs the packages. A launcher whose folder another launcher of the same user is running
// starts nothing. Always 0.
int RunLauncher(ILauncherPlatform& platform, int argc, char** argv);

// Fills the -e list and the -m list from the arguments (the program's own name first).
void ParseCommandLine(const std::vector<std::string>& arguments, PackageList& exeEntries,
                      PackageList& msiEntries);

// Appends the ";"-separated entries of one option value. A value without ";" is one entry,
// even when empty; text after the last ";" is an entry only when it is not empty.
void SplitList(const std::string& value, PackageList& list);

// The folder of the running launcher, without a trailing separator unless it is a root ("D:\",
// "/"); empty when the launcher's own path is unknown.
std::string GetLauncherFolder(ILauncherPlatform& platform);

// What names the folder itself, not the spelling it was reached by: its volume and index, or
// where the file system gives no index, a digest of its comparable full path.
std::string FolderRunKey(ILauncherPlatform& platform, const std::string& folder);

// Sorts the folder's entries into the .exe list and the .msi list by byte-wise,
// case-sensitive substring rules. False (and nothing added) when the folder is unknown or
// cannot be listed.
bool FindPackages(ILauncherPlatform& platform, const std::string& folder, PackageList& exeList,
                  PackageList& msiList);

bool IsAbsolutePath(const std::string& path, PathStyle style);

// The full path of a package: an absolute entry as it is, any other beside the launcher;
// empty for a relative entry when the launcher's folder is unknown.
std::string PackagePath(ILauncherPlatform& platform, const std::string& name);

// The version gate, then the program packages, then the installer packages.
void RunPackages(ILauncherPlatform& platform, PackageList exeList, PackageList msiList);

void RunExePackages(ILauncherPlatform& platform, const PackageList& exeList);

void OpenMsiPackages(ILauncherPlatform& platform, const PackageList& msiList);

}  // namespace SetupLauncher
