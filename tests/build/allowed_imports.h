// Every function the shipped programs may import. A program that imports a function its oldest
// supported Windows lacks does not even start there, so each entry records the minimum client
// that Microsoft documents for it (the Requirements table of the function's page), checked once
// when the entry was added. Everything here exists on Windows XP SP3.
//
// msvcrt.dll has no such table: it is the system's C runtime, and the functions listed from it
// are those its Windows NT 4.0 release already exported (mingw-w64's msvcrt.def.in groups the
// exports by the release that brought them).
//
// A new import fails the test until it is added here, with its documented minimum client.
#pragma once

namespace ShippedImports {

enum Programs : unsigned { InZentrel = 1, InSetup = 2, InBoth = 3 };

inline constexpr const char* kNt4Crt = "C runtime of Windows NT 4.0";

struct AllowedImport {
    unsigned programs;
    const char* dll;
    const char* function;
    const char* minimumClient;
};

inline constexpr AllowedImport kAllowedImports[] = {
    {InBoth, "KERNEL32.dll", "CloseHandle", "Windows 2000 Professional"},
    {InZentrel, "KERNEL32.dll", "CopyFileW", "Windows XP"},
    {InSetup, "KERNEL32.dll", "CreateMutexW", "Windows XP"},
    {InBoth, "KERNEL32.dll", "CreateFileW", "Windows XP"},
    {InBoth, "KERNEL32.dll", "CreateSemaphoreW", "Windows XP"},
    {InBoth, "KERNEL32.dll", "DeleteCriticalSection", "Windows XP"},
    {InZentrel, "KERNEL32.dll", "DeleteFileW", "Windows XP"},
    {InBoth, "KERNEL32.dll", "EnterCriticalSection", "Windows XP"},
    {InBoth, "KERNEL32.dll", "FindClose", "Windows XP"},
    {InBoth, "KERNEL32.dll", "FindFirstFileW", "Windows XP"},
    {InBoth, "KERNEL32.dll", "FindNextFileW", "Windows XP"},
    {InZentrel, "KERNEL32.dll", "FlushFileBuffers", "Windows XP"},
    {InBoth, "KERNEL32.dll", "FreeLibrary", "Windows XP"},
    {InZentrel, "KERNEL32.dll", "GetACP", "Windows 2000 Professional"},
    {InSetup, "KERNEL32.dll", "GetCommandLineW", "Windows XP"},
    {InSetup, "KERNEL32.dll", "GetConsoleProcessList", "Windows XP"},
    {InSetup, "KERNEL32.dll", "GetConsoleWindow", "Windows 2000 Professional"},
    {InSetup, "KERNEL32.dll", "GetCurrentProcess", "Windows XP"},
    {InBoth, "KERNEL32.dll", "GetCurrentThreadId", "Windows XP"},
    {InZentrel, "KERNEL32.dll", "GetFileAttributesW", "Windows XP"},
    {InSetup, "KERNEL32.dll", "GetFileInformationByHandle", "Windows XP"},
    {InBoth, "KERNEL32.dll", "GetFullPathNameW", "Windows XP"},
    {InBoth, "KERNEL32.dll", "GetLastError", "Windows XP"},
    {InSetup, "KERNEL32.dll", "GetLongPathNameW", "Windows XP"},
    {InSetup, "KERNEL32.dll", "GetModuleFileNameW", "Windows XP"},
    {InBoth, "KERNEL32.dll", "GetModuleHandleA", "Windows XP"},
    {InBoth, "KERNEL32.dll", "GetModuleHandleW", "Windows XP"},
    {InZentrel, "KERNEL32.dll", "GetPrivateProfileStringA", "Windows 2000 Professional"},
    {InZentrel, "KERNEL32.dll", "GetPrivateProfileStringW", "Windows 2000 Professional"},
    {InBoth, "KERNEL32.dll", "GetProcAddress", "Windows XP"},
    {InBoth, "KERNEL32.dll", "GetStartupInfoA", "Windows XP"},
    {InZentrel, "KERNEL32.dll", "GetUserDefaultUILanguage", "Windows 2000 Professional"},
    {InSetup, "KERNEL32.dll", "GetVersionExW", "Windows 2000 Professional"},
    {InBoth, "KERNEL32.dll", "InitializeCriticalSection", "Windows XP"},
    {InBoth, "KERNEL32.dll", "IsDBCSLeadByteEx", "Windows 2000 Professional"},
    {InSetup, "KERNEL32.dll", "LCMapStringW", "Windows 2000 Professional"},
    {InBoth, "KERNEL32.dll", "LeaveCriticalSection", "Windows XP"},
    {InBoth, "KERNEL32.dll", "LoadLibraryA", "Windows XP"},
    {InBoth, "KERNEL32.dll", "LoadLibraryW", "Windows XP"},
    {InSetup, "KERNEL32.dll", "LocalFree", "Windows XP"},
    {InZentrel, "KERNEL32.dll", "MoveFileExW", "Windows XP"},
    {InBoth, "KERNEL32.dll", "MultiByteToWideChar", "Windows 2000 Professional"},
    {InSetup, "KERNEL32.dll", "ReadFile", "Windows XP"},
    {InBoth, "KERNEL32.dll", "ReleaseSemaphore", "Windows XP"},
    {InZentrel, "KERNEL32.dll", "SetFileAttributesW", "Windows XP"},
    {InBoth, "KERNEL32.dll", "SetLastError", "Windows XP"},
    {InBoth, "KERNEL32.dll", "SetUnhandledExceptionFilter", "Windows XP"},
    {InBoth, "KERNEL32.dll", "Sleep", "Windows XP"},
    {InBoth, "KERNEL32.dll", "TlsAlloc", "Windows XP"},
    {InBoth, "KERNEL32.dll", "TlsFree", "Windows XP"},
    {InBoth, "KERNEL32.dll", "TlsGetValue", "Windows XP"},
    {InBoth, "KERNEL32.dll", "TlsSetValue", "Windows XP"},
    {InBoth, "KERNEL32.dll", "VirtualProtect", "Windows XP"},
    {InBoth, "KERNEL32.dll", "VirtualQuery", "Windows XP"},
    {InBoth, "KERNEL32.dll", "WaitForSingleObject", "Windows XP"},
    {InBoth, "KERNEL32.dll", "WideCharToMultiByte", "Windows 2000 Professional"},
    {InZentrel, "KERNEL32.dll", "WritePrivateProfileStringA", "Windows 2000 Professional"},
    {InZentrel, "KERNEL32.dll", "WritePrivateProfileStringW", "Windows 2000 Professional"},
    {InSetup, "ADVAPI32.dll", "ConvertSidToStringSidW", "Windows XP"},
    {InSetup, "ADVAPI32.dll", "ConvertStringSecurityDescriptorToSecurityDescriptorW", "Windows XP"},
    {InSetup, "ADVAPI32.dll", "EqualSid", "Windows XP"},
    {InSetup, "ADVAPI32.dll", "GetSecurityInfo", "Windows XP"},
    {InSetup, "ADVAPI32.dll", "GetTokenInformation", "Windows XP"},
    {InSetup, "ADVAPI32.dll", "OpenProcessToken", "Windows XP"},
    {InBoth, "msvcrt.dll", "__getmainargs", kNt4Crt},
    {InBoth, "msvcrt.dll", "__initenv", kNt4Crt},
    {InBoth, "msvcrt.dll", "__mb_cur_max", kNt4Crt},
    {InBoth, "msvcrt.dll", "__p__acmdln", kNt4Crt},
    {InBoth, "msvcrt.dll", "__p__commode", kNt4Crt},
    {InBoth, "msvcrt.dll", "__p__fmode", kNt4Crt},
    {InBoth, "msvcrt.dll", "__set_app_type", kNt4Crt},
    {InBoth, "msvcrt.dll", "__setusermatherr", kNt4Crt},
    {InBoth, "msvcrt.dll", "_amsg_exit", kNt4Crt},
    {InBoth, "msvcrt.dll", "_cexit", kNt4Crt},
    {InBoth, "msvcrt.dll", "_close", kNt4Crt},
    {InBoth, "msvcrt.dll", "_errno", kNt4Crt},
    {InBoth, "msvcrt.dll", "_initterm", kNt4Crt},
    {InBoth, "msvcrt.dll", "_iob", kNt4Crt},
    {InBoth, "msvcrt.dll", "_onexit", kNt4Crt},
    {InBoth, "msvcrt.dll", "_read", kNt4Crt},
    {InBoth, "msvcrt.dll", "abort", kNt4Crt},
    {InBoth, "msvcrt.dll", "atoi", kNt4Crt},
    {InBoth, "msvcrt.dll", "calloc", kNt4Crt},
    {InBoth, "msvcrt.dll", "exit", kNt4Crt},
    {InBoth, "msvcrt.dll", "fprintf", kNt4Crt},
    {InBoth, "msvcrt.dll", "fputc", kNt4Crt},
    {InBoth, "msvcrt.dll", "fputs", kNt4Crt},
    {InZentrel, "msvcrt.dll", "fputwc", kNt4Crt},
    {InBoth, "msvcrt.dll", "free", kNt4Crt},
    {InZentrel, "msvcrt.dll", "fwprintf", kNt4Crt},
    {InBoth, "msvcrt.dll", "fwrite", kNt4Crt},
    {InBoth, "msvcrt.dll", "localeconv", kNt4Crt},
    {InBoth, "msvcrt.dll", "malloc", kNt4Crt},
    {InBoth, "msvcrt.dll", "memchr", kNt4Crt},
    {InBoth, "msvcrt.dll", "memcmp", kNt4Crt},
    {InBoth, "msvcrt.dll", "memcpy", kNt4Crt},
    {InBoth, "msvcrt.dll", "memmove", kNt4Crt},
    {InBoth, "msvcrt.dll", "memset", kNt4Crt},
    {InBoth, "msvcrt.dll", "realloc", kNt4Crt},
    {InBoth, "msvcrt.dll", "setlocale", kNt4Crt},
    {InBoth, "msvcrt.dll", "signal", kNt4Crt},
    {InBoth, "msvcrt.dll", "strchr", kNt4Crt},
    {InBoth, "msvcrt.dll", "strcmp", kNt4Crt},
    {InBoth, "msvcrt.dll", "strerror", kNt4Crt},
    {InBoth, "msvcrt.dll", "strlen", kNt4Crt},
    {InBoth, "msvcrt.dll", "strncmp", kNt4Crt},
    {InBoth, "msvcrt.dll", "vfprintf", kNt4Crt},
    {InBoth, "msvcrt.dll", "wcslen", kNt4Crt},
    {InSetup, "ole32.dll", "CoInitializeEx", "Windows 2000 Professional"},
    {InSetup, "ole32.dll", "CoUninitialize", "Windows 2000 Professional"},
    {InSetup, "SHELL32.dll", "CommandLineToArgvW", "Windows 2000 Professional, Windows XP"},
    {InZentrel, "SHELL32.dll", "SHGetFolderPathW", "Windows 2000 Professional, Windows XP"},
    {InSetup, "SHELL32.dll", "ShellExecuteExW", "Windows XP"},
    {InSetup, "USER32.dll", "DispatchMessageW", "Windows 2000 Professional"},
    {InSetup, "USER32.dll", "GetDesktopWindow", "Windows 2000 Professional"},
    {InSetup, "USER32.dll", "MsgWaitForMultipleObjects", "Windows XP"},
    {InSetup, "USER32.dll", "PeekMessageW", "Windows 2000 Professional"},
    {InSetup, "USER32.dll", "ShowWindow", "Windows 2000 Professional"},
};

}  // namespace ShippedImports
