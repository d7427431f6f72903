// The platform operations on POSIX: our own, following the conventions of a Linux desktop.
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <thread>

#include "ini_store_posix.h"
#include "platform.h"
#include "posix_locale.h"
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

wchar_t CSystemPlatform::PathSeparator() {
    return L'/';
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

bool CSystemPlatform::Write(const std::wstring&, const std::function<bool()>& write) {
    return write();
}

// Keeping a settings file's bytes: the engine's own durable steps, so a kept copy is made and put
// back as carefully as the engine writes the file itself.

std::wstring CSystemPlatform::FileWrittenThrough(const std::wstring& path) {
    std::string bytes;
    std::string target;
    if (!TextCodec::FileNameFromWide(path, bytes) ||
        !NGUtils::IniEngine::ResolveWriteTarget(NGUtils::IniEngine::RealFileSystem(), bytes,
                                                target)) {
        return {};
    }
    return TextCodec::WideFromFileName(target);
}

bool CSystemPlatform::KeepCopy(const std::wstring& file, const std::wstring& partial,
                               const std::wstring& copy) {
    std::string from;
    std::string through;
    std::string to;
    return TextCodec::FileNameFromWide(file, from) &&
           TextCodec::FileNameFromWide(partial, through) && TextCodec::FileNameFromWide(copy, to) &&
           NGUtils::IniEngine::CommitCopy(NGUtils::IniEngine::RealFileSystem(), from, through, to);
}

bool CSystemPlatform::PutBack(const std::wstring& copy, const std::wstring& file) {
    NGUtils::IniEngine::IFileSystem& system = NGUtils::IniEngine::RealFileSystem();
    std::string from;
    std::string to;
    std::string bytes;
    // The bytes go back by the engine's rules, so the file stays the same file; the copy goes
    // only afterwards, and a run stopped between puts the same bytes back once more.
    if (!TextCodec::FileNameFromWide(copy, from) || !TextCodec::FileNameFromWide(file, to) ||
        NGUtils::IniEngine::ReadFileBytes(system, from, bytes) !=
            NGUtils::IniEngine::ReadStatus::Ok ||
        !NGUtils::IniEngine::WriteFileContent(system, to, bytes)) {
        return false;
    }
    const int error = system.UnlinkAt(NGUtils::IniEngine::kCurrentFolder, from);
    return error == 0 || error == ENOENT;
}

bool CSystemPlatform::RemoveFile(const std::wstring& name) {
    std::string bytes;
    if (!TextCodec::FileNameFromWide(name, bytes)) {
        return false;
    }
    const int error =
        NGUtils::IniEngine::RealFileSystem().UnlinkAt(NGUtils::IniEngine::kCurrentFolder, bytes);
    return error == 0 || error == ENOENT;
}

bool CSystemPlatform::WhileFolderLocked(const std::wstring& file, std::chrono::milliseconds wait,
                                        const std::function<void()>& work) {
    std::string bytes;
    if (!TextCodec::FileNameFromWide(file, bytes)) {
        return false;
    }
    // The root keeps its slash.
    const std::size_t slash = bytes.rfind('/');
    const std::string folder = slash == std::string::npos
                                   ? std::string(1, '.')
                                   : bytes.substr(0, std::max(slash, std::size_t{1}));
    // The folder rather than the file, which every write replaces. The lock goes with the
    // descriptor, so a run that is killed leaves none behind.
    struct Folder {
        int fd;
        ~Folder() {
            if (fd != -1) {
                ::close(fd);
            }
        }
    } const locked{::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)};
    if (locked.fd == -1) {
        return false;
    }
    const auto deadline = std::chrono::steady_clock::now() + wait;
    while (::flock(locked.fd, LOCK_EX | LOCK_NB) != 0) {
        const int error = errno;
        if (error == ENOLCK || error == ENOSYS || error == EOPNOTSUPP || error == EINVAL) {
            break;
        }
        if ((error != EWOULDBLOCK && error != EINTR) ||
            std::chrono::steady_clock::now() >= deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    work();
    return true;
}

}  // namespace Zentrel
