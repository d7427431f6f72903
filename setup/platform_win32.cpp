// The launcher's operations on Windows: the wide system functions, with UTF-8 on our side.
#include <windows.h>
// After windows.h, which they build on.
#include <aclapi.h>
#include <objbase.h>
#include <sddl.h>
#include <shellapi.h>

#include <algorithm>
#include <memory>
#include <vector>

#include "launcher.h"
#include "platform.h"
#include "platform_win32.h"
#include "text_codec.h"
#include "unique_handle.h"

namespace SetupLauncher {

namespace {

using Win32::CFileHandle;
using Win32::CFindHandle;
using Win32::CKernelHandle;
using Win32::CLocalMemory;

// The record sizes the 32-bit system expects.
static_assert(sizeof(OSVERSIONINFOEXW) == 284);
static_assert(sizeof(void*) != 4 || sizeof(SHELLEXECUTEINFOW) == 60);
static_assert(sizeof(wchar_t) == sizeof(char16_t));

std::wstring Wide(const std::string& text) {
    const std::u16string units = TextCodec::Utf16FromWindowsUtf8(text);
    return {units.begin(), units.end()};
}

std::string Utf8(const wchar_t* text, std::size_t length) {
    // The inverse of Utf16FromWindowsUtf8: every name listed comes back to the same UTF-16.
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

bool StartsWith(const std::wstring& text, const wchar_t* prefix) {
    return text.rfind(prefix, 0) == 0;
}

// The \\?\ form of an absolute path, which the system takes as it is: a last name such as
// "aux", "com1" or "conin$" then names the folder of that name, not a device. The launcher's
// folder comes from its module path, which is absolute and has no "." or ".." in it. Other
// paths are returned as they are.
std::wstring VerbatimPath(std::wstring path) {
    std::replace(path.begin(), path.end(), L'/', L'\\');
    if (StartsWith(path, LR"(\\?\)") || StartsWith(path, LR"(\\.\)")) {
        return path;
    }
    if (path.size() >= 3 && path[1] == L':' && path[2] == L'\\') {
        return LR"(\\?\)" + path;
    }
    if (StartsWith(path, LR"(\\)")) {
        return LR"(\\?\UNC\)" + path.substr(2);
    }
    return path;
}

// The information block of the process token, empty when it cannot be read.
std::vector<BYTE> TokenInformation(TOKEN_INFORMATION_CLASS kind) {
    HANDLE opened = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &opened)) {
        return {};
    }
    const CKernelHandle token(opened);
    DWORD size = 0;
    GetTokenInformation(token.Get(), kind, nullptr, 0, &size);
    std::vector<BYTE> information(size);
    if (size == 0 || !GetTokenInformation(token.Get(), kind, information.data(), size, &size)) {
        return {};
    }
    return information;
}

// The user this process runs as.
class CProcessUser {
  public:
    CProcessUser() : m_information(TokenInformation(TokenUser)) {}

    // The user's security identifier as text ("S-1-5-21-..."); empty when unknown.
    std::wstring SidText() const {
        LPWSTR text = nullptr;
        if (m_information.empty() || !ConvertSidToStringSidW(Sid(), &text)) {
            return {};
        }
        const CLocalMemory<WCHAR> owned(text);
        return owned.Get();
    }

    // Whether this user is the object's owner, which no other user can make it.
    bool Owns(HANDLE object) const {
        PSID owner = nullptr;
        PSECURITY_DESCRIPTOR descriptor = nullptr;
        if (m_information.empty() ||
            GetSecurityInfo(object, SE_KERNEL_OBJECT, OWNER_SECURITY_INFORMATION, &owner, nullptr,
                            nullptr, nullptr, &descriptor) != ERROR_SUCCESS) {
            return false;
        }
        const CLocalMemory<void> owned(descriptor);
        return owner != nullptr && EqualSid(owner, Sid());
    }

  private:
    PSID Sid() const { return reinterpret_cast<const TOKEN_USER*>(m_information.data())->User.Sid; }

