#include <shlobj.h>
#include <windows.h>

#include <string>

#include "bench_platform.h"
#include "unique_handle.h"

namespace Bench {

namespace {

bool WriteAll(HANDLE file, std::string_view bytes) {
    while (!bytes.empty()) {
        const DWORD chunk =
            bytes.size() > 0x10000000u ? 0x10000000u : static_cast<DWORD>(bytes.size());
        DWORD written = 0;
        if (!WriteFile(file, bytes.data(), chunk, &written, nullptr) || written == 0) {
            return false;
        }
        bytes.remove_prefix(written);
    }
    return true;
}

}  // namespace

bool DurableReplace(const std::filesystem::path& path, std::string_view bytes) {
    std::filesystem::path temp = path;
    temp += L".replace.tmp";
    Win32::CFileHandle file(CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                        FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.IsOpen()) {
        return false;
    }
    const bool written = WriteAll(file.Get(), bytes) && FlushFileBuffers(file.Get()) != 0;
    // Write-through makes the rename durable before the call returns, as the folder's fsync
    // does on POSIX.
    if (!file.Close() || !written ||
        !MoveFileExW(temp.c_str(), path.c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        DeleteFileW(temp.c_str());
        return false;
    }
    return true;
}

std::optional<std::uint64_t> BytesWrittenSoFar() {
    IO_COUNTERS counters{};
    if (!GetProcessIoCounters(GetCurrentProcess(), &counters) ||
        (counters.WriteTransferCount == 0 && counters.WriteOperationCount == 0)) {
        return std::nullopt;
    }
    return counters.WriteTransferCount;
}

std::filesystem::path ProgramDataFolder(const std::filesystem::path&) {
    wchar_t folder[MAX_PATH + 1] = {};
    if (FAILED(SHGetFolderPathW(nullptr, CSIDL_LOCAL_APPDATA, nullptr, 0, folder))) {
        return {};
    }
    return folder;
}

bool RunProgram(const std::filesystem::path& program, const std::filesystem::path&) {
    std::wstring commandLine = L"\"" + program.wstring() + L"\" QX_NWTWAIN";
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    if (CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                       nullptr, &startup, &process) == 0) {
        return false;
    }
    const ::Win32::CKernelHandle thread(process.hThread);
    const ::Win32::CKernelHandle child(process.hProcess);
    DWORD status = 1;
    return WaitForSingleObject(child.Get(), INFINITE) == WAIT_OBJECT_0 &&
           GetExitCodeProcess(child.Get(), &status) != 0 && status == 0;
}

std::wstring WidePath(const std::filesystem::path& path) {
    return path.wstring();
}

const char* PlatformName() {
    return "windows";
}

}  // namespace Bench
