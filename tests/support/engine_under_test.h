// Which INI engine a test runs against, asked in one way by every test: the project's own (the
// POSIX build) or the system's profile functions (the Windows build, on Windows or under Wine).
#pragma once

#ifdef _WIN32
#include <windows.h>
#endif

namespace TestingSupport {

#ifdef _WIN32
inline constexpr bool kOwnEngine = false;
#else
inline constexpr bool kOwnEngine = true;
#endif

// Whether the Windows build runs under Wine rather than on Windows: the shared behaviour tables
// mark the few rows where Wine 8's profile functions are known to depart from Windows.
inline bool RunningUnderWine() {
#ifdef _WIN32
    // Wine's ntdll exports this; Windows' does not.
    const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
#else
    return false;
#endif
}

}  // namespace TestingSupport
