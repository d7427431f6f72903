// Stands in for a package under Wine: appends "start|<own name>|<count>|<arguments>" and later
// "end|<own name>" to the file named by SETUP_TEST_LOG. Between the two it sleeps briefly, or,
// when it was started as the "open" action (own name beginning with "opener") and
// SETUP_TEST_RELEASE names a file, it waits until that file exists, to show nobody waits for it.
// With SETUP_TEST_SEND_TO_PARENT set it first sends a message to every window of the process
// that started it and logs "answered|<answered>|<windows>": a starter that waits without
// dispatching messages answers none.
// Started under a name beginning with "restart" while SETUP_TEST_RESTART holds command lines
// separated by "|", it runs each in turn, waits for it and logs "restarted|yes" (or "|no" when
// it did not start), the variable removed so that nothing it starts restarts again; a command
// line beginning with "-" runs with no environment but SETUP_TEST_LOG.
#include <windows.h>
// After windows.h, which they build on.
#include <shellapi.h>
#include <tlhelp32.h>

#include <string>

namespace {

std::string Utf8(const std::wstring& text) {
    const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                         nullptr, 0, nullptr, nullptr);
    std::string result(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), result.data(), size,
                        nullptr, nullptr);
    return result;
}

std::wstring Environment(const wchar_t* name) {
    wchar_t buffer[4096];
    const DWORD length = GetEnvironmentVariableW(name, buffer, 4096);
    return length > 0 && length < 4096 ? std::wstring(buffer, length) : std::wstring();
}

void Append(const std::wstring& logPath, const std::string& line) {
    const HANDLE log =
        CreateFileW(logPath.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                    OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (log == INVALID_HANDLE_VALUE) {
        return;
    }
    const std::string text = line + "\n";
    DWORD written = 0;
    WriteFile(log, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    CloseHandle(log);
}

DWORD ParentProcessId() {
    const HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE) {
        return 0;
    }
    DWORD parent = 0;
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof(entry);
    for (BOOL more = Process32FirstW(snapshot, &entry); more;
         more = Process32NextW(snapshot, &entry)) {
        if (entry.th32ProcessID == GetCurrentProcessId()) {
            parent = entry.th32ParentProcessID;
        }
    }
    CloseHandle(snapshot);
    return parent;
}

struct SendCount {
    DWORD process = 0;
    int windows = 0;
    int answered = 0;
};

void SendIfOwned(HWND window, SendCount& count) {
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner != count.process) {
        return;
    }
    ++count.windows;
    DWORD_PTR result = 0;
    if (SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_NORMAL, 3000, &result) != 0) {
        ++count.answered;
    }
}

BOOL CALLBACK SendToTopLevel(HWND window, LPARAM count) {
    // NOLINTNEXTLINE(performance-no-int-to-ptr): EnumWindows hands its pointer back as a number.
    SendIfOwned(window, *reinterpret_cast<SendCount*>(count));
    return TRUE;
}

// Top-level windows and message-only ones (a COM apartment's window is one).
std::string SendToParentWindows() {
    SendCount count;
    count.process = ParentProcessId();
    EnumWindows(SendToTopLevel, reinterpret_cast<LPARAM>(&count));
    for (HWND window = FindWindowExW(HWND_MESSAGE, nullptr, nullptr, nullptr); window != nullptr;
         window = FindWindowExW(HWND_MESSAGE, window, nullptr, nullptr)) {
        SendIfOwned(window, count);
    }
    return "answered|" + std::to_string(count.answered) + "|" + std::to_string(count.windows);
}

void Restart(const std::wstring& commands, const std::wstring& logPath) {
    SetEnvironmentVariableW(L"SETUP_TEST_RESTART", nullptr);
    // Two NULs end the block.
    std::wstring cleared = L"SETUP_TEST_LOG=" + logPath;
    cleared.push_back(L'\0');
    cleared.push_back(L'\0');
    std::size_t start = 0;
    while (start <= commands.size()) {
        std::size_t end = commands.find(L'|', start);
        if (end == std::wstring::npos) {
            end = commands.size();
        }
        std::wstring command = commands.substr(start, end - start);
        start = end + 1;
        const bool clear = !command.empty() && command[0] == L'-';
        if (clear) {
            command.erase(0, 1);
        }
        STARTUPINFOW startup{};
        startup.cb = sizeof(startup);
        PROCESS_INFORMATION process{};
        const bool started = CreateProcessW(
            nullptr, command.data(), nullptr, nullptr, FALSE, CREATE_UNICODE_ENVIRONMENT,
            clear ? cleared.data() : nullptr, nullptr, &startup, &process);
        if (started) {
            WaitForSingleObject(process.hProcess, INFINITE);
            CloseHandle(process.hProcess);
            CloseHandle(process.hThread);
        }
        Append(logPath, started ? "restarted|yes" : "restarted|no");
    }
}

}  // namespace

int wmain() {  // NOLINT(readability-identifier-naming): the entry point the system calls
    wchar_t modulePath[4096];
    const DWORD length = GetModuleFileNameW(nullptr, modulePath, 4096);
    std::wstring name(modulePath, length);
    name = name.substr(name.find_last_of(L"\\/") + 1);

    int count = 0;
    LPWSTR* arguments = CommandLineToArgvW(GetCommandLineW(), &count);
    std::string line = "start|" + Utf8(name) + "|" + std::to_string(count - 1) + "|";
    for (int i = 1; i < count; ++i) {
        line += (i > 1 ? " " : "") + Utf8(arguments[i]);
    }
    const std::wstring logPath = Environment(L"SETUP_TEST_LOG");
    Append(logPath, line);
    if (!Environment(L"SETUP_TEST_SEND_TO_PARENT").empty()) {
        Append(logPath, SendToParentWindows());
    }

    const std::wstring restart = Environment(L"SETUP_TEST_RESTART");
    if (name.rfind(L"restart", 0) == 0 && !restart.empty()) {
        Restart(restart, logPath);
    }

    const std::wstring release = Environment(L"SETUP_TEST_RELEASE");
    if (name.rfind(L"opener", 0) == 0 && !release.empty()) {
        for (int i = 0; i < 300 && GetFileAttributesW(release.c_str()) == INVALID_FILE_ATTRIBUTES;
             ++i) {
            Sleep(100);
        }
    } else {
        Sleep(300);
    }
    Append(logPath, "end|" + Utf8(name));
    return 0;
}
