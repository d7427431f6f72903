// The platform operations on POSIX: our own, following the conventions of a Linux desktop.
#include "platform_posix.h"

#include <dirent.h>
#include <sys/stat.h>

#include <cstdlib>
#include <thread>

#include "ini_store_posix.h"
#include "memory_files_posix.h"
#include "platform.h"
#include "posix_folder_and_locale.h"
#include "text_codec.h"

namespace Zentrel {

namespace {

class CDirectoryStream {
  public:
    explicit CDirectoryStream(const std::string& folder) : m_dir(opendir(folder.c_str())) {}
    ~CDirectoryStream() {
        if (m_dir != nullptr) {
            closedir(m_dir);
        }
    }
    CDirectoryStream(const CDirectoryStream&) = delete;
    CDirectoryStream& operator=(const CDirectoryStream&) = delete;

    DIR* Get() const { return m_dir; }

  private:
    DIR* m_dir;
};

// Links are followed, so a link to a folder counts as a folder, as a junction does on Windows.
bool IsFolder(DIR* dir, const dirent& entry) {
    if (entry.d_type == DT_DIR) {
        return true;
    }
    if (entry.d_type != DT_LNK && entry.d_type != DT_UNKNOWN) {
        return false;
    }
    struct stat status = {};
    return fstatat(dirfd(dir), entry.d_name, &status, 0) == 0 && S_ISDIR(status.st_mode);
}

}  // namespace

PathSyntax::PathStyle CSystemPlatform::Style() {
    return PathSyntax::PathStyle::Posix;
}

std::wstring CSystemPlatform::LocalAppDataFolder() {
    return Posix::LocalAppDataFolder(std::getenv);
}

std::uint16_t CSystemPlatform::UserUiLanguage() {
    return Posix::LanguageIdFromLocaleName(Posix::MessagesLocaleName(std::getenv));
}

// The kernel resolves relative names, "." and ".." itself: the name is tested as it was given.
bool CSystemPlatform::IsExistingFile(const std::wstring& path) {
    std::string bytes;
    struct stat status = {};
    return TextCodec::FileNameFromWide(path, bytes) && stat(bytes.c_str(), &status) == 0 &&
           !S_ISDIR(status.st_mode);
}

bool CSystemPlatform::ForEachSubfolder(const std::wstring& folder,
                                       const std::function<void(const std::wstring&)>& visit) {
    std::string bytes;
    if (!TextCodec::FileNameFromWide(folder, bytes)) {
        return false;
    }
    const CDirectoryStream stream(bytes);
    if (stream.Get() == nullptr) {
        return false;
    }
    while (const dirent* entry = readdir(stream.Get())) {
        if (IsFolder(stream.Get(), *entry)) {
            visit(TextCodec::WideFromFileName(entry->d_name));
        }
    }
    return true;
}

NGUtils::IIniFile& CSystemPlatform::IniFile() {
    return NGUtils::g_iniFile;
}

bool CSystemPlatform::ReadSettingsFile(const std::wstring& file, SettingsSnapshot& snapshot) {
    return Posix::ReadSettingsFile(NGUtils::IniEngine::RealFileSystem(), file, snapshot);
}

// In the engine's memory: the profile functions edit it there, so a migration's hundreds of edits
// cost no I/O, and nothing is ever left on disk for anyone to find, plant or put back.
bool CSystemPlatform::MakeWorkingCopy(const std::wstring&, const std::string& bytes,
                                      std::wstring& workingCopy) {
    workingCopy = NGUtils::IniEngine::CreateMemoryFile(bytes);
    return true;
}

StepOutcome CSystemPlatform::PutInPlace(const std::wstring& workingCopy, const std::wstring& file,
                                        const SettingsSnapshot& snapshot) {
    return Posix::PutInPlace(NGUtils::IniEngine::RealFileSystem(), workingCopy, file, snapshot);
}

void CSystemPlatform::RemoveWorkingCopy(const std::wstring& workingCopy) {
    NGUtils::IniEngine::RemoveMemoryFile(workingCopy);
}

void CSystemPlatform::Pause(std::chrono::milliseconds time) {
    std::this_thread::sleep_for(time);
}

namespace Posix {

bool ReadSettingsFile(NGUtils::IniEngine::IFileSystem& fs, const std::wstring& file,
                      SettingsSnapshot& snapshot) {
    std::string path;
    NGUtils::IniEngine::FileStatus status;
    if (!TextCodec::FileNameFromWide(file, path) ||
        NGUtils::IniEngine::ReadFileBytes(fs, path, snapshot.bytes, &status) !=
            NGUtils::IniEngine::ReadStatus::Ok) {
        return false;
    }
    snapshot.volume = status.device;
    snapshot.fileId = status.inode;
    snapshot.size = status.size;
    snapshot.modified = status.modified;
    return true;
}

// The engine's own durable write: the file is replaced atomically, or rewritten in place
// crash-safely where it must stay the same inode, and only while it is the file that was read.
StepOutcome PutInPlace(NGUtils::IniEngine::IFileSystem& fs, const std::wstring& workingCopy,
                       const std::wstring& file, const SettingsSnapshot& snapshot) {
    const std::string* bytes = NGUtils::IniEngine::FindMemoryFile(workingCopy);
    std::string path;
    if (bytes == nullptr || !TextCodec::FileNameFromWide(file, path)) {
        return StepOutcome::Failed;
    }
    NGUtils::IniEngine::FileStatus expected;
    expected.device = snapshot.volume;
    expected.inode = snapshot.fileId;
    expected.size = snapshot.size;
    expected.modified = snapshot.modified;
    switch (NGUtils::IniEngine::ReplaceUnchangedFile(fs, path, expected, snapshot.bytes, *bytes)) {
        case NGUtils::IniEngine::ReplaceOutcome::Done:
            return StepOutcome::Done;
        case NGUtils::IniEngine::ReplaceOutcome::Changed:
            return StepOutcome::Changed;
        case NGUtils::IniEngine::ReplaceOutcome::Failed:
            break;
    }
    return StepOutcome::Failed;
}

}  // namespace Posix

}  // namespace Zentrel
