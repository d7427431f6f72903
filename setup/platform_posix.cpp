// The launcher's operations on POSIX systems. There is no console window to hide and no
// version to report (0.0 keeps the version gate open); program packages are started directly,
// installer packages are handed to xdg-open.
#include <fcntl.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <utility>

#include "file_system.h"
#include "platform.h"
#include "unique_fd.h"

// POSIX asks programs to declare it themselves; glibc also does in unistd.h.
extern char** environ;  // NOLINT(readability-redundant-declaration)

namespace SetupLauncher {

namespace {

bool IsRegularFile(const std::string& path) {
    struct stat info {};
    return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

// Empty when the program is not on PATH. Only absolute entries are searched: an empty or
// relative one would run whatever program of that name lies in the current folder.
std::string FindOnPath(const std::string& program) {
    const char* searchPath = std::getenv("PATH");
    if (searchPath == nullptr) {
        return {};
    }
    const std::string folders = searchPath;
    std::size_t start = 0;
    for (;;) {
        const std::size_t end = folders.find(':', start);
        std::string candidate =
            folders.substr(start, (end == std::string::npos ? folders.size() : end) - start);
        if (!candidate.empty() && candidate[0] == '/') {
            candidate.append("/").append(program);
            if (IsRegularFile(candidate) && access(candidate.c_str(), X_OK) == 0) {
                return candidate;
            }
        }
        if (end == std::string::npos) {
            return {};
        }
        start = end + 1;
    }
}

// A file that the kernel refused to execute is run by the shell, as execvp and xdg-open do,
// unless it is binary (a NUL before the end of its first line, as bash judges): a program for
// another system would only fill the terminal with the shell's complaints.
bool IsShellScript(const std::string& path) {
    const PosixFiles::CUniqueFd file(open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    if (!file.IsOpen()) {
        return false;
    }
    char head[256];
    ssize_t got = 0;
    do {
        got = read(file.Get(), head, sizeof(head));
    } while (got < 0 && errno == EINTR);
    if (got < 0) {
        return false;
    }
    const char* begin = head;
    const char* end = begin + got;
    const char* lineEnd = std::find(begin, end, '\n');
    return std::find(begin, lineEnd, '\0') == lineEnd;
}

// Whether the process listening on the abstract socket runs as this user: a name any user may
// bind counts only when its holder is one of ours.
bool IsHeldByThisUser(const sockaddr_un& address, socklen_t length) {
    const PosixFiles::CUniqueFd probe(socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
    if (!probe.IsOpen()) {
        return false;
    }
    ucred holder{};
    socklen_t size = sizeof(holder);
    return connect(probe.Get(), reinterpret_cast<const sockaddr*>(&address), length) == 0 &&
           getsockopt(probe.Get(), SOL_SOCKET, SO_PEERCRED, &holder, &size) == 0 &&
           holder.uid == geteuid();
}

std::optional<std::uint32_t> WaitForChild(pid_t child) {
    int status = 0;
    int result = 0;
    while ((result = waitpid(child, &status, 0)) < 0 && errno == EINTR) {
    }
    if (result < 0 || !WIFEXITED(status)) {
        return std::nullopt;
    }
    return static_cast<std::uint32_t>(WEXITSTATUS(status));
}

class CPosixPlatform final : public ILauncherPlatform {
  public:
    // Closing the terminal must not end the launcher between two packages, leaving the running
    // one orphaned and the later ones never started; as with nohup, the packages inherit this.
    // SIGTERM and SIGINT still end it.
    CPosixPlatform() { std::signal(SIGHUP, SIG_IGN); }
    CPosixPlatform(const CPosixPlatform&) = delete;
    CPosixPlatform& operator=(const CPosixPlatform&) = delete;

    ~CPosixPlatform() override = default;

    PathStyle Style() const override { return PathStyle::Posix; }

    std::size_t ConsoleProcessCount() override { return 0; }

    void HideConsoleWindow() override {}

    std::vector<std::string> Arguments(int argc, char** argv) override {
        std::vector<std::string> arguments;
        for (int i = 0; i < argc && argv[i] != nullptr; ++i) {
            arguments.emplace_back(argv[i]);
        }
        return arguments;
    }

    std::string ModulePath() override {
        std::string buffer(256, '\0');
        for (;;) {
            const ssize_t length = readlink("/proc/self/exe", buffer.data(), buffer.size());
            if (length < 0) {
                return {};
            }
            if (static_cast<std::size_t>(length) < buffer.size()) {
                buffer.resize(static_cast<std::size_t>(length));
                return buffer;
            }
            // The link may have been cut to fit: try again with room to spare.
            buffer.resize(buffer.size() * 2);
        }
    }

    bool ListFolder(const std::string& folder, std::vector<std::string>& names) override {
        const PosixFiles::CUniqueFd stream(
            open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        return stream.IsOpen() && PosixFiles::ListAllNames(stream.Get(), names) == 0;
    }

    OsVersion QueryVersion() override { return {}; }

    bool IsReadable(const std::string& path) override {
        // Non-blocking, so that a FIFO under a package name cannot hold the launcher here.
        const PosixFiles::CUniqueFd file(open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
        // A folder opens for reading too, and is no package.
        struct stat info {};
        return file.IsOpen() && fstat(file.Get(), &info) == 0 && S_ISREG(info.st_mode);
    }

    bool QueryFileIdentity(const std::string& path, FileIdentity& identity) override {
        struct stat info {};
        if (path.empty() || stat(path.c_str(), &info) != 0) {
            return false;
        }
        identity.volume = static_cast<std::uint64_t>(info.st_dev);
        identity.index = static_cast<std::uint64_t>(info.st_ino);
        identity.size = static_cast<std::uint64_t>(info.st_size);
        identity.lastWrite = PosixFiles::NanosecondsOf(info.st_mtim);
        return true;
    }

    bool ReadFileContent(const std::string& path, std::uint64_t maxSize,
                         std::string& content) override {
        const PosixFiles::CUniqueFd file(open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
        if (!file.IsOpen()) {
            return false;
        }
        struct stat info {};
        bool complete = fstat(file.Get(), &info) == 0 && S_ISREG(info.st_mode) &&
                        static_cast<std::uint64_t>(info.st_size) <= maxSize;
        if (complete) {
            content.resize(static_cast<std::size_t>(info.st_size));
            std::size_t done = 0;
            while (complete && done < content.size()) {
                const ssize_t got =
                    read(file.Get(), content.data() + done, content.size() - done);
                if (got > 0) {
                    done += static_cast<std::size_t>(got);
                } else if (got == 0 || errno != EINTR) {
                    complete = false;
                }
            }
        }
        return complete;
    }

    bool QueryFolderIdentity(const std::string& folder, FileIdentity& identity) override {
        struct stat info {};
        if (folder.empty() || stat(folder.c_str(), &info) != 0) {
            return false;
        }
        identity = {};
        identity.volume = static_cast<std::uint64_t>(info.st_dev);
        identity.index = static_cast<std::uint64_t>(info.st_ino);
        return true;
    }

    std::string ComparableFolderPath(const std::string& folder) override {
        char* resolved = realpath(folder.c_str(), nullptr);
        if (resolved == nullptr) {
            return {};
        }
        std::string path;
        try {
            path = resolved;
        } catch (...) {
            std::free(resolved);
            throw;
        }
        std::free(resolved);
        return path;
    }

    // The run is held as a listening socket in the abstract namespace, named by the user and the
    // key: nothing on disk that could be left behind, planted or removed, and the kernel drops the
    // name with the process. Any user may bind any such name, so a name found taken silences the
    // launcher only when its holder runs as this user (SO_PEERCRED); one held by another user, or
    // not listening, leaves this run unguarded instead. The descriptor is closed on exec, so no
    // package inherits the run.
    bool ClaimFolderRun(const std::string& key) override {
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        const std::string name = "SetupLauncher." + std::to_string(geteuid()) + "." + key;
        // The first byte stays NUL: that makes the name abstract.
        if (name.size() + 1 > sizeof(address.sun_path)) {
            return true;
        }
        std::memcpy(address.sun_path + 1, name.data(), name.size());
        const auto length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + name.size());
        PosixFiles::CUniqueFd guard(socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
        if (!guard.IsOpen()) {
            return true;
        }
        if (bind(guard.Get(), reinterpret_cast<const sockaddr*>(&address), length) == 0) {
            listen(guard.Get(), SOMAXCONN);
            m_runGuard = std::move(guard);
            return true;
        }
        const int error = errno;
        guard.Close();
        return error != EADDRINUSE || !IsHeldByThisUser(address, length);
    }

    ProcessHandle StartProgram(const std::string& path, const std::string& parameters) override {
        // No shell between us and the package, so nothing in the path needs quoting.
        std::string program = path;
        std::string parameter = parameters;
        char* childArguments[] = {program.data(), parameter.data(), nullptr};
        pid_t child = 0;
        int result = posix_spawn(&child, path.c_str(), nullptr, nullptr, childArguments, environ);
        if (result == ENOEXEC && IsShellScript(path)) {
            std::string shell = "/bin/sh";
            char* shellArguments[] = {shell.data(), program.data(), parameter.data(), nullptr};
            result = posix_spawn(&child, shell.c_str(), nullptr, nullptr, shellArguments, environ);
        }
        if (result != 0) {
            return kNoProcess;
        }
        return static_cast<ProcessHandle>(child);
    }

    std::optional<std::uint32_t> WaitForProcessEnd(ProcessHandle process) override {
        return WaitForChild(static_cast<pid_t>(process));
    }

    void OpenDocument(const std::string& path) override {
        std::string opener = FindOnPath("xdg-open");
        if (opener.empty()) {
            return;
        }
        std::string name = "xdg-open";
        std::string document = path;
        std::string shell = "/bin/sh";
        char* openerArguments[] = {name.data(), document.data(), nullptr};
        // A script without "#!" runs through the shell, as execvp does.
        char* shellArguments[] = {shell.data(), opener.data(), document.data(), nullptr};
        // The opener runs as a grandchild that init adopts, so it is never waited for and
        // never left behind as a zombie.
        const pid_t child = fork();
        if (child < 0) {
            return;
        }
        if (child == 0) {
            const pid_t grandchild = fork();
            if (grandchild == 0) {
                execve(opener.c_str(), openerArguments, environ);
                if (errno == ENOEXEC) {
                    execve(shell.c_str(), shellArguments, environ);
                }
                _exit(127);
            }
            _exit(0);
        }
        WaitForChild(child);
    }

  private:
    PosixFiles::CUniqueFd m_runGuard;
};

}  // namespace

std::unique_ptr<ILauncherPlatform> CreateSystemPlatform() {
    return std::make_unique<CPosixPlatform>();
}

}  // namespace SetupLauncher
