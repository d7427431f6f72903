// The user's folders as the shell names them, one call for both programs' Windows files: Zentrel
// looks for the settings files below the local application-data folder, the support log names it.
#pragma once

#include <windows.h>

#include <shlobj.h>

#include <string>

namespace Win32 {

// The current user's local application-data folder, without a trailing backslash; empty when the
// shell cannot tell.
inline std::wstring LocalAppDataFolder() {
    // SHGetFolderPathW writes at most MAX_PATH characters, its NUL included; the one more is
    // spare and stays zero.
    wchar_t folder[MAX_PATH + 1] = {};
    // Flags 0: the folder as it is now, not its default location.
    if (FAILED(SHGetFolderPathW(nullptr, CSIDL_LOCAL_APPDATA, nullptr, 0, folder))) {
        return {};
    }
    return folder;
}

}  // namespace Win32
