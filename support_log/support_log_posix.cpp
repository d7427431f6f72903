// The support log on POSIX: one descriptor opened with O_APPEND, one write() per line.
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/utsname.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <ctime>

#include "data_folder.h"
#include "file_system.h"
#include "path_walk.h"
#include "support_log.h"
#include "text_codec.h"
#include "unique_fd.h"

namespace SupportLog::System {

namespace {

// The name a wide path of the migration stands for; false when none does.
bool FileName(const std::wstring& path, std::string& name) noexcept {
    try {
        return TextCodec::FileNameFromWide(path, name);
    } catch (...) {
        return false;
    }
}

}  // namespace

std::intptr_t OpenRequestedLog() noexcept {
    const char* path = std::getenv(kVariable);
    if (path == nullptr || *path == '\0') {
        return kNoLogFile;
    }
    try {
        // The walk follows a link only by the durable-file layer's owner rule, so another user's
        // link never sends our lines into a file of theirs or, for root, into any file; and it
        // holds the folder it reached, so the name opened below is the one it checked.
        PosixFiles::IFileSystem& fs = PosixFiles::RealFileSystem();
        PosixFiles::LocatedFile at(fs);
        if (PosixFiles::Locate(fs, path, PosixFiles::OpenKind::Entry, at) != 0) {
            return kNoLogFile;
        }
        // O_NONBLOCK: opening a FIFO without a reader must not wait; the checks below refuse it.
        PosixFiles::CUniqueFd file(openat(
            at.folder.Get(), at.name.c_str(),
            O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NOCTTY | O_NONBLOCK | O_NOFOLLOW, 0600));
        // Only a plain file of ours with one name and write permission: a second name could be a
        // file elsewhere that someone linked here, and root ignores the mode bits we respect.
        struct stat status {};
        if (!file.IsOpen() || fstat(file.Get(), &status) != 0 || !S_ISREG(status.st_mode) ||
            status.st_uid != geteuid() || status.st_nlink != 1 || (status.st_mode & 0222) == 0) {
            return kNoLogFile;
        }
        return file.Release();
    } catch (...) {
        // Out of memory for the walk: no log, as for any log that cannot be opened.
        return kNoLogFile;
    }
}

bool AppendLine(std::intptr_t file, std::string_view line) noexcept {
    ssize_t written = -1;
    do {
        written = write(static_cast<int>(file), line.data(), line.size());
    } while (written < 0 && errno == EINTR);
    return written == static_cast<ssize_t>(line.size());
}

void FlushLog(std::intptr_t file) noexcept {
    fsync(static_cast<int>(file));
}

void CloseLog(std::intptr_t file) noexcept {
    PosixFiles::CUniqueFd(static_cast<int>(file)).Close();
}

const char* LineEnd() noexcept {
    return "\n";
}

UtcTime UtcNow() noexcept {
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    tm parts{};
    gmtime_r(&now.tv_sec, &parts);
    return {static_cast<unsigned>(parts.tm_year + 1900), static_cast<unsigned>(parts.tm_mon + 1),
            static_cast<unsigned>(parts.tm_mday),        static_cast<unsigned>(parts.tm_hour),
            static_cast<unsigned>(parts.tm_min),         static_cast<unsigned>(parts.tm_sec),
            static_cast<unsigned>(now.tv_nsec / 1000000)};
}

std::uint64_t Milliseconds() noexcept {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<std::uint64_t>(now.tv_sec) * 1000U +
           static_cast<std::uint64_t>(now.tv_nsec) / 1000000U;
}

std::uint32_t ProcessId() noexcept {
    return static_cast<std::uint32_t>(getpid());
}

std::string CommandLine(int argc, const char* const* argv) {
    std::string line;
    for (int i = 0; i < argc && argv != nullptr && argv[i] != nullptr; ++i) {
        line += i == 0 ? "" : " ";
        line += Quoted(std::string_view(argv[i]));
    }
    return line;
}

std::string SystemVersion() {
    // No Windows here: the system the program runs on instead.
    utsname name{};
    if (uname(&name) != 0) {
        return "system unknown";
    }
    return std::string(name.sysname) + " " + name.release;
}

std::string DataFolder() {
    return PosixFiles::LocalAppDataFolder(std::getenv);
}

bool PathExists(const std::wstring& path) noexcept {
    std::string name;
    struct stat status {};
    return FileName(path, name) && lstat(name.c_str(), &status) == 0;
}

bool IsReadOnlyFile(const std::wstring& path) noexcept {
    std::string name;
    struct stat status {};
    return FileName(path, name) && stat(name.c_str(), &status) == 0 && (status.st_mode & 0222) == 0;
}

}  // namespace SupportLog::System
