// The launcher's operations on POSIX systems. There is no console window to hide and no
// version to report (0.0 keeps the version gate open); program packages are started directly,
// installer packages are handed to xdg-open.
#include <dirent.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>

#include "platform.h"

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

void WaitForChild(pid_t child) {
    int status = 0;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
}

class CPosixPlatform final : public ILauncherPlatform {
  public:
    // Closing the terminal must not end the launcher between two packages, leaving the running
    // one orphaned and the later ones never started; as with nohup, the packages inherit this.
    // SIGTERM and SIGINT still end it.
    CPosixPlatform() { std::signal(SIGHUP, SIG_IGN); }

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
        DIR* stream = opendir(folder.c_str());
        if (stream == nullptr) {
            return false;
        }
        try {
            while (const dirent* entry = readdir(stream)) {
                names.emplace_back(entry->d_name);
            }
        } catch (...) {
            closedir(stream);
            throw;
        }
        closedir(stream);
        return true;
    }

    OsVersion QueryVersion() override { return {}; }

    bool IsReadable(const std::string& path) override {
        // Non-blocking, so that a FIFO under a package name cannot hold the launcher here.
        const int file = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        if (file < 0) {
            return false;
        }
        // A folder opens for reading too, and is no package.
        struct stat info {};
        const bool readable = fstat(file, &info) == 0 && S_ISREG(info.st_mode);
        close(file);
        return readable;
    }

    bool QueryFileIdentity(const std::string& path, FileIdentity& identity) override {
        struct stat info {};
        if (path.empty() || stat(path.c_str(), &info) != 0) {
            return false;
        }
        identity.volume = static_cast<std::uint64_t>(info.st_dev);
        identity.index = static_cast<std::uint64_t>(info.st_ino);
        identity.size = static_cast<std::uint64_t>(info.st_size);
        identity.lastWrite =
            static_cast<std::int64_t>(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec;
        return true;
    }

    bool ReadFileContent(const std::string& path, std::uint64_t maxSize,
                         std::string& content) override {
        const int file = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        if (file < 0) {
            return false;
        }
        struct stat info {};
        bool complete = fstat(file, &info) == 0 && S_ISREG(info.st_mode) &&
                        static_cast<std::uint64_t>(info.st_size) <= maxSize;
        if (complete) {
            content.resize(static_cast<std::size_t>(info.st_size));
            std::size_t done = 0;
            while (complete && done < content.size()) {
                const ssize_t got = read(file, content.data() + done, content.size() - done);
                if (got > 0) {
                    done += static_cast<std::size_t>(got);
                } else if (got == 0 || errno != EINTR) {
                    complete = false;
                }
            }
        }
        close(file);
        return complete;
    }

    bool ReadEnvironment(const std::string& name, std::string& value) override {
        const char* found = std::getenv(name.c_str());
        if (found == nullptr) {
            return false;
        }
        value = found;
        return true;
    }

    void WriteEnvironment(const std::string& name, const std::string& value) override {
        setenv(name.c_str(), value.c_str(), 1);
    }

    ProcessHandle StartProgram(const std::string& path, const std::string& parameters) override {
        // No shell between us and the package, so nothing in the path needs quoting.
        std::string program = path;
        std::string parameter = parameters;
        char* childArguments[] = {program.data(), parameter.data(), nullptr};
        pid_t child = 0;
        if (posix_spawn(&child, path.c_str(), nullptr, nullptr, childArguments, environ) != 0) {
            return kNoProcess;
        }
        return static_cast<ProcessHandle>(child);
    }

    void WaitForProcessEnd(ProcessHandle process) override {
        WaitForChild(static_cast<pid_t>(process));
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
};

}  // namespace

std::unique_ptr<ILauncherPlatform> CreateSystemPlatform() {
    return std::make_unique<CPosixPlatform>();
}

}  // namespace SetupLauncher
