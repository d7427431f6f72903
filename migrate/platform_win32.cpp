// The platform operations on Windows: the system's own functions.
#include <shlobj.h>
#include <windows.h>

#include <memory>
#include <new>

#include "platform.h"
#include "platform_win32.h"
#include "unique_handle.h"

namespace Zentrel {

namespace {

// Room for the long names that "\\?\" allows (about 32,767 characters), far beyond MAX_PATH; a
// name whose full form does not fit is tested as it was given.
constexpr DWORD kNormalisationBufferSize = 32000;

}  // namespace

namespace Win32 {

std::wstring ExtendedLengthCandidate(const std::wstring& path) {
    const bool networkPath = path.size() > 2 && path[0] == L'\\' && path[1] == L'\\';
    if (networkPath) {
        return path;
    }
    return L"\\\\?\\" + path;
}

}  // namespace Win32

wchar_t CSystemPlatform::PathSeparator() {
    return L'\\';
}

std::wstring CSystemPlatform::LocalAppDataFolder() {
    // SHGetFolderPathW writes at most MAX_PATH characters, its NUL included; the one more is
    // spare and stays zero.
    constexpr std::size_t kFolderBufferSize = MAX_PATH + 1;
    wchar_t folder[kFolderBufferSize] = {};
    // Flags 0: the folder as it is now, not its default location.
    const HRESULT result = SHGetFolderPathW(nullptr, CSIDL_LOCAL_APPDATA, nullptr, 0, folder);
    if (FAILED(result)) {
        return {};
    }
    return folder;
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
    const std::wstring candidate = Win32::ExtendedLengthCandidate(path);
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
    const ::Win32::CFindHandle find(FindFirstFileW(pattern.c_str(), &data));
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

bool CSystemPlatform::Write(const std::wstring&, const std::function<bool()>& write) {
    return write();
}

// Windows XP has no symbolic links to files, so the profile functions write the file named.
std::wstring CSystemPlatform::FileWrittenThrough(const std::wstring& path) {
    return path;
}

bool CSystemPlatform::RemoveFile(const std::wstring& name) {
    if (DeleteFileW(name.c_str()) != 0) {
        return true;
    }
    const DWORD error = GetLastError();
    if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) {
        return true;
    }
    // A read-only file cannot be deleted until the attribute is gone.
    return error == ERROR_ACCESS_DENIED &&
           SetFileAttributesW(name.c_str(), FILE_ATTRIBUTE_NORMAL) != 0 &&
           DeleteFileW(name.c_str()) != 0;
}

bool CSystemPlatform::KeepCopy(const std::wstring& file, const std::wstring& partial,
                               const std::wstring& copy) {
    // CopyFileW carries the attributes and the times over, but does not flush: the copy is
    // opened once more to put it on the disk before the file changes. A read-only file cannot be
    // opened so, and would not take the migration's writes either: it is left alone.
    if (!CSystemPlatform::RemoveFile(partial) ||
        CopyFileW(file.c_str(), partial.c_str(), TRUE) == 0) {
        return false;
    }
    const HANDLE handle = CreateFileW(partial.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                      FILE_ATTRIBUTE_NORMAL, nullptr);
    bool flushed = false;
    if (handle != INVALID_HANDLE_VALUE) {
        flushed = FlushFileBuffers(handle) != 0;
        flushed = CloseHandle(handle) != 0 && flushed;
    }
    if (!flushed || MoveFileExW(partial.c_str(), copy.c_str(),
                                MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) == 0) {
        CSystemPlatform::RemoveFile(partial);
        return false;
    }
    return true;
}

// Nothing is locked on Windows: the migration there writes through the system's own profile
// functions and is otherwise single-run as designed; the overlapping runs that lost updates were
// seen with the native engine, and a lock that no test here could run would be an untried one.
bool CSystemPlatform::WhileFolderLocked(const std::wstring&, std::chrono::milliseconds,
                                        const std::function<void()>& work) {
    work();
    return true;
}

bool CSystemPlatform::PutBack(const std::wstring& copy, const std::wstring& file) {
    // The copy holds the file's old attributes; a read-only attribute the file gained meanwhile
    // would refuse the replacement.
    const DWORD attributes = GetFileAttributesW(file.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) != 0) {
        SetFileAttributesW(file.c_str(), attributes & ~DWORD{FILE_ATTRIBUTE_READONLY});
    }
    return MoveFileExW(copy.c_str(), file.c_str(),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}

}  // namespace Zentrel
