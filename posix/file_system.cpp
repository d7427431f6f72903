// The file-system seam's real side: the system's own calls (Linux).
#include "file_system.h"

#include <dirent.h>
#include <linux/fs.h>
#include <linux/openat2.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <ctime>
#include <string>
#include <utility>
#include <vector>

#include "unique_fd.h"

namespace PosixFiles {

namespace {

int ResultOf(int result) {
    return result == -1 ? errno : 0;
}

int ResultOf(ssize_t result) {
    return result == -1 ? errno : 0;
}

// Opens without touching the access time where the process may (as the owner, or root): a
// write's own look at the file or its folder is no access by anyone, and every change of that
// time costs the flush that follows a journal entry of its own.
int OpenWithoutAccessTime(int folder, const char* name, int flags) {
    const int fd = ::openat(folder, name, flags | O_NOATIME);
    return fd == -1 && errno == EPERM ? ::openat(folder, name, flags) : fd;
}

class CPosixFileSystem final : public IFileSystem {
  public:
    int OpenAt(int folder, const std::string& name, OpenKind kind, int& fd) override {
        int flags = O_CLOEXEC | O_NOFOLLOW;
        switch (kind) {
            case OpenKind::Entry:
                flags |= O_PATH;
                break;
            case OpenKind::Read:
                flags |= O_RDONLY | O_NONBLOCK | O_NOCTTY;
                break;
            case OpenKind::ReadWrite:
                fd = OpenWithoutAccessTime(folder, name.c_str(),
                                           flags | O_RDWR | O_NONBLOCK | O_NOCTTY);
                return ResultOf(fd);
        }
        fd = ::openat(folder, name.c_str(), flags);
        return ResultOf(fd);
    }

    int OpenFolderWithoutLinks(const std::string& path, int& fd) override {
        // Open for reading where the folder lets us, so that listing and flushing it need no
        // descriptor of their own; the access time as in OpenWithoutAccessTime.
        open_how how{};
        how.resolve = RESOLVE_NO_SYMLINKS;
        long result = -1;
        for (const std::uint64_t flags :
             {O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NOATIME, O_RDONLY | O_DIRECTORY | O_CLOEXEC,
              O_PATH | O_DIRECTORY | O_CLOEXEC}) {
            how.flags = flags;
            result = ::syscall(SYS_openat2, AT_FDCWD, path.c_str(), &how, sizeof how);
            if (result != -1 || (errno != EPERM && errno != EACCES)) {
                break;
            }
        }
        fd = static_cast<int>(result);
        return result == -1 ? errno : 0;
    }

    int CreateAt(int folder, const std::string& name, unsigned mode, int& fd) override {
        fd = ::openat(folder, name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                      static_cast<mode_t>(mode));
        return ResultOf(fd);
    }

    int Read(int fd, char* buffer, std::size_t size, std::size_t& count) override {
        ssize_t result = 0;
        do {
            result = ::read(fd, buffer, size);
        } while (result == -1 && errno == EINTR);
        count = result > 0 ? static_cast<std::size_t>(result) : 0;
        return ResultOf(result);
    }

    int WriteAt(int fd, const char* data, std::size_t size, std::uint64_t offset,
                std::size_t& count) override {
        ssize_t result = 0;
        do {
            result = ::pwrite(fd, data, size, static_cast<off_t>(offset));
        } while (result == -1 && errno == EINTR);
        count = result > 0 ? static_cast<std::size_t>(result) : 0;
        return ResultOf(result);
    }

    int Stat(int fd, FileStatus& status) override {
        struct stat info {};
        if (::fstat(fd, &info) == -1) {
            return errno;
        }
        StatusOf(info, status);
        return 0;
    }

    int StatAt(int folder, const std::string& name, FileStatus& status) override {
        struct stat info {};
        if (::fstatat(folder, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) == -1) {
            return errno;
        }
        StatusOf(info, status);
        return 0;
    }

  private:
    static void StatusOf(const struct stat& info, FileStatus& status) {
        status.regular = S_ISREG(info.st_mode);
        status.folder = S_ISDIR(info.st_mode);
        status.link = S_ISLNK(info.st_mode);
        status.mode = static_cast<unsigned>(info.st_mode & 07777);
        status.owner = static_cast<unsigned>(info.st_uid);
        status.group = static_cast<unsigned>(info.st_gid);
        status.size = static_cast<std::uint64_t>(info.st_size);
        status.links = static_cast<std::uint64_t>(info.st_nlink);
        status.device = static_cast<std::uint64_t>(info.st_dev);
        status.inode = static_cast<std::uint64_t>(info.st_ino);
        status.modified = NanosecondsOf(info.st_mtim);
        status.changed = NanosecondsOf(info.st_ctim);
    }

  public:
    int ReadLink(int fd, std::string& target) override {
        std::string buffer(256, '\0');
        for (;;) {
            // The empty name reads the link the descriptor stands for.
            const ssize_t length = ::readlinkat(fd, "", buffer.data(), buffer.size());
            if (length == -1) {
                return errno;
            }
            if (static_cast<std::size_t>(length) < buffer.size()) {
                buffer.resize(static_cast<std::size_t>(length));
                target = buffer;
                return 0;
            }
            buffer.resize(buffer.size() * 2);
        }
    }

    int SetMode(int fd, unsigned mode) override {
        return ResultOf(::fchmod(fd, static_cast<mode_t>(mode)));
    }

    int SetOwner(int fd, unsigned owner, unsigned group) override {
        return ResultOf(::fchown(fd, static_cast<uid_t>(owner), static_cast<gid_t>(group)));
    }

    int ListAttributes(int fd, std::string& names) override {
        return Fetch(
            names, [fd](char* buffer, std::size_t size) { return ::flistxattr(fd, buffer, size); });
    }

