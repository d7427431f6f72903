// Whether the Windows build runs under Wine rather than on Windows: the shared behaviour tables
// mark the few rows where Wine 8's profile functions are known to depart from Windows.
#pragma once

#ifdef _WIN32
#include <windows.h>
#endif

namespace TestingSupport {

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
