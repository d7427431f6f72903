#include "ini_store_posix.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string_view>

namespace NGUtils::IniEngine {

namespace {

// INI files are small; anything this large is no settings file and is never loaded whole.
constexpr std::uint64_t kMaxFileSize = 256ULL * 1024 * 1024;
constexpr std::size_t kReadChunk = std::size_t{64} * 1024;
constexpr int kMaxLinkHops = 40;
constexpr int kTempAttempts = 100;
// Keeps the temporary name within the usual 255-byte limit of a file name.
constexpr std::size_t kTempBaseLength = 128;

int ResultOf(int result) {
    return result == -1 ? errno : 0;
}

class PosixFileSystem final : public IFileSystem {
  public:
    int OpenRead(const std::string& path, int& fd) override {
        fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
        return ResultOf(fd);
    }

    int CreateNew(const std::string& path, unsigned mode, int& fd) override {
        fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                    static_cast<mode_t>(mode));
        return ResultOf(fd);
    }

    int OpenWrite(const std::string& path, int& fd) override {
        fd = ::open(path.c_str(), O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
        return ResultOf(fd);
    }

    int Read(int fd, char* buffer, std::size_t size, std::size_t& count) override {
        ssize_t result = 0;
        do {
            result = ::read(fd, buffer, size);
        } while (result == -1 && errno == EINTR);
        count = result > 0 ? static_cast<std::size_t>(result) : 0;
        return result == -1 ? errno : 0;
    }

    int WriteAt(int fd, const char* data, std::size_t size, std::uint64_t offset,
                std::size_t& count) override {
        ssize_t result = 0;
        do {
            result = ::pwrite(fd, data, size, static_cast<off_t>(offset));
        } while (result == -1 && errno == EINTR);
        count = result > 0 ? static_cast<std::size_t>(result) : 0;
        return result == -1 ? errno : 0;
    }

    int Stat(int fd, FileStatus& status) override {
        struct stat info {};
        if (::fstat(fd, &info) == -1) {
            return errno;
        }
        status.regular = S_ISREG(info.st_mode);
        status.mode = static_cast<unsigned>(info.st_mode & 07777);
        status.owner = static_cast<unsigned>(info.st_uid);
        status.group = static_cast<unsigned>(info.st_gid);
        status.size = static_cast<std::uint64_t>(info.st_size);
        return 0;
    }

    int ReadLink(const std::string& path, std::string& target) override {
        std::string buffer(256, '\0');
        for (;;) {
            const ssize_t length = ::readlink(path.c_str(), buffer.data(), buffer.size());
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

    int CheckWritable(const std::string& path) override {
        return ResultOf(::access(path.c_str(), W_OK));
    }

    int SetMode(int fd, unsigned mode) override {
        return ResultOf(::fchmod(fd, static_cast<mode_t>(mode)));
    }

    int SetOwner(int fd, unsigned owner, unsigned group) override {
        return ResultOf(::fchown(fd, static_cast<uid_t>(owner), static_cast<gid_t>(group)));
    }

    int Reserve(int fd, std::uint64_t length) override {
        int result = 0;
        do {
            result = ::posix_fallocate(fd, 0, static_cast<off_t>(length));
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

    int Rename(const std::string& from, const std::string& to) override {
        return ResultOf(::rename(from.c_str(), to.c_str()));
    }

    int SyncFolder(const std::string& folder) override {
        const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fd == -1) {
            return errno;
        }
        const int result = ResultOf(::fsync(fd));
        ::close(fd);
        return result;
    }

    int Unlink(const std::string& path) override { return ResultOf(::unlink(path.c_str())); }
};

// The folder part of a path with its final "/", or "" for a bare name.
std::string FolderPrefix(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::string NamePart(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Reads up to the end of the file into the room `bytes` already has, so that a file of the size
// it was seen to have comes in one read, and a second read finds the end.
bool ReadAll(IFileSystem& fs, int fd, std::string& bytes) {
    for (;;) {
        const std::size_t used = bytes.size();
        if (used > kMaxFileSize) {
            return false;
        }
        const std::size_t room = bytes.capacity() > used ? bytes.capacity() - used : kReadChunk;
        bytes.resize(used + room);
        std::size_t count = 0;
        if (fs.Read(fd, bytes.data() + used, room, count) != 0) {
            return false;
        }
        bytes.resize(used + count);
        if (count == 0) {
            return true;
        }
    }
}

bool WriteAll(IFileSystem& fs, int fd, std::string_view data) {
    std::size_t offset = 0;
    while (offset < data.size()) {
        std::size_t count = 0;
        if (fs.WriteAt(fd, data.data() + offset, data.size() - offset, offset, count) != 0 ||
            count == 0) {
            return false;
        }
        offset += count;
    }
    return true;
}

// Gives a new file what makes it the same file as `old` but for its text, as far as the process
// may: the owner and group (another user's file stays theirs where we may keep it so), then the
// mode, since a change of owner clears set-id bits. False when the mode cannot be set.
bool CarryMetadata(IFileSystem& fs, int fd, const FileStatus& old) {
    fs.SetOwner(fd, old.owner, old.group);
    return fs.SetMode(fd, old.mode) == 0;
}

// Without a temporary file there is no second copy: the file is rewritten where it is, and a
// failure puts the old bytes back as well as it can.
bool RewriteInPlace(IFileSystem& fs, const std::string& target, const std::string& newBytes,
                    const std::string& oldBytes) {
    int fd = -1;
    if (fs.OpenWrite(target, fd) != 0) {
        return false;
    }
    bool done = true;
    if (newBytes.size() > oldBytes.size()) {
        // Claiming the room first lets a full disk stop the write before a byte changes.
        const int error = fs.Reserve(fd, newBytes.size());
        done = error == 0 || error == EOPNOTSUPP || error == ENOSYS || error == EINVAL;
    }
    done = done && WriteAll(fs, fd, newBytes) && fs.Truncate(fd, newBytes.size()) == 0 &&
           fs.Sync(fd) == 0;
    if (!done) {
        WriteAll(fs, fd, oldBytes);
        fs.Truncate(fd, oldBytes.size());
        fs.Sync(fd);
    }
    // After a successful sync the new bytes are on disk whatever close says.
    fs.Close(fd);
    return done;
}

// Writes the new content beside the target, flushes it, and renames it over the target, so the
// target is at every moment either the old file or the new one. `old` is null for a new file.
bool ReplaceFile(IFileSystem& fs, const std::string& target, const std::string& newBytes,
                 const FileStatus* old, const std::string& oldBytes) {
    const std::string prefix = FolderPrefix(target);
    const std::string base = NamePart(target).substr(0, kTempBaseLength);
    const unsigned mode = old != nullptr ? old->mode : 0666;
    const std::string unique = std::to_string(::getpid());
    std::string temp;
    int fd = -1;
    int error = EEXIST;
    for (int attempt = 0; attempt < kTempAttempts && error == EEXIST; ++attempt) {
        // Another process's leftovers from a crash only cost another attempt.
        temp = prefix;
        temp.append(".").append(base).append(".").append(unique).append("-");
        temp.append(std::to_string(attempt)).append(".tmp");
        error = fs.CreateNew(temp, mode & 0777, fd);
    }
    if (error != 0) {
        // A folder that refuses new files does not stop a write to a file it already holds.
        if (old != nullptr && (error == EACCES || error == EPERM || error == EROFS)) {
            return RewriteInPlace(fs, target, newBytes, oldBytes);
        }
        return false;
    }
    auto abandon = [&](bool closeFirst) {
        if (closeFirst) {
            fs.Close(fd);
        }
        fs.Unlink(temp);
        return false;
    };
    if (old != nullptr && !CarryMetadata(fs, fd, *old)) {
        return abandon(true);
    }
    if (!WriteAll(fs, fd, newBytes) || fs.Sync(fd) != 0) {
        return abandon(true);
    }
    if (fs.Close(fd) != 0 || !CommitRename(fs, temp, target)) {
        return abandon(false);
    }
    return true;
}

}  // namespace

IFileSystem& RealFileSystem() {
    static PosixFileSystem system;
    return system;
}

ReadStatus ReadFileBytes(IFileSystem& fs, const std::string& path, std::string& bytes,
                         FileStatus* status) {
    bytes.clear();
    int fd = -1;
    const int error = fs.OpenRead(path, fd);
    if (error != 0) {
        return error == ENOENT ? ReadStatus::Missing : ReadStatus::Unreadable;
    }
    FileStatus info;
    ReadStatus result = ReadStatus::Unreadable;
    if (fs.Stat(fd, info) == 0 && info.regular && info.size <= kMaxFileSize) {
        bytes.reserve(static_cast<std::size_t>(info.size) + 1);
        result = ReadAll(fs, fd, bytes) ? ReadStatus::Ok : ReadStatus::Unreadable;
    }
    // Nothing was written through this descriptor, so how closing it goes does not matter.
    fs.Close(fd);
    if (result != ReadStatus::Ok) {
        bytes.clear();
    }
    if (status != nullptr) {
        *status = info;
    }
    return result;
}

std::optional<Text> ReadProfileValue(IFileSystem& fs, const std::string& path, TextView section,
                                     TextView key, std::size_t limit) {
    try {
        std::string bytes;
        if (path.empty() || ReadFileBytes(fs, path, bytes) != ReadStatus::Ok) {
            return std::nullopt;
        }
        return FindValue(bytes, section, key, limit);
    } catch (...) {
        return std::nullopt;
    }
}

bool WriteProfileEdit(IFileSystem& fs, const std::string& path, const Edit& edit) {
    try {
        std::string target;
        if (path.empty() || !IsAcceptedEdit(edit) || !ResolveWriteTarget(fs, path, target) ||
            NamePart(target).empty()) {
            return false;
        }
        std::string oldBytes;
        FileStatus status;
        const ReadStatus read = ReadFileBytes(fs, target, oldBytes, &status);
        if (read == ReadStatus::Unreadable) {
            return false;
        }
        std::string newBytes;
        switch (ApplyEdit(oldBytes, edit, newBytes)) {
            case EditOutcome::Refused:
                return false;
            case EditOutcome::Unchanged:
                // A deletion finds nothing to delete in a missing file, and leaves it empty.
                return read == ReadStatus::Ok || ReplaceFile(fs, target, {}, nullptr, oldBytes);
            case EditOutcome::Changed:
                break;
        }
        if (read == ReadStatus::Missing) {
            return ReplaceFile(fs, target, newBytes, nullptr, oldBytes);
        }
        // Root may write anything, so the mode bits decide as well: a read-only file stays so.
        if ((status.mode & 0222) == 0 || fs.CheckWritable(target) != 0) {
            return false;
        }
        return ReplaceFile(fs, target, newBytes, &status, oldBytes);
    } catch (...) {
        return false;
    }
}

bool ResolveWriteTarget(IFileSystem& fs, const std::string& path, std::string& target) {
    target = path;
    for (int hop = 0; hop < kMaxLinkHops; ++hop) {
        std::string link;
        const int error = fs.ReadLink(target, link);
        if (error == EINVAL || error == ENOENT) {
            return true;
        }
        if (error != 0 || link.empty()) {
            return false;
        }
        if (link.front() == '/') {
            target = link;
        } else {
            target = FolderPrefix(target).append(link);
        }
    }
    return false;
}

bool CommitRename(IFileSystem& fs, const std::string& from, const std::string& to) {
    if (fs.Rename(from, to) != 0) {
        return false;
    }
    // The rename is done either way; a failed folder sync only leaves it less durable.
    const std::string folder = FolderPrefix(to);
    fs.SyncFolder(folder.empty() ? "." : folder);
    return true;
}

bool CommitCopy(IFileSystem& fs, const std::string& from, const std::string& partial,
                const std::string& to) {
    try {
        std::string bytes;
        FileStatus status;
        if (ReadFileBytes(fs, from, bytes, &status) != ReadStatus::Ok) {
            return false;
        }
        const int gone = fs.Unlink(partial);
        int fd = -1;
        if ((gone != 0 && gone != ENOENT) || fs.CreateNew(partial, status.mode & 0777, fd) != 0) {
            return false;
        }
        const bool written =
            CarryMetadata(fs, fd, status) && WriteAll(fs, fd, bytes) && fs.Sync(fd) == 0;
        if (fs.Close(fd) != 0 || !written || !CommitRename(fs, partial, to)) {
            fs.Unlink(partial);
            return false;
        }
        return true;
    } catch (...) {
        return false;
    }
}

}  // namespace NGUtils::IniEngine
