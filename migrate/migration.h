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

namespace Zentrel {

// Folder names in the network variant, search substrings in the USB variant.
inline constexpr std::array<std::wstring_view, 2> kModelFolders = {
    L"Tarvex Netcapture Line 6600sx2",
    L"Tarvex Feedline K7740 sx2",
};

// Where the migration gets the local application-data folder and the raw interface language
// from; the parameterless forms of the routines below use the platform's.
using FolderSource = std::function<std::wstring()>;
using UiLanguageSource = std::function<std::uint16_t()>;

enum class Variant { kNone, kNetwork, kUsb };

// The variant that the command line selects: exactly one argument, compared byte for byte.
Variant SelectVariant(int argc, const char* const* argv) noexcept;

// The whole program: runs the selected variant, if any. Always 0.
int RunZentrel(int argc, const char* const* argv) noexcept;

void RunNetworkVariant() noexcept;
void RunNetworkVariant(const FolderSource& localAppData,
                       const UiLanguageSource& uiLanguage) noexcept;
void RunUsbVariant() noexcept;
void RunUsbVariant(const FolderSource& localAppData) noexcept;

// Appends the full paths of the folders directly inside `parent` whose names contain a model
// name (case-sensitive).
void FindModelFolders(const std::wstring& parent, std::vector<std::wstring>& folders) noexcept;

// True only for an existing path that is not a folder.
bool SettingsFileExists(const std::wstring& path) noexcept;

// The name that SettingsFileExists normalises: `path` behind the extended-length prefix, except
// for a network path.
std::wstring ExtendedLengthCandidate(const std::wstring& path);

// Runs `migrate` (the rewrite routines of one settings file) so that the file ends either migrated
// or exactly as it was: its bytes are kept beside it first, and put back when a write fails. A
// file whose bytes cannot be kept is not touched. A copy left by a run that was stopped is put
// back before the file is migrated again, so nothing accumulates. Two runs never migrate one file
// at once: each holds a lock for the file meanwhile and waits at most `lockWait` (ten seconds in
// the first form) for another run's; a file whose lock cannot be had in time is not touched.
void MigrateWholeOrNotAtAll(const std::wstring& path,
                            const std::function<void()>& migrate) noexcept;
void MigrateWholeOrNotAtAll(const std::wstring& path, const std::function<void()>& migrate,
                            std::chrono::milliseconds lockWait) noexcept;

// The rewrite routines report every write or deletion that failed, and every routine that could
// not run to its end, here.
void NoteFailedWrite() noexcept;

// The rewrite routines point g_iniFile at `path`; an empty path makes them do nothing.
void UpdateDeviceAndProfiles(std::wstring path) noexcept;
void UpdateDeviceAndProfiles(std::wstring path, const UiLanguageSource& uiLanguage) noexcept;
void UpdateFeatureSections(std::wstring path) noexcept;
void UpdateUsbFeatureSections(std::wstring path) noexcept;

// The interface language turned into one the scanning application supports (US English when
// there is none).
std::uint16_t ResolveUiLanguage() noexcept;
std::uint16_t ResolveUiLanguage(const UiLanguageSource& uiLanguage) noexcept;

bool IsSupportedLanguage(std::uint16_t id) noexcept;

}  // namespace Zentrel
