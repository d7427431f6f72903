#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "bench_platform.h"
#include "text_codec.h"

namespace Bench {

namespace {

bool WriteAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t written = ::write(fd, bytes.data(), bytes.size());
        if (written <= 0) {
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(written));
    }
    return true;
}

bool SyncFolder(const std::filesystem::path& folder) {
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd == -1) {
        return false;
    }
    const bool synced = ::fsync(fd) == 0;
    ::close(fd);
    return synced;
}

}  // namespace

bool DurableReplace(const std::filesystem::path& path, std::string_view bytes) {
    std::filesystem::path temp = path;
    temp += ".replace.tmp";
    const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd == -1) {
        return false;
    }
    const bool written = WriteAll(fd, bytes) && ::fsync(fd) == 0;
    if (::close(fd) != 0 || !written || ::rename(temp.c_str(), path.c_str()) != 0) {
        ::unlink(temp.c_str());
        return false;
    }
    const std::filesystem::path folder = path.parent_path();
    return SyncFolder(folder.empty() ? std::filesystem::path(".") : folder);
}

std::optional<std::uint64_t> BytesWrittenSoFar() {
    // "wchar" counts every byte passed to write(2) and its kin, whatever the file.
    std::ifstream io("/proc/self/io");
    std::string name;
    std::uint64_t value = 0;
    while (io >> name >> value) {
        if (name == "wchar:") {
            return value;
        }
    }
    return std::nullopt;
}

std::filesystem::path ProgramDataFolder(const std::filesystem::path& work) {
    return work / "program data";
}

bool RunProgram(const std::filesystem::path& program, const std::filesystem::path& dataFolder) {
    std::vector<std::string> environment;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        if (std::strncmp(*entry, "XDG_DATA_HOME=", 14) != 0) {
            environment.emplace_back(*entry);
        }
    }
    environment.push_back("XDG_DATA_HOME=" + dataFolder.string());
    std::vector<char*> envp;
    envp.reserve(environment.size() + 1);
    for (std::string& entry : environment) {
        envp.push_back(entry.data());
    }
    envp.push_back(nullptr);
    std::string path = program.string();
    std::string argument = "QX_NWTWAIN";
    char* argv[] = {path.data(), argument.data(), nullptr};
    pid_t child = 0;
    if (::posix_spawn(&child, path.c_str(), nullptr, nullptr, argv, envp.data()) != 0) {
        return false;
    }
    int status = 0;
    return ::waitpid(child, &status, 0) == child && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

std::wstring WidePath(const std::filesystem::path& path) {
    return TextCodec::WideFromFileName(path.string());
}

const char* PlatformName() {
    return "posix";
}

}  // namespace Bench
