// Finding the settings files: the fixed network-variant paths and the USB-variant folder search.
#include <algorithm>
#include <cstdint>
#include <memory>
#include <new>

#include "migration.h"
#include "platform.h"

namespace Zentrel {

namespace {

// Room for the long names that "\\?\" allows (about 32,767 characters), far beyond MAX_PATH; a
// name whose full form does not fit is tested as it was given.
constexpr std::uint32_t kNormalisationBufferSize = 32000;

// Joins the pieces with the platform's separator in front of each one.
std::wstring Below(std::wstring folder, std::initializer_list<std::wstring_view> pieces) {
    const wchar_t separator = Platform::PathSeparator();
    for (const std::wstring_view piece : pieces) {
        folder += separator;
        folder += piece;
    }
    return folder;
}

bool NamesAModel(const std::wstring& name) {
    return std::ranges::any_of(kModelFolders, [&name](std::wstring_view model) {
        return name.find(model) != std::wstring::npos;
    });
}

}  // namespace

void RunNetworkVariant() noexcept {
    try {
        RunNetworkVariant(GetLocalAppDataFolder, Platform::UserUiLanguage);
    } catch (...) {
        // The source could not be handed on: nothing has been done yet.
    }
}

void RunNetworkVariant(const FolderSource& localAppData,
                       const UiLanguageSource& uiLanguage) noexcept {
    for (const std::wstring_view model : kModelFolders) {
        try {
            const std::wstring path =
                Below(localAppData(), {L"Tarvex", L"Tarvex Scan Twain", model, L"Velmora.ini"});
            if (SettingsFileExists(path)) {
                MigrateWholeOrNotAtAll(path, [&] {
                    UpdateDeviceAndProfiles(path, uiLanguage);
                    UpdateFeatureSections(path);
                });
            }
        } catch (...) {
            // Nothing can be done for this model; the next one is independent of it.
        }
    }
}

void RunUsbVariant() noexcept {
    try {
        RunUsbVariant(GetLocalAppDataFolder);
    } catch (...) {
        // The source could not be handed on: nothing has been done yet.
    }
}

void RunUsbVariant(const FolderSource& localAppData) noexcept {
    try {
        std::vector<std::wstring> folders;
        FindModelFolders(Below(localAppData(), {L"Tarvex"}), folders);
        for (const std::wstring& folder : folders) {
            const std::wstring path = Below(folder, {L"Velmora.ini"});
            if (SettingsFileExists(path)) {
                MigrateWholeOrNotAtAll(path, [&path] { UpdateUsbFeatureSections(path); });
            }
        }
    } catch (...) {
        // Out of memory: whatever was migrated so far stays migrated.
    }
}

void FindModelFolders(const std::wstring& parent, std::vector<std::wstring>& folders) noexcept {
    if (parent.empty()) {
        return;
    }
    try {
        const wchar_t separator = Platform::PathSeparator();
        Platform::ListFolder(Below(parent, {L"*"}), [&](const Platform::DirectoryEntry& entry) {
            if ((entry.attributes & Platform::kAttributeDirectory) != 0 &&
                NamesAModel(entry.name)) {
                folders.push_back(parent + separator + entry.name);
            }
        });
    } catch (...) {
        // The folders found before memory ran out stay in the list.
    }
}

std::wstring ExtendedLengthCandidate(const std::wstring& path) {
    const bool networkPath = path.size() > 2 && path[0] == L'\\' && path[1] == L'\\';
    if (networkPath) {
        return path;
    }
    std::wstring candidate(Platform::ExtendedLengthPrefix());
    candidate += path;
    return candidate;
}

bool SettingsFileExists(const std::wstring& path) noexcept {
    try {
        const std::unique_ptr<wchar_t[]> buffer(new (std::nothrow)
                                                    wchar_t[kNormalisationBufferSize]);
        if (!buffer) {
            return false;
        }
        buffer[0] = L'\0';
        const std::wstring candidate = ExtendedLengthCandidate(path);
        const std::uint32_t length =
            Platform::FullPathName(candidate, buffer.get(), kNormalisationBufferSize);
        // 0 means failure, and the buffer size or more a full name that did not fit; either way
        // the name is tested as it was given.
        const bool normalised = length >= 1 && length < kNormalisationBufferSize;
        const std::uint32_t attributes =
            Platform::FileAttributes(normalised ? std::wstring(buffer.get()) : candidate);
        return attributes != Platform::kInvalidFileAttributes &&
               (attributes & Platform::kAttributeDirectory) == 0;
    } catch (...) {
        return false;
    }
}

}  // namespace Zentrel
