// The file operations of the durable-file layer, as a seam: every step of a read or write goes
// through IFileSystem, so tests can make any single step fail, or stop the world after any step,
// and check that the file never ends up torn. RealFileSystem() is the system's own (Linux).
#pragma once

#include <fcntl.h>

#include <ctime>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace PosixFiles {

struct FileStatus {
    bool regular = false;
    bool folder = false;
    bool link = false;
    unsigned mode = 0;  // permission bits, with set-id and sticky bits
    unsigned owner = 0;
    unsigned group = 0;
    std::uint64_t size = 0;
    std::uint64_t links = 0;  // names of the file
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    std::int64_t modified = 0;  // last change of the content, in nanoseconds since 1970
    std::int64_t changed = 0;   // last change of the content or the metadata, likewise
};

// Where names are looked up when no folder descriptor is at hand.
constexpr int kCurrentFolder = AT_FDCWD;
// An owner or group that SetOwner leaves as it is.
constexpr unsigned kSameId = static_cast<unsigned>(-1);

enum class OpenKind {
    Entry,      // the name itself, a symbolic link included, only to look at or walk through
    Read,       // a file for reading; never a link, and never blocks on a FIFO or device
    ReadWrite,  // a file for reading and writing, not truncated; never a link
};

enum class RenameMode {
    Replace,    // whatever `to` names goes
    Exchange,   // `from` and `to` swap places
    NoReplace,  // EEXIST when `to` names anything
};

// The file operations the layer needs. Each returns 0 on success or an errno value. `folder`
// is a descriptor from OpenAt or kCurrentFolder; names are relative to it.
class IFileSystem {
  public:
    virtual ~IFileSystem() = default;

    virtual int OpenAt(int folder, const std::string& name, OpenKind kind, int& fd) = 0;
    // A folder in one step, refusing to pass any symbolic link on the way: ELOOP when one is
    // there, ENOSYS where the system cannot tell. Open for reading where the folder allows, else
    // as an Entry.
    virtual int OpenFolderWithoutLinks(const std::string& path, int& fd) = 0;
    // Creates a file that must not exist yet, for reading and writing.
    virtual int CreateAt(int folder, const std::string& name, unsigned mode, int& fd) = 0;
    virtual int Read(int fd, char* buffer, std::size_t size, std::size_t& count) = 0;
    virtual int WriteAt(int fd, const char* data, std::size_t size, std::uint64_t offset,
                        std::size_t& count) = 0;
    virtual int Stat(int fd, FileStatus& status) = 0;
    // The status of the name itself, a symbolic link included.
    virtual int StatAt(int folder, const std::string& name, FileStatus& status) = 0;
    // The text of a symbolic link opened as OpenKind::Entry.
    virtual int ReadLink(int fd, std::string& target) = 0;
    virtual int SetMode(int fd, unsigned mode) = 0;
    virtual int SetOwner(int fd, unsigned owner, unsigned group) = 0;
    // Extended attributes, the access ACL ("system.posix_acl_access") among them. `names` is
    // the list as the system gives it: each name ended by a NUL.
    virtual int ListAttributes(int fd, std::string& names) = 0;
    virtual int GetAttribute(int fd, const std::string& name, std::string& value) = 0;
    virtual int SetAttribute(int fd, const std::string& name, const std::string& value) = 0;
    virtual int RemoveAttribute(int fd, const std::string& name) = 0;
    // Makes sure the disk holds room for `length` bytes of the file without changing its size;
    // EOPNOTSUPP where the file system cannot.
    virtual int Reserve(int fd, std::uint64_t length) = 0;
    virtual int Truncate(int fd, std::uint64_t length) = 0;
    virtual int Sync(int fd) = 0;
    virtual int Close(int fd) = 0;
    // EINVAL where the file system cannot rename in that mode.
    virtual int RenameAt(int folder, const std::string& from, const std::string& to,
                         RenameMode mode) = 0;
    virtual int SyncFolder(int folder) = 0;
    virtual int UnlinkAt(int folder, const std::string& name) = 0;
    // The names in the folder, and whether it lets files be added but none renamed or removed
    // (append-only). A folder descriptor open for reading is read on from where it stands, so
    // it is listed once.
    virtual int ListFolder(int folder, std::vector<std::string>& names, bool& appendOnly) = 0;
    // An exclusive advisory lock on the open file, which goes with its last descriptor; without
    // `wait`, EWOULDBLOCK when another holds it.
    virtual int LockFile(int fd, bool wait) = 0;
};

// The system's own operations.
IFileSystem& RealFileSystem() noexcept;

// A time of the system's, in nanoseconds since 1970.
std::int64_t NanosecondsOf(const timespec& time) noexcept;

// Every name in the folder `fd` (".", ".." included), read to its end; 0 or an errno value.
int ListAllNames(int fd, std::vector<std::string>& names);

}  // namespace PosixFiles
