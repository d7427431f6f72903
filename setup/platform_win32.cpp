// The launcher's operations on Windows: the wide system functions, with UTF-8 on our side.
#include <windows.h>
// After windows.h, which they build on.
#include <objbase.h>
#include <shellapi.h>

#include "launcher.h"
#include "platform.h"
#include "text_codec.h"
#include "unique_handle.h"

namespace SetupLauncher {

namespace {

using Win32::CFileHandle;
using Win32::CFindHandle;

// The record sizes the 32-bit system expects.
static_assert(sizeof(OSVERSIONINFOEXW) == 284);
static_assert(sizeof(void*) != 4 || sizeof(SHELLEXECUTEINFOW) == 60);
static_assert(sizeof(wchar_t) == sizeof(char16_t));

std::wstring Wide(const std::string& text) {
    const std::u16string units = ToWide(text);
    return std::wstring(units.begin(), units.end());
}

std::string Utf8(const wchar_t* text, std::size_t length) {
    // The inverse of ToWide: every name listed comes back to the same UTF-16.
    return TextCodec::Utf8FromUtf16(std::u16string(text, text + length),
                                    TextCodec::LoneSurrogates::Carry);
}

std::string Utf8(const wchar_t* text) {
    return Utf8(text, wcslen(text));
}

// The full form of a folder path, or empty.
std::wstring FullPath(const std::wstring& path) {
    const DWORD needed = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
    if (needed == 0) {
        return {};
    }
    std::wstring full(needed, L'\0');
    const DWORD written = GetFullPathNameW(path.c_str(), needed, full.data(), nullptr);
    if (written == 0 || written >= needed) {
        return {};
    }
    full.resize(written);
    return full;
}

class CWin32Platform final : public ILauncherPlatform {
  public:
    CWin32Platform() = default;
    CWin32Platform(const CWin32Platform&) = delete;
    CWin32Platform& operator=(const CWin32Platform&) = delete;

    ~CWin32Platform() override {
        if (m_comInitialized) {
            CoUninitialize();
        }
    }

    PathStyle Style() const override { return PathStyle::Windows; }

    std::size_t ConsoleProcessCount() override {
        // Only the count matters: given room for one identifier, the call returns the length of
        // a longer list without filling it in.
        DWORD processes[1] = {};
        return GetConsoleProcessList(processes, 1);
    }

    void HideConsoleWindow() override {
        const HWND console = GetConsoleWindow();
        if (console != nullptr) {
            ShowWindow(console, SW_HIDE);
        }
    }

    std::vector<std::string> Arguments(int argc, char** argv) override {
        std::vector<std::string> arguments;
        int count = 0;
        LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count);
        if (wide == nullptr) {
            // Still better than nothing: the ANSI form, right for ASCII text.
            for (int i = 0; i < argc && argv[i] != nullptr; ++i) {
                arguments.emplace_back(argv[i]);
            }
            return arguments;
        }
        try {
            for (int i = 0; i < count; ++i) {
                arguments.push_back(Utf8(wide[i]));
            }
        } catch (...) {
            LocalFree(wide);
            throw;
        }
        LocalFree(wide);
        return arguments;
    }

    std::string ModulePath() override {
        // No MAX_PATH limit: the buffer grows until the whole name fits.
        std::wstring buffer(MAX_PATH, L'\0');
        for (;;) {
            const DWORD size = static_cast<DWORD>(buffer.size());
            const DWORD length = GetModuleFileNameW(nullptr, buffer.data(), size);
            if (length == 0) {
                return {};
            }
            if (length < size) {
                return Utf8(buffer.data(), length);
            }
            if (size >= 65536) {
                return {};
            }
            buffer.resize(buffer.size() * 2);
        }
    }

    bool ListFolder(const std::string& folder, std::vector<std::string>& names) override {
        if (folder.empty()) {
            return false;
        }
        std::wstring pattern = FullPath(Wide(folder));
        if (pattern.empty()) {
            return false;
        }
        const wchar_t last = pattern.back();
        if (last != L'\\' && last != L'/' && last != L':') {
            pattern += L'\\';
        }
        pattern += L'*';
        WIN32_FIND_DATAW entry{};
        const CFindHandle search(FindFirstFileW(pattern.c_str(), &entry));
        if (!search.IsOpen()) {
            return false;
        }
        do {
            names.push_back(Utf8(entry.cFileName));
        } while (FindNextFileW(search.Get(), &entry));
        return true;
    }

    OsVersion QueryVersion() override {
        OSVERSIONINFOEXW info{};
        info.dwOSVersionInfoSize = sizeof(info);
        if (!GetVersionExW(reinterpret_cast<OSVERSIONINFOW*>(&info))) {
            return {};
        }
        return {info.dwMajorVersion, info.dwMinorVersion};
    }

