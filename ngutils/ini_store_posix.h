// The INI engine's file side on POSIX: reading a file afresh for every call, and replacing it
// after an edit so that a crash at any moment leaves either the old or the new file.
//
// Every file operation goes through IFileSystem, so tests can make any single step fail, or stop
// the world after any step, and check that the file never ends up torn.
#pragma once

#include <cstddef>
#include <cstdint>
#include <limits>
#include <optional>
#include <string>

#include "ini_document.h"

namespace NGUtils::IniEngine {

struct FileStatus {
    bool regular = false;
    unsigned mode = 0;  // permission bits, with set-id and sticky bits
    unsigned owner = 0;
    unsigned group = 0;
    std::uint64_t size = 0;
};

// The file operations the engine needs. Each returns 0 on success or an errno value.
class IFileSystem {
  public:
    virtual ~IFileSystem() = default;

    // For reading; never blocks on a FIFO or device.
    virtual int OpenRead(const std::string& path, int& fd) = 0;
    // Creates a file that must not exist yet, for writing.
    virtual int CreateNew(const std::string& path, unsigned mode, int& fd) = 0;
    // An existing file for writing, without truncating it.
    virtual int OpenWrite(const std::string& path, int& fd) = 0;
    virtual int Read(int fd, char* buffer, std::size_t size, std::size_t& count) = 0;
    virtual int WriteAt(int fd, const char* data, std::size_t size, std::uint64_t offset,
                        std::size_t& count) = 0;
    virtual int Stat(int fd, FileStatus& status) = 0;
    // EINVAL when the path is no symbolic link.
    virtual int ReadLink(const std::string& path, std::string& target) = 0;
    // Whether this user may write the file.
    virtual int CheckWritable(const std::string& path) = 0;
    virtual int SetMode(int fd, unsigned mode) = 0;
    virtual int SetOwner(int fd, unsigned owner, unsigned group) = 0;
    // Makes sure the disk holds room for `length` bytes of the file.
    virtual int Reserve(int fd, std::uint64_t length) = 0;
    virtual int Truncate(int fd, std::uint64_t length) = 0;
    virtual int Sync(int fd) = 0;
    virtual int Close(int fd) = 0;
    virtual int Rename(const std::string& from, const std::string& to) = 0;
    virtual int SyncFolder(const std::string& folder) = 0;
    virtual int Unlink(const std::string& path) = 0;
};

// The system's own operations.
IFileSystem& RealFileSystem();

enum class ReadStatus { Ok, Missing, Unreadable };

// The whole content of a regular file. A folder, FIFO, device or a file beyond the size limit is
// Unreadable; a path that names nothing is Missing.
ReadStatus ReadFileBytes(IFileSystem& fs, const std::string& path, std::string& bytes,
                         FileStatus* status = nullptr);

// The value as a reader sees it in the file now, at most `limit` characters of it; nothing when the
// file, section or key is missing.
std::optional<Text> ReadProfileValue(IFileSystem& fs, const std::string& path, TextView section,
                                     TextView key,
                                     std::size_t limit = std::numeric_limits<std::size_t>::max());

// Applies the edit to the file. True when the file holds the result afterwards: also when nothing
// had to change. Deleting from a file that does not exist leaves an empty file, as on Windows.
// False leaves the file as it was.
bool WriteProfileEdit(IFileSystem& fs, const std::string& path, const Edit& edit);

// The file a write to `path` changes: where its symbolic links lead, so that the links stay. A
// link to a missing file names the file to create. False when the links cannot be followed.
bool ResolveWriteTarget(IFileSystem& fs, const std::string& path, std::string& target);

// Makes `to` a complete, flushed copy of the regular file `from`, with its owner, group and mode
// where the process may set them. The bytes go to the new file `partial` first (a leftover of that
// name is replaced) and are renamed to `to` only when whole, so `to` never names part of a copy.
// False leaves nothing at `partial`.
bool CommitCopy(IFileSystem& fs, const std::string& from, const std::string& partial,
                const std::string& to);

// Renames `from` over `to` in one step and makes the rename durable as far as the folder allows.
bool CommitRename(IFileSystem& fs, const std::string& from, const std::string& to);

}  // namespace NGUtils::IniEngine
