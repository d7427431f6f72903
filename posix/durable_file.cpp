#include "durable_file.h"

#include <cerrno>
#include <csignal>
#include <string>
#include <utility>

#include "durable_parts.h"

namespace PosixFiles {

namespace {

using Parts::Stored;

// A program that keeps changing the file faster than a write takes is given up on after so many
// readings of it.
constexpr int kEditAttempts = 10;

// A write beyond the process's file-size limit fails with EFBIG like any other failed write
// instead of ending the process by SIGXFSZ with the file half done. The signal is ignored only
// while the layer writes and its disposition is put back afterwards, so a program that handles
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

// Finds the file for writing and reads what it holds now, after putting back the bytes of a
// rewrite that was cut short. False when it may not or cannot be written.
bool LoadForWriting(IFileSystem& fs, const std::string& path, LocatedFile& at,
                    std::string& bytes) {
    // Root may write anything, so the mode bits decide as well: a read-only file stays so.
    if (path.empty() || Locate(fs, path, OpenKind::ReadWrite, at) != 0 ||
        (at.file.IsOpen() && (!at.status.regular || (at.status.mode & 0222) == 0)) ||
        CheckNamesOwner(fs, at) != 0) {
        return false;
    }
    bool found = false;
    if (!Parts::RestoreCutShortEdit(fs, at, bytes, found)) {
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
    return Parts::ReadOpenFile(fs, at.file.Get(), at.status, bytes);
}

// Gives the located file its new bytes by the rules of the header.
Stored StoreBytes(IFileSystem& fs, const LocatedFile& at, const std::string& newBytes,
                  const std::string& oldBytes) {
    bool appendOnly = false;
    Parts::RemoveLeftoversBeside(fs, at, appendOnly);
    if (appendOnly) {
        // Found before any temporary file is made: neither it nor a restore record could be
        // renamed or removed there.
        return at.file.IsOpen() ? Parts::RewriteInPlace(fs, at, newBytes, oldBytes, false)
                                : Parts::CreateDirectly(fs, at, newBytes);
    }
    if (!at.file.IsOpen()) {
        return Parts::StoredBy(Parts::CommitNewFile(fs, at, at.name, 0666, newBytes,
                                                    [](int, const FileStatus&) { return 0; }));
    }
    if (at.status.links == 1) {
        switch (Parts::ReplaceFile(fs, at, newBytes)) {
            case Parts::Outcome::Done:
                return Stored::Done;
            case Parts::Outcome::Failed:
                return Stored::Failed;
            case Parts::Outcome::Changed:
                return Stored::Changed;
            case Parts::Outcome::InPlace:
                break;
        }
    }
    return Parts::RewriteInPlace(fs, at, newBytes, oldBytes, true);
}

// Reads the file, has `edit` make its new bytes from the old ones, and stores them. A file that
// another program changed in the meantime is read again and edited anew, up to kEditAttempts
// times; then the write fails and the file stays as that program left it.
Result EditLoop(IFileSystem& fs, const std::string& path, const EditBytes& edit) {
    const CFileSizeSignalIgnored quiet;
    for (int attempt = 0; attempt < kEditAttempts; ++attempt) {
        LocatedFile at(fs);
        std::string oldBytes;
        if (!LoadForWriting(fs, path, at, oldBytes)) {
            return Result::Failed;
        }
        std::string newBytes;
        switch (edit(FileSeen{at.file.IsOpen(), at.status}, oldBytes, newBytes)) {
            case Change::Refuse:
                return Result::Refused;
            case Change::Keep:
                // A writer killed after its exchange leaves its temporary file beside a file
                // that already holds the bytes asked for: it goes here too, or it would wait
                // for a change that may never come.
                if (at.file.IsOpen()) {
                    bool appendOnly = false;
                    Parts::RemoveLeftoversBeside(fs, at, appendOnly);
                }
                return Result::Done;
            case Change::Write:
                break;
        }
        const Stored stored = StoreBytes(fs, at, newBytes, oldBytes);
        if (stored != Stored::Changed) {
            return stored == Stored::Done ? Result::Done : Result::Failed;
        }
    }
    return Result::Failed;
}

Result ReadLoaded(IFileSystem& fs, const std::string& path, std::string& bytes,
                  FileStatus* status) {
    bytes.clear();
    // Putting back the bytes of a rewrite cut short writes too.
    const CFileSizeSignalIgnored quiet;
    LocatedFile at(fs);
    const int error = Locate(fs, path, OpenKind::Read, at);
    if (status != nullptr) {
        *status = at.status;
    }
    if (error != 0) {
        return error == ENOENT ? Result::Missing : Result::Failed;
    }
    bool found = false;
    // A record that could not be put back still holds the last whole state; one that could not
    // even be read leaves the file as the best there is.
    if (Parts::RestoreCutShortEdit(fs, at, bytes, found) ? found : !bytes.empty()) {
        return Result::Done;
    }
    if (!at.file.IsOpen()) {
        return Result::Missing;
    }
    return Parts::ReadOpenFile(fs, at.file.Get(), at.status, bytes) ? Result::Done
                                                                    : Result::Failed;
}

}  // namespace

Result ReadWhole(IFileSystem& fs, const std::string& path, std::string& bytes,
                 FileStatus* status) noexcept {
    try {
        return ReadLoaded(fs, path, bytes, status);
    } catch (...) {
        // Out of memory: a file this process cannot hold reads as one it cannot read.
        bytes.clear();
        return Result::Failed;
    }
}

Result EditFile(IFileSystem& fs, const std::string& path, const EditBytes& edit) noexcept {
    try {
        return EditLoop(fs, path, edit);
    } catch (...) {
        // Out of memory: a failed write like any other, which leaves the file as it was.
        return Result::Failed;
    }
}

Result ReplaceBytes(IFileSystem& fs, const std::string& path, const std::string& bytes) noexcept {
    return EditFile(fs, path,
                    [&bytes](const FileSeen& seen, const std::string& oldBytes,
                             std::string& newBytes) {
                        if (seen.exists && oldBytes == bytes) {
                            return Change::Keep;
                        }
                        newBytes = bytes;
                        return Change::Write;
                    });
}

Result ReplaceUnchanged(IFileSystem& fs, const std::string& path, const FileStatus& expected,
                        const std::string& expectedBytes, const std::string& bytes) noexcept {
    const Result result = EditFile(
        fs, path,
        [&](const FileSeen& seen, const std::string& oldBytes, std::string& newBytes) {
            const FileStatus& now = seen.status;
            if (!seen.exists || now.device != expected.device || now.inode != expected.inode ||
                now.size != expected.size || now.modified != expected.modified ||
                oldBytes != expectedBytes) {
                return Change::Refuse;
            }
            if (oldBytes == bytes) {
                return Change::Keep;
            }
            newBytes = bytes;
            return Change::Write;
        });
    return result == Result::Refused ? Result::Changed : result;
}

bool ResolveWriteTarget(IFileSystem& fs, const std::string& path, std::string& target) noexcept {
    try {
        LocatedFile at(fs);
        if (path.empty() || Locate(fs, path, OpenKind::Entry, at) != 0) {
            return false;
        }
        target = JoinPath(at.folderPath, at.name);
        return true;
    } catch (...) {
        // Out of memory: no target, as for a file the walk cannot reach; nothing was written.
        return false;
    }
}

}  // namespace PosixFiles
