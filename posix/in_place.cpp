// Whole reads and writes, and the rewrite of a file where it is, under a restore record.
#include <cerrno>
#include <string>
#include <string_view>

#include "durable_parts.h"

namespace PosixFiles::Parts {

namespace {

constexpr std::size_t kReadChunk = std::size_t{64} * 1024;

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

// Claiming the room first lets a full disk stop the write before a byte changes.
int ReserveRoom(IFileSystem& fs, int fd, std::size_t oldSize, std::size_t newSize) {
    if (newSize <= oldSize) {
        return 0;
    }
    const int error = fs.Reserve(fd, newSize);
    return error == EOPNOTSUPP || error == ENOSYS ? 0 : error;
}

}  // namespace

Stored StoredBy(int error) {
    if (error == 0) {
        return Stored::Done;
    }
    return error == kChangedMeanwhile ? Stored::Changed : Stored::Failed;
}

bool ReadOpenFile(IFileSystem& fs, int fd, const FileStatus& status, std::string& bytes) {
    bytes.clear();
    if (!status.regular || status.size > kMaxFileSize) {
        return false;
    }
    bytes.reserve(static_cast<std::size_t>(status.size) + 1);
    if (!ReadAll(fs, fd, bytes)) {
        bytes.clear();
        return false;
    }
    return true;
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

bool Overwrite(IFileSystem& fs, int fd, std::string_view bytes) {
    return WriteAll(fs, fd, bytes) && fs.Truncate(fd, bytes.size()) == 0 && fs.Sync(fd) == 0;
}

bool FolderRefusesNewFiles(int error) {
    return error == EACCES || error == EPERM || error == EROFS;
}

bool Holds(IFileSystem& fs, const LocatedFile& at, const std::string& name) {
    FileStatus status;
    const int error = fs.StatAt(at.folder.Get(), name, status);
    if (!at.file.IsOpen()) {
        return error == ENOENT;
    }
    return error == 0 && !status.link && status.device == at.status.device &&
           status.inode == at.status.inode;
}

bool StillAsRead(IFileSystem& fs, const LocatedFile& at) {
    FileStatus now;
    return fs.Stat(at.file.Get(), now) == 0 && now.size == at.status.size &&
           now.modified == at.status.modified && now.changed == at.status.changed;
}

// Rewrites the file where it is, so that its names, owner and everything else stay. The restore
// record is committed beside it first, where the folder allows; a failure puts the old bytes back.
//
// The file is looked at once more just before its first byte changes: what another program
// writes to it from then on until the rewrite ends is overwritten, and cannot be told apart
// without that program's part in it.
Stored RewriteInPlace(IFileSystem& fs, const LocatedFile& at, const std::string& newBytes,
                      const std::string& oldBytes, bool roomForRecord) {
    const int fd = at.file.Get();
    const std::string record = RecordName(at);
    const int recordError =
        !roomForRecord ? EPERM
                       : CommitNewFile(fs, at, record, 0600, RecordBytes(oldBytes, newBytes),
                                       [&](int fresh, const FileStatus&) {
                                           GiveRecordAccess(fs, at, fresh);
                                           return 0;
                                       });
    // A read-only folder holds no record: there only a crash in the middle can leave the file torn.
    if (recordError != 0 && !FolderRefusesNewFiles(recordError)) {
        return Stored::Failed;
    }
    const bool committed = recordError == 0;
    if (!Holds(fs, at, at.name) || !StillAsRead(fs, at)) {
        if (committed) {
            fs.UnlinkAt(at.folder.Get(), record);
        }
        return Stored::Changed;
    }
    const int error = ReserveRoom(fs, fd, oldBytes.size(), newBytes.size());
    if (error == 0 && Overwrite(fs, fd, newBytes) &&
        (!committed || fs.UnlinkAt(at.folder.Get(), record) == 0)) {
        if (committed) {
            // Were the removal lost, a later run would put the old bytes back.
            fs.SyncFolder(at.folder.Get());
        }
        return Stored::Done;
    }
    // Without the old bytes back, the record stays for the next run to put them back.
    if ((error != 0 || Overwrite(fs, fd, oldBytes)) && committed) {
        fs.UnlinkAt(at.folder.Get(), record);
    }
    return Stored::Failed;
}

Stored CreateDirectly(IFileSystem& fs, const LocatedFile& at, const std::string& bytes) {
    CUniqueFd fd(fs);
    const int error = fs.CreateAt(at.folder.Get(), at.name, 0666, fd.Out());
    if (error == EEXIST) {
        return Stored::Changed;
    }
    if (error != 0 || !WriteAll(fs, fd.Get(), bytes) || fs.Sync(fd.Get()) != 0 || fd.Close() != 0) {
        return Stored::Failed;
    }
    fs.SyncFolder(at.folder.Get());
    return Stored::Done;
}

}  // namespace PosixFiles::Parts
