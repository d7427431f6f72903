// Whole or nothing for one settings file: the rewrite routines change a private working copy, and
// the file goes from its old bytes to its new ones in one step, so the scanning application never
// starts with settings that are neither the old nor the new ones, and a run that dies leaves the
// file as it was. Nothing is kept beside the file for a later run to put back: every run starts
// from the file as it finds it.
#include <chrono>
#include <string>

#include "migration.h"
#include "platform.h"
#include "support_log.h"

namespace Zentrel {

namespace {

// The support log's line for a settings file: what became of it, and why.
void LogFile(const std::wstring& path, const std::string& what) {
    if (SupportLog::g_supportLog.IsOn()) {
        SupportLog::g_supportLog.Write("settings file " + SupportLog::Quoted(path) + ": " + what);
    }
}

void LogOutcome(const std::wstring& path, StepOutcome outcome, int attempt,
                const std::wstring& workingCopy) {
    if (!SupportLog::g_supportLog.IsOn()) {
        return;
    }
    switch (outcome) {
        case StepOutcome::Done:
            LogFile(path, "migrated, " + SupportLog::g_supportLog.ChangeCounts());
            break;
        case StepOutcome::Changed:
            LogFile(path, attempt + 1 < kMigrationAttempts
                              ? "changed by another program during its migration; migrated "
                                "again from its new bytes"
                              : "left as another program left it: it changed during each of " +
                                    std::to_string(kMigrationAttempts) + " migrations");
            break;
        case StepOutcome::Failed:
            LogFile(path, SupportLog::System::IsReadOnlyFile(path)
                              ? "left as it was: it is read-only"
                              : "left as it was: its new bytes could not be written; it kept "
                                "its bytes");
            break;
        case StepOutcome::Stranded:
            LogFile(path, "gone while it was migrated; the migrated bytes stay in " +
                              SupportLog::Quoted(workingCopy));
            break;
    }
}

// One settings file during one attempt of its migration: its path, what it held when read, the
// working copy the routines change, and whether any of them failed. The working copy goes with
// the object.
class CSettingsFile {
  public:
    CSettingsFile(IMigrationPlatform& platform, const std::wstring& path)
        : m_platform(platform), m_path(path) {}
    ~CSettingsFile() {
        if (!m_workingCopy.empty()) {
            m_platform.RemoveWorkingCopy(m_workingCopy);
        }
    }
    CSettingsFile(const CSettingsFile&) = delete;
    CSettingsFile& operator=(const CSettingsFile&) = delete;

    // Reads the file and makes the working copy from what was read. A read that fails for any
    // reason ends the migration: what cannot be read is not known to be absent.
    bool Open() {
        if (!m_platform.ReadSettingsFile(m_path, m_snapshot)) {
            LogFile(m_path, "left as it was: it could not be read");
            return false;
        }
        if (!m_platform.MakeWorkingCopy(m_path, m_snapshot.bytes, m_workingCopy)) {
            LogFile(m_path, "left as it was: no working copy could be made");
            return false;
        }
        return true;
    }

    // Runs the routines on the working copy. A routine that could not finish, out of memory,
    // counts as failed, since the copy is then not whole.
    void Migrate(const SettingsRoutines& migrate) {
        try {
            m_failed = !migrate(m_workingCopy) || m_failed;
        } catch (...) {
            m_failed = true;
        }
    }

    // The one step, taken only when every routine succeeded. A working copy that holds the only
    // migrated bytes left is never removed.
    StepOutcome PutInPlace(int attempt) {
        if (m_failed) {
            LogFile(m_path, "left as it was: a rewrite rule failed; it kept its bytes");
            return StepOutcome::Failed;
        }
        const StepOutcome outcome = m_platform.PutInPlace(m_workingCopy, m_path, m_snapshot);
        LogOutcome(m_path, outcome, attempt, m_workingCopy);
        if (outcome == StepOutcome::Stranded) {
            m_workingCopy.clear();
        }
        return outcome;
    }

  private:
    IMigrationPlatform& m_platform;
    const std::wstring& m_path;
    SettingsSnapshot m_snapshot;
    std::wstring m_workingCopy;
    bool m_failed = false;
};

}  // namespace

void MigrateWholeOrNotAtAll(const std::wstring& path, const SettingsRoutines& migrate,
                            IMigrationPlatform& platform) noexcept {
    try {
        // Another run of this program that finished meanwhile counts as a change too: its result
        // is migrated once more, which changes nothing, so two runs at once end as one.
        std::chrono::milliseconds pause = kFirstRetryPause;
        for (int attempt = 0; attempt < kMigrationAttempts; ++attempt) {
            if (attempt > 0) {
                platform.Pause(pause);
                pause *= 2;
            }
            CSettingsFile file(platform, path);
            SupportLog::g_supportLog.ResetChangeCounts();
            if (!file.Open()) {
                return;
            }
            file.Migrate(migrate);
            if (file.PutInPlace(attempt) != StepOutcome::Changed) {
                return;
            }
        }
    } catch (...) {
        // Out of memory before the step: the file was not touched.
    }
}

}  // namespace Zentrel
