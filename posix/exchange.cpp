// A new file made beside the old one, given all but the old one's bytes, and exchanged for it.
#include <algorithm>
#include <cerrno>
#include <string>
#include <string_view>
#include <vector>

#include "durable_parts.h"

namespace PosixFiles::Parts {

namespace {

bool CannotRenameSo(int error) {
    return error == EINVAL || error == ENOSYS || error == EOPNOTSUPP;
}

// After an exchange the old file has the temporary name; it goes when it is the file that was
// read, as it was read, and is exchanged back otherwise. Where the exchange back fails, a plain
// rename puts it back over the new file, which is ours: left under the temporary name, another
// program's file would look like a dead writer's leftover to this user's next cleanup.
// `tempTaken` when the temporary name no longer holds the new file, so it is not to be removed.
int CheckExchange(IFileSystem& fs, const LocatedFile& at, const std::string& temp,
                  bool& tempTaken) {
    const int folder = at.folder.Get();
    FileStatus old;
    int error = 0;
    if (fs.StatAt(folder, temp, old) == 0 && !old.link && old.device == at.status.device &&
        old.inode == at.status.inode && old.size == at.status.size &&
        old.modified == at.status.modified && (error = fs.UnlinkAt(folder, temp)) == 0) {
        return 0;
    }
    tempTaken = fs.RenameAt(folder, temp, at.name, RenameMode::Exchange) != 0;
    if (!tempTaken || fs.RenameAt(folder, temp, at.name, RenameMode::Replace) == 0) {
        fs.SyncFolder(folder);
    }
    return error != 0 ? error : kChangedMeanwhile;
}

// Puts the temporary file in the found file's place without ever replacing what another process
// may have put at the name meanwhile: the two are exchanged, and exchanged back when what came
// out is not the file that was found, as it was read. Where the file system cannot exchange, the
// name is looked at just before a plain rename. kChangedMeanwhile when another program changed,
// replaced or created the file since it was read.
//
// What cannot be seen: a program that opened the old file before the exchange and writes to it
// after the last look writes into a file that is gone a moment later. The look comes after the
// folder's flush, so a program that writes within that time after opening the file is seen, and
// one that takes longer is not; nor is a change that keeps the size within one clock tick.
int TakePlace(IFileSystem& fs, const LocatedFile& at, const std::string& temp, bool& tempTaken) {
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
    return exchanged ? CheckExchange(fs, at, temp, tempTaken) : 0;
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

// Gives `fresh` exactly the extended attributes (the ACL among them) of `old`.
int CarryAttributes(IFileSystem& fs, int old, int fresh) {
    std::vector<std::string> oldNames;
    std::vector<std::string> freshNames;
    int error = 0;
    if ((error = AttributeNames(fs, old, oldNames)) != 0 ||
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
    return 0;
}

// Gives the new file `fresh`, whose status is `status`, the owner, group, extended attributes
// and mode of `old`. Any error means the new file would differ from the old one in more than its
// bytes.
int CarryOver(IFileSystem& fs, int old, const FileStatus& oldStatus, int fresh, FileStatus status) {
    int error = 0;
    const bool ownerSet = status.owner != oldStatus.owner || status.group != oldStatus.group;
    if (ownerSet && fs.SetOwner(fresh, oldStatus.owner, oldStatus.group) != 0) {
        // A user may give the file a group of theirs, though not an owner.
        error = fs.SetOwner(fresh, kSameId, oldStatus.group);
    }
    if (error != 0 || (error = CarryAttributes(fs, old, fresh)) != 0) {
        return error;
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

}  // namespace

int CommitNewFile(IFileSystem& fs, const LocatedFile& at, const std::string& to, unsigned mode,
                  std::string_view bytes, const PrepareFile& prepare) {
    CUniqueFd fd(fs);
    std::string temp;
    FileStatus status;
    int error = CreateTemporary(fs, at, mode, fd, temp, status);
    if (error != 0) {
        return error;
    }
    if ((error = prepare(fd.Get(), status)) == 0) {
        error = WriteAll(fs, fd.Get(), bytes) && fs.Sync(fd.Get()) == 0 ? 0 : EIO;
    }
    bool tempTaken = false;
    if (error == 0 && to == at.name) {
        error = TakePlace(fs, at, temp, tempTaken);
    } else if (error == 0 &&
               (error = fs.RenameAt(at.folder.Get(), temp, to, RenameMode::Replace)) == 0) {
        // The new file is in place either way; a failed flush only leaves it less durable.
        fs.SyncFolder(at.folder.Get());
    }
    if (error != 0 && !tempTaken) {
        fs.UnlinkAt(at.folder.Get(), temp);
    }
    // Only now does the lock go: until the rename was checked, no other writer's cleanup could
    // take the temporary file for a dead writer's. Its bytes were flushed, so the close can no
    // longer lose any.
    fd.Close();
    return error;
}

Outcome ReplaceFile(IFileSystem& fs, const LocatedFile& at, const std::string& newBytes) {
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

}  // namespace PosixFiles::Parts
