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

enum Programs : unsigned { kZentrel = 1, kSetup = 2, kBoth = 3 };

inline constexpr const char* kNt4Crt = "C runtime of Windows NT 4.0";

struct AllowedImport {
    unsigned programs;
    const char* dll;
    const char* function;
    const char* minimumClient;
};

inline constexpr AllowedImport kAllowedImports[] = {
    {kBoth, "KERNEL32.dll", "CloseHandle", "Windows 2000 Professional"},
    {kZentrel, "KERNEL32.dll", "CopyFileW", "Windows XP"},
    {kSetup, "KERNEL32.dll", "CreateMutexW", "Windows XP"},
    {kBoth, "KERNEL32.dll", "CreateFileW", "Windows XP"},
    {kBoth, "KERNEL32.dll", "CreateSemaphoreW", "Windows XP"},
    {kBoth, "KERNEL32.dll", "DeleteCriticalSection", "Windows XP"},
    {kZentrel, "KERNEL32.dll", "DeleteFileW", "Windows XP"},
    {kBoth, "KERNEL32.dll", "EnterCriticalSection", "Windows XP"},
    {kBoth, "KERNEL32.dll", "FindClose", "Windows XP"},
    {kBoth, "KERNEL32.dll", "FindFirstFileW", "Windows XP"},
    {kBoth, "KERNEL32.dll", "FindNextFileW", "Windows XP"},
    {kZentrel, "KERNEL32.dll", "FlushFileBuffers", "Windows XP"},
    {kBoth, "KERNEL32.dll", "FreeLibrary", "Windows XP"},
    {kZentrel, "KERNEL32.dll", "GetACP", "Windows 2000 Professional"},
    {kSetup, "KERNEL32.dll", "GetCommandLineW", "Windows XP"},
    {kSetup, "KERNEL32.dll", "GetConsoleProcessList", "Windows XP"},
    {kSetup, "KERNEL32.dll", "GetConsoleWindow", "Windows 2000 Professional"},
    {kSetup, "KERNEL32.dll", "GetCurrentProcess", "Windows XP"},
    {kBoth, "KERNEL32.dll", "GetCurrentThreadId", "Windows XP"},
    {kZentrel, "KERNEL32.dll", "GetFileAttributesW", "Windows XP"},
    {kSetup, "KERNEL32.dll", "GetFileInformationByHandle", "Windows XP"},
    {kBoth, "KERNEL32.dll", "GetFullPathNameW", "Windows XP"},
    {kBoth, "KERNEL32.dll", "GetLastError", "Windows XP"},
    {kSetup, "KERNEL32.dll", "GetLongPathNameW", "Windows XP"},
    {kSetup, "KERNEL32.dll", "GetModuleFileNameW", "Windows XP"},
    {kBoth, "KERNEL32.dll", "GetModuleHandleA", "Windows XP"},
    {kBoth, "KERNEL32.dll", "GetModuleHandleW", "Windows XP"},
    {kZentrel, "KERNEL32.dll", "GetPrivateProfileStringA", "Windows 2000 Professional"},
    {kZentrel, "KERNEL32.dll", "GetPrivateProfileStringW", "Windows 2000 Professional"},
    {kBoth, "KERNEL32.dll", "GetProcAddress", "Windows XP"},
    {kBoth, "KERNEL32.dll", "GetStartupInfoA", "Windows XP"},
    {kZentrel, "KERNEL32.dll", "GetUserDefaultUILanguage", "Windows 2000 Professional"},
    {kSetup, "KERNEL32.dll", "GetVersionExW", "Windows 2000 Professional"},
    {kBoth, "KERNEL32.dll", "InitializeCriticalSection", "Windows XP"},
    {kBoth, "KERNEL32.dll", "IsDBCSLeadByteEx", "Windows 2000 Professional"},
    {kSetup, "KERNEL32.dll", "LCMapStringW", "Windows 2000 Professional"},
    {kBoth, "KERNEL32.dll", "LeaveCriticalSection", "Windows XP"},
    {kBoth, "KERNEL32.dll", "LoadLibraryA", "Windows XP"},
    {kBoth, "KERNEL32.dll", "LoadLibraryW", "Windows XP"},
    {kSetup, "KERNEL32.dll", "LocalFree", "Windows XP"},
    {kZentrel, "KERNEL32.dll", "MoveFileExW", "Windows XP"},
    {kBoth, "KERNEL32.dll", "MultiByteToWideChar", "Windows 2000 Professional"},
    {kSetup, "KERNEL32.dll", "ReadFile", "Windows XP"},
    {kBoth, "KERNEL32.dll", "ReleaseSemaphore", "Windows XP"},
    {kZentrel, "KERNEL32.dll", "SetFileAttributesW", "Windows XP"},
    {kBoth, "KERNEL32.dll", "SetLastError", "Windows XP"},
    {kBoth, "KERNEL32.dll", "SetUnhandledExceptionFilter", "Windows XP"},
    {kBoth, "KERNEL32.dll", "Sleep", "Windows XP"},
    {kBoth, "KERNEL32.dll", "TlsAlloc", "Windows XP"},
    {kBoth, "KERNEL32.dll", "TlsFree", "Windows XP"},
    {kBoth, "KERNEL32.dll", "TlsGetValue", "Windows XP"},
    {kBoth, "KERNEL32.dll", "TlsSetValue", "Windows XP"},
    {kBoth, "KERNEL32.dll", "VirtualProtect", "Windows XP"},
    {kBoth, "KERNEL32.dll", "VirtualQuery", "Windows XP"},
    {kBoth, "KERNEL32.dll", "WaitForSingleObject", "Windows XP"},
    {kBoth, "KERNEL32.dll", "WideCharToMultiByte", "Windows 2000 Professional"},
    {kZentrel, "KERNEL32.dll", "WritePrivateProfileStringA", "Windows 2000 Professional"},
    {kZentrel, "KERNEL32.dll", "WritePrivateProfileStringW", "Windows 2000 Professional"},
    {kSetup, "ADVAPI32.dll", "ConvertSidToStringSidW", "Windows XP"},
    {kSetup, "ADVAPI32.dll", "ConvertStringSecurityDescriptorToSecurityDescriptorW", "Windows XP"},
    {kSetup, "ADVAPI32.dll", "EqualSid", "Windows XP"},
    {kSetup, "ADVAPI32.dll", "GetSecurityInfo", "Windows XP"},
    {kSetup, "ADVAPI32.dll", "GetTokenInformation", "Windows XP"},
    {kSetup, "ADVAPI32.dll", "OpenProcessToken", "Windows XP"},
    {kBoth, "msvcrt.dll", "__getmainargs", kNt4Crt},
    {kBoth, "msvcrt.dll", "__initenv", kNt4Crt},
    {kBoth, "msvcrt.dll", "__mb_cur_max", kNt4Crt},
    {kBoth, "msvcrt.dll", "__p__acmdln", kNt4Crt},
    {kBoth, "msvcrt.dll", "__p__commode", kNt4Crt},
    {kBoth, "msvcrt.dll", "__p__fmode", kNt4Crt},
    {kBoth, "msvcrt.dll", "__set_app_type", kNt4Crt},
    {kBoth, "msvcrt.dll", "__setusermatherr", kNt4Crt},
    {kBoth, "msvcrt.dll", "_amsg_exit", kNt4Crt},
    {kBoth, "msvcrt.dll", "_cexit", kNt4Crt},
    {kBoth, "msvcrt.dll", "_close", kNt4Crt},
    {kBoth, "msvcrt.dll", "_errno", kNt4Crt},
    {kBoth, "msvcrt.dll", "_initterm", kNt4Crt},
    {kBoth, "msvcrt.dll", "_iob", kNt4Crt},
    {kBoth, "msvcrt.dll", "_onexit", kNt4Crt},
    {kBoth, "msvcrt.dll", "_read", kNt4Crt},
    {kBoth, "msvcrt.dll", "abort", kNt4Crt},
    {kBoth, "msvcrt.dll", "atoi", kNt4Crt},
    {kBoth, "msvcrt.dll", "calloc", kNt4Crt},
    {kBoth, "msvcrt.dll", "exit", kNt4Crt},
    {kBoth, "msvcrt.dll", "fprintf", kNt4Crt},
    {kBoth, "msvcrt.dll", "fputc", kNt4Crt},
    {kBoth, "msvcrt.dll", "fputs", kNt4Crt},
    {kZentrel, "msvcrt.dll", "fputwc", kNt4Crt},
    {kBoth, "msvcrt.dll", "free", kNt4Crt},
    {kZentrel, "msvcrt.dll", "fwprintf", kNt4Crt},
    {kBoth, "msvcrt.dll", "fwrite", kNt4Crt},
    {kBoth, "msvcrt.dll", "localeconv", kNt4Crt},
    {kBoth, "msvcrt.dll", "malloc", kNt4Crt},
    {kBoth, "msvcrt.dll", "memchr", kNt4Crt},
    {kBoth, "msvcrt.dll", "memcmp", kNt4Crt},
    {kBoth, "msvcrt.dll", "memcpy", kNt4Crt},
    {kBoth, "msvcrt.dll", "memmove", kNt4Crt},
    {kBoth, "msvcrt.dll", "memset", kNt4Crt},
    {kBoth, "msvcrt.dll", "realloc", kNt4Crt},
    {kBoth, "msvcrt.dll", "setlocale", kNt4Crt},
    {kBoth, "msvcrt.dll", "signal", kNt4Crt},
    {kBoth, "msvcrt.dll", "strchr", kNt4Crt},
    {kBoth, "msvcrt.dll", "strcmp", kNt4Crt},
    {kBoth, "msvcrt.dll", "strerror", kNt4Crt},
    {kBoth, "msvcrt.dll", "strlen", kNt4Crt},
    {kBoth, "msvcrt.dll", "strncmp", kNt4Crt},
    {kBoth, "msvcrt.dll", "vfprintf", kNt4Crt},
    {kBoth, "msvcrt.dll", "wcslen", kNt4Crt},
    {kSetup, "ole32.dll", "CoInitializeEx", "Windows 2000 Professional"},
    {kSetup, "ole32.dll", "CoUninitialize", "Windows 2000 Professional"},
    {kSetup, "SHELL32.dll", "CommandLineToArgvW", "Windows 2000 Professional, Windows XP"},
    {kZentrel, "SHELL32.dll", "SHGetFolderPathW", "Windows 2000 Professional, Windows XP"},
    {kSetup, "SHELL32.dll", "ShellExecuteExW", "Windows XP"},
    {kSetup, "USER32.dll", "DispatchMessageW", "Windows 2000 Professional"},
    {kSetup, "USER32.dll", "GetDesktopWindow", "Windows 2000 Professional"},
    {kSetup, "USER32.dll", "MsgWaitForMultipleObjects", "Windows XP"},
    {kSetup, "USER32.dll", "PeekMessageW", "Windows 2000 Professional"},
    {kSetup, "USER32.dll", "ShowWindow", "Windows 2000 Professional"},
};

}  // namespace ShippedImports
