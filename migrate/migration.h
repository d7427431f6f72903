// Zentrel: migrates the per-model settings files Velmora.ini of the scanning application to what
// the newly installed network or USB driver expects.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "platform.h"

namespace Zentrel {

// Folder names in the network variant, search substrings in the USB variant.
inline constexpr std::array<std::wstring_view, 2> kModelFolders = {
    L"Tarvex Netcapture Line 6600sx2",
    L"Tarvex Feedline K7740 sx2",
};

enum class Variant { None, Network, Usb };

// The variant that the command line selects: exactly one argument, compared byte for byte.
Variant SelectVariant(int argc, const char* const* argv) noexcept;

// The whole program: runs the selected variant, if any, on `platform`, the system's own for
// the program and a stand-in for a test. Always 0.
int RunZentrel(int argc, const char* const* argv, IMigrationPlatform& platform) noexcept;

// Every routine below reaches the system through `platform` alone, handed down from the entry.

void RunNetworkVariant(IMigrationPlatform& platform) noexcept;
void RunUsbVariant(IMigrationPlatform& platform) noexcept;

// Appends the full paths of the folders directly inside `parent` whose names contain a model
// name (case-sensitive).
void FindModelFolders(const std::wstring& parent, std::vector<std::wstring>& folders,
                      IMigrationPlatform& platform) noexcept;

// True only for an existing path that is not a folder.
bool SettingsFileExists(const std::wstring& path, IMigrationPlatform& platform) noexcept;

// The rewrite routines of one settings file, run on its working copy: `workingCopy` is the name
// to hand them. False when any of them failed.
using SettingsRoutines = std::function<bool(const std::wstring& workingCopy)>;

// How often a file that another program changed during its migration is migrated again from its
// new bytes before it is left as that program left it, and the pause before the first retry,
// doubled before each further one: a program that saves its settings does so in a burst, and a
// few hundred milliseconds in all let it finish.
inline constexpr int kMigrationAttempts = 5;
inline constexpr std::chrono::milliseconds kFirstRetryPause{20};

// Migrates the settings file at `path` whole or not at all. The routines change a private working
// copy of the file, never the file itself; when all of them succeeded, the file takes the
// migrated bytes in one step, and only if it is still what was copied (otherwise the migration
// starts again from its current bytes). A failed routine, or a file that cannot be read, leaves
// the file exactly as it was. The working copy is removed in every case, and nothing else is
// ever left beside the file or read from beside it.
void MigrateWholeOrNotAtAll(const std::wstring& path, const SettingsRoutines& migrate,
                            IMigrationPlatform& platform) noexcept;

// The rewrite routines point the platform's INI object (g_iniFile) at `path` and change that
// file; an empty path makes them do nothing. False when a write or deletion failed or the routine
// could not run to its end; the routines run on to their end all the same.
bool UpdateDeviceAndProfiles(std::wstring path, IMigrationPlatform& platform) noexcept;
bool UpdateFeatureSections(std::wstring path, IMigrationPlatform& platform) noexcept;
bool UpdateUsbFeatureSections(std::wstring path, IMigrationPlatform& platform) noexcept;

// The interface language turned into one the scanning application supports (US English when
// there is none).
std::uint16_t ResolveUiLanguage(IMigrationPlatform& platform) noexcept;

bool IsSupportedLanguage(std::uint16_t id) noexcept;

}  // namespace Zentrel
