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

// The whole program: runs the selected variant, if any. Always 0.
int RunZentrel(int argc, const char* const* argv) noexcept;

// Every routine below reaches the system through `platform`; a test hands in a stand-in.

void RunNetworkVariant(IMigrationPlatform& platform = SystemPlatform()) noexcept;
void RunUsbVariant(IMigrationPlatform& platform = SystemPlatform()) noexcept;

// Appends the full paths of the folders directly inside `parent` whose names contain a model
// name (case-sensitive).
void FindModelFolders(const std::wstring& parent, std::vector<std::wstring>& folders,
                      IMigrationPlatform& platform = SystemPlatform()) noexcept;

// True only for an existing path that is not a folder.
bool SettingsFileExists(const std::wstring& path,
                        IMigrationPlatform& platform = SystemPlatform()) noexcept;

// How long a run waits for another run's lock on a settings file: longer than a migration of a
// large file takes on a slow disk, short enough for an installer.
inline constexpr std::chrono::milliseconds kLockWait{10000};

// Runs `migrate` (the rewrite routines of one settings file) so that the file ends either migrated
// or exactly as it was: its bytes are kept beside it first, and put back when a write fails. A
// file whose bytes cannot be kept is not touched. A copy left by a run that was stopped is put
// back before the file is migrated again, so nothing accumulates. Two runs never migrate one file
// at once: each holds a lock for the file meanwhile and waits at most `lockWait` for another
// run's; a file whose lock cannot be had in time is not touched.
void MigrateWholeOrNotAtAll(const std::wstring& path, const std::function<void()>& migrate,
                            IMigrationPlatform& platform = SystemPlatform(),
                            std::chrono::milliseconds lockWait = kLockWait) noexcept;

// The rewrite routines report every write or deletion that failed, and every routine that could
// not run to its end, here.
void NoteFailedWrite() noexcept;

// The rewrite routines point g_iniFile at `path`; an empty path makes them do nothing.
void UpdateDeviceAndProfiles(std::wstring path,
                             IMigrationPlatform& platform = SystemPlatform()) noexcept;
void UpdateFeatureSections(std::wstring path,
                           IMigrationPlatform& platform = SystemPlatform()) noexcept;
void UpdateUsbFeatureSections(std::wstring path,
                              IMigrationPlatform& platform = SystemPlatform()) noexcept;

// The interface language turned into one the scanning application supports (US English when
// there is none).
std::uint16_t ResolveUiLanguage(IMigrationPlatform& platform = SystemPlatform()) noexcept;

bool IsSupportedLanguage(std::uint16_t id) noexcept;

}  // namespace Zentrel
