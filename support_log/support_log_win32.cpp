// The support log on Windows: one handle that may only append, one WriteFile per line.
#include <windows.h>

#include <string>

#include "known_folders.h"
#include "support_log.h"
#include "unique_handle.h"

namespace SupportLog::System {

namespace {

// The variable's value; empty when it is unset or empty.
std::wstring RequestedPath() {
    const std::string_view narrow = kVariable;
    const std::wstring name(narrow.begin(), narrow.end());
    std::wstring value(MAX_PATH, L'\0');
    DWORD length =
        GetEnvironmentVariableW(name.c_str(), value.data(), static_cast<DWORD>(value.size()));
    if (length >= value.size()) {
        // Too small: the length asked for counts the terminating NUL.
        value.resize(length);
        length =
            GetEnvironmentVariableW(name.c_str(), value.data(), static_cast<DWORD>(value.size()));
    }
    value.resize(length < value.size() ? length : 0);
    return value;
}

}  // namespace

std::intptr_t OpenRequestedLog() noexcept {
    try {
        const std::wstring path = RequestedPath();
        if (path.empty()) {
            return kNoLogFile;
        }
        // FILE_APPEND_DATA alone: every write goes to the end as the system finds it then, so
        // two programs appending at once never write over each other. A link is opened as the
        // link, and refused below; a folder does not open without backup semantics.
        Win32::CFileHandle file(
            CreateFileW(path.c_str(), FILE_APPEND_DATA | FILE_READ_ATTRIBUTES | SYNCHRONIZE,
                        FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                        FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
        const bool created = GetLastError() != ERROR_ALREADY_EXISTS;
        if (!file.IsOpen() || GetFileType(file.Get()) != FILE_TYPE_DISK) {
            return kNoLogFile;
        }
        // A link, a folder, a read-only file or one with a second name elsewhere is not ours to
        // write into.
        BY_HANDLE_FILE_INFORMATION information{};
        constexpr DWORD kRefused =
            FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_READONLY;
        if (GetFileInformationByHandle(file.Get(), &information) == 0 ||
            (information.dwFileAttributes & kRefused) != 0 || information.nNumberOfLinks != 1) {
            return kNoLogFile;
        }
        // Notepad of Windows XP takes a file without a BOM for one in the ANSI code page.
        if (created && !AppendLine(reinterpret_cast<std::intptr_t>(file.Get()), "\xEF\xBB\xBF")) {
            return kNoLogFile;
        }
        return reinterpret_cast<std::intptr_t>(file.Release());
    } catch (...) {
        // Out of memory for the path: no log.
        return kNoLogFile;
    }
}

bool AppendLine(std::intptr_t file, std::string_view line) noexcept {
    DWORD written = 0;
    // NOLINTNEXTLINE(performance-no-int-to-ptr): the handle is kept as a number.
    return WriteFile(reinterpret_cast<HANDLE>(file), line.data(), static_cast<DWORD>(line.size()),
                     &written, nullptr) != 0 &&
           written == line.size();
}

void FlushLog(std::intptr_t file) noexcept {
    // NOLINTNEXTLINE(performance-no-int-to-ptr)
    FlushFileBuffers(reinterpret_cast<HANDLE>(file));
}

void CloseLog(std::intptr_t file) noexcept {
    // NOLINTNEXTLINE(performance-no-int-to-ptr)
    Win32::CFileHandle(reinterpret_cast<HANDLE>(file)).Close();
}

const char* LineEnd() noexcept {
    return "\r\n";
}

UtcTime UtcNow() noexcept {
    SYSTEMTIME now{};
    GetSystemTime(&now);
    return {now.wYear,   now.wMonth,  now.wDay,         now.wHour,
            now.wMinute, now.wSecond, now.wMilliseconds};
}

std::uint64_t Milliseconds() noexcept {
    // Wraps after 49 days; a run and a package take far less.
    return GetTickCount();
}

std::uint32_t ProcessId() noexcept {
    return GetCurrentProcessId();
}

std::string CommandLine(int /*argc*/, const char* const* /*argv*/) {
    // The command line as the program was given it: argv is only its ANSI reading.
    return Utf8(GetCommandLineW());
}

std::string SystemVersion() {
    OSVERSIONINFOEXW info{};
    info.dwOSVersionInfoSize = sizeof(info);
    if (!GetVersionExW(reinterpret_cast<OSVERSIONINFOW*>(&info))) {
        return "Windows version unknown";
    }
    std::string text = "Windows " + std::to_string(info.dwMajorVersion) + "." +
                       std::to_string(info.dwMinorVersion) + "." +
                       std::to_string(info.dwBuildNumber);
    if (info.szCSDVersion[0] != L'\0') {
        text += " " + Utf8(info.szCSDVersion);
    }
    return text;
}

std::string DataFolder() {
    return Utf8(Win32::LocalAppDataFolder());
}

bool PathExists(const std::wstring& path) noexcept {
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool IsReadOnlyFile(const std::wstring& path) noexcept {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) != 0;
}

}  // namespace SupportLog::System
