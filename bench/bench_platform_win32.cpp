#include <shlobj.h>
#include <windows.h>

#include <string>

#include "bench_platform.h"

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
    const HANDLE file = CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return false;
    }
    const bool written = WriteAll(file, bytes) && FlushFileBuffers(file) != 0;
    // Write-through makes the rename durable before the call returns, as the folder's fsync
    // does on POSIX.
    if (!CloseHandle(file) || !written ||
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
    CloseHandle(process.hThread);
    DWORD status = 1;
    const bool ended = WaitForSingleObject(process.hProcess, INFINITE) == WAIT_OBJECT_0 &&
                       GetExitCodeProcess(process.hProcess, &status) != 0;
    CloseHandle(process.hProcess);
    return ended && status == 0;
}

const char* PlatformName() {
    return "windows";
}

}  // namespace Bench