    bool IsReadable(const std::string& path) override {
        // Without backup semantics a folder does not open.
        const CFileHandle file(CreateFileW(Wide(path).c_str(), GENERIC_READ,
                                           FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file.IsOpen()) {
            return false;
        }
        BY_HANDLE_FILE_INFORMATION info{};
        return GetFileInformationByHandle(file.Get(), &info) &&
               (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
    }

    bool QueryFileIdentity(const std::string& path, FileIdentity& identity) override {
        if (path.empty()) {
            return false;
        }
        // No access asked for: a running program file opens this way too.
        const CFileHandle file(CreateFileW(
            Wide(path).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
            OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
        BY_HANDLE_FILE_INFORMATION info{};
        if (!file.IsOpen() || !GetFileInformationByHandle(file.Get(), &info)) {
            return false;
        }
        identity.volume = info.dwVolumeSerialNumber;
        identity.index =
            (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
        identity.size = (static_cast<std::uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
        identity.lastWrite = static_cast<std::int64_t>(
            (static_cast<std::uint64_t>(info.ftLastWriteTime.dwHighDateTime) << 32) |
            info.ftLastWriteTime.dwLowDateTime);
        return true;
    }

    bool ReadFileContent(const std::string& path, std::uint64_t maxSize,
                         std::string& content) override {
        const CFileHandle file(CreateFileW(Wide(path).c_str(), GENERIC_READ,
                                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                           nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        BY_HANDLE_FILE_INFORMATION info{};
        if (!file.IsOpen() || !GetFileInformationByHandle(file.Get(), &info) ||
            (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
            return false;
        }
        const std::uint64_t size =
            (static_cast<std::uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
        if (size > maxSize || size > MAXDWORD) {
            return false;
        }
        content.resize(static_cast<std::size_t>(size));
        std::size_t done = 0;
        while (done < content.size()) {
            DWORD got = 0;
            if (!ReadFile(file.Get(), content.data() + done,
                          static_cast<DWORD>(content.size() - done), &got, nullptr) ||
                got == 0) {
                return false;
            }
            done += got;
        }
        return true;
    }

    bool ReadEnvironment(const std::string& name, std::string& value) override {
        const std::wstring wideName = Wide(name);
        std::wstring buffer(MAX_PATH, L'\0');
        for (;;) {
            const DWORD size = static_cast<DWORD>(buffer.size());
            const DWORD length = GetEnvironmentVariableW(wideName.c_str(), buffer.data(), size);
            if (length == 0) {
                return false;
            }
            // Too small: the length asked for counts the terminator.
            if (length < size) {
                value = Utf8(buffer.data(), length);
                return true;
            }
            buffer.resize(length);
        }
    }

    void WriteEnvironment(const std::string& name, const std::string& value) override {
        SetEnvironmentVariableW(Wide(name).c_str(), Wide(value).c_str());
    }

    ProcessHandle StartProgram(const std::string& path, const std::string& parameters) override {
        InitializeShellCalls();
        const std::wstring file = Wide(path);
        const std::wstring wideParameters = Wide(parameters);
        SHELLEXECUTEINFOW start{};
        start.cbSize = sizeof(start);
        // Without NO_UI a file the shell cannot start brings up an error box that waits for a
        // click, and an unattended install waits with it for ever.
        start.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_NO_UI;
        start.lpFile = file.c_str();
        start.lpParameters = wideParameters.c_str();
        start.nShow = SW_SHOW;
        // A failed start leaves hProcess null, which is all we need to know.
        ShellExecuteExW(&start);
        return reinterpret_cast<ProcessHandle>(start.hProcess);
    }

    void WaitForProcessEnd(ProcessHandle process) override {
        const auto handle = reinterpret_cast<HANDLE>(process);
        // This thread is a single-threaded COM apartment and owns windows: it must go on
        // dispatching messages while it waits, or a package that sends it one (a broadcast of
        // WM_SETTINGCHANGE, a call into the apartment) waits for us while we wait for it.
        while (MsgWaitForMultipleObjects(1, &handle, FALSE, INFINITE, QS_ALLINPUT) ==
               WAIT_OBJECT_0 + 1) {
            MSG message{};
            while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
                DispatchMessageW(&message);
            }
        }
        CloseHandle(handle);
    }

    void OpenDocument(const std::string& path) override {
        InitializeShellCalls();
        const std::wstring file = Wide(path);
        ShellExecuteW(GetDesktopWindow(), L"open", file.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
    }

  private:
    // The shell may carry out a file type's action through a COM extension, which needs an
    // apartment on this thread.
    void InitializeShellCalls() {
        if (m_comAttempted) {
            return;
        }
        m_comAttempted = true;
        const HRESULT result =
            CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
        m_comInitialized = SUCCEEDED(result);
    }

    bool m_comAttempted = false;
    bool m_comInitialized = false;
};

}  // namespace

std::unique_ptr<ILauncherPlatform> CreateSystemPlatform() {
    return std::make_unique<CWin32Platform>();
}

}  // namespace SetupLauncher
