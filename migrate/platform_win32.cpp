// The platform operations on Windows: the system's own functions.
#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <new>

#include "known_folders.h"
#include "platform.h"
#include "platform_win32.h"
#include "profile.h"
#include "unique_handle.h"

namespace Zentrel {

namespace {

// Room for the long names that "\\?\" allows (about 32,767 characters), far beyond MAX_PATH; a
// name whose full form does not fit is tested as it was given.
constexpr DWORD kNormalisationBufferSize = 32000;

}  // namespace

namespace WindowsRules {

std::wstring ExtendedLengthCandidate(const std::wstring& path) {
    const bool networkPath = path.size() > 2 && path[0] == L'\\' && path[1] == L'\\';
    if (networkPath) {
        return path;
    }
    return L"\\\\?\\" + path;
}

}  // namespace WindowsRules

PathSyntax::PathStyle CSystemPlatform::Style() {
    return PathSyntax::PathStyle::Windows;
}

std::wstring CSystemPlatform::LocalAppDataFolder() {
    return Win32::LocalAppDataFolder();
}

std::uint16_t CSystemPlatform::UserUiLanguage() {
    return GetUserDefaultUILanguage();
}

bool CSystemPlatform::IsExistingFile(const std::wstring& path) {
    const std::unique_ptr<wchar_t[]> buffer(new (std::nothrow) wchar_t[kNormalisationBufferSize]);
    if (!buffer) {
        return false;
    }
    buffer[0] = L'\0';
    const std::wstring candidate = WindowsRules::ExtendedLengthCandidate(path);
    const DWORD length =
        GetFullPathNameW(candidate.c_str(), kNormalisationBufferSize, buffer.get(), nullptr);
    // 0 means failure, and the buffer size or more a full name that did not fit; either way the
    // name is tested as it was given.
    const bool normalised = length >= 1 && length < kNormalisationBufferSize;
    const DWORD attributes = GetFileAttributesW(normalised ? buffer.get() : candidate.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

bool CSystemPlatform::ForEachSubfolder(const std::wstring& folder,
                                       const std::function<void(const std::wstring&)>& visit) {
    const std::wstring pattern = folder + L"\\*";
    WIN32_FIND_DATAW data = {};
    const Win32::CFindHandle find(FindFirstFileW(pattern.c_str(), &data));
    if (!find.IsOpen()) {
        return false;
    }
    // Whatever makes FindNextFileW fail, the end of the folder or an error, ends the walk.
    do {
        if ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
            visit(data.cFileName);
        }
    } while (FindNextFileW(find.Get(), &data) != 0);
    return true;
}

NGUtils::IIniFile& CSystemPlatform::IniFile() {
    return NGUtils::g_iniFile;
}

namespace {

// What no settings file reaches; a larger one is left alone.
constexpr std::uint64_t kMaxSettingsSize = 256ULL * 1024 * 1024;
constexpr DWORD kReadChunk = 64 * 1024;
constexpr int kNameAttempts = 100;

bool ReadWhole(HANDLE file, std::uint64_t size, std::string& bytes) {
    bytes.clear();
    bytes.reserve(static_cast<std::size_t>(size));
    char chunk[4096];
    for (;;) {
        DWORD count = 0;
        if (ReadFile(file, chunk, sizeof chunk, &count, nullptr) == 0) {
            return false;
        }
        if (count == 0) {
            return true;
        }
        if (bytes.size() + count > kMaxSettingsSize) {
            return false;
        }
        bytes.append(chunk, count);
    }
}

bool WriteWhole(HANDLE file, const std::string& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const DWORD part =
            static_cast<DWORD>(std::min<std::size_t>(bytes.size() - done, kReadChunk));
        DWORD count = 0;
        if (WriteFile(file, bytes.data() + done, part, &count, nullptr) == 0 || count == 0) {
            return false;
        }
        done += count;
    }
    return true;
}

std::wstring FolderOf(const std::wstring& path) {
    const std::size_t separator = path.find_last_of(L"\\/");
    return separator == std::wstring::npos ? std::wstring() : path.substr(0, separator);
}

std::wstring NameOf(const std::wstring& path) {
    const std::size_t separator = path.find_last_of(L"\\/");
    return separator == std::wstring::npos ? path : path.substr(separator + 1);
}

std::wstring Hex(std::uint64_t value, int digits) {
    static constexpr wchar_t kDigits[] = L"0123456789abcdef";
    std::wstring text(static_cast<std::size_t>(digits), L'0');
    for (int i = digits - 1; i >= 0; --i) {
        text[static_cast<std::size_t>(i)] = kDigits[value & 0xF];
        value >>= 4;
    }
    return text;
}

// Working copies are named ".<name>.zentrel.<process id, 8 hex digits>.<8 hex digits>.tmp"
// beside the settings file (or in the temporary folder): a run that finds one of a process that
// is gone knows it for a leftover.
std::wstring WorkingCopyPrefix(const std::wstring& file) {
    return L"." + NameOf(file) + L".zentrel.";
}

bool IsWorkingCopyName(const std::wstring& name, const std::wstring& prefix, DWORD& process) {
    constexpr std::size_t kDigits = 8;
    const std::wstring suffix = L".tmp";
    if (name.size() != prefix.size() + kDigits + 1 + kDigits + suffix.size() ||
        name.compare(0, prefix.size(), prefix) != 0 || name[prefix.size() + kDigits] != L'.' ||
        name.compare(name.size() - suffix.size(), suffix.size(), suffix) != 0) {
        return false;
    }
    process = 0;
    for (std::size_t i = 0; i < kDigits * 2 + 1; ++i) {
        const wchar_t c = name[prefix.size() + i];
        if (i == kDigits) {
            continue;
        }
        const bool digit = c >= L'0' && c <= L'9';
        if (!digit && !(c >= L'a' && c <= L'f')) {
            return false;
        }
        if (i < kDigits) {
            process = process * 16 + static_cast<DWORD>(digit ? c - L'0' : c - L'a' + 10);
        }
    }
    return true;
}

// The user this process runs as, as a SID in `buffer`.
bool CurrentUser(std::string& buffer, PSID& user) {
    HANDLE token = nullptr;
    if (OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token) == 0) {
        return false;
    }
    const Win32::CKernelHandle owned(token);
    DWORD size = 0;
    GetTokenInformation(owned.Get(), TokenUser, nullptr, 0, &size);
    buffer.assign(size, '\0');
    if (size == 0 || GetTokenInformation(owned.Get(), TokenUser, buffer.data(), size, &size) == 0) {
        return false;
    }
    user = reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid;
    return true;
}

// A security descriptor whose DACL lets the user alone in, inherited from nothing.
class CUserOnlySecurity {
  public:
    bool Make() {
        PSID user = nullptr;
        if (!CurrentUser(m_user, user)) {
            return false;
        }
        const DWORD aclSize = sizeof(ACL) + sizeof(ACCESS_ALLOWED_ACE) + GetLengthSid(user);
        m_acl.assign(aclSize, '\0');
        auto* acl = reinterpret_cast<ACL*>(m_acl.data());
        return InitializeAcl(acl, aclSize, ACL_REVISION) != 0 &&
               AddAccessAllowedAce(acl, ACL_REVISION, GENERIC_ALL, user) != 0 &&
               InitializeSecurityDescriptor(&m_descriptor, SECURITY_DESCRIPTOR_REVISION) != 0 &&
               SetSecurityDescriptorDacl(&m_descriptor, TRUE, acl, FALSE) != 0 &&
               SetSecurityDescriptorControl(&m_descriptor, SE_DACL_PROTECTED, SE_DACL_PROTECTED) !=
                   0;
    }
    SECURITY_ATTRIBUTES* Attributes() {
        m_attributes = {sizeof m_attributes, &m_descriptor, FALSE};
        return &m_attributes;
    }