    int GetAttribute(int fd, const std::string& name, std::string& value) override {
        return Fetch(value, [fd, &name](char* buffer, std::size_t size) {
            return ::fgetxattr(fd, name.c_str(), buffer, size);
        });
    }

    int SetAttribute(int fd, const std::string& name, const std::string& value) override {
        return ResultOf(::fsetxattr(fd, name.c_str(), value.data(), value.size(), 0));
    }

    int RemoveAttribute(int fd, const std::string& name) override {
        return ResultOf(::fremovexattr(fd, name.c_str()));
    }

    int Reserve(int fd, std::uint64_t length) override {
        // Not posix_fallocate: where the file system has no fallocate, glibc's stand-in writes
        // through the descriptor and changes the file's size.
        int result = 0;
        do {
            result = ResultOf(::fallocate(fd, FALLOC_FL_KEEP_SIZE, 0, static_cast<off_t>(length)));
        } while (result == EINTR);
        return result;
    }

    int Truncate(int fd, std::uint64_t length) override {
        return ResultOf(::ftruncate(fd, static_cast<off_t>(length)));
    }

    int Sync(int fd) override { return ResultOf(::fsync(fd)); }

    int Close(int fd) override {
        // On Linux the descriptor is gone even when close reports EINTR.
        const int result = ResultOf(::close(fd));
        return result == EINTR ? 0 : result;
    }

    int RenameAt(int folder, const std::string& from, const std::string& to,
                 RenameMode mode) override {
        unsigned flags = 0;
        if (mode == RenameMode::Exchange) {
            flags = RENAME_EXCHANGE;
        } else if (mode == RenameMode::NoReplace) {
            flags = RENAME_NOREPLACE;
        }
        return ResultOf(::renameat2(folder, from.c_str(), folder, to.c_str(), flags));
    }

    int SyncFolder(int folder) override {
        if (::fsync(folder) == 0) {
            return 0;
        }
        if (errno != EBADF) {
            return errno;
        }
        // A folder walked to is open only as a place; flushing needs it open for reading.
        const CUniqueFd fd(::openat(folder, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        if (!fd.IsOpen()) {
            return errno;
        }
        return ResultOf(::fsync(fd.Get()));
    }

    int UnlinkAt(int folder, const std::string& name) override {
        return ResultOf(::unlinkat(folder, name.c_str(), 0));
    }

    int ListFolder(int folder, std::vector<std::string>& names, bool& appendOnly) override {
        names.clear();
        appendOnly = false;
        // A file system without these flags has no append-only folders either. A folder open
        // only as a place answers neither this nor a listing, and is opened for reading here.
        int fd = folder;
        CUniqueFd own;
        int flags = 0;
        int result = ::ioctl(fd, FS_IOC_GETFLAGS, &flags);
        if (result == -1 && errno == EBADF) {
            own.Out() = OpenWithoutAccessTime(folder, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
            if (!own.IsOpen()) {
                return errno;
            }
            fd = own.Get();
            result = ::ioctl(fd, FS_IOC_GETFLAGS, &flags);
        }
        appendOnly = result == 0 && (flags & FS_APPEND_FL) != 0;
        // The entries straight from the system, as few calls as it takes: a directory stream
        // costs three more, and a chunk that left room for another entry was the last, since
        // the usual file systems fill each as far as it goes. One that stops short only leaves
        // some leftovers of dead writers for a later write.
        alignas(dirent64) char buffer[8192];
        constexpr std::size_t kLargestEntry = sizeof(dirent64) + 8;
        int error = 0;
        for (;;) {
            const ssize_t length = ::getdents64(fd, buffer, sizeof buffer);
            if (length <= 0) {
                error = length == 0 ? 0 : errno;
                break;
            }
            for (ssize_t at = 0; at < length;) {
                const auto* entry = reinterpret_cast<const dirent64*>(buffer + at);
                names.emplace_back(entry->d_name);
                at += entry->d_reclen;
            }
            if (static_cast<std::size_t>(length) + kLargestEntry <= sizeof buffer) {
                break;
            }
        }
        return error;
    }

    int LockFile(int fd, bool wait) override {
        int result = 0;
        do {
            result = ResultOf(::flock(fd, LOCK_EX | (wait ? 0 : LOCK_NB)));
        } while (result == EINTR);
        return result;
    }

  private:
    // A value of unknown length: asks for its size, then fetches it, again if it grew between.
    template <typename Call>
    static int Fetch(std::string& out, Call call) {
        for (;;) {
            const ssize_t size = call(nullptr, 0);
            if (size == -1) {
                return errno;
            }
            out.resize(static_cast<std::size_t>(size));
            if (size == 0) {
                return 0;
            }
            const ssize_t got = call(out.data(), out.size());
            if (got >= 0) {
                out.resize(static_cast<std::size_t>(got));
                return 0;
            }
            if (errno != ERANGE) {
                return errno;
            }
        }
    }
};

}  // namespace

IFileSystem& RealFileSystem() noexcept {
    static CPosixFileSystem system;
    return system;
}

std::int64_t NanosecondsOf(const timespec& time) noexcept {
    return static_cast<std::int64_t>(time.tv_sec) * 1000000000 + time.tv_nsec;
}

int ListAllNames(int fd, std::vector<std::string>& names) {
    alignas(dirent64) char buffer[8192];
    for (;;) {
        const ssize_t length = ::getdents64(fd, buffer, sizeof buffer);
        if (length <= 0) {
            return length == 0 ? 0 : errno;
        }
        for (ssize_t at = 0; at < length;) {
            const auto* entry = reinterpret_cast<const dirent64*>(buffer + at);
            names.emplace_back(entry->d_name);
            at += entry->d_reclen;
        }
    }
}

}  // namespace PosixFiles
