// Starting programs on Windows: CreateProcessW with the output redirected to a file.
#include <shlobj.h>
#include <windows.h>

#include "program_runner.h"

namespace ProgramTests {

namespace {

// One argument as the C runtime of the started program splits it again.
std::wstring Quoted(const std::wstring& argument) {
    std::wstring quoted = L"\"";
    std::size_t backslashes = 0;
    for (wchar_t c : argument) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        quoted.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
        backslashes = 0;
        quoted.push_back(c);
    }
    quoted.append(backslashes * 2, L'\\');
    quoted.push_back(L'"');
    return quoted;
}

HANDLE OpenInheritable(const std::filesystem::path& path, DWORD access, DWORD disposition) {
    SECURITY_ATTRIBUTES inherit = {};
    inherit.nLength = sizeof(inherit);
    inherit.bInheritHandle = TRUE;
    return CreateFileW(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                       disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
}

}  // namespace

std::filesystem::path DataFolderForProgram(const std::filesystem::path&) {
    wchar_t folder[MAX_PATH + 1] = {};
    if (FAILED(SHGetFolderPathW(nullptr, CSIDL_LOCAL_APPDATA, nullptr, 0, folder))) {
        return {};
    }
    return folder;
}

std::filesystem::path ProgramFolder() {
    std::wstring path(32768, L'\0');
    const DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    path.resize(length);
    return std::filesystem::path(path).parent_path().parent_path() / "bin";
}

std::filesystem::path ProgramPath(const std::string& name) {
    return ProgramFolder() / (name + ".exe");
}

struct CRunningProgram::State {
    PROCESS_INFORMATION process = {};
    bool started = false;
    bool ended = false;
    int exitStatus = 0;
};

CRunningProgram::CRunningProgram(const std::filesystem::path& program,
                                 const std::vector<std::string>& arguments,
                                 const std::filesystem::path&, const std::filesystem::path& output)
    : m_state(std::make_unique<State>()) {
    std::wstring commandLine = Quoted(program.wstring());
    for (const std::string& argument : arguments) {
        commandLine += L" " + Quoted(std::wstring(argument.begin(), argument.end()));
    }
    const HANDLE out = OpenInheritable(output, GENERIC_WRITE, CREATE_ALWAYS);
    const HANDLE in = OpenInheritable(L"NUL", GENERIC_READ, OPEN_EXISTING);
    if (out != INVALID_HANDLE_VALUE && in != INVALID_HANDLE_VALUE) {
        STARTUPINFOW startup = {};
        startup.cb = sizeof(startup);
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdInput = in;
        startup.hStdOutput = out;
        startup.hStdError = out;
        m_state->started =
            CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr,
                           nullptr, &startup, &m_state->process) != 0;
    }
    if (out != INVALID_HANDLE_VALUE) {
        CloseHandle(out);
    }
    if (in != INVALID_HANDLE_VALUE) {
        CloseHandle(in);
    }
}

CRunningProgram::~CRunningProgram() {
    Kill();
    if (m_state->started) {
        CloseHandle(m_state->process.hThread);
        CloseHandle(m_state->process.hProcess);
    }
}

bool CRunningProgram::Started() const {
    return m_state->started;
}

bool CRunningProgram::WaitFor(std::chrono::milliseconds limit, int& exitStatus) {
    if (!m_state->started) {
        return false;
    }
    if (!m_state->ended) {
        if (WaitForSingleObject(m_state->process.hProcess, static_cast<DWORD>(limit.count())) !=
            WAIT_OBJECT_0) {
            return false;
        }
        DWORD code = 0;
        GetExitCodeProcess(m_state->process.hProcess, &code);
        m_state->ended = true;
        m_state->exitStatus = static_cast<int>(code);
    }
    exitStatus = m_state->exitStatus;
    return true;
}

bool CRunningProgram::Kill() {
    if (!m_state->started || m_state->ended) {
        return false;
    }
    // Fails for a program that has already ended by itself.
    constexpr UINT kKilledStatus = 137;
    const bool killed = TerminateProcess(m_state->process.hProcess, kKilledStatus) != 0;
    WaitForSingleObject(m_state->process.hProcess, INFINITE);
    DWORD code = 0;
    GetExitCodeProcess(m_state->process.hProcess, &code);
    m_state->ended = true;
    m_state->exitStatus = static_cast<int>(code);
    return killed;
}

unsigned long CRunningProgram::Id() const {
    return m_state->process.dwProcessId;
}

}  // namespace ProgramTests
