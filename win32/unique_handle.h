// The one owner of a Win32 handle in both programs: it closes the handle once, with the function
// its kind needs, and never one that is not open.
#pragma once

#include <windows.h>

#include <utility>

namespace Win32 {

template <BOOL(WINAPI* CloseFunction)(HANDLE)>
class CUniqueHandle {
  public:
    explicit CUniqueHandle(HANDLE handle) noexcept : m_handle(handle) {}
    ~CUniqueHandle() { Close(); }
    CUniqueHandle(const CUniqueHandle&) = delete;
    CUniqueHandle& operator=(const CUniqueHandle&) = delete;

    // The functions that open handles say "none" in two ways: CreateFileW and FindFirstFileW
    // with INVALID_HANDLE_VALUE, others with NULL.
    bool IsOpen() const noexcept { return m_handle != INVALID_HANDLE_VALUE && m_handle != nullptr; }
    HANDLE Get() const noexcept { return m_handle; }

    // Closes the handle now, for a caller to whom the result matters (a file written through
    // it); the owner holds nothing afterwards. True when there was nothing to close.
    bool Close() noexcept {
        if (!IsOpen()) {
            return true;
        }
        return CloseFunction(std::exchange(m_handle, nullptr)) != FALSE;
    }

    // Hands the open handle to a caller that keeps it for the rest of the process.
    HANDLE Release() noexcept { return std::exchange(m_handle, nullptr); }

  private:
    HANDLE m_handle;
};

// From CreateFileW.
using CFileHandle = CUniqueHandle<CloseHandle>;
// From FindFirstFileW.
using CFindHandle = CUniqueHandle<FindClose>;
// Any other kernel object CloseHandle ends: a process, a mutex, a token.
using CKernelHandle = CUniqueHandle<CloseHandle>;

// Memory the system allocated for the caller to give back with LocalFree (a converted SID or
// security descriptor, an argument list).
template <typename T>
class CLocalMemory {
  public:
    explicit CLocalMemory(T* memory) noexcept : m_memory(memory) {}
    ~CLocalMemory() {
        if (m_memory != nullptr) {
            LocalFree(m_memory);
        }
    }
    CLocalMemory(const CLocalMemory&) = delete;
    CLocalMemory& operator=(const CLocalMemory&) = delete;

    T* Get() const noexcept { return m_memory; }

  private:
    T* m_memory;
};

}  // namespace Win32
