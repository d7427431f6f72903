#include "ini_store_posix.h"

#include <sys/random.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <csignal>
#include <ctime>
#include <string_view>
#include <utility>
#include <vector>

namespace NGUtils::IniEngine {

namespace {

// INI files are small; anything this large is no settings file and is never loaded whole.
constexpr std::uint64_t kMaxFileSize = 256ULL * 1024 * 1024;
constexpr std::size_t kReadChunk = std::size_t{64} * 1024;
constexpr int kMaxLinkHops = 40;
constexpr int kTempAttempts = 100;
// A program that keeps changing the file faster than a write takes is given up on after so many
// readings of it.
constexpr int kEditAttempts = 10;
// What the steps of a write report when the file is no longer what was read.
constexpr int kChangedMeanwhile = ESTALE;
// Keeps the temporary name within the usual 255-byte limit of a file name.
constexpr std::size_t kTempBaseLength = 128;

// A descriptor of the seam, closed when it goes out of scope.
class CDescriptor {
  public:
    explicit CDescriptor(IFileSystem& fs) : m_fs(&fs) {}
    CDescriptor(const CDescriptor&) = delete;
    CDescriptor& operator=(const CDescriptor&) = delete;
    CDescriptor(CDescriptor&& other) noexcept
        : m_fs(other.m_fs), m_fd(std::exchange(other.m_fd, -1)) {}
    CDescriptor& operator=(CDescriptor&& other) noexcept {
        if (this != &other) {
            Reset();
            m_fs = other.m_fs;
            m_fd = std::exchange(other.m_fd, -1);
        }
        return *this;
    }
    ~CDescriptor() { Reset(); }

    // Where an open call puts the new descriptor.
    int& Out() {
        Reset();
        return m_fd;
    }
    int Get() const { return m_fd; }
    bool IsOpen() const { return m_fd >= 0; }
    // Closes now, for the callers that care how closing went.
    int Close() {
        const int fd = std::exchange(m_fd, -1);
        return fd >= 0 ? m_fs->Close(fd) : 0;
    }

  private:
    void Reset() {
        if (m_fd >= 0) {
            m_fs->Close(std::exchange(m_fd, -1));
        }
    }

    IFileSystem* m_fs;
    int m_fd = -1;
};

// The file a path names after its links: the folder that holds it, its name there, and the file
// itself, opened, unless it does not exist yet.
struct ResolvedFile {
    explicit ResolvedFile(IFileSystem& fs) : folder(fs), file(fs) {}

