// The durable-file layer of the programs' POSIX files: a file read whole, and changed from its
// old bytes to its new ones in one step that a crash, a failed call or another program cannot
// tear. Its divisions:
//
//   unique_fd.h       the one owner of a descriptor
//   file_system.h     the seam: every system call of the layer, so tests can fail or stop any
//   path_walk.*       a path walked one name at a time, by the owner rule below
//   durable_file.*    this header: reads, the edit loop, the choice of exchange or rewrite
//   exchange.cpp      a new file made beside the old one, given its metadata, exchanged for it
//   in_place.cpp      a rewrite that keeps the inode, under a restore record
//   side_files.cpp    the temporary files and restore records: names, making, checking, removal
//
// What it guarantees:
//  - One step. A change makes the new file beside the old one, flushes it and exchanges it for
//    the old one, then flushes the folder: at every moment the name holds the old file or the new
//    one, whole. Where the new file could not be made the same as the old one in all but its
//    bytes (a second name, an owner this process cannot give away, a folder that takes no new
//    file), the file is rewritten in place and keeps its inode, after a restore record was
//    committed beside it; a read or write that finds a record for the tear it describes puts the
//    old bytes back first.
//  - The same file afterwards: owner, group, mode (set-id bits included), ACL, the extended
//    attributes this process can see, symbolic links (the target is written, the link stays) and
//    further hard links.
//  - Other writers. The file's device, inode, size and times are noted when it is read and looked
//    at again just before the new bytes take its place; a file changed meanwhile is read again
//    and the edit made anew, a few times at most.
//  - Never across owners. A path is walked one name at a time from descriptors, and every step
//    after the walk works relative to the folder it reached, so a name swapped meanwhile is never
//    followed. A symbolic link is followed only when it belongs to this process's user, to root,
//    or to the owner of what it leads to. A file or link with more than one name is written or
//    followed only when it is this process's user's (root aside) or belongs to the owner of the
//    folder that holds that name: anyone can add a name of a file they may not write to their own
//    folder where the system does not protect hard links, and root would write through it.
//
// Side files, all beside the file, in its folder:
//
//   name                              made by                removed by
//   .<name>.<16 hex digits>.tmp       a writer, locked       its writer on any failure; any later
//                                     while it lives, mode   write of <name> by the same user when
//                                     0600 until it takes    the name is exactly so, the entry a
//                                     the file's place       regular file of that user with one
//                                                            name, and its lock free (the writer
//                                                            died); never opened before so checked
//   .<name>.<inode>.restore           an in-place rewrite,   the rewrite when done or undone; a
//                                     with the file's owner, later read or write of the file:
//                                     group, ACL, mode       applied (the old bytes put back) when
//                                     (without execute)      it is this user's or the file's owner's
//                                                            and every 4 KiB block of the file is
//                                                            the old, the new or zero bytes or the
//                                                            new ones up to a point and the old after
//                                                            (the states the write could leave), and
//                                                            removed without being applied otherwise
//
// 1.0.0 named its temporary files in the same way. A restore record of 1.0.0 (the old bytes
// alone) shows no tear it belongs to, and is removed.
//
// What it does not promise:
//  - It takes no lock on the file: a program that writes the old file through a descriptor it
//    opened before the exchange, later than the last look at it, writes into a file that is gone;
//    a change that keeps the size within one tick of the file system's clock is not seen.
//  - Crash safety needs a rename that is atomic and an fsync that is honoured. Where the rename
//    cannot exchange, a change made between the last look and the rename is replaced. In a folder
//    that takes no new file the rewrite in place has no room for its record, and in an append-only
//    folder a new file is written at its name directly: there a crash can leave it torn or short.
//  - Files over 256 MB, folders, FIFOs and devices are neither read nor written. Access and
//    birth times, the inode number of a replaced file, file flags (chattr) and extended
//    attributes hidden from this process are not kept.
//  - One thread: a write ignores SIGXFSZ for the process while it runs.
//
// Errors: every routine here is noexcept and gives a failure, out of memory included, as its
// result; a failure leaves the file as it was.
#pragma once

#include <functional>
#include <string>

#include "file_system.h"

namespace PosixFiles {

enum class Result {
    Done,     // read, or the file holds the new bytes (also when they were there already)
    Missing,  // the path names nothing (a read)
    Changed,  // the file is no longer the one that was read; it stays as it is
    Refused,  // the edit refused the bytes it was given; nothing was written
    Failed,   // it could not be read or written; the file stays as it was
};

// What an edit makes of the file's bytes.
enum class Change { Keep, Write, Refuse };

// The file as an edit sees it: whether it exists, and its status when it was read.
struct FileSeen {
    bool exists = false;
    FileStatus status;
};

// Turns the old bytes into `newBytes` (Write), or leaves them (Keep), or refuses (Refuse).
using EditBytes =
    std::function<Change(const FileSeen& seen, const std::string& oldBytes, std::string& newBytes)>;

// The whole content of a regular file: Done, Missing, or Failed (a folder, FIFO, device, or a
// file beyond the size limit). `status` is what was read.
Result ReadWhole(IFileSystem& fs, const std::string& path, std::string& bytes,
                 FileStatus* status = nullptr) noexcept;

// Reads the file (empty when it does not exist) and gives it what `edit` makes of its bytes.
// Done, Refused or Failed; a file another program keeps changing fails after a few attempts.
Result EditFile(IFileSystem& fs, const std::string& path, const EditBytes& edit) noexcept;

// The whole content `bytes`, by the same rules: Done or Failed.
Result ReplaceBytes(IFileSystem& fs, const std::string& path, const std::string& bytes) noexcept;

// ReplaceBytes, but only while the file is still the one that was read, as `expected` (the
// status ReadWhole gave) and `expectedBytes` say: the same device and inode, size, time of the
// last change of its content, and bytes. Done, Changed or Failed.
Result ReplaceUnchanged(IFileSystem& fs, const std::string& path, const FileStatus& expected,
                        const std::string& expectedBytes, const std::string& bytes) noexcept;

// The file a write to `path` changes, as a path: where its links lead when a write would follow
// them. A link to a missing file names the file to create. False when a write could not reach it.
bool ResolveWriteTarget(IFileSystem& fs, const std::string& path, std::string& target) noexcept;

}  // namespace PosixFiles
