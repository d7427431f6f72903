// Whole or nothing for one settings file: its bytes are kept beside it before the first write and
// put back when any write of its migration fails, so the scanning application never starts with
// settings that are neither the old nor the new ones.
#include <chrono>
#include <cstdint>
#include <string>
#include <utility>

#include "migration.h"
#include "platform.h"

namespace Zentrel {

namespace {

// Longer than a migration of a large file takes on a slow disk, short enough for an installer.
constexpr std::chrono::milliseconds kLockWait{10000};

// Beside g_iniFile and the language table, the migration's one piece of state: whether a write or
// deletion has failed since the bytes of the file being migrated were kept.
bool g_writeFailed = false;

struct KeptNames {
    std::wstring copy;
    std::wstring partial;
};

// ".Velmora.ini.unmigrated" beside "Velmora.ini": hidden where dot-names are, and recognisable by
// any later run.
KeptNames KeptNamesOf(const std::wstring& file) {
    const std::size_t separator = file.rfind(Platform::PathSeparator());
    const std::size_t nameStart = separator == std::wstring::npos ? 0 : separator + 1;
    std::wstring copy = file.substr(0, nameStart);
    copy.append(L".").append(file, nameStart).append(L".unmigrated");
    std::wstring partial = copy + L".partial";
    return {std::move(copy), std::move(partial)};
}

bool IsFile(const std::wstring& path) {
    const std::uint32_t attributes = Platform::FileAttributes(path);
    return attributes != Platform::kInvalidFileAttributes &&
           (attributes & Platform::kAttributeDirectory) == 0;
}

// The migration of one file while its lock is held.
void MigrateLocked(const std::wstring& file, const std::function<void()>& migrate) {
    const KeptNames kept = KeptNamesOf(file);
    // A kept copy means that a run stopped while it migrated this file, which may now be half
    // migrated: its old bytes come back first, and the migration starts again from them. If
    // they cannot, the file stays as it is until a run that can.
    if (IsFile(kept.copy) && !Platform::PutBack(kept.copy, file)) {
        return;
    }
    if (!Platform::KeepCopy(file, kept.partial, kept.copy)) {
        return;
    }
    g_writeFailed = false;
    migrate();
    // A copy that cannot be put back or removed now is used or removed by the next run.
    if (g_writeFailed) {
        Platform::PutBack(kept.copy, file);
    } else {
        Platform::RemoveFile(kept.copy);
    }
}

}  // namespace

void NoteFailedWrite() noexcept {
    g_writeFailed = true;
}

void MigrateWholeOrNotAtAll(const std::wstring& path,
                            const std::function<void()>& migrate) noexcept {
    MigrateWholeOrNotAtAll(path, migrate, kLockWait);
}

void MigrateWholeOrNotAtAll(const std::wstring& path, const std::function<void()>& migrate,
                            std::chrono::milliseconds lockWait) noexcept {
    try {
        const std::wstring file = Platform::FileWrittenThrough(path);
        if (file.empty()) {
            return;
        }
        // Held from the first look at a kept copy to the removal of this run's, so another run
        // neither takes this run's copy for one left by a stopped run nor migrates the file
        // meanwhile.
        Platform::WhileFolderLocked(file, lockWait, [&] { MigrateLocked(file, migrate); });
    } catch (...) {
        // Out of memory before the first write: nothing was changed.
    }
}

}  // namespace Zentrel
