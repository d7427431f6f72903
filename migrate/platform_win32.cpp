// The platform operations on Windows: the system's own functions.
#include <shlobj.h>
#include <windows.h>

#include "platform.h"

namespace Zentrel {

std::wstring GetLocalAppDataFolder() {
    constexpr std::size_t kFolderBufferSize = MAX_PATH + 1;
    wchar_t folder[kFolderBufferSize] = {};
    // Flags 0: the folder as it is now, not its default location.
    const HRESULT result = SHGetFolderPathW(nullptr, CSIDL_LOCAL_APPDATA, nullptr, 0, folder);
    if (FAILED(result)) {
        return {};
    }
    return folder;
}

namespace Platform {

wchar_t PathSeparator() {
    return L'\\';
}

std::wstring_view ExtendedLengthPrefix() {
    return L"\\\\?\\";
}

namespace {

class FindHandle {
  public:
    explicit FindHandle(HANDLE handle) : m_handle(handle) {}
    ~FindHandle() {
        if (m_handle != INVALID_HANDLE_VALUE) {
            FindClose(m_handle);
        }
    }
    FindHandle(const FindHandle&) = delete;
    FindHandle& operator=(const FindHandle&) = delete;

    HANDLE get() const { return m_handle; }

  private:
    HANDLE m_handle;
};

}  // namespace

bool ListFolder(const std::wstring& pattern,
                const std::function<void(const DirectoryEntry&)>& visit) {
    WIN32_FIND_DATAW data = {};
    const FindHandle find(FindFirstFileW(pattern.c_str(), &data));
    if (find.get() == INVALID_HANDLE_VALUE) {
        return false;
    }
    // Whatever makes FindNextFileW fail, the end of the folder or an error, ends the listing.
    do {
        visit(DirectoryEntry{data.cFileName, data.dwFileAttributes});
    } while (FindNextFileW(find.get(), &data) != 0);
    return true;
}

std::uint32_t FullPathName(const std::wstring& name, wchar_t* buffer, std::uint32_t size) {
    return GetFullPathNameW(name.c_str(), size, buffer, nullptr);
}

std::uint32_t FileAttributes(const std::wstring& name) {
    return GetFileAttributesW(name.c_str());
}

std::uint16_t UserUiLanguage() {
    return GetUserDefaultUILanguage();
}

}  // namespace Platform
}  // namespace Zentrel
