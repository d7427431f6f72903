// The profile layer on Windows: the system's own initialization-file functions.
#include <windows.h>

#include "profile.h"

namespace NGUtils {

std::uint32_t ProfileReadW(const wchar_t* section, const wchar_t* key, const wchar_t* defaultValue,
                           wchar_t* buffer, std::uint32_t size, const wchar_t* file) {
    return GetPrivateProfileStringW(section, key, defaultValue, buffer, size, file);
}

std::uint32_t ProfileReadA(const char* section, const char* key, const char* defaultValue,
                           char* buffer, std::uint32_t size, const char* file) {
    return GetPrivateProfileStringA(section, key, defaultValue, buffer, size, file);
}

int ProfileWriteW(const wchar_t* section, const wchar_t* key, const wchar_t* value,
                  const wchar_t* file) {
    return WritePrivateProfileStringW(section, key, value, file);
}

int ProfileWriteA(const char* section, const char* key, const char* value, const char* file) {
    return WritePrivateProfileStringA(section, key, value, file);
}

std::string ProfileNarrowPath(const std::wstring& path) {
    if (path.empty()) {
        return {};
    }
    const int length = static_cast<int>(path.size());
    // With a UTF-8 ANSI code page every name converts, and the lossy flag may not be asked for.
    const bool utf8 = GetACP() == CP_UTF8;
    const DWORD flags = utf8 ? WC_ERR_INVALID_CHARS : WC_NO_BEST_FIT_CHARS;
    BOOL lossy = FALSE;
    const int needed = WideCharToMultiByte(CP_ACP, flags, path.data(), length, nullptr, 0, nullptr,
                                           utf8 ? nullptr : &lossy);
    if (needed <= 0 || lossy) {
        // A best-fit or "?" substitute would name another file.
        return {};
    }
    std::string narrow(static_cast<std::size_t>(needed), '\0');
    WideCharToMultiByte(CP_ACP, flags, path.data(), length, narrow.data(), needed, nullptr,
                        nullptr);
    return narrow;
}

}  // namespace NGUtils
