// The side files of the durable file: temporary files and restore records (the table in
// durable_file.h).
#include <sys/random.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <ctime>
#include <string>
#include <string_view>
#include <vector>

#include "durable_parts.h"

namespace PosixFiles::Parts {

namespace {

constexpr int kTempAttempts = 100;
// Keeps the temporary name within the usual 255-byte limit of a file name.
constexpr std::size_t kTempBaseLength = 128;
constexpr std::size_t kRandomDigits = 16;
constexpr std::string_view kHexDigits = "0123456789abcdef";
constexpr std::string_view kTempSuffix = ".tmp";
constexpr const char* kAclName = "system.posix_acl_access";
// What a restore record starts with; the lengths of the old and the new bytes follow, then the
// bytes themselves.
constexpr std::string_view kRecordMagic = "restore record 2\n";
// A tear is judged block by block: the system writes a file back to disk in pages, so after a
// power loss each block holds what one of its write-backs saw.
constexpr std::size_t kTearBlock = 4096;

unsigned Self() {
    return static_cast<unsigned>(::geteuid());
}

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
    std::string digits(kRandomDigits, '0');
    for (char& digit : digits) {
        digit = kHexDigits[value & 0xF];
        value >>= 4;
    }
    return digits;
}

// Exactly the name CreateTemporary gives: the prefix, 16 lowercase hex digits, ".tmp".
bool IsTempNameOf(std::string_view candidate, const std::string& prefix) {
    if (candidate.size() != prefix.size() + kRandomDigits + kTempSuffix.size() ||
        !candidate.starts_with(prefix) || !candidate.ends_with(kTempSuffix)) {
        return false;
    }
    return candidate.substr(prefix.size(), kRandomDigits).find_first_not_of(kHexDigits) ==
           std::string_view::npos;
}

// Removes a temporary file whose writer is gone. Only a regular file of this user with one name
// counts, looked at by its name before anything opens it (a FIFO or device is never opened); its
// lock then tells a dead writer from a live one.
void RemoveIfLeftover(IFileSystem& fs, int folder, const std::string& candidate) {
    FileStatus seen;
    if (fs.StatAt(folder, candidate, seen) != 0 || !seen.regular || seen.owner != Self() ||
        seen.links != 1) {
        return;
    }
    CUniqueFd fd(fs);
    FileStatus status;
    if (fs.OpenAt(folder, candidate, OpenKind::Read, fd.Out()) == 0 &&
        fs.Stat(fd.Get(), status) == 0 && status.device == seen.device &&
        status.inode == seen.inode && fs.LockFile(fd.Get(), false) == 0) {
        // Removed while the lock is held, so a writer that made it a moment ago and is waiting
        // for its lock finds its file gone and makes another.
        fs.UnlinkAt(folder, candidate);
    }
}

std::string LengthBytes(std::uint64_t value) {
    std::string bytes(8, '\0');
    for (char& byte : bytes) {
        byte = static_cast<char>(value & 0xFF);
        value >>= 8;
    }
    return bytes;
}

std::uint64_t LengthOf(std::string_view bytes) {
    std::uint64_t value = 0;
    for (std::size_t i = bytes.size(); i > 0; --i) {
        value = (value << 8) | static_cast<unsigned char>(bytes[i - 1]);
    }
    return value;
}

bool ParseRecord(std::string_view record, std::string& oldBytes, std::string& newBytes) {
    if (!record.starts_with(kRecordMagic) || record.size() < kRecordMagic.size() + 16) {
        return false;
    }
    record.remove_prefix(kRecordMagic.size());
    const std::uint64_t oldLength = LengthOf(record.substr(0, 8));
    const std::uint64_t newLength = LengthOf(record.substr(8, 8));
    record.remove_prefix(16);
    if (oldLength > record.size() || newLength != record.size() - oldLength) {
        return false;
    }
    oldBytes.assign(record.substr(0, oldLength));
    newBytes.assign(record.substr(oldLength));
    return true;
}

// Whether a block of the file is one the rewrite could have left there: zeros (a block not yet
// written back), or the new bytes up to some point and the old ones after it (all new and all
// old included).
bool IsTornBlock(std::string_view file, std::string_view oldBytes, std::string_view newBytes,
                 std::size_t begin, std::size_t end) {
    if (std::all_of(file.begin() + static_cast<std::ptrdiff_t>(begin),
                    file.begin() + static_cast<std::ptrdiff_t>(end),
                    [](char c) { return c == '\0'; })) {
        return true;
    }
    std::size_t newUpTo = begin;
    while (newUpTo < end && newUpTo < newBytes.size() && file[newUpTo] == newBytes[newUpTo]) {
        ++newUpTo;
    }
    std::size_t oldFrom = end;
    while (oldFrom > begin && oldFrom - 1 < oldBytes.size() &&
           file[oldFrom - 1] == oldBytes[oldFrom - 1]) {
        --oldFrom;
    }
    return oldFrom <= newUpTo;
}

// Whether the file is in a state the rewrite of `oldBytes` into `newBytes` could have left: a
// length between the two, and every block torn as IsTornBlock allows.
bool IsTearOf(std::string_view file, std::string_view oldBytes, std::string_view newBytes) {
    if (file.size() < std::min(oldBytes.size(), newBytes.size()) ||
        file.size() > std::max(oldBytes.size(), newBytes.size())) {
        return false;
    }
    for (std::size_t begin = 0; begin < file.size(); begin += kTearBlock) {
        if (!IsTornBlock(file, oldBytes, newBytes, begin,
                         std::min(begin + kTearBlock, file.size()))) {
            return false;
        }
    }
    return true;
}

// Reads a file of the located folder whole, only when `name` is still the file `expected`.
bool ReadIfSame(IFileSystem& fs, const LocatedFile& at, const std::string& name,
                const FileStatus& expected, std::string& bytes) {
    CUniqueFd fd(fs);
    FileStatus status;
    return fs.OpenAt(at.folder.Get(), name, OpenKind::Read, fd.Out()) == 0 &&
           fs.Stat(fd.Get(), status) == 0 && status.device == expected.device &&
           status.inode == expected.inode && ReadOpenFile(fs, fd.Get(), status, bytes);
}

// Puts the old bytes back into the located file and removes the record.
bool PutBack(IFileSystem& fs, const LocatedFile& at, const std::string& record,
             const std::string& oldBytes) {
    CUniqueFd file(fs);
    FileStatus now;
    if (fs.OpenAt(at.folder.Get(), at.name, OpenKind::ReadWrite, file.Out()) != 0 ||
        fs.Stat(file.Get(), now) != 0 || now.inode != at.status.inode ||
        now.device != at.status.device || !Overwrite(fs, file.Get(), oldBytes) ||
        fs.UnlinkAt(at.folder.Get(), record) != 0) {
        return false;
    }
    fs.SyncFolder(at.folder.Get());
    return true;
}

}  // namespace

