// Whole or nothing for one settings file: its bytes are kept beside it before the first write and
// put back when any write of its migration fails, so the scanning application never starts with
// settings that are neither the old nor the new ones.
#include <chrono>
#include <string>
#include <utility>

#include "migration.h"
#include "platform.h"

namespace Zentrel {

namespace {

// Beside g_iniFile and the language table, the migration's one piece of state: whether a write or
// deletion has failed since the bytes of the file being migrated were kept.
bool g_writeFailed = false;

struct KeptNames {
    std::wstring copy;
    std::wstring partial;
};

// ".Velmora.ini.unmigrated" beside "Velmora.ini": hidden where dot-names are, and recognisable by
// any later run.
KeptNames KeptNamesOf(IMigrationPlatform& platform, const std::wstring& file) {
    const std::size_t separator = file.rfind(platform.PathSeparator());
    const std::size_t nameStart = separator == std::wstring::npos ? 0 : separator + 1;
    std::wstring copy = file.substr(0, nameStart);
    copy.append(L".").append(file, nameStart).append(L".unmigrated");
    std::wstring partial = copy + L".partial";
    return {std::move(copy), std::move(partial)};
}

// The migration of one file while its lock is held.
void MigrateLocked(IMigrationPlatform& platform, const std::wstring& file,
                   const std::function<void()>& migrate) {
    const KeptNames kept = KeptNamesOf(platform, file);
    // A kept copy means that a run stopped while it migrated this file, which may now be half
    // migrated: its old bytes come back first, and the migration starts again from them. If
    // they cannot, the file stays as it is until a run that can.
    if (platform.IsExistingFile(kept.copy) && !platform.PutBack(kept.copy, file)) {
        return;
    }
    if (!platform.KeepCopy(file, kept.partial, kept.copy)) {
        return;
    }
    g_writeFailed = false;
    migrate();
    // A copy that cannot be put back or removed now is used or removed by the next run.
    if (g_writeFailed) {
        platform.PutBack(kept.copy, file);
    } else {
        platform.RemoveFile(kept.copy);
    }
}

}  // namespace

void NoteFailedWrite() noexcept {
    g_writeFailed = true;
}

void MigrateWholeOrNotAtAll(const std::wstring& path, const std::function<void()>& migrate,
                            IMigrationPlatform& platform,
                            std::chrono::milliseconds lockWait) noexcept {
    try {
        const std::wstring file = platform.FileWrittenThrough(path);
        if (file.empty()) {
            return;
        }
        // Held from the first look at a kept copy to the removal of this run's, so another run
        // neither takes this run's copy for one left by a stopped run nor migrates the file
        // meanwhile.
        platform.WhileFolderLocked(file, lockWait, [&] { MigrateLocked(platform, file, migrate); });
    } catch (...) {
        // Out of memory: before the first write nothing was changed, after it the kept copy
        // stays for the next run to put back.
    }
}

}  // namespace Zentrel
