// The INI engine's file side on POSIX: reading a file afresh for every call, and writing it so
// that a crash at any moment leaves either the old or the new bytes, and so that the file after
// a write is the same file as before in everything but its text.
//
// A write replaces the file by a new one (written beside it, flushed and put in its place) only
// when the new one cannot be told apart from the old: same owner, group, mode, ACL and extended
// attributes, and no second name. Otherwise it edits the file where it is, after committing a
// copy of the old bytes beside it (".<name>.<inode>.restore"); a later read or write that finds
// such a copy knows that an edit was cut short and puts the old bytes back first. A folder that
// refuses new files has no room for the copy: there the edit goes on without one.
//
// Another program may write the file meanwhile. A write notes what the file was when it was read
// (device, inode, size, modification and change time) and looks again just before the new file
// takes its place, or before the file is rewritten where it is; a file changed meanwhile is read
// again and the edit made anew on its current text, a few times at most.
//
// Paths are walked one name at a time, relative to the folder already reached and never
// following a symbolic link by themselves, so a link swapped in meanwhile is never written
// through or replaced. A link is followed only when it belongs to this process's user or to
// the owner of what it points at, so a run by root never writes where a user's link points
// outside what that user owns.
//
// Every file operation goes through IFileSystem, so tests can make any single step fail, or stop
// the world after any step, and check that the file never ends up torn.
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

// Gives the file at `path` the whole content `bytes`, by the same rules as an edit: a new file
// is created, an existing one is replaced when the new one is indistinguishable from it and
// rewritten in place, crash-safely, when not; nothing is written through another user's link.
// True when the file holds `bytes` afterwards; false leaves it as it was. For putting back a
// copy that was kept of a file.
bool WriteFileContent(IFileSystem& fs, const std::string& path, const std::string& bytes);

// The file a write to `path` changes, as a path: where its symbolic links lead when a write would
// follow them, so that the links stay. A link to a missing file names the file to create. False
// when a write could not reach the file.
bool ResolveWriteTarget(IFileSystem& fs, const std::string& path, std::string& target);

// Makes `to` a complete, flushed copy of the regular file `from`, with its owner, group and mode
// where the process may set them. The bytes go to the new file `partial` first (a leftover of that
// name is replaced) and are renamed to `to` only when whole, so `to` never names part of a copy.
// `partial` and `to` are names in one folder, never followed as links. False leaves nothing at
// `partial`; in an append-only folder, where no copy could ever go again, nothing is made.
bool CommitCopy(IFileSystem& fs, const std::string& from, const std::string& partial,
                const std::string& to);

}  // namespace NGUtils::IniEngine
