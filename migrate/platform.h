// The operations of the operating system that the migration needs. The migration's routines reach
// the system only through IMigrationPlatform, so that a test can hand them a stand-in;
// platform_win32.cpp and platform_posix.cpp are the real implementations.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>

namespace Zentrel {

class IMigrationPlatform {
  public:
    virtual ~IMigrationPlatform() = default;

    // "\" on Windows, "/" on POSIX.
    virtual wchar_t PathSeparator() = 0;

    // The current user's local application-data folder without a trailing separator, or the
    // empty string when it cannot be determined.
    virtual std::wstring LocalAppDataFolder() = 0;

    // The 16-bit Windows language identifier of the user's interface language; 0 when none is
    // known.
    virtual std::uint16_t UserUiLanguage() = 0;

    // True only for an existing path that is not a folder; links are followed.
    virtual bool IsExistingFile(const std::wstring& path) = 0;

    // Visits the name (without the folder) of every folder directly inside `folder`, in the order
    // the file system gives them; "." and ".." may be among them. A link to a folder counts as
    // a folder. False when the walk cannot be started; a walk that breaks off later keeps what
    // was visited.
    virtual bool ForEachSubfolder(const std::wstring& folder,
                                  const std::function<void(const std::wstring&)>& visit) = 0;

    // Makes one write of the rewrite routines to the settings file `file` (a key through
    // g_iniFile, or a section deletion) and returns whether it was done. The system's makes it
    // and passes its result on; a stand-in may watch the file after each write, or fail one.
    virtual bool Write(const std::wstring& file, const std::function<bool()>& write) = 0;

    // Keeping a settings file's bytes while it is migrated, and putting them back.

    // The file that profile writes to `path` change: where its symbolic links lead on POSIX,
    // `path` itself on Windows. Empty when that cannot be known.
    virtual std::wstring FileWrittenThrough(const std::wstring& path) = 0;

    // Makes `copy` a complete copy of `file`, flushed to the disk, that is the same file but for
    // its name as far as the platform lets us (owner, group and mode; on Windows the attributes).
    // The bytes go to `partial` first (a leftover of that name is replaced) and are renamed to
    // `copy` only when whole. False leaves nothing at `partial`.
    virtual bool KeepCopy(const std::wstring& file, const std::wstring& partial,
                          const std::wstring& copy) = 0;

    // Gives `file` the bytes of `copy` durably, so that it is at every moment its old or its new
    // self: on POSIX by the INI engine's own rules of writing (the file stays the same file), on
    // Windows by moving `copy` over it. The name `copy` is gone afterwards.
    virtual bool PutBack(const std::wstring& copy, const std::wstring& file) = 0;

    // True when nothing is left under `name`, also when nothing was there.
    virtual bool RemoveFile(const std::wstring& name) = 0;

    // Runs `work` while this process holds the advisory lock that every run of the migration
    // takes on the folder that holds `file`, waiting at most `wait` for another run to release
    // it. False, without running `work`, when the lock cannot be had. A file system without locks
    // runs `work` unlocked. On Windows nothing is locked.
    virtual bool WhileFolderLocked(const std::wstring& file, std::chrono::milliseconds wait,
                                   const std::function<void()>& work) = 0;
};

// The system's own operations. It holds no data; a test's stand-in derives from it to replace
// only what the test is about.
class CSystemPlatform : public IMigrationPlatform {
  public:
    wchar_t PathSeparator() override;
    std::wstring LocalAppDataFolder() override;
    std::uint16_t UserUiLanguage() override;
    bool IsExistingFile(const std::wstring& path) override;
    bool ForEachSubfolder(const std::wstring& folder,
                          const std::function<void(const std::wstring&)>& visit) override;
    bool Write(const std::wstring& file, const std::function<bool()>& write) override;
    std::wstring FileWrittenThrough(const std::wstring& path) override;
    bool KeepCopy(const std::wstring& file, const std::wstring& partial,
                  const std::wstring& copy) override;
    bool PutBack(const std::wstring& copy, const std::wstring& file) override;
    bool RemoveFile(const std::wstring& name) override;
    bool WhileFolderLocked(const std::wstring& file, std::chrono::milliseconds wait,
                           const std::function<void()>& work) override;
};

// What the routines use unless they are handed another platform.
inline IMigrationPlatform& SystemPlatform() noexcept {
    static CSystemPlatform system;
    return system;
}

}  // namespace Zentrel