    CDescriptor folder;
    std::string folderPath;  // the folder as a path without links; empty for the current one
    std::string name;
    CDescriptor file;
    FileStatus status;
};

std::string JoinPath(const std::string& folder, const std::string& name) {
    if (folder.empty()) {
        return name;
    }
    return folder.back() == '/' ? folder + name : folder + "/" + name;
}

std::vector<std::string> SplitPath(const std::string& text) {
    std::vector<std::string> names;
    std::size_t begin = 0;
    while (begin <= text.size()) {
        std::size_t end = text.find('/', begin);
        if (end == std::string::npos) {
            end = text.size();
        }
        std::string name = text.substr(begin, end - begin);
        if (!name.empty() && name != ".") {
            names.push_back(std::move(name));
        }
        begin = end + 1;
    }
    return names;
}

// The rule of protected symbolic links, in every folder: a link leads where its owner could
// have written anyway, or was set up by this very user. Root could write anywhere, so its links,
// such as the ones an administrator makes for home folders, lead anywhere.
int CheckLinkOwner(IFileSystem& fs, const FileStatus& link, ResolvedFile& target) {
    if (link.owner == static_cast<unsigned>(::geteuid()) || link.owner == 0) {
        return 0;
    }
    FileStatus reached = target.status;
    if (!target.file.IsOpen()) {
        // A link to a file yet to be made leads to the folder it would be made in.
        if (const int error = fs.Stat(target.folder.Get(), reached); error != 0) {
            return error;
        }
    }
    return link.owner == reached.owner ? 0 : EACCES;
}

// Opens a regular file for reading or writing where it was found; a device or FIFO is never
// opened for more than a look, since opening some of them does something. `status` becomes the
// opened file's.
int OpenFound(IFileSystem& fs, int folder, const std::string& name, OpenKind kind,
              CDescriptor& entry, FileStatus& status) {
    if (kind == OpenKind::Entry || !status.regular) {
        return 0;
    }
    CDescriptor file(fs);
    FileStatus now;
    int error = fs.OpenAt(folder, name, kind, file.Out());
    if (error == 0 && (error = fs.Stat(file.Get(), now)) == 0 &&
        (now.device != status.device || now.inode != status.inode)) {
        error = EAGAIN;
    }
    if (error == 0) {
        entry = std::move(file);
        status = now;
    }
    return error;
}

// Walks `text` from `folder` one name at a time. Each name is opened without following it; a
// link is followed by walking its own text from the folder that holds it, so a name swapped
// for a link meanwhile is never followed unchecked. The last name is opened as `last` when it is
// a regular file.
int Walk(IFileSystem& fs, CDescriptor folder, std::string folderPath, const std::string& text,
         OpenKind last, int& hops, ResolvedFile& out) {
    const std::vector<std::string> names = SplitPath(text);
    if (names.empty()) {
        return EISDIR;
    }
    // Without a folder to start from, a relative path starts in the current one.
    const bool absolute = text.front() == '/';
    if (absolute || !folder.IsOpen()) {
        if (const int error =
                fs.OpenAt(kCurrentFolder, absolute ? "/" : ".", OpenKind::Entry, folder.Out());
            error != 0) {
            return error;
        }
        folderPath.assign(absolute ? 1 : 0, '/');
    }
    for (std::size_t i = 0; i < names.size(); ++i) {
        const bool final = i + 1 == names.size();
        CDescriptor entry(fs);
        FileStatus status;
        int error = 0;
        // The walk ends at this name: what is there (nothing, when the name is free) in `folder`.
        const auto arrive = [&](CDescriptor found, const FileStatus& foundStatus) {
            out.folder = std::move(folder);
            out.folderPath = std::move(folderPath);
            out.name = names[i];
            out.file = std::move(found);
            out.status = foundStatus;
            return 0;
        };
        // A regular file, the usual last name, is opened after a look at its name alone; any
        // other entry is opened as a place first and looked at through that.
        if (final && last != OpenKind::Entry &&
            ((error = fs.StatAt(folder.Get(), names[i], status)) != 0 || status.regular)) {
            if (error == 0) {
                error = OpenFound(fs, folder.Get(), names[i], last, entry, status);
            }
            if (error != 0 && error != ENOENT) {
                return error;
            }
            return arrive(std::move(entry), status);
        }
        error = fs.OpenAt(folder.Get(), names[i], OpenKind::Entry, entry.Out());
        if (final && error == ENOENT) {
            return arrive(CDescriptor(fs), FileStatus{});
        }
        if (error != 0 || (error = fs.Stat(entry.Get(), status)) != 0) {
            return error;
        }
        if (status.link) {
            std::string linkText;
            if (++hops > kMaxLinkHops) {
                return ELOOP;
            }
            if ((error = fs.ReadLink(entry.Get(), linkText)) != 0) {
                return error;
            }
            if (linkText.empty()) {
                return ENOENT;
            }
            ResolvedFile target(fs);
            // The link's text starts in the folder that holds the link.
            if ((error = Walk(fs, std::move(folder), folderPath, linkText,
                              final ? last : OpenKind::Entry, hops, target)) != 0 ||
                (error = CheckLinkOwner(fs, status, target)) != 0) {
                return error;
            }
            if (final) {
                out = std::move(target);
                return 0;
            }
            if (!target.file.IsOpen()) {
                return ENOENT;
            }
            if (!target.status.folder) {
                return ENOTDIR;
            }
            folder = std::move(target.file);
            folderPath = JoinPath(target.folderPath, target.name);
            continue;
        }
        if (final) {
            if ((error = OpenFound(fs, folder.Get(), names[i], last, entry, status)) != 0) {
                return error;
            }
            return arrive(std::move(entry), status);
        }
        if (!status.folder) {
            return ENOTDIR;
        }
        folder = std::move(entry);
        folderPath = JoinPath(folderPath, names[i]);
    }
    return EISDIR;
}

int ResolveFile(IFileSystem& fs, const std::string& path, OpenKind kind, ResolvedFile& out) {
    // The walk could reach further than the system opens by name; what it does not, stays so.
    if (path.size() >= PATH_MAX) {
        return ENAMETOOLONG;
    }
    int hops = 0;
    // Most folders are reached without a link: then one call opens the folder, and only the last
    // name, which may be a link, is walked. Any link on the way means the walk from the start.
    const std::size_t slash = path.rfind('/');
    if (slash != std::string::npos && slash + 1 < path.size()) {
        const std::string name = path.substr(slash + 1);
        const std::string folderPath = slash == 0 ? "/" : path.substr(0, slash);
        CDescriptor folder(fs);
        if (name != "." && name != ".." &&
            fs.OpenFolderWithoutLinks(folderPath, folder.Out()) == 0) {
            return Walk(fs, std::move(folder), folderPath, name, kind, hops, out);
        }
    }
    return Walk(fs, CDescriptor(fs), {}, path, kind, hops, out);
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

// The copy of the old bytes that an edit in place commits before it changes the file.
std::string CopyName(const ResolvedFile& at) {
    // Named after the file's inode too: a copy left from before the file was replaced by a
    // new one belongs to no file any more.
    return "." + at.name + "." + std::to_string(at.status.inode) + ".restore";
}

// Temporary files are named ".<name>.<16 hex digits>.tmp": the random part keeps names apart in
// any PID namespace. The writer holds a lock on its temporary file while it lives, so a file of
// that pattern whose lock can be taken is a leftover of a writer that died.
constexpr std::size_t kRandomDigits = 16;
constexpr std::string_view kTempSuffix = ".tmp";

std::string TempPrefix(const std::string& name) {
    std::string prefix(1, '.');
    prefix.append(name, 0, kTempBaseLength).push_back('.');
    return prefix;
}

std::string RandomDigits() {
    std::uint64_t value = 0;
    if (::getrandom(&value, sizeof value, GRND_NONBLOCK) != static_cast<ssize_t>(sizeof value)) {
        // Only as unique as the clock and the process then; a clash costs another attempt.
        timespec now{};
        ::clock_gettime(CLOCK_MONOTONIC, &now);
        value ^= (static_cast<std::uint64_t>(now.tv_nsec) << 20) ^
                 static_cast<std::uint64_t>(now.tv_sec) ^
                 (static_cast<std::uint64_t>(::getpid()) << 40);
    }
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string digits(kRandomDigits, '0');
    for (char& digit : digits) {
        digit = kDigits[value & 0xF];
        value >>= 4;
    }
    return digits;
}

bool AllOf(std::string_view text, std::string_view allowed) {
    return !text.empty() && text.find_first_not_of(allowed) == std::string_view::npos;
}

// The temporary files of `name` in both the present pattern and the one of earlier versions,
// ".<name>.<pid>-<n>.tmp", whose writers held no lock and of which many may be left.
bool IsTempNameOf(std::string_view candidate, const std::string& prefix) {
    if (!candidate.starts_with(prefix) || !candidate.ends_with(kTempSuffix)) {
        return false;
    }
    candidate.remove_prefix(prefix.size());
    candidate.remove_suffix(kTempSuffix.size());
    if (candidate.size() == kRandomDigits && AllOf(candidate, "0123456789abcdef")) {
        return true;
    }
    const std::size_t dash = candidate.find('-');
    return dash != std::string_view::npos && AllOf(candidate.substr(0, dash), "0123456789") &&
           AllOf(candidate.substr(dash + 1), "0123456789");
}

// Removes the temporary files of `name` whose writers are gone. What cannot be removed stays.
void RemoveLeftovers(IFileSystem& fs, int folder, const std::string& name,
                     const std::vector<std::string>& names) {
    const std::string prefix = TempPrefix(name);
    for (const std::string& candidate : names) {
        if (!IsTempNameOf(candidate, prefix)) {
            continue;
        }
        CDescriptor fd(fs);
        FileStatus status;
        if (fs.OpenAt(folder, candidate, OpenKind::Read, fd.Out()) == 0 &&
            fs.Stat(fd.Get(), status) == 0 && status.regular && fs.LockFile(fd.Get(), false) == 0) {
            // Removed while the lock is held, so a writer that made it a moment ago and is
            // waiting for its lock finds its file gone and makes another.
            fs.UnlinkAt(folder, candidate);
        }
    }
}

// Creates a temporary file beside `name` and takes its lock; `status` is the new file's.
int CreateTemporary(IFileSystem& fs, int folder, const std::string& name, unsigned mode,
                    CDescriptor& fd, std::string& temp, FileStatus& status) {
    const std::string prefix = TempPrefix(name);
    for (int attempt = 0; attempt < kTempAttempts; ++attempt) {
        temp = prefix + RandomDigits() + std::string(kTempSuffix);
        int error = fs.CreateAt(folder, temp, mode, fd.Out());
        if (error == EEXIST) {
            continue;
        }
        if (error != 0 || (error = fs.LockFile(fd.Get(), true)) != 0 ||
            (error = fs.Stat(fd.Get(), status)) != 0) {
            fd.Close();
            fs.UnlinkAt(folder, temp);
            return error;
        }
        // Another writer took it for a leftover before the lock was ours.
        if (status.links != 0) {
            return 0;
        }
    }
    return EEXIST;
}

// A folder that refuses new files does not stop a write to a file it already holds.
bool FolderRefusesNewFiles(int error) {
    return error == EACCES || error == EPERM || error == EROFS;
}

// Whether `name` stands for the file that was found, or for nothing when none was.
bool Holds(IFileSystem& fs, const ResolvedFile& at, const std::string& name) {
    FileStatus status;
    const int error = fs.StatAt(at.folder.Get(), name, status);
    if (!at.file.IsOpen()) {
        return error == ENOENT;
    }
    return error == 0 && !status.link && status.device == at.status.device &&
           status.inode == at.status.inode;
}

// Whether the found file still has the text it had when it was read: the same size and times of
// the last change of its content and of anything.
bool StillAsRead(IFileSystem& fs, const ResolvedFile& at) {
    FileStatus now;
    return fs.Stat(at.file.Get(), now) == 0 && now.size == at.status.size &&
           now.modified == at.status.modified && now.changed == at.status.changed;
}

bool CannotRenameSo(int error) {
    return error == EINVAL || error == ENOSYS || error == EOPNOTSUPP;
}

// Puts the temporary file in the found file's place without ever replacing what another process
// may have put at the name meanwhile: the two are exchanged, and exchanged back when what came
// out is not the file that was found, as it was read. Where the file system cannot exchange, the
// name is looked at just before a plain rename. The rename is made as durable as the folder
// allows. kChangedMeanwhile when another program changed, replaced or created the file since it
// was read. On failure `temp` is the new file, unless `tempTaken`: then whatever came out could
// not be put back and keeps the temporary name.
//
// What cannot be seen: a program that opened the old file before the exchange and writes to it
// after the last look below writes into a file that is gone a moment later. The look comes after
// the folder's flush, so a program that writes within that time after opening the file (on a disk,
// a millisecond or more) is seen, and one that takes longer is not. No program can be kept out of
// that window without its own part in it: taking a lock, or writing only through a descriptor it
// opened after the last change. Neither is a change seen that keeps the size and falls within the
// same tick of the file system's clock as the reading.
int TakePlace(IFileSystem& fs, const ResolvedFile& at, const std::string& temp, bool& tempTaken) {
    const int folder = at.folder.Get();
    if (at.file.IsOpen() && !StillAsRead(fs, at)) {
        return kChangedMeanwhile;
    }
    int error = fs.RenameAt(folder, temp, at.name,
                            at.file.IsOpen() ? RenameMode::Exchange : RenameMode::NoReplace);
    const bool exchanged = at.file.IsOpen() && error == 0;
    if (CannotRenameSo(error)) {
        if (!Holds(fs, at, at.name)) {
            return kChangedMeanwhile;
        }
        error = fs.RenameAt(folder, temp, at.name, RenameMode::Replace);
    }
    if (error == EEXIST && !at.file.IsOpen()) {
        return kChangedMeanwhile;
    }
    if (error != 0) {
        return error;
    }
    // A failed flush only leaves the rename less durable.
    fs.SyncFolder(folder);
    if (!exchanged) {
        return 0;
    }
    // The old file has the temporary name now, and was renamed; what was written to it up to
    // here is seen.
    FileStatus old;
    if (fs.StatAt(folder, temp, old) == 0 && !old.link && old.device == at.status.device &&
        old.inode == at.status.inode && old.size == at.status.size &&
        old.modified == at.status.modified && (error = fs.UnlinkAt(folder, temp)) == 0) {
        return 0;
    }
    tempTaken = fs.RenameAt(folder, temp, at.name, RenameMode::Exchange) != 0;
    if (!tempTaken) {
        fs.SyncFolder(folder);
    }
    return error != 0 ? error : kChangedMeanwhile;
}

// Writes `bytes` to a new temporary file, flushes it and renames it to `to`. `prepare` runs on
// the new file and its status before its bytes are written; its error abandons the file.
template <typename Prepare>
int CommitNewFile(IFileSystem& fs, const ResolvedFile& at, const std::string& to, unsigned mode,
                  std::string_view bytes, Prepare prepare) {
    CDescriptor fd(fs);
    std::string temp;
    FileStatus status;
    int error = CreateTemporary(fs, at.folder.Get(), at.name, mode, fd, temp, status);
    if (error != 0) {
        return error;
    }
    if ((error = prepare(fd.Get(), status)) == 0) {
        error = WriteAll(fs, fd.Get(), bytes) && fs.Sync(fd.Get()) == 0 ? 0 : EIO;
    }
    if (error == 0) {
        error = fd.Close();
    }
    bool tempTaken = false;
    if (error == 0 && to == at.name) {
        error = TakePlace(fs, at, temp, tempTaken);
    } else if (error == 0 &&
               (error = fs.RenameAt(at.folder.Get(), temp, to, RenameMode::Replace)) == 0) {
        // The new file is in place either way; a failed flush only leaves the rename less
        // durable.
        fs.SyncFolder(at.folder.Get());
    }
    if (error != 0) {
        fd.Close();
        if (!tempTaken) {
            fs.UnlinkAt(at.folder.Get(), temp);
        }
    }
    return error;
}

// Names of the extended attributes; none where the file system has none.
int AttributeNames(IFileSystem& fs, int fd, std::vector<std::string>& names) {
    std::string list;
    const int error = fs.ListAttributes(fd, list);
    if (error == ENOTSUP || error == EOPNOTSUPP) {
        list.clear();
    } else if (error != 0) {
        return error;
    }
    names.clear();
    for (std::size_t begin = 0; begin < list.size();) {
        std::size_t end = list.find('\0', begin);
        if (end == std::string::npos) {
            end = list.size();
        }
        if (end > begin) {
            names.push_back(list.substr(begin, end - begin));
        }
        begin = end + 1;
    }
    return 0;
}

// Gives the new file `fresh`, whose status is `status`, the owner, group, extended attributes (the
// ACL among them) and mode of `old`. Any error means the new file would differ from the old one in
// more than its text.
int CarryOver(IFileSystem& fs, int old, const FileStatus& oldStatus, int fresh, FileStatus status) {
    int error = 0;
    const bool ownerSet = status.owner != oldStatus.owner || status.group != oldStatus.group;
    if (ownerSet && fs.SetOwner(fresh, oldStatus.owner, oldStatus.group) != 0) {
        // A user may give the file a group of theirs, though not an owner.
        error = fs.SetOwner(fresh, kSameId, oldStatus.group);
    }
    std::vector<std::string> oldNames;
    std::vector<std::string> freshNames;
    if (error != 0 || (error = AttributeNames(fs, old, oldNames)) != 0 ||
        (error = AttributeNames(fs, fresh, freshNames)) != 0) {
        return error;
    }
    // A default ACL of the folder gives a new file an ACL the old one may not have.
    for (const std::string& name : freshNames) {
        if (std::find(oldNames.begin(), oldNames.end(), name) == oldNames.end() &&
            (error = fs.RemoveAttribute(fresh, name)) != 0) {
            return error;
        }
    }
    for (const std::string& name : oldNames) {
        std::string value;
        if ((error = fs.GetAttribute(old, name, value)) != 0 ||
            (error = fs.SetAttribute(fresh, name, value)) != 0) {
            return error;
        }
    }
    // The mode last: a change of owner clears set-id bits, and the ACL sets the group bits.
    // Without a change of owner or set-id bits the mode is as set; otherwise it is looked at.
    if ((error = fs.SetMode(fresh, oldStatus.mode)) != 0) {
        return error;
    }
    if (!ownerSet && (oldStatus.mode & 06000) == 0) {
        return 0;
    }
    if ((error = fs.Stat(fresh, status)) != 0) {
        return error;
    }
    const bool same = status.owner == oldStatus.owner && status.group == oldStatus.group &&
                      status.mode == oldStatus.mode;
    return same ? 0 : EPERM;
}

// How a write of the located file went. Changed: another program changed the file since it was
// read, and it stays as that program left it.
enum class Stored { Done, Failed, Changed };

Stored StoredBy(int error) {
    if (error == 0) {
        return Stored::Done;
    }
    return error == kChangedMeanwhile ? Stored::Changed : Stored::Failed;
}

enum class Outcome { Done, Failed, Changed, InPlace };

// Replaces the file by a new one with the new bytes, so that it is at every moment either the
// old file or the new one. InPlace when the new file could not be made the same as the old in
// everything but its text, or the folder does not let it take the old one's place.
Outcome ReplaceFile(IFileSystem& fs, const ResolvedFile& at, const std::string& newBytes) {
    const int error =
        CommitNewFile(fs, at, at.name, 0600, newBytes, [&](int fresh, const FileStatus& status) {
            // Told apart from the errors of writing, which fail the edit.
            return CarryOver(fs, at.file.Get(), at.status, fresh, status) == 0 ? 0 : ENOTSUP;
        });
    if (error == 0) {
        return Outcome::Done;
    }
    if (error == kChangedMeanwhile) {
        return Outcome::Changed;
    }
    return error == ENOTSUP || FolderRefusesNewFiles(error) ? Outcome::InPlace : Outcome::Failed;
}

// Rewrites the file where it is, so that its names, owner and everything else stay. The old
// bytes are committed beside it first, where the folder allows; a failure puts them back.
//
// The file is looked at once more just before its first byte changes: what another program
// writes to it from then on until the rewrite ends is overwritten, and cannot be told apart
// without that program's part in it (as in TakePlace).
Stored RewriteInPlace(IFileSystem& fs, const ResolvedFile& at, const std::string& newBytes,
                      const std::string& oldBytes, bool roomForCopy) {
    const int fd = at.file.Get();
    const std::string copy = CopyName(at);
    const int copyError =
        !roomForCopy
            ? EPERM
            : CommitNewFile(fs, at, copy, 0600, oldBytes, [&](int fresh, const FileStatus&) {
                  // The file's owner can then read and remove it too; where it cannot be given away
                  // it stays this user's, which counts as well.
                  fs.SetOwner(fresh, at.status.owner, at.status.group);
                  fs.SetMode(fresh, at.status.mode & 0666);
                  return 0;
              });
    // A read-only folder holds no copy: there only a crash in the middle can leave the file torn.
    if (copyError != 0 && !FolderRefusesNewFiles(copyError)) {
        return Stored::Failed;
    }
    const bool committed = copyError == 0;
    if (!Holds(fs, at, at.name) || !StillAsRead(fs, at)) {
        if (committed) {
            fs.UnlinkAt(at.folder.Get(), copy);
        }
        return Stored::Changed;
    }
    int error = 0;
    if (newBytes.size() > oldBytes.size()) {
        // Claiming the room first lets a full disk stop the write before a byte changes.
        error = fs.Reserve(fd, newBytes.size());
        if (error == EOPNOTSUPP || error == ENOSYS) {
            error = 0;
        }
    }
    const bool untouched = error != 0;
    if (error == 0 && Overwrite(fs, fd, newBytes) &&
        (!committed || fs.UnlinkAt(at.folder.Get(), copy) == 0)) {
        if (committed) {
            // Were the removal lost, a later run would put the old bytes back.
            fs.SyncFolder(at.folder.Get());
        }
        return Stored::Done;
    }
    // Without the old bytes back, the copy stays for the next run to put them back.
    if ((untouched || Overwrite(fs, fd, oldBytes)) && committed) {
        fs.UnlinkAt(at.folder.Get(), copy);
    }
    return Stored::Failed;
}

// A copy of the old bytes is there when an edit in place was cut short: the file then holds the
// old bytes, the new ones or a mix, and the copy's bytes are the last whole state. They go back
// into the file, `bytes` gets them, and the copy goes. False when a copy is there that could
// not be dealt with; `bytes` is then empty or the copy's bytes, which a reader can still use.
bool RestoreCutShortEdit(IFileSystem& fs, const ResolvedFile& at, std::string& bytes, bool& found) {
    found = false;
    bytes.clear();
    if (!at.file.IsOpen()) {
        return true;
    }
    const std::string copyName = CopyName(at);
    CDescriptor copy(fs);
    const int error = fs.OpenAt(at.folder.Get(), copyName, OpenKind::Read, copy.Out());
    if (error == ENOENT) {
        return true;
    }
    FileStatus status;
    if (error != 0 || fs.Stat(copy.Get(), status) != 0) {
        return false;
    }
    // Only a copy this user or the file's owner made counts: anyone else's bytes could be
    // what they may not write themselves.
    const auto self = static_cast<unsigned>(::geteuid());
    if (!status.regular || status.links != 1 ||
        (status.owner != self && status.owner != at.status.owner)) {
        return true;
    }
    found = true;
    if (!ReadOpenFile(fs, copy.Get(), status, bytes)) {
        return false;
    }
    CDescriptor file(fs);
    FileStatus now;
    if (fs.OpenAt(at.folder.Get(), at.name, OpenKind::ReadWrite, file.Out()) != 0 ||
        fs.Stat(file.Get(), now) != 0 || now.inode != at.status.inode ||
        now.device != at.status.device || !Overwrite(fs, file.Get(), bytes) ||
        fs.UnlinkAt(at.folder.Get(), copyName) != 0) {
        return false;
    }
    fs.SyncFolder(at.folder.Get());
    return true;
}

// Finds the file for writing and reads what it holds now, after putting back the bytes of an
// edit that was cut short. False when it may not or cannot be written.
bool LoadForWriting(IFileSystem& fs, const std::string& path, ResolvedFile& at,
                    std::string& bytes) {
    // Root may write anything, so the mode bits decide as well: a read-only file stays so.
    if (path.empty() || ResolveFile(fs, path, OpenKind::ReadWrite, at) != 0 ||
        (at.file.IsOpen() && (!at.status.regular || (at.status.mode & 0222) == 0))) {
        return false;
    }
    bool found = false;
    if (!RestoreCutShortEdit(fs, at, bytes, found)) {
        return false;
    }
    if (!at.file.IsOpen()) {
        bytes.clear();
        return true;
    }
    if (found) {
        // Putting the bytes back changed the file's times.
        return fs.Stat(at.file.Get(), at.status) == 0;
    }
    return ReadOpenFile(fs, at.file.Get(), at.status, bytes);
}

// In an append-only folder nothing made there could go again, so a new file is written at its
// name at once; a crash can leave it short there, as on Windows.
Stored CreateDirectly(IFileSystem& fs, const ResolvedFile& at, const std::string& bytes) {
    CDescriptor fd(fs);
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

// Removes the leftovers of the located file's writers that are gone; `appendOnly` tells whether
// its folder lets nothing made there go again.
void RemoveLeftoversBeside(IFileSystem& fs, const ResolvedFile& at, bool& appendOnly) {
    std::vector<std::string> names;
    appendOnly = false;
    // A folder that cannot be listed still takes the write; its leftovers wait for another one.
    if (fs.ListFolder(at.folder.Get(), names, appendOnly) == 0 && !appendOnly) {
        RemoveLeftovers(fs, at.folder.Get(), at.name, names);
    }
}

// Gives the located file its new bytes by the rule of the header.
Stored StoreBytes(IFileSystem& fs, const ResolvedFile& at, const std::string& newBytes,
                  const std::string& oldBytes) {
    bool appendOnly = false;
    RemoveLeftoversBeside(fs, at, appendOnly);
    if (appendOnly) {
        // Found before any temporary file is made: neither it nor a copy of the old bytes
        // could be renamed or removed there.
        return at.file.IsOpen() ? RewriteInPlace(fs, at, newBytes, oldBytes, false)
                                : CreateDirectly(fs, at, newBytes);
    }
    if (!at.file.IsOpen()) {
        return StoredBy(CommitNewFile(fs, at, at.name, 0666, newBytes,
                                      [](int, const FileStatus&) { return 0; }));
    }
    if (at.status.links == 1) {
        switch (ReplaceFile(fs, at, newBytes)) {
            case Outcome::Done:
                return Stored::Done;
            case Outcome::Failed:
                return Stored::Failed;
            case Outcome::Changed:
                return Stored::Changed;
            case Outcome::InPlace:
                break;
        }
    }
    return RewriteInPlace(fs, at, newBytes, oldBytes, true);
}

// A write beyond the process's file-size limit fails with EFBIG like any other failed write
// instead of ending the process by SIGXFSZ with the file half done. The signal is ignored only
// while the engine writes and its disposition is put back afterwards, so a program that handles
// it, or wants to be ended by it elsewhere, keeps that. An ignored signal is discarded when it
// is raised, so none is left pending either. The programs have a single thread.
class CFileSizeSignalIgnored {
  public:
    CFileSizeSignalIgnored() {
        struct sigaction ignore {};
        ignore.sa_handler = SIG_IGN;
        sigemptyset(&ignore.sa_mask);
        m_saved = ::sigaction(SIGXFSZ, &ignore, &m_previous) == 0;
    }
    CFileSizeSignalIgnored(const CFileSizeSignalIgnored&) = delete;
    CFileSizeSignalIgnored& operator=(const CFileSizeSignalIgnored&) = delete;
    ~CFileSizeSignalIgnored() {
        if (m_saved) {
            ::sigaction(SIGXFSZ, &m_previous, nullptr);
        }
    }

  private:
    struct sigaction m_previous {};
    bool m_saved = false;
};

// Reads the file, has `edit` make its new bytes from the old ones, and stores them. A file that
// another program changed in the meantime is read again and edited anew, up to kEditAttempts
// times; then the write fails and the file stays as that program left it.
template <typename MakeBytes>
bool EditFile(IFileSystem& fs, const std::string& path, MakeBytes edit) {
    const CFileSizeSignalIgnored quiet;
    for (int attempt = 0; attempt < kEditAttempts; ++attempt) {
        ResolvedFile at(fs);
        std::string oldBytes;
        if (!LoadForWriting(fs, path, at, oldBytes)) {
            return false;
        }
        std::string newBytes;
        switch (edit(at, oldBytes, newBytes)) {
            case EditOutcome::Refused:
                return false;
            case EditOutcome::Unchanged:
                // A writer killed after its exchange leaves its temporary file beside a file
                // that already holds the bytes asked for: it goes here too, or it would wait
                // for a change that may never come.
                if (at.file.IsOpen()) {
                    bool appendOnly = false;
                    RemoveLeftoversBeside(fs, at, appendOnly);
                }
                return true;
            case EditOutcome::Changed:
                break;
        }
        const Stored stored = StoreBytes(fs, at, newBytes, oldBytes);
        if (stored != Stored::Changed) {
            return stored == Stored::Done;
        }
    }
    return false;
}

// ReadFileBytes without its catch, for the routines that catch at their own entry.
ReadStatus LoadFile(IFileSystem& fs, const std::string& path, std::string& bytes,
                    FileStatus* status) {
    bytes.clear();
    // Putting back the bytes of an edit cut short writes too.
    const CFileSizeSignalIgnored quiet;
    ResolvedFile at(fs);
    const int error = ResolveFile(fs, path, OpenKind::Read, at);
    if (status != nullptr) {
        *status = at.status;
    }
    if (error != 0) {
        return error == ENOENT ? ReadStatus::Missing : ReadStatus::Unreadable;
    }
    bool found = false;
    // A copy that could not be put back is still the last whole state; one that could not even
    // be read leaves the file as the best there is.
    if (RestoreCutShortEdit(fs, at, bytes, found) ? found : !bytes.empty()) {
        return ReadStatus::Ok;
    }
    if (!at.file.IsOpen()) {
        return ReadStatus::Missing;
    }
    return ReadOpenFile(fs, at.file.Get(), at.status, bytes) ? ReadStatus::Ok
                                                             : ReadStatus::Unreadable;
}

}  // namespace

ReadStatus ReadFileBytes(IFileSystem& fs, const std::string& path, std::string& bytes,
                         FileStatus* status) noexcept {
    try {
        return LoadFile(fs, path, bytes, status);
    } catch (...) {
        // Out of memory: a file this process cannot hold reads as one it cannot read.
        bytes.clear();
        return ReadStatus::Unreadable;
    }
}

std::optional<Text> ReadProfileValue(IFileSystem& fs, const std::string& path, TextView section,
                                     TextView key, std::size_t limit) {
    std::string bytes;
    if (path.empty() || LoadFile(fs, path, bytes, nullptr) != ReadStatus::Ok) {
        return std::nullopt;
    }
    return FindValue(bytes, section, key, limit);
}

std::vector<Text> ReadProfileNames(IFileSystem& fs, const std::string& path,
                                   const TextView* section) {
    std::string bytes;
    if (path.empty() || LoadFile(fs, path, bytes, nullptr) != ReadStatus::Ok) {
        return {};
    }
    return section != nullptr ? KeyNames(bytes, *section) : SectionNames(bytes);
}

bool WriteProfileEdit(IFileSystem& fs, const std::string& path, const Edit& edit) {
    if (!IsAcceptedEdit(edit)) {
        return false;
    }
    return EditFile(
        fs, path,
        [&edit](const ResolvedFile& at, const std::string& oldBytes, std::string& newBytes) {
            const EditOutcome outcome = ApplyEdit(oldBytes, edit, newBytes);
            if (outcome == EditOutcome::Unchanged && !at.file.IsOpen()) {
                // A deletion finds nothing to delete in a missing file, and leaves it empty.
                newBytes.clear();
                return EditOutcome::Changed;
            }
            return outcome;
        });
}

bool WriteFileContent(IFileSystem& fs, const std::string& path, const std::string& bytes) noexcept {
    try {
        return EditFile(
            fs, path,
            [&bytes](const ResolvedFile& at, const std::string& oldBytes, std::string& newBytes) {
                if (at.file.IsOpen() && oldBytes == bytes) {
                    return EditOutcome::Unchanged;
                }
                newBytes = bytes;
                return EditOutcome::Changed;
            });
    } catch (...) {
        // Out of memory: a failed write like any other, which every caller already handles.
        return false;
    }
}

ReplaceOutcome ReplaceUnchangedFile(IFileSystem& fs, const std::string& path,
                                    const FileStatus& expected, const std::string& expectedBytes,
                                    const std::string& bytes) noexcept {
    try {
        bool changed = false;
        const bool done = EditFile(
            fs, path,
            [&](const ResolvedFile& at, const std::string& oldBytes, std::string& newBytes) {
                const FileStatus& now = at.status;
                if (!at.file.IsOpen() || now.device != expected.device ||
                    now.inode != expected.inode || now.size != expected.size ||
                    now.modified != expected.modified || oldBytes != expectedBytes) {
                    changed = true;
                    return EditOutcome::Refused;
                }
                if (oldBytes == bytes) {
                    return EditOutcome::Unchanged;
                }
                newBytes = bytes;
                return EditOutcome::Changed;
            });
        if (done) {
            return ReplaceOutcome::Done;
        }
        return changed ? ReplaceOutcome::Changed : ReplaceOutcome::Failed;
    } catch (...) {
        // Out of memory: a failed write, which leaves the file as it was.
        return ReplaceOutcome::Failed;
    }
}

bool ResolveWriteTarget(IFileSystem& fs, const std::string& path, std::string& target) noexcept {
    try {
        ResolvedFile at(fs);
        if (path.empty() || ResolveFile(fs, path, OpenKind::Entry, at) != 0) {
            return false;
        }
        target = JoinPath(at.folderPath, at.name);
        return true;
    } catch (...) {
        // Out of memory: no target, as for a file the walk cannot reach; nothing was written.
        return false;
    }
}

}  // namespace NGUtils::IniEngine
