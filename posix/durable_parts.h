// What the parts of the durable file (durable_file.h) share among themselves; not for users of
// the layer.
#pragma once

#include <cerrno>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "file_system.h"
#include "path_walk.h"

namespace PosixFiles::Parts {

// Settings files are small; anything this large is never loaded whole.
constexpr std::uint64_t kMaxFileSize = 256ULL * 1024 * 1024;
// What the steps of a write report when the file is no longer what was read.
constexpr int kChangedMeanwhile = ESTALE;

// How a write of the located file went. Changed: another program changed the file since it was
// read, and it stays as that program left it.
enum class Stored { Done, Failed, Changed };

Stored StoredBy(int error);

// Reading and writing whole contents (in_place.cpp).
bool ReadOpenFile(IFileSystem& fs, int fd, const FileStatus& status, std::string& bytes);
bool WriteAll(IFileSystem& fs, int fd, std::string_view data);
// Writes `bytes` from the start, cuts the file there and flushes it.
bool Overwrite(IFileSystem& fs, int fd, std::string_view bytes);
// A folder that refuses new files does not stop a write to a file it already holds.
bool FolderRefusesNewFiles(int error);
// Whether `name` stands for the file that was found, or for nothing when none was.
bool Holds(IFileSystem& fs, const LocatedFile& at, const std::string& name);
// Whether the found file still has the size and times it had when it was read.
bool StillAsRead(IFileSystem& fs, const LocatedFile& at);

// Temporary files (side_files.cpp).
// Creates a temporary file beside the located file, mode `mode`, and takes its lock.
int CreateTemporary(IFileSystem& fs, const LocatedFile& at, unsigned mode, CUniqueFd& fd,
                    std::string& temp, FileStatus& status);
// Removes the temporary files of dead writers beside the located file; `appendOnly` tells
// whether its folder lets nothing made there go again.
void RemoveLeftoversBeside(IFileSystem& fs, const LocatedFile& at, bool& appendOnly);

// Restore records (side_files.cpp).
std::string RecordName(const LocatedFile& at);
// The record's content for a rewrite of `oldBytes` into `newBytes`.
std::string RecordBytes(const std::string& oldBytes, const std::string& newBytes);
// Gives a new record the file's owner, group, ACL and mode (without execute); 0 or an errno value.
int GiveRecordAccess(IFileSystem& fs, const LocatedFile& at, int record);
// Puts back the old bytes of a rewrite cut short when a record for that very tear is there, and
// removes any other record of the file that this user may remove. `bytes` are the file's bytes
// afterwards when `found`. False when a record was there that could not be dealt with.
bool RestoreCutShortEdit(IFileSystem& fs, const LocatedFile& at, std::string& bytes, bool& found);

// The exchange (exchange.cpp).
using PrepareFile = std::function<int(int fd, const FileStatus& status)>;
// Writes `bytes` to a new temporary file, flushes it, and gives it the name `to` (the located
// file's own by the exchange). `prepare` runs on the new file before its bytes are written; its
// error abandons the file. The temporary file stays locked until its rename is checked.
int CommitNewFile(IFileSystem& fs, const LocatedFile& at, const std::string& to, unsigned mode,
                  std::string_view bytes, const PrepareFile& prepare);
enum class Outcome { Done, Failed, Changed, InPlace };
// Replaces the file by a new one with the new bytes and all else of the old one; InPlace when
// the new file could not be made so, or the folder takes no new file.
Outcome ReplaceFile(IFileSystem& fs, const LocatedFile& at, const std::string& newBytes);

// The rewrite in place (in_place.cpp).
Stored RewriteInPlace(IFileSystem& fs, const LocatedFile& at, const std::string& newBytes,
                      const std::string& oldBytes, bool roomForRecord);
// In an append-only folder: a new file written at its name at once.
Stored CreateDirectly(IFileSystem& fs, const LocatedFile& at, const std::string& bytes);

}  // namespace PosixFiles::Parts