int CreateTemporary(IFileSystem& fs, const LocatedFile& at, unsigned mode, CUniqueFd& fd,
                    std::string& temp, FileStatus& status) {
    const int folder = at.folder.Get();
    const std::string prefix = TempPrefix(at.name);
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

void RemoveLeftoversBeside(IFileSystem& fs, const LocatedFile& at, bool& appendOnly) {
    std::vector<std::string> names;
    appendOnly = false;
    // A folder that cannot be listed still takes the write; its leftovers wait for another one.
    if (fs.ListFolder(at.folder.Get(), names, appendOnly) != 0 || appendOnly) {
        return;
    }
    const std::string prefix = TempPrefix(at.name);
    for (const std::string& candidate : names) {
        if (IsTempNameOf(candidate, prefix)) {
            RemoveIfLeftover(fs, at.folder.Get(), candidate);
        }
    }
}

std::string RecordName(const LocatedFile& at) {
    // Named after the file's inode too: a record left from before the file was replaced by a
    // new one belongs to no file any more, unless the inode number comes back (IsTearOf).
    return "." + at.name + "." + std::to_string(at.status.inode) + ".restore";
}

std::string RecordBytes(const std::string& oldBytes, const std::string& newBytes) {
    std::string record(kRecordMagic);
    record.reserve(record.size() + 16 + oldBytes.size() + newBytes.size());
    record += LengthBytes(oldBytes.size());
    record += LengthBytes(newBytes.size());
    record += oldBytes;
    record += newBytes;
    return record;
}

int GiveRecordAccess(IFileSystem& fs, const LocatedFile& at, int record) {
    // The file's owner can then read and remove it too; where it cannot be given away it stays
    // this user's, which counts as well.
    fs.SetOwner(record, at.status.owner, at.status.group);
    // The record holds the file's bytes: no one the file's ACL keeps out may read it. Where the
    // ACL cannot be carried over, or a default ACL of the folder cannot be taken off, only the
    // owner may.
    std::string acl;
    int error = fs.GetAttribute(at.file.Get(), kAclName, acl);
    if (error == 0) {
        error = fs.SetAttribute(record, kAclName, acl);
    } else if (error == ENODATA || error == ENOTSUP || error == EOPNOTSUPP) {
        error = fs.RemoveAttribute(record, kAclName);
        error = error == ENODATA || error == ENOTSUP || error == EOPNOTSUPP ? 0 : error;
    }
    return fs.SetMode(record, at.status.mode & (error == 0 ? 0666U : 0600U));
}

bool RestoreCutShortEdit(IFileSystem& fs, const LocatedFile& at, std::string& bytes, bool& found) {
    found = false;
    bytes.clear();
    if (!at.file.IsOpen()) {
        return true;
    }
    const std::string name = RecordName(at);
    FileStatus seen;
    if (const int error = fs.StatAt(at.folder.Get(), name, seen); error != 0) {
        return error == ENOENT;
    }
    // Only a record this user or the file's owner made counts: anyone else's bytes could be
    // what they may not write themselves.
    if (!seen.regular || seen.links != 1 ||
        (seen.owner != Self() && seen.owner != at.status.owner)) {
        return true;
    }
    std::string record;
    std::string oldBytes;
    std::string newBytes;
    std::string now;
    if (!ReadIfSame(fs, at, name, seen, record) || !ReadIfSame(fs, at, at.name, at.status, now)) {
        return false;
    }
    if (!ParseRecord(record, oldBytes, newBytes) || !IsTearOf(now, oldBytes, newBytes)) {
        // Not the record of this file's tear: of a file whose inode number came back, or of an
        // older version. It goes, and the file stays as it is.
        fs.UnlinkAt(at.folder.Get(), name);
        return true;
    }
    found = true;
    bytes = std::move(oldBytes);
    return PutBack(fs, at, name, bytes);
}

}  // namespace PosixFiles::Parts
