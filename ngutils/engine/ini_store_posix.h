// The INI engine: our own profile functions for POSIX. This header is its whole file side; the
// document (ini_document.h) reads and edits bytes, the seam (file_system_posix.h) does the I/O.
//
// What it guarantees:
//  - Windows read semantics. Every call reads the file afresh. Blanks in the file are space, tab
//    and vertical tab; names in the file lose them, names in a call lose their spaces only (a
//    tab there is part of the name). Names match without regard to ASCII case; the first matching
//    section and, in it, the first matching key win; a value loses its blanks and one pair of
//    matching quotes; lines above the first header belong to no section. A header's name ends at
//    the first "]", or with its line when it has none; a line starting with ";" after blanks is a
//    comment. A null section lists the section names, a null key the key names, NUL-separated.
//    The default loses its trailing spaces. A UTF-16 LE byte order mark makes a file UTF-16;
//    every other file is UTF-8 text, a UTF-8 mark (text before the first line to Windows, so a
//    header there is not found) and a UTF-16 BE mark (which Windows does not understand either)
//    included.
//  - Lossless edits. Only the one line a write concerns is rewritten, inserted or removed (a
//    section deletion removes its header and every line up to the next header but the comment
//    lines, as on Windows). Every other byte stays, in the file's own encoding and line-break
//    style, comments, blank lines, undecodable bytes and an odd last byte of a UTF-16 file
//    included. A value a reader would trim or unquote is written in quotes, so it reads back as
//    written; text that would add lines, sections or keys of its own, and names a reader could not
//    find again, are refused (write_rule.h).
//  - Crash-safe replacement. A write makes the new file beside the old one, flushes it and
//    renames it into place, then flushes the folder: at every moment the name holds the old file
//    or the new one, whole.
//  - The same file afterwards. Owner, group, mode (set-id bits included), ACL and the extended
//    attributes this process can see, symbolic links (the target is written, the link stays) and
//    further hard links all stay. A replacement gets a new inode; where the new file could not be
//    made the same in all of the above (a second name, an owner this process cannot give away),
//    the file is rewritten in place and keeps its inode, after a flushed copy of its old bytes
//    (".<name>.<inode>.restore") was committed beside it. A read or write that finds such a copy
//    puts its bytes back first, so through the engine an edit cut short is never seen.
//  - No stray files. Temporary files carry a lock while their writer lives; the next write
//    removes those of writers that died. A failed write leaves the file as it was.
//  - Safe paths. Paths are walked one name at a time, never following a link by themselves, so a
//    link swapped in meanwhile is never written through or replaced. A link is followed only when
//    it belongs to this process's user, to root, or to the owner of what it points at, so a run by
//    root never writes where a user's link leads outside what that user owns.
//  - Other writers. The file's device, inode, size and times are noted when it is read and looked
//    at again just before the new text takes its place; a file changed meanwhile is read again
//    and the edit made anew on it, a few times at most, then the write fails and leaves the file
//    as the other program left it. A whole new content made from what was read earlier
//    (ReplaceUnchangedFile) is written only over that very file.
//
// What it does not promise:
//  - It takes no lock on the file. A program that writes the old file through a descriptor it
//    opened before the replacement, later than the engine's last look at it, writes into a file
//    that is gone; a change that keeps the size within one tick of the file system's clock is not
//    seen. Only writers that coordinate are safe from each other in that window.
//  - Crash safety needs a file system whose rename is atomic and whose fsync is honoured; where
//    the rename cannot exchange two names, a change made between the last look and the rename is
//    replaced. In a folder that refuses new files, the in-place rewrite has no room for its copy
//    of the old bytes, and in an append-only folder a new file is written at its name directly:
//    there a crash in the middle can leave the file torn or short, as on Windows. Other programs
//    reading the file while an in-place rewrite is cut short see the torn bytes until the engine
//    puts the old ones back.
//  - A file without a UTF-16 LE byte order mark is UTF-8, never a code page: bytes that are no
//    UTF-8 read as U+FFFD (and stay as they are in the file). Files over 256 MB, folders, FIFOs
//    and devices are neither read nor written. Access and birth times, the inode number of a
//    replaced file, file flags (chattr) and extended attributes hidden from this process are not
//    kept.
//  - Windows' own faults are not copied: a value of 65,536 characters or more comes back whole,
//    where Windows cuts it at a 16-bit boundary (one of exactly 65,536 reads as empty).
//  - One thread: a write ignores SIGXFSZ for the whole process while it runs, so a write beyond
//    the file-size limit fails instead of ending the process.
//
// Errors: the routines the migration calls (ReadFileBytes, WriteFileContent, ReplaceUnchangedFile,
// ResolveWriteTarget, RealFileSystem) are noexcept and give a failure, out of memory included, as their
// result. ReadProfileValue and WriteProfileEdit serve the profile layer, which catches at its
// entry, and pass allocation failure on; so does the document below them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include "file_system_posix.h"
#include "ini_document.h"

namespace NGUtils::IniEngine {

enum class ReadStatus { Ok, Missing, Unreadable };

// The whole content of a regular file. A folder, FIFO, device or a file beyond the size limit is
// Unreadable; a path that names nothing is Missing.
ReadStatus ReadFileBytes(IFileSystem& fs, const std::string& path, std::string& bytes,
                         FileStatus* status = nullptr) noexcept;

// The value as a reader sees it in the file now, at most `limit` characters of it; nothing when the
// file, section or key is missing.
std::optional<Text> ReadProfileValue(IFileSystem& fs, const std::string& path, TextView section,
                                     TextView key,
                                     std::size_t limit = std::numeric_limits<std::size_t>::max());

// The names a null key (`section` given) or a null section (`section` null) lists, as the document
// finds them in the file now; none when the file or section is missing.
std::vector<Text> ReadProfileNames(IFileSystem& fs, const std::string& path,
                                   const TextView* section);

// Applies the edit to the file. True when the file holds the result afterwards: also when nothing
// had to change. Deleting from a file that does not exist leaves an empty file, as on Windows.
// False leaves the file as it was.
bool WriteProfileEdit(IFileSystem& fs, const std::string& path, const Edit& edit);

// Gives the file at `path` the whole content `bytes`, by the same rules as an edit: a new file
// is created, an existing one is replaced when the new one is indistinguishable from it and
// rewritten in place, crash-safely, when not; nothing is written through another user's link.
// True when the file holds `bytes` afterwards; false leaves it as it was.
bool WriteFileContent(IFileSystem& fs, const std::string& path, const std::string& bytes) noexcept;

enum class ReplaceOutcome {
    Done,     // the file holds the new bytes
    Changed,  // the file is no longer what was read; it stays as it is
    Failed,   // the file stays as it was
};

// WriteFileContent, but only while the file is still the one that was read, as `expected` (the
// status ReadFileBytes gave) and `expectedBytes` say: the same device and inode, size, time of
// the last change of its content, and bytes. Another program's change is never written over.
ReplaceOutcome ReplaceUnchangedFile(IFileSystem& fs, const std::string& path,
                                    const FileStatus& expected, const std::string& expectedBytes,
                                    const std::string& bytes) noexcept;

// The file a write to `path` changes, as a path: where its symbolic links lead when a write would
// follow them, so that the links stay. A link to a missing file names the file to create. False
// when a write could not reach the file.
bool ResolveWriteTarget(IFileSystem& fs, const std::string& path, std::string& target) noexcept;

}  // namespace NGUtils::IniEngine
