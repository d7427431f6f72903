// The variants' main loops: the network variant's fixed paths, the USB variant's folder search.
#include <algorithm>

#include "migration.h"
#include "platform.h"
#include "support_log.h"

namespace Zentrel {

namespace {

std::wstring Below(IMigrationPlatform& platform, std::wstring folder,
                   std::initializer_list<std::wstring_view> pieces) {
    const PathSyntax::PathStyle style = platform.Style();
    for (const std::wstring_view piece : pieces) {
        folder = PathSyntax::JoinPath(style, std::move(folder), piece);
    }
    return folder;
}

bool NamesAModel(const std::wstring& name) {
    return std::ranges::any_of(kModelFolders, [&name](std::wstring_view model) {
        return name.find(model) != std::wstring::npos;
    });
}

// The support log's line for a candidate settings file.
void LogCandidate(const std::wstring& path, bool found) {
    SupportLog::CLog& log = SupportLog::g_supportLog;
    if (!log.IsOn()) {
        return;
    }
    const char* what = "found";
    if (!found) {
        what = SupportLog::System::PathExists(path) ? "not a file" : "not found";
    }
    log.Write("settings file " + SupportLog::Quoted(path) + ": " + what);
}

}  // namespace

void RunNetworkVariant(IMigrationPlatform& platform) noexcept {
    for (const std::wstring_view model : kModelFolders) {
        try {
            const std::wstring path =
                Below(platform, platform.LocalAppDataFolder(),
                      {L"Tarvex", L"Tarvex Scan Twain", model, L"Velmora.ini"});
            if (SettingsFileExists(path, platform)) {
                MigrateWholeOrNotAtAll(
                    path,
                    [&platform](const std::wstring& workingCopy) {
                        return UpdateDeviceAndProfiles(workingCopy, platform) &&
                               UpdateFeatureSections(workingCopy, platform);
                    },
                    platform);
            }
        } catch (...) {
            // Out of memory for this model's path: the next model is independent of it.
        }
    }
}

void RunUsbVariant(IMigrationPlatform& platform) noexcept {
    try {
        std::vector<std::wstring> folders;
        FindModelFolders(Below(platform, platform.LocalAppDataFolder(), {L"Tarvex"}), folders,
                         platform);
        for (const std::wstring& folder : folders) {
            const std::wstring path = Below(platform, folder, {L"Velmora.ini"});
            if (SettingsFileExists(path, platform)) {
                MigrateWholeOrNotAtAll(
                    path,
                    [&platform](const std::wstring& workingCopy) {
                        return UpdateUsbFeatureSections(workingCopy, platform);
                    },
                    platform);
            }
        }
    } catch (...) {
        // Out of memory: whatever was migrated so far stays migrated.
    }
}

void FindModelFolders(const std::wstring& parent, std::vector<std::wstring>& folders,
                      IMigrationPlatform& platform) noexcept {
    if (parent.empty()) {
        return;
    }
    try {
        platform.ForEachSubfolder(parent, [&](const std::wstring& name) {
            if (NamesAModel(name)) {
                folders.push_back(Below(platform, parent, {name}));
            }
        });
    } catch (...) {
        // Out of memory: the folders found before stay in the list.
    }
}

bool SettingsFileExists(const std::wstring& path, IMigrationPlatform& platform) noexcept {
    try {
        const bool found = platform.IsExistingFile(path);
        LogCandidate(path, found);
        return found;
    } catch (...) {
        // Out of memory for the name to test: the file cannot be confirmed.
        return false;
    }
}

}  // namespace Zentrel
