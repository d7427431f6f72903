// The operations of the operating system that the migration needs. The migration's routines reach
// the system only through IMigrationPlatform, so that a test can hand them a stand-in;
// platform_win32.cpp and platform_posix.cpp are the real implementations.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>

#include "ini_file.h"
#include "path_syntax.h"

namespace Zentrel {

// A settings file as it was read for its migration: its bytes, and what tells whether it is
// still that file with those bytes when its migration is done.
struct SettingsSnapshot {
    std::string bytes;
    std::uint64_t volume = 0;  // the device, or the volume's serial number
    std::uint64_t fileId = 0;  // the inode, or the file index
    std::uint64_t size = 0;
    std::int64_t modified = 0;  // the last change of the content, in the system's own units
};

enum class StepOutcome {
    Done,      // the file holds the migrated bytes
    Changed,   // another program changed the file since it was read; it stays as it is
    Failed,    // the file stays as it was
    Stranded,  // the file is gone and only the working copy holds the migrated bytes: it stays
};

class IMigrationPlatform {
  public:
    virtual ~IMigrationPlatform() = default;

    // How the paths below are cut and joined.
    virtual PathSyntax::PathStyle Style() = 0;

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

    // The INI object the rewrite routines read and write through: g_iniFile. A test may hand
    // out one that wraps it, to fail or watch single writes.
    virtual NGUtils::IIniFile& IniFile() = 0;

    // One settings file's migration, whole or not at all (MigrateWholeOrNotAtAll).

    // Reads the settings file whole, links followed, with what tells later whether it changed.
    // False when it cannot be read for any reason: an I/O error, a file that is gone, or one
    // that changed between its look-up and its opening.
    virtual bool ReadSettingsFile(const std::wstring& file, SettingsSnapshot& snapshot) = 0;

    // Makes a working copy of `file` holding `bytes`: private to this run, and named
    // `workingCopy` for the profile functions. Natively it is held in memory; on Windows it is a
    // new file, made by this run alone and open to its user alone, in the folder of `file` where
    // one can be made there, else in the user's temporary folder. Its writes need no flush: a run
    // that dies abandons it. False when none could be made.
    virtual bool MakeWorkingCopy(const std::wstring& file, const std::string& bytes,
                                 std::wstring& workingCopy) = 0;

    // Gives `file` the bytes of the working copy in one step that a crash cannot cut in two,
    // provided it is still what `snapshot` describes; Changed, with nothing written, when it is
    // not. The working copy is flushed first.
    virtual StepOutcome PutInPlace(const std::wstring& workingCopy, const std::wstring& file,
                                   const SettingsSnapshot& snapshot) = 0;

    // Removes the working copy; nothing happens when it is gone already.
    virtual void RemoveWorkingCopy(const std::wstring& workingCopy) = 0;

    // Lets `time` pass, before a file that another program changed is migrated again.
    virtual void Pause(std::chrono::milliseconds time) = 0;
};

// The system's own operations, made once by the program's entry and handed down. It holds no
// data; a test's stand-in derives from it to replace only what the test is about.
class CSystemPlatform : public IMigrationPlatform {
  public:
    PathSyntax::PathStyle Style() override;
    std::wstring LocalAppDataFolder() override;
    std::uint16_t UserUiLanguage() override;
    bool IsExistingFile(const std::wstring& path) override;
    bool ForEachSubfolder(const std::wstring& folder,
                          const std::function<void(const std::wstring&)>& visit) override;
    NGUtils::IIniFile& IniFile() override;
    bool ReadSettingsFile(const std::wstring& file, SettingsSnapshot& snapshot) override;
    bool MakeWorkingCopy(const std::wstring& file, const std::string& bytes,
                         std::wstring& workingCopy) override;
    StepOutcome PutInPlace(const std::wstring& workingCopy, const std::wstring& file,
                           const SettingsSnapshot& snapshot) override;
    void RemoveWorkingCopy(const std::wstring& workingCopy) override;
    void Pause(std::chrono::milliseconds time) override;
};

}  // namespace Zentrel
