// The platform operations on POSIX: our own, following the conventions of a Linux desktop.
#include "platform_posix.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "durable_file.h"
#include "memory_files_posix.h"
#include "platform.h"
#include "posix_folder_and_locale.h"
#include "text_codec.h"
#include "unique_fd.h"

namespace Zentrel {

namespace {

// Links are followed, so a link to a folder counts as a folder, as a junction does on Windows.
bool IsFolder(int folder, const std::string& name) {
    struct stat status = {};
    return name != "." && name != ".." && fstatat(folder, name.c_str(), &status, 0) == 0 &&
           S_ISDIR(status.st_mode);
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
    const PosixFiles::CUniqueFd stream(open(bytes.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    std::vector<std::string> names;
    if (!stream.IsOpen() || PosixFiles::ListAllNames(stream.Get(), names) != 0) {
        return false;
    }
    for (const std::string& name : names) {
        if (IsFolder(stream.Get(), name)) {
            visit(TextCodec::WideFromFileName(name));
        }
    }
    return true;
}

NGUtils::IIniFile& CSystemPlatform::IniFile() {
    return NGUtils::g_iniFile;
}

bool CSystemPlatform::ReadSettingsFile(const std::wstring& file, SettingsSnapshot& snapshot) {
    return Posix::ReadSettingsFile(PosixFiles::RealFileSystem(), file, snapshot);
}

// In the profile layer's memory: the profile functions edit it there, so a migration's hundreds of edits
// cost no I/O, and nothing is ever left on disk for anyone to find, plant or put back.
bool CSystemPlatform::MakeWorkingCopy(const std::wstring&, const std::string& bytes,
                                      std::wstring& workingCopy) {
    workingCopy = NGUtils::CreateMemoryFile(bytes);
    return true;
}

StepOutcome CSystemPlatform::PutInPlace(const std::wstring& workingCopy, const std::wstring& file,
                                        const SettingsSnapshot& snapshot) {
    return Posix::PutInPlace(PosixFiles::RealFileSystem(), workingCopy, file, snapshot);
}

void CSystemPlatform::RemoveWorkingCopy(const std::wstring& workingCopy) {
    NGUtils::RemoveMemoryFile(workingCopy);
}

void CSystemPlatform::Pause(std::chrono::milliseconds time) {
    std::this_thread::sleep_for(time);
}

namespace Posix {

bool ReadSettingsFile(PosixFiles::IFileSystem& fs, const std::wstring& file,
                      SettingsSnapshot& snapshot) {
    std::string path;
    PosixFiles::FileStatus status;
    if (!TextCodec::FileNameFromWide(file, path) ||
        PosixFiles::ReadWhole(fs, path, snapshot.bytes, &status) != PosixFiles::Result::Done) {
        return false;
    }
    snapshot.volume = status.device;
    snapshot.fileId = status.inode;
    snapshot.size = status.size;
    snapshot.modified = status.modified;
    return true;
}

// The durable write of posix/: the file is replaced atomically, or rewritten in place
// crash-safely where it must stay the same inode, and only while it is the file that was read.
StepOutcome PutInPlace(PosixFiles::IFileSystem& fs, const std::wstring& workingCopy,
                       const std::wstring& file, const SettingsSnapshot& snapshot) {
    const std::string* bytes = NGUtils::FindMemoryFile(workingCopy);
    std::string path;
    if (bytes == nullptr || !TextCodec::FileNameFromWide(file, path)) {
        return StepOutcome::Failed;
    }
    PosixFiles::FileStatus expected;
    expected.device = snapshot.volume;
    expected.inode = snapshot.fileId;
    expected.size = snapshot.size;
    expected.modified = snapshot.modified;
    switch (PosixFiles::ReplaceUnchanged(fs, path, expected, snapshot.bytes, *bytes)) {
        case PosixFiles::Result::Done:
            return StepOutcome::Done;
        case PosixFiles::Result::Changed:
            return StepOutcome::Changed;
        case PosixFiles::Result::Missing:
        case PosixFiles::Result::Refused:
        case PosixFiles::Result::Failed:
            break;
    }
    return StepOutcome::Failed;
}

}  // namespace Posix

}  // namespace Zentrel
