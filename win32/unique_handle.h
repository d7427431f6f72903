// The one owner of a Win32 handle in both programs: it closes the handle once, with the function
// its kind needs, and never one that is not open.
#pragma once

#include <windows.h>

namespace Win32 {

template <BOOL(WINAPI* Close)(HANDLE)>
class CUniqueHandle {
  public:
    explicit CUniqueHandle(HANDLE handle) noexcept : m_handle(handle) {}
    ~CUniqueHandle() {
        if (IsOpen()) {
            Close(m_handle);
        }
    }
    CUniqueHandle(const CUniqueHandle&) = delete;
    CUniqueHandle& operator=(const CUniqueHandle&) = delete;

    // The functions that open handles say "none" in two ways: CreateFileW and FindFirstFileW
    // with INVALID_HANDLE_VALUE, others with NULL.
    bool IsOpen() const noexcept { return m_handle != INVALID_HANDLE_VALUE && m_handle != nullptr; }
    HANDLE Get() const noexcept { return m_handle; }

  private:
    HANDLE m_handle;
};

// From CreateFileW.
using CFileHandle = CUniqueHandle<CloseHandle>;
// From FindFirstFileW.
using CFindHandle = CUniqueHandle<FindClose>;

}  // namespace Win32
