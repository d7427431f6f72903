// The profile layer on Windows: the system's own initialization-file functions.
#include <windows.h>

#include <cstring>
#include <cwchar>

#include "profile.h"

namespace NGUtils {

namespace {

// The profile functions take file names of at most MAX_PATH - 1 characters. Given a longer one,
// Wine opens whatever name is left in a buffer it never filled and writes the settings there;
// such a name is treated as a file that cannot be reached instead.
bool IsTooLong(const wchar_t* file) {
    return file != nullptr && std::wcslen(file) >= MAX_PATH;
}
bool IsTooLong(const char* file) {
    return file != nullptr && std::strlen(file) >= MAX_PATH;
}

// What a read of a missing file gives: the default, cut to fit.
template <typename Char>
std::uint32_t CopyDefault(const Char* defaultValue, Char* buffer, std::uint32_t size) {
    if (size == 0) {
        return 0;
    }
    std::uint32_t length = 0;
    while (defaultValue != nullptr && defaultValue[length] != 0 && length + 1 < size) {
        buffer[length] = defaultValue[length];
        ++length;
    }
    buffer[length] = 0;
    return length;
}

}  // namespace

std::uint32_t ProfileReadW(const wchar_t* section, const wchar_t* key, const wchar_t* defaultValue,
                           wchar_t* buffer, std::uint32_t size, const wchar_t* file) noexcept {
    if (IsTooLong(file)) {
        return CopyDefault(defaultValue, buffer, size);
    }
    return GetPrivateProfileStringW(section, key, defaultValue, buffer, size, file);
}

std::uint32_t ProfileReadA(const char* section, const char* key, const char* defaultValue,
                           char* buffer, std::uint32_t size, const char* file) noexcept {
    if (IsTooLong(file)) {
        return CopyDefault(defaultValue, buffer, size);
    }
    return GetPrivateProfileStringA(section, key, defaultValue, buffer, size, file);
}

int ProfileWriteW(const wchar_t* section, const wchar_t* key, const wchar_t* value,
                  const wchar_t* file) noexcept {
    if (IsTooLong(file)) {
        return 0;
    }
    return WritePrivateProfileStringW(section, key, value, file);
}

int ProfileWriteA(const char* section, const char* key, const char* value,
                  const char* file) noexcept {
    if (IsTooLong(file)) {
        return 0;
    }
    return WritePrivateProfileStringA(section, key, value, file);
}

std::string ProfileNarrowPath(const std::wstring& path) {
    if (path.empty()) {
        return {};
    }
    const int length = static_cast<int>(path.size());
    // Only a name that converts exactly has an 8-bit form. In most code pages
    // WC_NO_BEST_FIT_CHARS and the lossy flag tell; a UTF-8 ANSI code page takes neither, and
    // there only an unpaired surrogate fails, which WC_ERR_INVALID_CHARS refuses. That code page
    // exists only from Windows 10 on, so the flag (Vista and later, missing from our XP headers,
    // hence the number) is always known where it is used.
    constexpr DWORD kRefuseInvalidChars = 0x80;
    const bool utf8 = GetACP() == CP_UTF8;
    const DWORD flags = utf8 ? kRefuseInvalidChars : WC_NO_BEST_FIT_CHARS;
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
