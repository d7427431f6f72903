// The operations of the operating system that the migration needs. Everything above this header
// is the same code on Windows and on POSIX; each platform has one implementation file.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace Zentrel {

// The current user's local application-data folder without a trailing separator, or the empty
// string when it cannot be determined.
std::wstring GetLocalAppDataFolder();

namespace Platform {

inline constexpr std::uint32_t kInvalidFileAttributes = 0xFFFFFFFFu;
inline constexpr std::uint32_t kAttributeDirectory = 0x10u;

// "\" on Windows, "/" on POSIX.
wchar_t PathSeparator();

// Put in front of a local path before it is normalised, so that long names are not cut; empty
// where the platform has no such form.
std::wstring_view ExtendedLengthPrefix();

struct DirectoryEntry {
    std::wstring name;  // without the folder
    std::uint32_t attributes;
};

// Lists the entries that `pattern` (a folder, the separator and "*") matches, "." and ".."
// included, in the order the file system gives them. A symbolic link to a folder is reported as
// a folder. False when the listing cannot be started; a listing that breaks off later keeps
// what was visited.
bool ListFolder(const std::wstring& pattern,
                const std::function<void(const DirectoryEntry&)>& visit);

// Writes the absolute, normalised form of `name` into `buffer` (`size` characters) and returns
// its length without the terminator; 0 on failure, or the size needed when it does not fit.
std::uint32_t FullPathName(const std::wstring& name, wchar_t* buffer, std::uint32_t size);

// The attribute bits of an existing path (links followed), or kInvalidFileAttributes.
std::uint32_t FileAttributes(const std::wstring& name);

// The 16-bit language identifier of the user's interface language; 0 when none is known.
std::uint16_t UserUiLanguage();

// Keeping a settings file's bytes while it is migrated, and putting them back.

// The file that profile writes to `path` change: where its symbolic links lead on POSIX, `path`
// itself on Windows. Empty when that cannot be known.
std::wstring FileWrittenThrough(const std::wstring& path);

// Makes `copy` a complete copy of `file`, flushed to the disk, that is the same file but for its
// name as far as the platform lets us (owner, group and mode; on Windows the attributes). The
// bytes go to `partial` first (a leftover of that name is replaced) and are renamed to `copy` only
// when whole. False leaves nothing at `partial`.
bool KeepCopy(const std::wstring& file, const std::wstring& partial, const std::wstring& copy);

// Gives `file` the bytes of `copy` durably, so that it is at every moment its old or its new
// self: on POSIX by the INI engine's own rules of writing (the file stays the same file), on
// Windows by moving `copy` over it. The name `copy` is gone afterwards.
bool PutBack(const std::wstring& copy, const std::wstring& file);

// True when nothing is left under `name`, also when nothing was there.
bool RemoveFile(const std::wstring& name);

// Runs `work` while this process holds the advisory lock that every run of the migration takes on
// the folder that holds `file`, waiting at most `wait` for another run to release it. False,
// without running `work`, when the lock cannot be had. A file system without locks runs `work`
// unlocked. On Windows nothing is locked.
bool WhileFolderLocked(const std::wstring& file, std::chrono::milliseconds wait,
                       const std::function<void()>& work);

}  // namespace Platform
}  // namespace Zentrel