    std::vector<BYTE> m_information;
};

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
        const CLocalMemory<LPWSTR> wide(CommandLineToArgvW(GetCommandLineW(), &count));
        if (wide.Get() == nullptr) {
            // Still better than nothing: the ANSI form, right for ASCII text.
            for (int i = 0; i < argc && argv[i] != nullptr; ++i) {
                arguments.emplace_back(argv[i]);
            }
            return arguments;
        }
        for (int i = 0; i < count; ++i) {
            arguments.push_back(Utf8(wide.Get()[i]));
        }
        return arguments;
    }

    std::string ModulePath() override {
        // No MAX_PATH limit: the buffer grows until the whole name fits.
        std::wstring buffer(MAX_PATH, L'\0');
        for (;;) {
            const auto size = static_cast<DWORD>(buffer.size());
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
        std::wstring pattern = Wide(folder);
        const wchar_t last = pattern.back();
        if (last != L'\\' && last != L'/' && last != L':') {
            pattern += L'\\';
        }
        // The full path of the pattern, not of the folder: with "*" as its last name, a folder
        // named like a device ("aux", "nul") stays a folder.
        pattern = FullPath(pattern + L'*');
        if (pattern.empty()) {
            return false;
        }
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

    bool QueryFolderIdentity(const std::string& folder, FileIdentity& identity) override {
        if (folder.empty()) {
            return false;
        }
        const CFileHandle opened(CreateFileW(VerbatimPath(Wide(folder)).c_str(), 0,
                                             FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                             nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS,
                                             nullptr));
        BY_HANDLE_FILE_INFORMATION info{};
        if (!opened.IsOpen() || !GetFileInformationByHandle(opened.Get(), &info)) {
            return false;
        }
        identity = {};
        identity.volume = info.dwVolumeSerialNumber;
        identity.index =
            (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
        return true;
    }

    std::string ComparableFolderPath(const std::string& folder) override {
        const std::wstring verbatim = VerbatimPath(Wide(folder));
        const DWORD needed = GetLongPathNameW(verbatim.c_str(), nullptr, 0);
        if (needed == 0) {
            return {};
        }
        std::wstring path(needed, L'\0');
        const DWORD written = GetLongPathNameW(verbatim.c_str(), path.data(), needed);
        if (written == 0 || written >= needed) {
            return {};
        }
        path.resize(written);
        // Back to the plain form, which every spelling shares.
        if (StartsWith(path, LR"(\\?\UNC\)")) {
            path.replace(0, 8, LR"(\\)");
        } else if (StartsWith(path, LR"(\\?\)")) {
            path.erase(0, 4);
        }
        // Names compare without regard to case, by the invariant rules a file system uses.
        const int length = static_cast<int>(path.size());
        std::wstring upper(path.size(), L'\0');
        if (LCMapStringW(LOCALE_INVARIANT, LCMAP_UPPERCASE, path.c_str(), length, upper.data(),
                         length) != length) {
            return {};
        }
        return Utf8(upper.data(), upper.size());
    }

    // The run is held as a named mutex in the logon session's own namespace ("Local\"), named
    // by the user's SID and the key; it is not inherited, so the kernel removes it when this
    // process ends. Its owner is the user, given explicitly (an administrator's objects are
    // otherwise owned by the Administrators group on XP, and Wine's by nobody), and only the
    // user may open it. Another user of the session (runas, a service on XP's console session)
    // can make an object of that name, but cannot make this user its owner: a name found taken
    // silences the launcher only when this user owns the object; otherwise the run goes on
    // unguarded.
    bool ClaimFolderRun(const std::string& key) override {
        const CProcessUser user;
        const std::wstring sid = user.SidText();
        if (sid.empty()) {
            return true;
        }
        const std::wstring name = LR"(Local\SetupLauncher.)" + sid + L"." + Wide(key);
        const std::wstring security = L"O:" + sid + L"D:(A;;GA;;;" + sid + L")";
        PSECURITY_DESCRIPTOR descriptor = nullptr;
        if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(security.c_str(), SDDL_REVISION_1,
                                                                  &descriptor, nullptr)) {
            return true;
        }
        const CLocalMemory<void> ownedDescriptor(descriptor);
        SECURITY_ATTRIBUTES attributes{sizeof(attributes), descriptor, FALSE};
        const HANDLE mutex = CreateMutexW(&attributes, FALSE, name.c_str());
        const DWORD error = GetLastError();
        if (mutex == nullptr) {
            return true;
        }
        if (error != ERROR_ALREADY_EXISTS) {
            m_runGuard = std::make_unique<CKernelHandle>(mutex);
            return true;
        }
        const CKernelHandle found(mutex);
        return !user.Owns(found.Get());
    }

    ProcessHandle StartProgram(const std::string& path, const std::string& parameters) override {
        InitializeShellCalls();
        const std::wstring file = Wide(path);
        const std::wstring wideParameters = Wide(parameters);
        SHELLEXECUTEINFOW start = ProgramStartRecord(file, wideParameters);
        // A failed start leaves hProcess null, which is all we need to know.
        ShellExecuteExW(&start);
        return reinterpret_cast<ProcessHandle>(start.hProcess);
    }

    std::optional<std::uint32_t> WaitForProcessEnd(ProcessHandle process) override {
        // NOLINTNEXTLINE(performance-no-int-to-ptr): the handle crosses the seam as a number.
        const CKernelHandle owned(reinterpret_cast<HANDLE>(process));
        const HANDLE handle = owned.Get();
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
        DWORD exitCode = 0;
        if (GetExitCodeProcess(handle, &exitCode) == 0) {
            return std::nullopt;
        }
        return exitCode;
    }

    void OpenDocument(const std::string& path) override {
        InitializeShellCalls();
        const std::wstring file = Wide(path);
        SHELLEXECUTEINFOW open = DocumentOpenRecord(file);
        ShellExecuteExW(&open);
        // Not asked for (no SEE_MASK_NOCLOSEPROCESS), but closed should the shell give one.
        const CKernelHandle process(open.hProcess);
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
    std::unique_ptr<CKernelHandle> m_runGuard;
};

// Both starts refuse UI: without FLAG_NO_UI a file the shell cannot start, or a type with no or
// a broken association, brings up a box that waits for a click, and an unattended install waits
// with it for ever; without NOZONECHECKS a package unpacked from a downloaded archive raises the
// security warning of files from the Internet and waits the same way.
constexpr ULONG kNoPrompts = SEE_MASK_FLAG_NO_UI | SEE_MASK_NOZONECHECKS;

}  // namespace

SHELLEXECUTEINFOW ProgramStartRecord(const std::wstring& file, const std::wstring& parameters) {
    SHELLEXECUTEINFOW start{};
    start.cbSize = sizeof(start);
    start.fMask = SEE_MASK_NOCLOSEPROCESS | kNoPrompts;
    start.lpFile = file.c_str();
    start.lpParameters = parameters.c_str();
    start.nShow = SW_SHOW;
    return start;
}

SHELLEXECUTEINFOW DocumentOpenRecord(const std::wstring& file) {
    SHELLEXECUTEINFOW open{};
    open.cbSize = sizeof(open);
    // NOASYNC: the launcher may end right after this call, which must not cut short the
    // shell's hand-over (a DDE conversation) to the opening program; that program itself is
    // still not waited for.
    open.fMask = kNoPrompts | SEE_MASK_NOASYNC;
    open.hwnd = GetDesktopWindow();
    open.lpVerb = L"open";
    open.lpFile = file.c_str();
    open.nShow = SW_SHOWNORMAL;
    return open;
}

std::unique_ptr<ILauncherPlatform> CreateSystemPlatform() {
    return std::make_unique<CWin32Platform>();
}

}  // namespace SetupLauncher
