// Starting programs on POSIX: fork and exec, with the environment built before the fork.
#include <fcntl.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <string_view>
#include <thread>

#include "program_runner.h"

namespace ProgramTests {

namespace {

// Variables that would make the program look elsewhere or in another language.
bool IsReplaced(std::string_view entry) {
    constexpr std::string_view kReplaced[] = {
        "XDG_DATA_HOME=", "HOME=", "LANG=", "LANGUAGE=", "LC_"};
    return std::ranges::any_of(kReplaced,
                               [entry](std::string_view name) { return entry.starts_with(name); });
}

int ExitStatusOf(int status) {
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

}  // namespace

std::filesystem::path DataFolderForProgram(const std::filesystem::path& scratch) {
    return scratch / "xdg";
}

std::filesystem::path ProgramFolder() {
    std::error_code error;
    return std::filesystem::read_symlink("/proc/self/exe", error).parent_path().parent_path() /
           "bin";
}

std::filesystem::path ProgramPath(const std::string& name) {
    return ProgramFolder() / name;
}

struct CRunningProgram::State {
    pid_t pid = -1;
    bool ended = false;
    int exitStatus = 0;
};

CRunningProgram::CRunningProgram(const std::filesystem::path& program,
                                 const std::vector<std::string>& arguments,
                                 const std::filesystem::path& dataFolder,
                                 const std::filesystem::path& output)
    : m_state(std::make_unique<State>()) {
    std::vector<std::string> environment;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        if (!IsReplaced(*entry)) {
            environment.emplace_back(*entry);
        }
    }
    environment.push_back("XDG_DATA_HOME=" + dataFolder.string());
    environment.push_back("HOME=" + dataFolder.string());
    environment.emplace_back("LC_ALL=C");

    const std::string programText = program.string();
    std::vector<char*> argv{const_cast<char*>(programText.c_str())};
    for (const std::string& argument : arguments) {
        argv.push_back(const_cast<char*>(argument.c_str()));
    }
    argv.push_back(nullptr);
    std::vector<char*> envp;
    envp.reserve(environment.size() + 1);
    for (std::string& entry : environment) {
        envp.push_back(entry.data());
    }
    envp.push_back(nullptr);

    const int out = ::open(output.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    const int in = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    if (out == -1 || in == -1) {
        ::close(out);
        ::close(in);
        return;
    }
    const pid_t pid = ::fork();
    if (pid == 0) {
        // Only async-signal-safe calls between fork and exec.
        ::dup2(in, 0);
        ::dup2(out, 1);
        ::dup2(out, 2);
        ::execve(argv[0], argv.data(), envp.data());
        ::_exit(127);
    }
    ::close(out);
    ::close(in);
    m_state->pid = pid;
}

CRunningProgram::~CRunningProgram() {
    Kill();
}

bool CRunningProgram::Started() const {
    return m_state->pid > 0;
}

bool CRunningProgram::WaitFor(std::chrono::milliseconds limit, int& exitStatus) {
    if (!Started()) {
        return false;
    }
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!m_state->ended) {
        int status = 0;
        const pid_t result = ::waitpid(m_state->pid, &status, WNOHANG);
        if (result == m_state->pid) {
            m_state->ended = true;
            m_state->exitStatus = ExitStatusOf(status);
        } else if (result == -1 || std::chrono::steady_clock::now() >= deadline) {
            return false;
        } else {
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
    }
    exitStatus = m_state->exitStatus;
    return true;
}

bool CRunningProgram::Kill() {
    if (!Started() || m_state->ended) {
        return false;
    }
    // A program that has just ended is a zombie until reaped: the signal reaches nobody, and the
    // status below tells which happened.
    ::kill(m_state->pid, SIGKILL);
    int status = 0;
    while (::waitpid(m_state->pid, &status, 0) == -1 && errno == EINTR) {
    }
    m_state->ended = true;
    m_state->exitStatus = ExitStatusOf(status);
    return WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL;
}

unsigned long CRunningProgram::Id() const {
    return static_cast<unsigned long>(m_state->pid);
}

}  // namespace ProgramTests