  private:
    std::string m_user;
    std::string m_acl;
    SECURITY_DESCRIPTOR m_descriptor = {};
    SECURITY_ATTRIBUTES m_attributes = {};
};

bool OwnedByCurrentUser(const std::wstring& path) {
    std::string userBuffer;
    PSID user = nullptr;
    DWORD size = 0;
    GetFileSecurityW(path.c_str(), OWNER_SECURITY_INFORMATION, nullptr, 0, &size);
    std::string descriptor(size, '\0');
    PSID owner = nullptr;
    BOOL defaulted = FALSE;
    return size != 0 && CurrentUser(userBuffer, user) &&
           GetFileSecurityW(path.c_str(), OWNER_SECURITY_INFORMATION, descriptor.data(), size,
                            &size) != 0 &&
           GetSecurityDescriptorOwner(descriptor.data(), &owner, &defaulted) != 0 &&
           owner != nullptr && EqualSid(owner, user) != 0;
}

bool ProcessIsAlive(DWORD process) {
    const Win32::CKernelHandle handle(OpenProcess(SYNCHRONIZE, FALSE, process));
    if (!handle.IsOpen()) {
        // A process of another user may be alive and closed to us.
        return GetLastError() == ERROR_ACCESS_DENIED;
    }
    return WaitForSingleObject(handle.Get(), 0) == WAIT_TIMEOUT;
}

// Removes the working copies of `file` in `folder` that runs which are gone left: only this
// user's own regular files of the exact pattern, never a folder or a link.
void RemoveLeftovers(const std::wstring& folder, const std::wstring& file) {
    const std::wstring prefix = WorkingCopyPrefix(file);
    WIN32_FIND_DATAW data = {};
    const Win32::CFindHandle find(
        FindFirstFileW((folder + L"\\" + prefix + L"*.tmp").c_str(), &data));
    if (!find.IsOpen()) {
        return;
    }
    do {
        DWORD process = 0;
        const std::wstring path = folder + L"\\" + data.cFileName;
        if (IsWorkingCopyName(data.cFileName, prefix, process) &&
            (data.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) ==
                0 &&
            process != GetCurrentProcessId() && !ProcessIsAlive(process) &&
            OwnedByCurrentUser(path)) {
            DeleteFileW(path.c_str());
        }
    } while (FindNextFileW(find.Get(), &data) != 0);
}

// Creates a new working copy in `folder`, made by this run alone and open to its user alone.
bool CreateWorkingCopy(const std::wstring& folder, const std::wstring& file,
                       const std::string& bytes, std::wstring& workingCopy) {
    CUserOnlySecurity security;
    if (folder.empty() || !security.Make()) {
        return false;
    }
    RemoveLeftovers(folder, file);
    LARGE_INTEGER counter = {};
    QueryPerformanceCounter(&counter);
    auto unique = static_cast<std::uint32_t>(counter.QuadPart ^ GetTickCount());
    for (int attempt = 0; attempt < kNameAttempts; ++attempt, unique = unique * 2654435761U + 1) {
        const std::wstring name = folder + L"\\" + WorkingCopyPrefix(file) +
                                  Hex(GetCurrentProcessId(), 8) + L"." + Hex(unique, 8) + L".tmp";
        // The profile functions take no longer name; the temporary folder's is shorter.
        if (name.size() >= MAX_PATH) {
            return false;
        }
        Win32::CFileHandle copy(CreateFileW(name.c_str(), GENERIC_WRITE, 0, security.Attributes(),
                                            CREATE_NEW, FILE_ATTRIBUTE_HIDDEN, nullptr));
        if (!copy.IsOpen()) {
            if (GetLastError() == ERROR_FILE_EXISTS || GetLastError() == ERROR_ALREADY_EXISTS) {
                continue;
            }
            return false;
        }
        // Closed here, so that a failure to write the last bytes out counts.
        if (!WriteWhole(copy.Get(), bytes) || !copy.Close()) {
            copy.Close();
            DeleteFileW(name.c_str());
            return false;
        }
        workingCopy = name;
        return true;
    }
    return false;
}

class CSystemStepCalls : public WindowsRules::IStepCalls {
  public:
    std::uint32_t Replace(const std::wstring& file, const std::wstring& replacement,
                          std::uint32_t flags) override {
        return ReplaceFileW(file.c_str(), replacement.c_str(), nullptr, flags, nullptr, nullptr) !=
                       0
                   ? 0
                   : GetLastError();
    }
    std::uint32_t Move(const std::wstring& from, const std::wstring& to,
                       std::uint32_t flags) override {
        return MoveFileExW(from.c_str(), to.c_str(), flags) != 0 ? 0 : GetLastError();
    }
    std::uint32_t Rewrite(const std::wstring& file, const std::string& bytes) override {
        Win32::CFileHandle handle(CreateFileW(file.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!handle.IsOpen()) {
            return GetLastError();
        }
        if (!WriteWhole(handle.Get(), bytes) || SetEndOfFile(handle.Get()) == 0 ||
            FlushFileBuffers(handle.Get()) == 0 || !handle.Close()) {
            return GetLastError();
        }
        return 0;
    }
};

}  // namespace

bool CSystemPlatform::ReadSettingsFile(const std::wstring& file, SettingsSnapshot& snapshot) {
    const Win32::CFileHandle handle(CreateFileW(
        file.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
        OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    BY_HANDLE_FILE_INFORMATION info = {};
    if (!handle.IsOpen() || GetFileInformationByHandle(handle.Get(), &info) == 0 ||
        (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        return false;
    }
    snapshot.volume = info.dwVolumeSerialNumber;
    snapshot.fileId = (std::uint64_t{info.nFileIndexHigh} << 32) | info.nFileIndexLow;
    snapshot.size = (std::uint64_t{info.nFileSizeHigh} << 32) | info.nFileSizeLow;
    snapshot.modified =
        static_cast<std::int64_t>((std::uint64_t{info.ftLastWriteTime.dwHighDateTime} << 32) |
                                  info.ftLastWriteTime.dwLowDateTime);
    return snapshot.size <= kMaxSettingsSize &&
           ReadWhole(handle.Get(), snapshot.size, snapshot.bytes);
}

bool CSystemPlatform::MakeWorkingCopy(const std::wstring& file, const std::string& bytes,
                                      std::wstring& workingCopy) {
    // Beside the file where a file can be made there, so that it can take the file's place.
    if (CreateWorkingCopy(FolderOf(file), file, bytes, workingCopy)) {
        return true;
    }
    wchar_t temporary[MAX_PATH + 1] = {};
    const DWORD length = GetTempPathW(MAX_PATH + 1, temporary);
    if (length == 0 || length > MAX_PATH) {
        return false;
    }
    std::wstring folder(temporary, length);
    while (!folder.empty() && (folder.back() == L'\\' || folder.back() == L'/')) {
        folder.pop_back();
    }
    return CreateWorkingCopy(folder, file, bytes, workingCopy);
}

StepOutcome CSystemPlatform::PutInPlace(const std::wstring& workingCopy, const std::wstring& file,
                                        const SettingsSnapshot& snapshot) {
    // The profile functions may still hold writes of the working copy; all-null arguments make
    // them write it out.
    NGUtils::ProfileWriteW(nullptr, nullptr, nullptr, workingCopy.c_str());
    std::string bytes;
    Win32::CFileHandle copy(CreateFileW(workingCopy.c_str(), GENERIC_READ | GENERIC_WRITE, 0,
                                        nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    // Closed before the working copy is renamed over the file, which it could not be while open.
    if (!copy.IsOpen() || FlushFileBuffers(copy.Get()) == 0 || !ReadWhole(copy.Get(), 0, bytes) ||
        !copy.Close()) {
        return StepOutcome::Failed;
    }
    SettingsSnapshot now;
    if (!ReadSettingsFile(file, now)) {
        return StepOutcome::Failed;
    }
    if (now.volume != snapshot.volume || now.fileId != snapshot.fileId ||
        now.size != snapshot.size || now.modified != snapshot.modified ||
        now.bytes != snapshot.bytes) {
        return StepOutcome::Changed;
    }
    if (bytes == snapshot.bytes) {
        return StepOutcome::Done;
    }
    CSystemStepCalls calls;
    return WindowsRules::PutWorkingCopyInPlace(calls, file, workingCopy,
                                               FolderOf(workingCopy) == FolderOf(file), bytes);
}

void CSystemPlatform::RemoveWorkingCopy(const std::wstring& workingCopy) {
    // ReplaceFileW took its name when the step succeeded.
    DeleteFileW(workingCopy.c_str());
}

void CSystemPlatform::Pause(std::chrono::milliseconds time) {
    Sleep(static_cast<DWORD>(time.count()));
}

namespace WindowsRules {

StepOutcome PutWorkingCopyInPlace(IStepCalls& calls, const std::wstring& file,
                                  const std::wstring& workingCopy, bool besideFile,
                                  const std::string& bytes) {
    if (besideFile) {
        const std::uint32_t error = calls.Replace(file, workingCopy, kReplaceFlags);
        if (error == 0) {
            return StepOutcome::Done;
        }
        if (error == kErrorUnableToMoveReplacement || error == kErrorUnableToMoveReplacement2) {
            // The file may be gone, or under another name: the working copy takes its name.
            return calls.Move(workingCopy, file, kMoveFlags) == 0 ? StepOutcome::Done
                                                                  : StepOutcome::Stranded;
        }
    }
    return calls.Rewrite(file, bytes) == 0 ? StepOutcome::Done : StepOutcome::Failed;
}

}  // namespace WindowsRules

}  // namespace Zentrel
